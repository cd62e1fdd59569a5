// The system's 8-bit code page is Windows-1252. Inside the program every text
// is UTF-8; database text columns (character set NONE) and the files we write
// carry Windows-1252 bytes.
#pragma once

#include <string>
#include <string_view>

namespace et {

// Windows-1252 bytes to UTF-8. Every one of the 256 byte values has a
// character: the five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become the C1 control characters of the same number.
std::string Cp1252ToUtf8(std::string_view bytes);

// UTF-8 to Windows-1252 bytes, the exact inverse of Cp1252ToUtf8. A character
// the code page cannot hold, and a malformed UTF-8 sequence, become '?'.
std::string Utf8ToCp1252(std::string_view utf8);

}  // namespace et
