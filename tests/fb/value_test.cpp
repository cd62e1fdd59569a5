#include "fb/value.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/error.h"
#include "value_print.h"

namespace et::fb {
namespace {

struct TextCase {
  Value value;
  std::string italian;
  std::string c_locale;  // the default settings: '.', %m/%d/%y
};

TEST(ValueToTextTest, FormatsEachKindWithTheRegionalSettings) {
  const std::vector<TextCase> cases = {
      {Null{}, "", ""},
      {Int(-42), "-42", "-42"},
      {Int(9223372036854775807), "9223372036854775807", "9223372036854775807"},
      {Scaled{123456, -4}, "12,3456", "12.3456"},
      {Scaled{1250, -2}, "12,5", "12.5"},
      {Scaled{700, -2}, "7", "7"},
      {Scaled{-5, -2}, "-0,05", "-0.05"},
      {12.5, "12,5", "12.5"},
      {0.1, "0,1", "0.1"},
      {Text("AB  "), "AB  ", "AB  "},
      {Text("l\xC2\xB4olio \xE2\x82\xAC"), "l\xC2\xB4olio \xE2\x82\xAC",
       "l\xC2\xB4olio \xE2\x82\xAC"},
      {Date{2024, 2, 29}, "29/02/2024", "02/29/24"},
      {Time{7, 5, 9, 1234}, "07:05:09", "07:05:09"},
      {Timestamp{{2024, 2, 29}, {13, 45, 30, 0}}, "29/02/2024 13:45:30", "02/29/24 13:45:30"},
      {Timestamp{{2024, 2, 29}, {}}, "29/02/2024", "02/29/24"},
      {true, "True", "True"},
      {false, "False", "False"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.value));
    EXPECT_EQ(ValueToText(c.value, RegionalSettings::Italian()), c.italian);
    EXPECT_EQ(ValueToText(c.value, RegionalSettings{}), c.c_locale);
  }
}

// Numbers take the platform's exact scaled form.
TEST(ValueToTextTest, ScaledNumbersTakeTheExactForm) {
  const std::vector<std::pair<Scaled, std::string>> cases = {
      {{0, 0}, "0"},
      {{0, -2}, "0"},
      {{0, 3}, "0"},
      {{123, 2}, "12300"},
      {{-123, 2}, "-12300"},
      {{1000, -3}, "1"},
      {{1250, -2}, "12,5"},
      {{5, -2}, "0,05"},
      {{-5, -2}, "-0,05"},
      {{100, -5}, "0,001"},
      {{-1, -18}, "-0,000000000000000001"},
      {{INT64_MIN, 0}, "-9223372036854775808"},
      {{INT64_MIN, -2}, "-92233720368547758,08"},
      {{INT64_MAX, -19}, "0,9223372036854775807"},
  };
  for (const auto& [number, italian] : cases) {
    SCOPED_TRACE(italian);
    EXPECT_EQ(ValueToText(number, RegionalSettings::Italian()), italian);
    EXPECT_EQ(italian, FormatScaled(number.value, number.scale, RegionalSettings::Italian()));
  }
}

TEST(ValueToTextTest, WeekdayAndDayOfYearReachTheDateFormat) {
  RegionalSettings rs;
  rs.short_date_format = "%a %j";
  EXPECT_EQ(ValueToText(Date{2024, 3, 1}, rs), "Fri 061");
}

TEST(ValueToInt32Test, ConvertsNumbersTextsAndNull) {
  const std::vector<std::pair<Value, std::int32_t>> cases = {
      {Null{}, 0},
      {Int(2147483647), 2147483647},
      {Int(-2147483648LL), -2147483648},
      {Scaled{1299, -2}, 12},
      {Scaled{-1299, -2}, -12},
      {-3.9, -3},
      {Text("-17"), -17},
      {Text(" 5"), 5},  // leading blanks are skipped, as in the settings
      {true, 1},
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(::testing::PrintToString(value));
    EXPECT_EQ(ValueToInt32(value), expected);
  }
}

TEST(ValueToInt32Test, RefusesWhatIsNoWholeNumberInRange) {
  const std::vector<Value> cases = {
      Int(2147483648LL), Scaled{300000000000, -1}, 3e10, Text("5 "), Text("5.5"), Text(""),
      Text("abc"),       Date{2024, 1, 1}};
  for (const Value& value : cases) {
    SCOPED_TRACE(::testing::PrintToString(value));
    EXPECT_THROW(ValueToInt32(value), ConvertError);
  }
  try {
    ValueToInt32(Text("abc"));
  } catch (const ConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
}

TEST(ValueToDoubleTest, ConvertsNumbersTextsAndNull) {
  const std::vector<std::pair<Value, double>> cases = {
      {Null{}, 0.0}, {Scaled{1250, -2}, 12.5}, {Scaled{1, -1}, 0.1},   {Scaled{-7, 0}, -7.0},
      {2.75, 2.75},  {Text("12,5"), 12.5},     {Text("-0.25"), -0.25}, {Text("1e3"), 1000.0},
      {false, 0.0},
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(::testing::PrintToString(value));
    // Exact: a NUMERIC becomes the double nearest to its decimal value.
    EXPECT_EQ(ValueToDouble(value), expected);
  }
}

TEST(ValueToDoubleTest, RefusesWhatIsNoNumber) {
  for (const Value& value :
       {Text("abc"), Text(""), Text("nan"), Text("1,2,3"), Text(" 1"), Value{Time{1, 2, 3, 0}}}) {
    SCOPED_TRACE(::testing::PrintToString(value));
    EXPECT_THROW(ValueToDouble(value), ConvertError);
  }
}

}  // namespace
}  // namespace et::fb
