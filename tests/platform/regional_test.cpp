#include "platform/regional.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

namespace et {
namespace {

const RegionalSettings kItalian = RegionalSettings::Italian();
const RegionalSettings kC{};

TEST(RegionalTest, FormatFixed2RoundsTheExactValueWithHalvesAwayFromZero) {
  struct Case {
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {0.125, "0,13"},  // exact halves go away from zero
      {12.125, "12,13"},
      {0.375, "0,38"},
      {0.625, "0,63"},
      {-0.125, "-0,13"},
      {123456789.125, "123456789,13"},
      {1099511627776.125, "1099511627776,13"},
      {2.675, "2,67"},  // its exact value lies below the half
      {1.005, "1,00"},
      {0.995, "0,99"},
      {1.115, "1,11"},
      {0.005, "0,01"},     // its exact value lies above the half
      {99.995, "100,00"},  // carries into the integer part
      {1234.567, "1234,57"},
      {0, "0,00"},
      {-0.0, "0,00"},
      {-0.001, "0,00"},  // never "-0,00"
      {-0.004999, "0,00"},
      {-0.005, "-0,01"},
      {-2.5, "-2,50"},
      {7, "7,00"},
      {1e6, "1000000,00"},  // no thousands separator
      {1.0 / 3, "0,33"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatFixed2(c.value, kItalian), c.expected) << std::hexfloat << c.value;
  }
  EXPECT_EQ(FormatFixed2(12.125, kC), "12.13");
  EXPECT_EQ(FormatFixed2(-1234.5, kC), "-1234.50");
}

TEST(RegionalTest, FormatGeneralGivesFifteenSignificantDigitsWithoutTrailingZeros) {
  struct Case {
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {12.5, "12,5"},
      {7, "7"},
      {0, "0"},
      {-0.0, "0"},
      {-2.75, "-2,75"},
      {0.1 + 0.2, "0,3"},
      {1.0 / 3, "0,333333333333333"},
      {1000000, "1000000"},
      {123456789012345.0, "123456789012345"},
      {0.0001, "0,0001"},
      {1234567890123456.0, "1,23456789012346e+15"},
      {1e-5, "1e-05"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatGeneral(c.value, kItalian), c.expected) << c.value;
  }
  EXPECT_EQ(FormatGeneral(12.5, kC), "12.5");
}

TEST(RegionalTest, FormatsOfValuesWithoutDigits) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(FormatFixed2(std::nan(""), kItalian), "NAN");
  EXPECT_EQ(FormatFixed2(-inf, kItalian), "-INF");
  EXPECT_EQ(FormatGeneral(inf, kItalian), "INF");
}

TEST(RegionalTest, FormatScaledIsExact) {
  struct Case {
    std::int64_t value;
    int scale;
    const char* expected;
  };
  const Case cases[] = {
      {12500, -3, "12,5"},
      {12345, -2, "123,45"},
      {100, -2, "1"},
      {-5, -2, "-0,05"},
      {0, -4, "0"},
      {7, 0, "7"},
      {-1, 0, "-1"},
      {5, -20, "0,00000000000000000005"},
      {INT64_MIN, -2, "-92233720368547758,08"},
      {INT64_MAX, -18, "9,223372036854775807"},
      {INT64_MAX, 0, "9223372036854775807"},
      {5, 2, "500"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatScaled(c.value, c.scale, kItalian), c.expected) << c.value << "e" << c.scale;
  }
  EXPECT_EQ(FormatScaled(-12345, -3, kC), "-12.345");
}

// Appended to what the buffer holds already, in FormatScaled's form.
TEST(RegionalTest, AppendScaledAddsToTheBuffer) {
  const struct {
    std::int64_t value;
    int scale;
    const char* italian;
  } cases[] = {
      {0, 0, "0"},
      {0, -2, "0"},
      {0, 3, "0"},
      {123, 2, "12300"},
      {-123, 2, "-12300"},
      {1000, -3, "1"},
      {5, -2, "0,05"},
      {100, -5, "0,001"},
      {-1, -18, "-0,000000000000000001"},
      {INT64_MIN, 0, "-9223372036854775808"},
      {INT64_MAX, -19, "0,9223372036854775807"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.italian);
    std::string out = "x;";
    AppendScaled(c.value, c.scale, kItalian, out);
    EXPECT_EQ(out, std::string("x;") + c.italian);
    EXPECT_EQ(FormatScaled(c.value, c.scale, kItalian), c.italian);
  }
}

TEST(RegionalTest, DateAndTimeUseTheFormatsOfTheSettings) {
  std::tm t{};
  t.tm_year = 2024 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 7;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 3;
  EXPECT_EQ(FormatShortDate(t, kItalian), "07/03/2024");
  EXPECT_EQ(FormatLongTime(t, kItalian), "09:05:03");
  EXPECT_EQ(FormatShortDate(t, kC), "03/07/24");
  EXPECT_EQ(FormatLongTime(t, kC), "09:05:03");

  RegionalSettings custom;
  custom.short_date_format = "%Y-%m-%d";
  custom.long_time_format = "%T";
  EXPECT_EQ(FormatShortDate(t, custom), "2024-03-07");
  EXPECT_EQ(FormatLongTime(t, custom), "09:05:03");
  custom.short_date_format = "";
  EXPECT_EQ(FormatShortDate(t, custom), "");
}

TEST(RegionalTest, TryParseInt32TakesWholeDecimalNumbersAfterLeadingBlanks) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> expected;
  };
  const Case cases[] = {
      {"0", 0},
      {"42", 42},
      {"-42", -42},
      {"+7", 7},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {" 1", 1},
      {"\t\t 3", 3},
      {"  -2147483648", INT32_MIN},
      {" +7", 7},
      {" ", std::nullopt},
      {" \t", std::nullopt},
      {" -", std::nullopt},
      {"- 1", std::nullopt},
      {"+ 1", std::nullopt},
      {"\n1", std::nullopt},
      {"\r1", std::nullopt},
      {"\v1", std::nullopt},
      {"\x01"
       "1",
       std::nullopt},
      {"1 ", std::nullopt},
      {" 1 ", std::nullopt},
      {"1\t", std::nullopt},
      {"1\r\n", std::nullopt},
      {"1 2", std::nullopt},
      {"\xC2\xA0"
       "1",
       std::nullopt},
      {"1a", std::nullopt},
      {"1.0", std::nullopt},
      {"0x10", std::nullopt},
      {"--1", std::nullopt},
  };
  for (const Case& c : cases) {
    std::int32_t out = 12345;
    const bool ok = TryParseInt32(c.text, out);
    EXPECT_EQ(ok, c.expected.has_value()) << '"' << c.text << '"';
    if (ok && c.expected) {
      EXPECT_EQ(out, *c.expected) << c.text;
    }
    if (!ok) {
      EXPECT_EQ(out, 12345) << "a refused text leaves the result alone: \"" << c.text << '"';
    }
  }
}

TEST(RegionalTest, SystemClockGivesTheLocalTimeNow) {
  const std::time_t before = std::time(nullptr);
  std::tm now = SystemClock().Now();
  const std::time_t after = std::time(nullptr);
  const std::time_t seen = std::mktime(&now);
  EXPECT_GE(seen, before);
  EXPECT_LE(seen, after);
}

// Sets locale variables of the environment for one test and puts the old
// values back afterwards.
class EnvironmentLocaleTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
      ::unsetenv(name);
    }
  }
  void TearDown() override {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
      if (saved_[i]) {
        ::setenv(kNames[i], saved_[i]->c_str(), 1);
      } else {
        ::unsetenv(kNames[i]);
      }
    }
  }
  static bool LocaleAvailable(const char* name) {
    locale_t loc = ::newlocale(LC_ALL_MASK, name, nullptr);
    if (!loc) return false;
    ::freelocale(loc);
    return true;
  }
  // The process itself must stay in the C locale.
  static void ExpectProcessStillInCLocale() {
    EXPECT_STREQ(::setlocale(LC_NUMERIC, nullptr), "C");
    EXPECT_STREQ(::setlocale(LC_TIME, nullptr), "C");
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
    EXPECT_STREQ(buffer, "1.5");
  }

  static constexpr const char* kNames[] = {"LC_ALL", "LC_NUMERIC", "LC_TIME", "LANG"};
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(EnvironmentLocaleTest, NoLocaleGivesTheCSettings) {
  const RegionalSettings rs = RegionalSettings::FromEnvironment();
  EXPECT_EQ(rs.decimal_separator, '.');
  EXPECT_EQ(rs.short_date_format, "%m/%d/%y");
  EXPECT_EQ(rs.long_time_format, "%H:%M:%S");
}

TEST_F(EnvironmentLocaleTest, ALocaleThatCannotBeLoadedGivesTheCSettings) {
  ::setenv("LANG", "xx_XX.UTF-8", 1);
  ::setenv("LC_NUMERIC", "yy_YY.UTF-8", 1);
  const RegionalSettings rs = RegionalSettings::FromEnvironment();
  EXPECT_EQ(rs.decimal_separator, '.');
  EXPECT_EQ(rs.short_date_format, "%m/%d/%y");
  ExpectProcessStillInCLocale();
}

TEST_F(EnvironmentLocaleTest, ItalianLocaleGivesCommaAndDayMonthYear) {
  if (!LocaleAvailable("it_IT.UTF-8")) {
    GTEST_SKIP() << "locale it_IT.UTF-8 is not generated here (scripts/install-deps makes it)";
  }
  ::setenv("LANG", "it_IT.UTF-8", 1);
  const RegionalSettings rs = RegionalSettings::FromEnvironment();
  EXPECT_EQ(rs.decimal_separator, ',');
  EXPECT_EQ(rs.short_date_format, "%d/%m/%Y");
  std::tm t{};
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 3;
  EXPECT_EQ(FormatLongTime(t, rs), "09:05:03");
  ExpectProcessStillInCLocale();

  // Each category comes from its own variable: an Italian LANG with a C
  // LC_TIME keeps the comma and takes the C date format.
  ::setenv("LC_TIME", "C", 1);
  const RegionalSettings mixed = RegionalSettings::FromEnvironment();
  EXPECT_EQ(mixed.decimal_separator, ',');
  EXPECT_EQ(mixed.short_date_format, "%m/%d/%y");
}

}  // namespace
}  // namespace et
