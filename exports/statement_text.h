// Statements are written as lists of lines; the engine receives each line
// followed by CR LF.
#pragma once

#include <initializer_list>
#include <string>

namespace et {

inline std::string Righe(std::initializer_list<std::string> righe) {
  std::string sql;
  for (const std::string& riga : righe) sql += riga + "\r\n";
  return sql;
}

}  // namespace et
