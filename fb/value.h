// Values of columns and parameters. Texts are UTF-8 inside the program; the
// database layer turns them into and out of the Windows-1252 bytes that a
// connection without character set carries.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "platform/regional.h"

namespace et::fb {

// SQL NULL.
struct Null {
  // Every NULL equals every other: values compare as data here, not as SQL.
  bool operator==(const Null&) const = default;
};
// SMALLINT, INTEGER, BIGINT (scale 0) and NUMERIC/DECIMAL (scale < 0):
// the number is value * 10^scale.
struct Scaled {
  std::int64_t value = 0;  // the digits
  int scale = 0;           // the power of ten they are multiplied by
  // Equal when digits and scale are: 1250 at -2 is not 125 at -1.
  bool operator==(const Scaled&) const = default;
};
// A calendar date.
struct Date {
  int year = 0, month = 0, day = 0;  // month and day from 1
  // Equal when every field is.
  bool operator==(const Date&) const = default;
};
// A time of day.
struct Time {
  int hour = 0, minute = 0, second = 0, fraction = 0;  // fraction: 1/10000 s
  // Equal when every field is.
  bool operator==(const Time&) const = default;
};
// A date with a time of day.
struct Timestamp {
  Date date;  // the day
  Time time;  // the time of that day
  // Equal when date and time are.
  bool operator==(const Timestamp&) const = default;
};

// One column or parameter value; text blobs read as std::string.
using Value = std::variant<Null, Scaled, double, std::string, Date, Time, Timestamp, bool>;

// True for SQL NULL.
inline bool IsNull(const Value& v) { return std::holds_alternative<Null>(v); }

// An integer value (scale 0).
inline Value Int(std::int64_t v) { return Scaled{v, 0}; }
// A text value (UTF-8).
inline Value Text(std::string s) { return Value{std::move(s)}; }

// The text form of a value: NULL empty; integers in decimal with '-' when
// negative; NUMERIC in the shortest exact form and doubles in the shortest
// general form, both with the regional decimal separator; texts as stored
// (fixed-length texts keep their trailing blanks); dates in the short date
// format, times in the long time format, timestamps as the date, a blank and
// the time (the date alone at midnight); booleans "True"/"False".
std::string ValueToText(const Value& v, const RegionalSettings& rs);

// The value as a 32-bit integer: numbers truncated toward zero, texts parsed
// as whole numbers, booleans 1 and 0. NULL gives 0. Raises ConvertError when
// it cannot (out of range, not a number, a date or time).
std::int32_t ValueToInt32(const Value& v);

// The value as a double: texts parsed as decimal numbers with '.' or ',' as
// the separator, booleans 1 and 0. NULL gives 0. Raises ConvertError when it
// cannot (not a number, a date or time).
double ValueToDouble(const Value& v);

}  // namespace et::fb
