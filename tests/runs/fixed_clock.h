// A clock that always reads the same local date and time.
#pragma once

#include <ctime>

#include "platform/regional.h"

namespace et::test {

class FixedClock final : public Clock {
 public:
  FixedClock(int year, int month, int day, int hour, int minute, int second) {
    tm_.tm_year = year - 1900;
    tm_.tm_mon = month - 1;
    tm_.tm_mday = day;
    tm_.tm_hour = hour;
    tm_.tm_min = minute;
    tm_.tm_sec = second;
  }
  std::tm Now() const override { return tm_; }

 private:
  std::tm tm_{};
};

}  // namespace et::test
