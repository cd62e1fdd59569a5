// What `exporttotale-admin stato` prints of the history, and when it says
// that something needs looking at.
#include "status/status_lines.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace et {
namespace {

RunRecord Record(const char* kind, RecordedOutcome outcome, int day) {
  RunRecord r;
  r.run = kind;
  r.start = WallTime(std::chrono::seconds(1765332000 + day * 86400));
  r.end = r.start + std::chrono::milliseconds(12340);
  r.outcome = outcome;
  r.exit_status = outcome == RecordedOutcome::kCompleted ? 232 : 233;
  return r;
}

class StatusLines : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "Europe/Rome", 1);
    ::tzset();
  }
};

TEST_F(StatusLines, OneLinePerRunWithEveryFileTriggerAndFailedPing) {
  RunRecord r = Record(kPriceListRunName, RecordedOutcome::kFailed, 0);
  r.message = "HTTP/1.1 404 Not Found\r\nsecond line";
  FileRecord& list = r.File("listini.csv");
  list.lines = 40;
  list.bytes = 2000;
  list.upload_error =
      "File listini.csv non pubblicato: 40 righe di dati contro 60000 dell'ultimo caricamento "
      "riuscito (calo oltre il 10%)";
  FileRecord& customers = r.File("clienti.csv");
  customers.lines = 3;
  customers.bytes = 90;
  customers.uploaded = true;
  r.triggers.push_back({"CAT_EXPPRVEN_SCRIPT2", false, "HTTP/1.1 404 Not Found"});
  r.pings.push_back({"start", true, ""});
  r.pings.push_back({"fail", false, "Connection refused"});
  EXPECT_EQ(FormatRunLine(r),
            "2025-12-10T03:00:00+01:00 listini fallita (233, 12.3 s): HTTP/1.1 404 Not Found  "
            "second line; listini.csv 40 righe 2000 byte non caricato (File listini.csv non "
            "pubblicato: 40 righe di dati contro 60000 dell'ultimo caricamento riuscito (calo "
            "oltre il 10%)); clienti.csv 3 righe 90 byte caricato; CAT_EXPPRVEN_SCRIPT2 errore "
            "(HTTP/1.1 404 Not Found); ping fail errore (Connection refused)");
}

TEST_F(StatusLines, EachOutcomeInWords) {
  const struct {
    RecordedOutcome outcome;
    const char* line;
  } cases[] = {
      {RecordedOutcome::kCompleted, "2025-12-10T03:00:00+01:00 giacenze completata (232, 12.3 s)"},
      {RecordedOutcome::kFailed, "2025-12-10T03:00:00+01:00 giacenze fallita (233, 12.3 s)"},
      {RecordedOutcome::kHalted, "2025-12-10T03:00:00+01:00 giacenze arrestata (233, 12.3 s)"},
      {RecordedOutcome::kStopped, "2025-12-10T03:00:00+01:00 giacenze interrotta (233, 12.3 s)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatRunLine(Record(kStockRunName, c.outcome, 0)), c.line);
  }
}

TEST_F(StatusLines, NewestFirstAndAtMostTheCountAsked) {
  std::vector<RunRecord> history;
  for (int day = 0; day < 5; ++day) {
    history.push_back(Record(kStockRunName, RecordedOutcome::kCompleted, day));
  }
  const std::vector<std::string> lines = FormatNewestRuns(history, 3);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 10), "2025-12-14");
  EXPECT_EQ(lines[1].substr(0, 10), "2025-12-13");
  EXPECT_EQ(lines[2].substr(0, 10), "2025-12-12");
  EXPECT_EQ(FormatNewestRuns(history, 10).size(), 5u);
  EXPECT_TRUE(FormatNewestRuns(history, 0).empty());
}

TEST_F(StatusLines, TheNewestRunOfEachKindMustHaveCompleted) {
  using O = RecordedOutcome;
  const struct {
    const char* name;
    std::vector<RunRecord> history;
    bool all_completed;
  } cases[] = {
      {"empty history", {}, false},
      {"one completed", {Record("giacenze", O::kCompleted, 0)}, true},
      {"a failure mended by a later run",
       {Record("giacenze", O::kFailed, 0), Record("giacenze", O::kCompleted, 1)},
       true},
      {"the newest failed",
       {Record("giacenze", O::kCompleted, 0), Record("giacenze", O::kFailed, 1)},
       false},
      {"another kind's newest halted after this kind completed",
       {Record("listini", O::kHalted, 0), Record("giacenze", O::kCompleted, 1)},
       false},
      {"every kind's newest completed",
       {Record("listini", O::kStopped, 0), Record("promo", O::kCompleted, 1),
        Record("listini", O::kCompleted, 2), Record("giacenze", O::kCompleted, 3)},
       true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NewestRunOfEveryKindCompleted(c.history), c.all_completed) << c.name;
  }
}

}  // namespace
}  // namespace et
