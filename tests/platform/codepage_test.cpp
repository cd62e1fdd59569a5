#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace et {
namespace {

TEST(CodePageTest, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
  // Each byte is one character, so no two bytes may share a character.
  for (int a = 0x80; a < 256; ++a) {
    for (int b = a + 1; b < 256; ++b) {
      ASSERT_NE(Cp1252ToUtf8(std::string(1, static_cast<char>(a))),
                Cp1252ToUtf8(std::string(1, static_cast<char>(b))))
          << a << " " << b;
    }
  }
}

TEST(CodePageTest, BytesBecomeTheirWindows1252Characters) {
  struct Case {
    unsigned char byte;
    const char* utf8;
  };
  const Case cases[] = {
      {'A', "A"},         {0x80, "\u20AC"},  // euro sign
      {0x81, "\xC2\x81"},  // holes of the code page: the C1 control of that number
      {0x8D, "\xC2\x8D"}, {0x8F, "\xC2\x8F"}, {0x90, "\xC2\x90"},
      {0x9D, "\xC2\x9D"}, {0x92, "\u2019"},  // right single quotation mark
      {0x96, "\u2013"},                      // en dash
      {0x9F, "\u0178"},                      // Y with diaeresis
      {0xA0, "\u00A0"},   {0xB4, "\u00B4"},  // acute accent, used in place of apostrophes
      {0xE0, "\u00E0"},                      // a grave
      {0xE8, "\u00E8"},                      // e grave
      {0xFF, "\u00FF"},
  };
  for (const Case& c : cases) {
    const std::string byte(1, static_cast<char>(c.byte));
    const std::string expected = c.utf8;
    EXPECT_EQ(Cp1252ToUtf8(byte), expected) << "byte " << int(c.byte);
    EXPECT_EQ(Utf8ToCp1252(expected), byte) << "byte " << int(c.byte);
  }
}

TEST(CodePageTest, WhatTheCodePageCannotHoldBecomesAQuestionMark) {
  struct Case {
    const char* utf8;
    const char* cp1252;
  };
  const Case cases[] = {
      {"caff\u00E8 \u20AC", "caff\xE8 \x80"},
      {"\u65E5\u672C", "??"},   // characters outside the code page
      {"a\U0001F600b", "a?b"},  // outside the basic plane
      {"\xC2\x80", "?"},        // C1 controls other than the five holes
      {"\xC2\x9F", "?"},
      {"\u0100", "?"},               // first character after Latin-1
      {"x\xC3", "x?"},               // sequence cut short at the end
      {"\xC3(", "?("},               // lead byte without continuation
      {"\xE2\x82(", "?("},           // three-byte sequence cut short
      {"\x80", "?"},                 // lone continuation byte
      {"\xC0\xAF", "??"},            // overlong form of '/'
      {"\xE0\x80\xAF", "???"},       // overlong three-byte form
      {"\xED\xA0\x80", "???"},       // surrogate
      {"\xF4\x90\x80\x80", "????"},  // beyond U+10FFFF
      {"\xFF"
       "a",
       "?a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252) << "input " << testing::PrintToString(c.utf8);
  }
}

}  // namespace
}  // namespace et
