// Regional settings (decimal separator, date and time formats) and the number
// formats the system writes. The settings are a value read once at start and
// passed explicitly, so tests can fix Italian settings without a locale.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace et {

struct RegionalSettings {
  char decimal_separator = '.';
  std::string short_date_format = "%m/%d/%y";  // strftime pattern
  std::string long_time_format = "%H:%M:%S";   // strftime pattern

  // The settings of the process locale (LC_ALL, LC_NUMERIC, LC_TIME, LANG);
  // the C locale's when none is set or it cannot be loaded.
  static RegionalSettings FromEnvironment();
  // Italian settings: ',' and "%d/%m/%Y", "%H:%M:%S".
  static RegionalSettings Italian();
};

// "#####0.00": at least one integer digit, exactly two decimals, no thousands
// separator, a leading '-' when negative, rounded on the exact value of the
// double with a half rounded away from zero (0.125 -> 0,13; -0.125 -> -0,13).
std::string FormatFixed2(double value, const RegionalSettings& rs);

// The shortest general form of a double (15 significant digits): no
// thousands separator, no trailing zeros (12.5 -> 12,5; 7 -> 7).
std::string FormatGeneral(double value, const RegionalSettings& rs);

// A scaled integer (an integer or NUMERIC/DECIMAL: value * 10^scale) in the
// shortest exact form: 12500 with scale -3 -> 12,5; 5 with scale 2 -> 500.
std::string FormatScaled(std::int64_t value, int scale, const RegionalSettings& rs);

// Appends FormatScaled's text to `out` without a string of its own, for loops
// that format many numbers into one reused buffer.
void AppendScaled(std::int64_t value, int scale, const RegionalSettings& rs, std::string& out);

// Date and time in the short date and long time formats.
std::string FormatShortDate(const std::tm& t, const RegionalSettings& rs);
std::string FormatLongTime(const std::tm& t, const RegionalSettings& rs);

// Parses a decimal 32-bit integer as the settings have always been read:
// leading spaces and tabs are skipped, then an optional sign and digits make
// up the rest of the text (" 3" is 3). Anything else, trailing blanks and a
// blank after the sign included, makes it invalid: false, and `out` is left
// as it was.
bool TryParseInt32(const std::string& text, std::int32_t& out);

// The local clock; a value passed in so tests can fix the time.
class Clock {
 public:
  virtual ~Clock() = default;
  // The local date and time now.
  virtual std::tm Now() const = 0;
};

class SystemClock final : public Clock {
 public:
  std::tm Now() const override;
};

}  // namespace et
