// The Prometheus file of a run, as the node exporter's textfile collector
// would read it: parsed by a real parser of the exposition format.
#include "status/prometheus_status.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>

#include "platform/error.h"
#include "support/prometheus_file.h"
#include "support/temp_dir.h"

namespace et {
namespace {

namespace fs = std::filesystem;
using test::ParsePrometheusFile;
using test::PrometheusFile;

WallTime At(double epoch_seconds) {
  return WallTime(
      std::chrono::duration_cast<WallTime::duration>(std::chrono::duration<double>(epoch_seconds)));
}

RunRecord PriceListRun(RecordedOutcome outcome, double start, double end) {
  RunRecord r;
  r.run = kPriceListRunName;
  r.start = At(start);
  r.end = At(end);
  r.outcome = outcome;
  r.exit_status = outcome == RecordedOutcome::kCompleted ? 232 : 233;
  FileRecord& list = r.File("listini.csv");
  list.lines = 60000;
  list.bytes = 4200000;
  list.uploaded = true;
  FileRecord& customers = r.File("clienti \"A\" \\ B.csv");
  customers.lines = 12;
  customers.bytes = 345;
  customers.upload_error = "530 Login incorrect.";
  r.triggers.push_back({"CAT_EXPPRVEN_SCRIPT", true, ""});
  r.triggers.push_back({"CAT_EXPPRVEN_SCRIPT2", false, "HTTP/1.1 404 Not Found"});
  r.pings.push_back({"start", true, ""});
  r.pings.push_back({"fail", false, "Connection refused"});
  return r;
}

std::map<std::string, std::string> Labels(std::map<std::string, std::string> extra = {}) {
  extra["run"] = "listini";
  return extra;
}

TEST(PrometheusStatus, EverySeriesParsesWithItsHelpTypeAndLabels) {
  test::TempDir dir;
  const RunRecord record = PriceListRun(RecordedOutcome::kFailed, 1765332000.25, 1765332012.75);
  WritePrometheusStatus(dir.Path(), record);

  const std::string path = dir.File("exporttotale_listini.prom");
  const std::optional<PrometheusFile> prom = ParsePrometheusFile(path);
  ASSERT_TRUE(prom);
  for (const char* family :
       {"exporttotale_last_run_timestamp_seconds", "exporttotale_last_success_timestamp_seconds",
        "exporttotale_last_run_duration_seconds", "exporttotale_last_run_exit_status",
        "exporttotale_last_run_completed", "exporttotale_file_lines", "exporttotale_file_bytes",
        "exporttotale_file_uploaded", "exporttotale_trigger_ok", "exporttotale_ping_ok"}) {
    const test::PrometheusFamily* f = prom->Family(family);
    ASSERT_NE(f, nullptr) << family;
    EXPECT_EQ(f->type, "gauge") << family;
    EXPECT_FALSE(f->help.empty()) << family;
  }
  for (const test::PrometheusSample& s : prom->samples) EXPECT_EQ(s.labels.at("run"), "listini");

  EXPECT_EQ(prom->Value("exporttotale_last_run_timestamp_seconds", Labels()), 1765332012.75);
  EXPECT_EQ(prom->Value("exporttotale_last_run_duration_seconds", Labels()), 12.5);
  EXPECT_EQ(prom->Value("exporttotale_last_run_exit_status", Labels()), 233);
  EXPECT_EQ(prom->Value("exporttotale_last_run_completed", Labels()), 0);
  // No earlier file, no completed run: no success yet.
  EXPECT_EQ(prom->Value("exporttotale_last_success_timestamp_seconds", Labels()), 0);

  EXPECT_EQ(prom->Value("exporttotale_file_lines", Labels({{"file", "listini.csv"}})), 60000);
  EXPECT_EQ(prom->Value("exporttotale_file_bytes", Labels({{"file", "listini.csv"}})), 4200000);
  EXPECT_EQ(prom->Value("exporttotale_file_uploaded", Labels({{"file", "listini.csv"}})), 1);
  // Quotes and backslashes in a file name survive the label's escaping.
  EXPECT_EQ(prom->Value("exporttotale_file_lines", Labels({{"file", "clienti \"A\" \\ B.csv"}})),
            12);
  EXPECT_EQ(prom->Value("exporttotale_file_uploaded", Labels({{"file", "clienti \"A\" \\ B.csv"}})),
            0);
  EXPECT_EQ(prom->Value("exporttotale_trigger_ok", Labels({{"trigger", "CAT_EXPPRVEN_SCRIPT"}})),
            1);
  EXPECT_EQ(prom->Value("exporttotale_trigger_ok", Labels({{"trigger", "CAT_EXPPRVEN_SCRIPT2"}})),
            0);
  EXPECT_EQ(prom->Value("exporttotale_ping_ok", Labels({{"ping", "start"}})), 1);
  EXPECT_EQ(prom->Value("exporttotale_ping_ok", Labels({{"ping", "fail"}})), 0);

  // Nothing but the file itself is left in the directory.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Path())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"exporttotale_listini.prom"});
}

TEST(PrometheusStatus, LastSuccessIsKeptFromThePreviousFileUntilARunCompletes) {
  test::TempDir dir;
  const std::string path = dir.File("exporttotale_listini.prom");
  struct Step {
    RecordedOutcome outcome;
    double end;
    double expected_last_success;
  } steps[] = {
      {RecordedOutcome::kHalted, 1000.5, 0},      {RecordedOutcome::kCompleted, 2000.5, 2000.5},
      {RecordedOutcome::kFailed, 3000.5, 2000.5}, {RecordedOutcome::kStopped, 4000.5, 2000.5},
      {RecordedOutcome::kHalted, 5000.5, 2000.5}, {RecordedOutcome::kCompleted, 6000.5, 6000.5},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.end);
    WritePrometheusStatus(dir.Path(), PriceListRun(step.outcome, step.end - 10, step.end));
    const std::optional<PrometheusFile> prom = ParsePrometheusFile(path);
    ASSERT_TRUE(prom);
    EXPECT_EQ(prom->Value("exporttotale_last_success_timestamp_seconds", Labels()),
              step.expected_last_success);
    EXPECT_EQ(prom->Value("exporttotale_last_run_timestamp_seconds", Labels()), step.end);
  }
}

TEST(PrometheusStatus, EachRunKindHasItsOwnFile) {
  test::TempDir dir;
  RunRecord stock = PriceListRun(RecordedOutcome::kCompleted, 10, 20);
  stock.run = kStockRunName;
  RunRecord promo = PriceListRun(RecordedOutcome::kFailed, 30, 40);
  promo.run = kPromoStockRunName;
  WritePrometheusStatus(dir.Path(), stock);
  WritePrometheusStatus(dir.Path(), promo);
  const auto stock_prom = ParsePrometheusFile(dir.File("exporttotale_giacenze.prom"));
  const auto promo_prom = ParsePrometheusFile(dir.File("exporttotale_promo.prom"));
  ASSERT_TRUE(stock_prom && promo_prom);
  EXPECT_EQ(stock_prom->Value("exporttotale_last_run_exit_status", {{"run", "giacenze"}}), 232);
  EXPECT_EQ(promo_prom->Value("exporttotale_last_run_exit_status", {{"run", "promo"}}), 233);
}

TEST(PrometheusStatus, AHaltedRunWithoutFilesStillParses) {
  test::TempDir dir;
  RunRecord r;
  r.run = kStockRunName;
  r.start = At(100);
  r.end = At(101);
  r.exit_status = 233;
  r.message = "DIRCATINTERNET mancante";
  WritePrometheusStatus(dir.Path(), r);
  const auto prom = ParsePrometheusFile(dir.File("exporttotale_giacenze.prom"));
  ASSERT_TRUE(prom);
  EXPECT_TRUE(prom->Samples("exporttotale_file_lines").empty());
  EXPECT_EQ(prom->Value("exporttotale_last_run_completed", {{"run", "giacenze"}}), 0);
}

TEST(PrometheusStatus, NumbersIgnoreTheProcessLocale) {
  // A comma from an Italian locale would make the file unreadable.
  const char* previous = std::setlocale(LC_NUMERIC, "it_IT.UTF-8");
  const std::string text =
      FormatPrometheusStatus(PriceListRun(RecordedOutcome::kCompleted, 1.5, 3.25), std::nullopt);
  if (previous) std::setlocale(LC_NUMERIC, "C");
  EXPECT_NE(text.find("exporttotale_last_run_duration_seconds{run=\"listini\"} 1.750\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(ReadLastSuccess(text), 3.25);
}

TEST(PrometheusStatus, AReplacedFileIsNeverFollowedThroughALink) {
  test::TempDir dir;
  test::WriteFile(dir.File("elsewhere"), "keep me");
  fs::create_symlink(dir.File("elsewhere"), dir.File("exporttotale_listini.prom"));
  WritePrometheusStatus(dir.Path(), PriceListRun(RecordedOutcome::kCompleted, 1, 2));
  EXPECT_EQ(test::ReadFile(dir.File("elsewhere")), "keep me");
  EXPECT_FALSE(fs::is_symlink(dir.File("exporttotale_listini.prom")));
  EXPECT_TRUE(ParsePrometheusFile(dir.File("exporttotale_listini.prom")));
}

TEST(PrometheusStatus, AMissingDirectoryIsAnError) {
  EXPECT_THROW(
      WritePrometheusStatus("/nonexistent/status", PriceListRun(RecordedOutcome::kCompleted, 1, 2)),
      IoError);
}

}  // namespace
}  // namespace et
