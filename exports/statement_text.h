// Statements are written as lists of lines; the engine receives each line
// followed by CR LF.
#pragma once

#include <initializer_list>
#include <string>

namespace et {

inline std::string SqlLines(std::initializer_list<std::string> lines) {
  std::string sql;
  for (const std::string& line : lines) sql += line + "\r\n";
  return sql;
}

}  // namespace et
