#include "fb/value.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/error.h"

namespace et::fb {
namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};

std::int64_t PowerOfTen(int exponent) {
  std::int64_t p = 1;
  for (int i = 0; i < exponent; ++i) p *= 10;
  return p;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::tm ToTm(const Date& d, const Time& t) {
  std::tm tm{};
  tm.tm_year = d.year - 1900;
  tm.tm_mon = d.month - 1;
  tm.tm_mday = d.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  if (d.year != 0) {
    const long days = DaysFromCivil(d.year, d.month, d.day);
    tm.tm_wday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    tm.tm_yday = static_cast<int>(days - DaysFromCivil(d.year, 1, 1));
  }
  tm.tm_isdst = -1;
  return tm;
}

std::string ScaledToText(const Scaled& s, const RegionalSettings& rs) {
  return FormatScaled(s.value, s.scale, rs);
}

[[noreturn]] void NotAnInteger(const std::string& text) {
  throw ConvertError("'" + text + "' is not a valid integer value");
}

[[noreturn]] void NotAFloat(const std::string& text) {
  throw ConvertError("'" + text + "' is not a valid floating point value");
}

std::int32_t DoubleToInt32(double d) {
  const double t = std::trunc(d);
  if (!(t >= std::numeric_limits<std::int32_t>::min() &&
        t <= std::numeric_limits<std::int32_t>::max())) {
    NotAnInteger(FormatGeneral(d, RegionalSettings{}));
  }
  return static_cast<std::int32_t>(t);
}

// A decimal number with '.' or ',' as its separator and an optional
// exponent; nothing else, no blanks.
double ParseDouble(const std::string& text) {
  std::string s = text;
  for (char& c : s) {
    if (c == ',') c = '.';
  }
  double d = 0;
  const char* first = s.data();
  const char* last = s.data() + s.size();
  if (first != last && *first == '+') ++first;
  const auto [end, ec] = std::from_chars(first, last, d, std::chars_format::general);
  if (s.empty() || ec != std::errc() || end != last || !std::isfinite(d)) NotAFloat(text);
  return d;
}

}  // namespace

std::string ValueToText(const Value& v, const RegionalSettings& rs) {
  return std::visit(Overloaded{
                        [](const Null&) { return std::string(); },
                        [&](const Scaled& s) { return ScaledToText(s, rs); },
                        [&](double d) { return FormatGeneral(d, rs); },
                        [](const std::string& s) { return s; },
                        [&](const Date& d) {
                          const std::tm tm = ToTm(d, Time{});
                          return FormatShortDate(tm, rs);
                        },
                        [&](const Time& t) {
                          const std::tm tm = ToTm(Date{}, t);
                          return FormatLongTime(tm, rs);
                        },
                        [&](const Timestamp& ts) {
                          const std::tm tm = ToTm(ts.date, ts.time);
                          std::string text = FormatShortDate(tm, rs);
                          if (ts.time != Time{}) {
                            text += ' ';
                            text += FormatLongTime(tm, rs);
                          }
                          return text;
                        },
                        [](bool b) { return std::string(b ? "True" : "False"); },
                    },
                    v);
}

std::int32_t ValueToInt32(const Value& v) {
  return std::visit(
      Overloaded{
          [](const Null&) -> std::int32_t { return 0; },
          [](const Scaled& s) -> std::int32_t {
            std::int64_t n = s.value;
            if (s.scale < 0) {
              n = s.scale < -18 ? 0 : n / PowerOfTen(-s.scale);  // truncates toward zero
            } else if (s.scale > 0) {
              const double d = static_cast<double>(n) * static_cast<double>(PowerOfTen(s.scale));
              return DoubleToInt32(d);
            }
            if (n < std::numeric_limits<std::int32_t>::min() ||
                n > std::numeric_limits<std::int32_t>::max()) {
              NotAnInteger(ScaledToText(s, RegionalSettings{}));
            }
            return static_cast<std::int32_t>(n);
          },
          [](double d) { return DoubleToInt32(d); },
          [](const std::string& s) {
            std::int32_t n = 0;
            if (!TryParseInt32(s, n)) NotAnInteger(s);
            return n;
          },
          [&](const Date&) -> std::int32_t { NotAnInteger(ValueToText(v, RegionalSettings{})); },
          [&](const Time&) -> std::int32_t { NotAnInteger(ValueToText(v, RegionalSettings{})); },
          [&](const Timestamp&) -> std::int32_t {
            NotAnInteger(ValueToText(v, RegionalSettings{}));
          },
          [](bool b) -> std::int32_t { return b ? 1 : 0; },
      },
      v);
}

double ValueToDouble(const Value& v) {
  return std::visit(
      Overloaded{
          [](const Null&) { return 0.0; },
          [](const Scaled& s) {
            if (s.scale >= 0) return static_cast<double>(s.value) * std::pow(10.0, s.scale);
            // Dividing by the exact power of ten rounds once, so 1250 with
            // scale -2 gives the double nearest to 12.5 and not 12.500000001.
            return static_cast<double>(s.value) / std::pow(10.0, -s.scale);
          },
          [](double d) { return d; },
          [](const std::string& s) { return ParseDouble(s); },
          [&](const Date&) -> double { NotAFloat(ValueToText(v, RegionalSettings{})); },
          [&](const Time&) -> double { NotAFloat(ValueToText(v, RegionalSettings{})); },
          [&](const Timestamp&) -> double { NotAFloat(ValueToText(v, RegionalSettings{})); },
          [](bool b) { return b ? 1.0 : 0.0; },
      },
      v);
}

}  // namespace et::fb
