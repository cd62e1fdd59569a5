#include "platform/wall_clock.h"

#include <cstdio>
#include <ctime>

namespace et {
namespace {

bool ReadDigits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

WallTime WallNow() { return std::chrono::system_clock::now(); }

std::string FormatIso8601(WallTime t) {
  const std::time_t seconds =
      std::chrono::system_clock::to_time_t(std::chrono::time_point_cast<std::chrono::seconds>(t));
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char text[40];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  const long offset_minutes = local.tm_gmtoff / 60;
  const long magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
  std::snprintf(text + n, sizeof text - n, "%c%02ld:%02ld", offset_minutes < 0 ? '-' : '+',
                magnitude / 60, magnitude % 60);
  return text;
}

std::optional<WallTime> ParseIso8601(std::string_view text) {
  int year, month, day, hour, minute, second;
  if (!ReadDigits(text, 0, 4, year) || text.size() < 19 || text[4] != '-' ||
      !ReadDigits(text, 5, 2, month) || text[7] != '-' || !ReadDigits(text, 8, 2, day) ||
      text[10] != 'T' || !ReadDigits(text, 11, 2, hour) || text[13] != ':' ||
      !ReadDigits(text, 14, 2, minute) || text[16] != ':' || !ReadDigits(text, 17, 2, second)) {
    return std::nullopt;
  }
  std::size_t at = 19;
  if (at < text.size() && text[at] == '.') {
    ++at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
  }
  long offset_seconds = 0;
  if (at < text.size() && text[at] == 'Z') {
    ++at;
  } else {
    int offset_hours, offset_minutes;
    if (at >= text.size() || (text[at] != '+' && text[at] != '-') ||
        !ReadDigits(text, at + 1, 2, offset_hours) || at + 3 >= text.size() ||
        text[at + 3] != ':' || !ReadDigits(text, at + 4, 2, offset_minutes)) {
      return std::nullopt;
    }
    offset_seconds = (offset_hours * 60L + offset_minutes) * 60L * (text[at] == '-' ? -1 : 1);
    at += 6;
  }
  if (at != text.size() || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 60) {
    return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year(year),
                                         std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok()) return std::nullopt;
  const auto utc = std::chrono::sys_days(date) + std::chrono::hours(hour) +
                   std::chrono::minutes(minute) + std::chrono::seconds(second) -
                   std::chrono::seconds(offset_seconds);
  return std::chrono::time_point_cast<WallTime::duration>(utc);
}

double EpochSeconds(WallTime t) {
  // Whole seconds and the fraction apart, so that a fraction such as .25
  // stays exact.
  const auto whole = std::chrono::floor<std::chrono::seconds>(t.time_since_epoch());
  return static_cast<double>(whole.count()) +
         std::chrono::duration<double>(t.time_since_epoch() - whole).count();
}

}  // namespace et
