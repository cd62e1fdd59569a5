// The lines of a file the system wrote, every one ended by CR LF.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace et::test {

// The lines as a set: the server groups rows in an order the statements do
// not fix. A last line without CR LF fails the calling test.
inline std::multiset<std::string> CrLfLines(const std::string& bytes) {
  std::multiset<std::string> lines;
  std::size_t start = 0;
  for (auto end = bytes.find("\r\n"); end != std::string::npos; end = bytes.find("\r\n", start)) {
    lines.insert(bytes.substr(start, end - start));
    start = end + 2;
  }
  EXPECT_EQ(start, bytes.size()) << "last line without CR LF";
  return lines;
}

}  // namespace et::test
