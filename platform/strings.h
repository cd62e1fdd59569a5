// Small text helpers shared by every layer: the blank trimming of the
// Windows runtime, comparisons without regard to ASCII case, the bytes that
// break a line, and the apostrophe rule of the texts the web side imports.
#pragma once

#include <string>
#include <string_view>

namespace et {

// True for the bytes the Windows runtime trims: blanks and control
// characters, every byte up to and including ' '. Bytes of multi-byte UTF-8
// characters are all above it, so a trim never cuts one.
constexpr bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

// The text without leading, trailing or surrounding blanks and control
// characters.
std::string_view TrimLeft(std::string_view s);
std::string_view TrimRight(std::string_view s);
std::string_view Trim(std::string_view s);

// The text without its leading spaces and tabs.
std::string_view SkipSpacesAndTabs(std::string_view s);

// The letter in lower case when it is an ASCII capital; any other byte as it is.
constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The text with its ASCII capitals in lower case (a key under which names
// that compare equal without regard to case meet).
std::string AsciiLowered(std::string_view s);

// True when the texts are equal once their ASCII capitals are folded.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// The letter in upper case when it is an ASCII small letter; any other byte
// as it is.
constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The text with its ASCII small letters a to z in capitals; every other byte
// (accented letters included) as it is.
std::string AsciiUppered(std::string_view s);

// True for CR, LF and NUL: a CR or LF ends a line (an FTP command, a header,
// a record of a file) early and starts another, and a NUL cuts a C string
// short.
constexpr bool IsLineBreakOrNul(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// True when the text holds a CR, LF or NUL.
bool HasLineBreakOrNul(std::string_view s);

// U+00B4 in UTF-8: the acute accent that stands in for an apostrophe, which
// the web side's import and the settings table's readers take as a string
// delimiter.
inline constexpr std::string_view kAcuteAccent = "\xC2\xB4";

// The text with every apostrophe replaced by the acute accent.
std::string ApostrophesToAcuteAccent(std::string_view s);

}  // namespace et
