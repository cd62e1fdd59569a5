// Instants on the calendar, for records that outlive the run (the run
// status and its history): read from the system clock, kept as time points,
// written as ISO 8601 local times with their offset from UTC.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace et {

using WallTime = std::chrono::system_clock::time_point;

// The system clock now.
WallTime WallNow();

// "2026-12-10T02:00:03+01:00": local time of the process's time zone, whole
// seconds, the offset with a colon.
std::string FormatIso8601(WallTime t);

// Reads what FormatIso8601 writes (also "Z" for UTC, and fractions of a
// second, which are dropped). nullopt for any other text.
std::optional<WallTime> ParseIso8601(std::string_view text);

// Seconds since 1970-01-01 UTC, with the fraction.
double EpochSeconds(WallTime t);

}  // namespace et
