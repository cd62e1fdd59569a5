#include "platform/strings.h"

#include <gtest/gtest.h>

namespace et {
namespace {

TEST(StringsTest, TrimsBlanksAndControlCharactersButNotUtf8) {
  struct Case {
    std::string_view text, left, right, both;
  };
  const Case cases[] = {
      {"", "", "", ""},
      {" \t\r\n\x01\x1F ", "", "", ""},
      {"\t a b \x7F\x01", "a b \x7F\x01", "\t a b \x7F", "a b \x7F"},
      // U+00A0 and U+3000 are blanks to Unicode but multi-byte here: kept whole.
      {"\u00A0x\u3000", "\u00A0x\u3000", "\u00A0x\u3000", "\u00A0x\u3000"},
      {std::string_view("\0k\0", 3), std::string_view("k\0", 2), std::string_view("\0k", 2), "k"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TrimLeft(c.text), c.left);
    EXPECT_EQ(TrimRight(c.text), c.right);
    EXPECT_EQ(Trim(c.text), c.both);
  }
}

TEST(StringsTest, SkipsOnlyLeadingSpacesAndTabs) {
  EXPECT_EQ(SkipSpacesAndTabs(" \t 3 "), "3 ");
  EXPECT_EQ(SkipSpacesAndTabs("\n3"), "\n3");
  EXPECT_EQ(SkipSpacesAndTabs("\v3"), "\v3");
  EXPECT_EQ(SkipSpacesAndTabs(" \t"), "");
}

TEST(StringsTest, FoldsOnlyAsciiCapitals) {
  EXPECT_EQ(AsciiLowered("Nome Server@[Z]"), "nome server@[z]");
  EXPECT_EQ(AsciiLowered("CITT\u00C0"), "citt\u00C0");
  EXPECT_TRUE(EqualsIgnoringAsciiCase("Query_Esterno", "QUERY_esterno"));
  EXPECT_TRUE(EqualsIgnoringAsciiCase("", ""));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("citt\u00E0", "CITT\u00C0"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("abc", "abcd"));
  // '@' and '[' sit next to the capitals; they must not fold onto '`' or '{'.
  EXPECT_FALSE(EqualsIgnoringAsciiCase("@[", "`{"));
}

TEST(StringsTest, FindsLineBreaksAndNul) {
  const struct {
    std::string_view text;
    bool found;
  } cases[] = {
      {"", false},
      {"ftp.example.com/dir x\t\v\x01\x7F\u00E0", false},
      {"a\rb", true},
      {"a\n", true},
      {std::string_view("\0a", 2), true},
      {"\r\n", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HasLineBreakOrNul(c.text), c.found) << c.text;
  }
}

}  // namespace
}  // namespace et
