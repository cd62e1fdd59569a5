// What a value may hold once it stands in a cell of an export file.
#pragma once

#include <cstddef>
#include <string>

#include "platform/strings.h"

namespace et {

// A CR or LF inside a value would end the line early and forge a line (or
// split a record) of its own, and a NUL cuts the text short for the web
// import: each becomes a blank. Every other byte stays as it is, ';' too.
// Only the bytes from `from` on are looked at, so a caller can clean the
// value it has just appended to a line.
inline void BlankLineBreaks(std::string& text, std::size_t from = 0) {
  for (std::size_t i = from; i < text.size(); ++i) {
    if (IsLineBreakOrNul(text[i])) text[i] = ' ';
  }
}

// The value with its line breaks and NULs blanked.
inline std::string WithoutLineBreaks(std::string text) {
  BlankLineBreaks(text);
  return text;
}

}  // namespace et
