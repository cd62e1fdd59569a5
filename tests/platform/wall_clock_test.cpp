#include "platform/wall_clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace et {
namespace {

class WallClock : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    if (tz) previous_ = tz;
  }
  void TearDown() override {
    if (previous_) {
      ::setenv("TZ", previous_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }
  static void Zone(const char* tz) {
    ::setenv("TZ", tz, 1);
    ::tzset();
  }

 private:
  std::optional<std::string> previous_;
};

TEST_F(WallClock, LocalTimeWithItsOffset) {
  const WallTime winter{std::chrono::seconds(1765332003)};  // 2025-12-10 02:00:03 UTC
  const WallTime summer{std::chrono::seconds(1751335200)};  // 2025-07-01 02:00:00 UTC
  const struct {
    const char* tz;
    WallTime t;
    const char* text;
  } cases[] = {
      {"Europe/Rome", winter, "2025-12-10T03:00:03+01:00"},
      {"Europe/Rome", summer, "2025-07-01T04:00:00+02:00"},
      {"UTC", winter, "2025-12-10T02:00:03+00:00"},
      {"America/St_Johns", winter, "2025-12-09T22:30:03-03:30"},
  };
  for (const auto& c : cases) {
    Zone(c.tz);
    EXPECT_EQ(FormatIso8601(c.t), c.text) << c.tz;
    EXPECT_EQ(ParseIso8601(c.text), c.t) << c.tz;
  }
  // Fractions of a second are not written.
  Zone("UTC");
  EXPECT_EQ(FormatIso8601(winter + std::chrono::milliseconds(999)), "2025-12-10T02:00:03+00:00");
}

TEST_F(WallClock, ParsingTakesUtcAndFractionsAndRefusesEverythingElse) {
  const WallTime t{std::chrono::seconds(1765332003)};
  EXPECT_EQ(ParseIso8601("2025-12-10T02:00:03Z"), t);
  EXPECT_EQ(ParseIso8601("2025-12-10T02:00:03.750Z"), t);
  EXPECT_EQ(ParseIso8601("2025-12-10T03:00:03.5+01:00"), t);
  for (const char* bad :
       {"", "2025-12-10", "2025-12-10T02:00:03", "2025-12-10 02:00:03Z", "2025-13-10T02:00:03Z",
        "2025-02-30T02:00:03Z", "2025-12-10T02:00:03+0100", "2025-12-10T02:00:03Zx", "ieri"}) {
    EXPECT_FALSE(ParseIso8601(bad)) << bad;
  }
}

TEST_F(WallClock, EpochSecondsKeepTheFraction) {
  EXPECT_EQ(EpochSeconds(WallTime{std::chrono::milliseconds(1765332003250)}), 1765332003.25);
}

}  // namespace
}  // namespace et
