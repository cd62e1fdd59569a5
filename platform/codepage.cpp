#include "platform/codepage.h"

#include <optional>

namespace et {
namespace {

// Characters of the bytes 0x80..0x9F; every other byte is the character of the
// same number. The five holes of the code page map to the C1 controls so that
// any byte survives a round trip through UTF-8.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    // Every character of the code page lies in the basic plane.
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char ToCp1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == c) return static_cast<char>(0x80 + i);
  }
  return '?';
}

unsigned char ByteAt(std::string_view s, std::size_t pos) {
  return static_cast<unsigned char>(s[pos]);
}

// Decodes the character at `pos` and moves past it. A malformed sequence gives
// nothing and moves past its longest well-formed beginning (at least one
// byte), so that each malformed piece becomes a single replacement.
std::optional<char32_t> DecodeOne(std::string_view s, std::size_t& pos) {
  const unsigned char lead = ByteAt(s, pos++);
  if (lead < 0x80) return lead;

  int length;
  char32_t c;
  // Bounds of the second byte rule out overlong forms, surrogates and
  // characters beyond U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    c = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    c = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return std::nullopt;
  }

  for (int i = 1; i < length; ++i) {
    if (pos >= s.size()) return std::nullopt;
    const unsigned char b = ByteAt(s, pos);
    const bool in_range = (i == 1) ? (b >= low && b <= high) : (b >= 0x80 && b <= 0xBF);
    if (!in_range) return std::nullopt;
    c = (c << 6) | (b & 0x3F);
    ++pos;
  }
  return c;
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    AppendUtf8(out, (b >= 0x80 && b <= 0x9F) ? kHighControls[b - 0x80] : char32_t{b});
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::optional<char32_t> c = DecodeOne(utf8, pos);
    out += c ? ToCp1252(*c) : '?';
  }
  return out;
}

}  // namespace et
