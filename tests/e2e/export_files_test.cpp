// How the built program writes its export files, end to end: the stock run
// against a real embedded business database, a real FTP server and a real
// HTTP trigger server on the loopback interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/crlf_lines.h"
#include "support/servers.h"
#include "support/temp_dir.h"
#include "tests/e2e/e2e.h"

namespace et {
namespace {

namespace fs = std::filesystem;
using test::FtpServer;
using test::HttpServer;
using test::Installation;
using test::kStatusCompleted;
using test::kStatusNotCompleted;
using test::RunInstalled;

class ExportFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    install_ = std::make_unique<Installation>(test::BuiltProgram());
    auto db = install_->Business();
    test::SetStockRunSettings(db, ftp_, http_);
    db.AddStock({.magazzino = 1, .codice = "A1", .idapertura = 3, .quantitapresente = 5});
  }

  std::string CsvPath() const { return install_->ExportDir() + "ESTRAZQ.CSV"; }

  // Names in the export directory other than the run log.
  std::set<std::string> ExportNames() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(install_->ExportDir())) {
      const std::string name = entry.path().filename().string();
      if (name != "logQuorvandelix.txt") names.insert(name);
    }
    return names;
  }

  FtpServer ftp_;
  HttpServer http_;
  std::unique_ptr<Installation> install_;
};

// Codes holding line breaks would forge lines of ESTRAZQ.CSV; each CR, LF and
// NUL becomes a blank, in the file and in its upload alike.
TEST_F(ExportFiles, NoForgedLineFromTheValuesOfTheDatabase) {
  {
    auto db = install_->Business();
    db.AddStock(
        {.magazzino = 1, .codice = "B1\r\n1;FORGED;999", .idapertura = 3, .quantitapresente = 1});
    db.AddStock({.magazzino = 1, .codice = "B2\nFORGED", .idapertura = 3, .quantitapresente = 1});
    db.AddStock({.magazzino = 1, .codice = "B3\rX", .idapertura = 3, .quantitapresente = 1});
    db.AddStock({.magazzino = 1,
                 .codice = std::string("B4\0X", 4),
                 .idapertura = 3,
                 .quantitapresente = 1});
    db.AddStock({.magazzino = 1, .codice = "B5;X", .idapertura = 3, .quantitapresente = 1});
  }
  const auto result = RunInstalled(*install_);
  ASSERT_EQ(result.exit_status, kStatusCompleted) << result.err;

  const std::string csv = test::ReadFile(CsvPath());
  EXPECT_EQ(test::CrLfLines(csv),
            (std::multiset<std::string>{"1;A1;5", "1;B1  1;FORGED;999;1", "1;B2 FORGED;1",
                                        "1;B3 X;1", "1;B4 X;1", "1;B5;X;1"}));
  EXPECT_EQ(ftp_.ReadReceived("catalogo/ESTRAZQ.CSV"), csv);
}

// The file takes its name by a rename: a symbolic link planted at the name
// is replaced by the file, and the file it pointed to stays as it was.
TEST_F(ExportFiles, SymbolicLinkAtTheNameIsReplacedNotFollowed) {
  test::TempDir outside;
  const std::string target = outside.File("elsewhere.txt");
  test::WriteFile(target, "not to be overwritten\r\n");
  fs::create_symlink(target, CsvPath());

  const auto result = RunInstalled(*install_);
  ASSERT_EQ(result.exit_status, kStatusCompleted) << result.err;

  EXPECT_FALSE(fs::is_symlink(CsvPath()));
  EXPECT_TRUE(fs::is_regular_file(CsvPath()));
  EXPECT_EQ(test::ReadFile(CsvPath()), "1;A1;5\r\n");
  EXPECT_EQ(test::ReadFile(target), "not to be overwritten\r\n");
  // Beside the file, the run's status and the line count of its upload.
  EXPECT_EQ(ExportNames(),
            (std::set<std::string>{"ESTRAZQ.CSV", "exporttotale_giacenze.prom",
                                   "exporttotale_runs.jsonl", ".exporttotale_published.json"}));
}

// A run whose export fails keeps the previous complete file, leaves no
// temporary file and uploads nothing.
TEST_F(ExportFiles, FailedExportKeepsThePreviousFileAndUploadsNothing) {
  install_->Business().Exec("DROP TABLE PROGMAG");
  test::WriteFile(CsvPath(), "1;OLD;3\r\n");

  const auto result = RunInstalled(*install_);
  EXPECT_EQ(result.exit_status, kStatusNotCompleted) << result.err;

  EXPECT_EQ(test::ReadFile(CsvPath()), "1;OLD;3\r\n");
  EXPECT_EQ(ExportNames(), (std::set<std::string>{"ESTRAZQ.CSV", "exporttotale_giacenze.prom",
                                                  "exporttotale_runs.jsonl"}));
  const auto commands = ftp_.Commands();
  EXPECT_TRUE(std::none_of(commands.begin(), commands.end(),
                           [](const std::string& c) { return c.rfind("STOR", 0) == 0; }));
  EXPECT_TRUE(http_.Requests().empty());
}

// What a killed run left half written is removed by the next run, which
// holds the directory's lock; other files of the directory stay.
TEST_F(ExportFiles, TemporaryFilesOfAKilledRunAreRemovedByTheNext) {
  for (const char* name : {".ESTRAZQ.CSV.tmp-a1B2c3", ".listini.csv.tmp-XyZ789", "note.txt"}) {
    test::WriteFile(install_->ExportDir() + name, "half");
  }
  const auto result = RunInstalled(*install_);
  EXPECT_EQ(result.exit_status, kStatusCompleted) << result.out << result.err;
  EXPECT_EQ(ExportNames(),
            (std::set<std::string>{"ESTRAZQ.CSV", "note.txt", "exporttotale_giacenze.prom",
                                   "exporttotale_runs.jsonl", ".exporttotale_published.json"}));
}

}  // namespace
}  // namespace et
