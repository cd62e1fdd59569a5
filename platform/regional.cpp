#include "platform/regional.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/environment_locale.h"
#include "platform/strings.h"

namespace et {
namespace {

std::string WithSeparator(std::string text, char separator) {
  for (char& c : text) {
    if (c == '.') c = separator;
  }
  return text;
}

// Names that the platform's own number formatting gives values with no digits.
std::optional<std::string> NonFinite(double value) {
  if (std::isnan(value)) return std::string("NAN");
  if (std::isinf(value)) return std::string(value < 0 ? "-INF" : "INF");
  return std::nullopt;
}

std::string Strftime(const std::string& format, const std::tm& t) {
  if (format.empty()) return {};
  // strftime gives 0 both for a result that does not fit and for an empty
  // one; the buffer grows a few times before the result is taken as empty.
  for (std::size_t size = 64; size <= 4096; size *= 4) {
    std::vector<char> buffer(size);
    const std::size_t n = std::strftime(buffer.data(), buffer.size(), format.c_str(), &t);
    if (n > 0) return std::string(buffer.data(), n);
  }
  return {};
}

}  // namespace

RegionalSettings RegionalSettings::FromEnvironment() {
  RegionalSettings rs;
  const EnvironmentLocale numeric(LC_NUMERIC_MASK);
  if (numeric.Loaded()) {
    const std::string radix = numeric.Info(RADIXCHAR);
    // A separator of more than one byte has no place in the one-character
    // setting; the C locale's stays.
    if (radix.size() == 1) rs.decimal_separator = radix[0];
  }
  const EnvironmentLocale time(LC_TIME_MASK);
  if (time.Loaded()) {
    const std::string date_format = time.Info(D_FMT);
    const std::string time_format = time.Info(T_FMT);
    if (!date_format.empty()) rs.short_date_format = date_format;
    if (!time_format.empty()) rs.long_time_format = time_format;
  }
  return rs;
}

RegionalSettings RegionalSettings::Italian() {
  return RegionalSettings{',', "%d/%m/%Y", "%H:%M:%S"};
}

std::string FormatFixed2(double value, const RegionalSettings& rs) {
  if (auto text = NonFinite(value)) return *text;

  // The value is a tie at the second decimal only when value * 8 is an odd
  // integer (a double is a sum of powers of two; k/200 is one only when k is
  // a multiple of 25). Those ties are rounded away from zero here, in
  // integers; every other value is rounded right by printf, which rounds on
  // the exact binary value.
  const double eighths = value * 8;  // exact: a power of two
  if (std::fabs(eighths) < 0x1p53 && eighths == std::trunc(eighths) &&
      std::fmod(eighths, 2.0) != 0.0) {
    const long long k = std::llabs(static_cast<long long>(eighths));
    const long long cents = (25 * k + 1) / 2;  // |value| * 100 = 25k / 2
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s%lld%c%02lld", value < 0 ? "-" : "", cents / 100,
                  rs.decimal_separator, cents % 100);
    return buffer;
  }

  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.2f", value);
  std::string text = buffer;
  // A negative value that rounds to zero is written as zero.
  if (text == "-0.00") text = "0.00";
  return WithSeparator(text, rs.decimal_separator);
}

std::string FormatGeneral(double value, const RegionalSettings& rs) {
  if (auto text = NonFinite(value)) return *text;
  if (value == 0) return "0";  // also for -0
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return WithSeparator(buffer, rs.decimal_separator);
}

std::string FormatScaled(std::int64_t value, int scale, const RegionalSettings& rs) {
  std::string text;
  AppendScaled(value, scale, rs, text);
  return text;
}

void AppendScaled(std::int64_t value, int scale, const RegionalSettings& rs, std::string& out) {
  const bool negative = value < 0;
  // Through unsigned so that the smallest 64-bit value has a magnitude too.
  const std::uint64_t magnitude =
      negative ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
  char digits[24];
  const std::size_t count = static_cast<std::size_t>(
      std::to_chars(digits, digits + sizeof digits, magnitude).ptr - digits);
  if (negative) out += '-';
  if (scale >= 0) {
    out.append(digits, count);
    if (magnitude != 0) out.append(static_cast<std::size_t>(scale), '0');
    return;
  }
  // value * 10^scale: the last `decimals` digits (zeros in front when there
  // are fewer) are the fraction, shown without its trailing zeros.
  const std::size_t decimals = static_cast<std::size_t>(-static_cast<long long>(scale));
  const std::size_t integer_digits = count > decimals ? count - decimals : 0;
  if (integer_digits == 0) {
    out += '0';
  } else {
    out.append(digits, integer_digits);
  }
  std::size_t last = count;  // one past the last fraction digit that is not zero
  while (last > integer_digits && digits[last - 1] == '0') --last;
  if (last == integer_digits) return;
  out += rs.decimal_separator;
  if (decimals > count) out.append(decimals - count, '0');
  out.append(digits + integer_digits, last - integer_digits);
}

std::string FormatShortDate(const std::tm& t, const RegionalSettings& rs) {
  return Strftime(rs.short_date_format, t);
}

std::string FormatLongTime(const std::tm& t, const RegionalSettings& rs) {
  return Strftime(rs.long_time_format, t);
}

bool TryParseInt32(const std::string& text, std::int32_t& out) {
  std::size_t pos = text.size() - SkipSpacesAndTabs(text).size();
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  if (pos == text.size()) return false;
  long long magnitude = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > 2147483648LL) return false;
  }
  const long long result = negative ? -magnitude : magnitude;
  if (result > INT32_MAX) return false;
  out = static_cast<std::int32_t>(result);
  return true;
}

std::tm SystemClock::Now() const {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return local;
}

}  // namespace et
