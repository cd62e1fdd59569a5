// The run's beginning: the choice of run, the configuration chain and its
// halts, against real databases; and the run log.
#include "runs/run.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fixture/fixture.h"
#include "platform/error.h"
#include "publish/run_log.h"
#include "runs/configuration.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"
#include "tests/runs/fixed_clock.h"

namespace et {
namespace {

using test::RecordingUserInterface;
using test::UiCall;

struct Environment {
  explicit Environment(std::string dir = "/nonexistent/")
      : clock(2026, 12, 9, 7, 5, 3), env{ui, RegionalSettings::Italian(), clock, std::move(dir)} {}
  RecordingUserInterface ui;
  test::FixedClock clock;
  RunEnvironment env;
  RunReport report{kStockRunName, ui};
};

TEST(RunKindFromArguments, OnlyTheWholeFirstArgumentChoosesTheRun) {
  struct Case {
    std::vector<std::string> args;
    RunKind kind;
  } cases[] = {
      {{}, RunKind::kStock},
      {{""}, RunKind::kStock},
      {{"-P"}, RunKind::kStock},
      {{"p"}, RunKind::kStock},
      {{"-p2"}, RunKind::kStock},
      {{"--p"}, RunKind::kStock},
      {{"x", "-p"}, RunKind::kStock},
      {{"-p"}, RunKind::kPriceList},
      {{"-s"}, RunKind::kPromoStock},
      {{"-s", "-p"}, RunKind::kPromoStock},
      {{"-p", "-s"}, RunKind::kPriceList},
      {{"-S"}, RunKind::kStock},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += "[" + a + "]";
    EXPECT_EQ(RunKindFromArguments(c.args), c.kind) << shown;
  }
}

TEST(RunLog, LineLayoutAndFileName) {
  test::TempDir temp;
  const test::FixedClock clock(2026, 12, 9, 7, 5, 3);
  const RegionalSettings italian = RegionalSettings::Italian();
  for (const std::string& dir : {temp.Path(), temp.Path() + "/"}) {
    RunLog(dir, clock, italian)
        .Append(std::string("Esito upload ftp = ") + "Connessione FTP non riuscita:" + "\r" +
                "Server mancante");
  }
  EXPECT_EQ(test::ReadFile(temp.File("logQuorvandelix.txt")),
            "09/12/2026 07:05:03  Esito upload ftp = Connessione FTP non riuscita:\rServer "
            "mancante\r\n"
            "09/12/2026 07:05:03  Esito upload ftp = Connessione FTP non riuscita:\rServer "
            "mancante\r\n");
}

TEST(RunLog, KeepsEarlierLinesAndReplacesWhatTheCodePageLacks) {
  test::TempDir temp;
  test::WriteFile(temp.File("logQuorvandelix.txt"), "riga di ieri\r\n");
  const test::FixedClock clock(2026, 12, 9, 7, 5, 3);
  const RegionalSettings italian = RegionalSettings::Italian();
  RunLog(temp.Path(), clock, italian).Append("prezzo 5€ – città ✓");
  EXPECT_EQ(test::ReadFile(temp.File("logQuorvandelix.txt")),
            "riga di ieri\r\n09/12/2026 07:05:03  prezzo 5\x80 \x96 citt\xE0 ?\r\n");
}

// A clock read at midnight: each reading is one second later than the one
// before, from 23:59:59 on.
class MidnightClock final : public Clock {
 public:
  std::tm Now() const override {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = 23;
    t.tm_min = 59;
    t.tm_sec = 59 + readings_++;
    std::mktime(&t);  // normalises 23:59:60 into the next day
    return t;
  }

 private:
  mutable int readings_ = 0;
};

TEST(RunLog, DateAndTimeOfALineAreOneInstant) {
  test::TempDir temp;
  const MidnightClock clock;
  const RegionalSettings italian = RegionalSettings::Italian();
  RunLog(temp.Path(), clock, italian).Append("x");
  const std::string line = test::ReadFile(temp.File("logQuorvandelix.txt"));
  EXPECT_TRUE(line == "09/12/2026 23:59:59  x\r\n" || line == "10/12/2026 00:00:00  x\r\n") << line;
}

TEST(RunLog, MissingDirectoryRaises) {
  const test::FixedClock clock(2026, 12, 9, 7, 5, 3);
  const RegionalSettings italian = RegionalSettings::Italian();
  EXPECT_THROW(RunLog("/nonexistent-export-dir", clock, italian).Append("x"), IoError);
}

TEST(LoadConfiguration, MissingParametersFileHalts) {
  test::TempDir temp;
  Environment e(temp.Path() + "/");
  EXPECT_FALSE(LoadConfiguration(e.env));
  EXPECT_EQ(e.ui.Texts(UiCall::Kind::kErrorMessage),
            std::vector<std::string>{"File PARAMETRIQUORVANDELIX.INI non esistente!"});
  EXPECT_EQ(e.ui.Calls().size(), 1u);
  EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}

TEST(LoadConfiguration, ParametersFileNamedByADirectoryDoesNotCount) {
  test::TempDir temp;
  std::filesystem::create_directory(temp.File("PARAMETRIQUORVANDELIX.INI"));
  Environment e(temp.Path() + "/");
  EXPECT_EQ(et::Run(RunKind::kStock, e.env, e.report), RunOutcome::kHalted);
  EXPECT_EQ(e.ui.Texts(UiCall::Kind::kErrorMessage),
            std::vector<std::string>{"File PARAMETRIQUORVANDELIX.INI non esistente!"});
}

TEST(LoadConfiguration, EmptyArchivioRaisesThatTheBusinessDatabaseIsNotConnected) {
  test::Installation install;
  {
    auto users = install.Users();
    users.Exec("UPDATE UTENTI SET SOFTDES = '[query_esterno]'");
  }
  Environment e(install.BinDir());
  try {
    LoadConfiguration(e.env);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(),
                 "Database gestionale non connesso: impossibile avviare la transazione");
  }
  EXPECT_TRUE(e.ui.Calls().empty()) << e.ui.Transcript();
}

TEST(LoadConfiguration, UnreachableBusinessDatabaseRaisesWithTheEnginesReason) {
  test::Installation install;
  {
    auto users = install.Users();
    users.Exec(
        "UPDATE UTENTI SET SOFTDES = '[query_esterno]' || ASCII_CHAR(13) || ASCII_CHAR(10) "
        "|| 'Archivio=/nonexistent-dir/archivio.fdb'");
  }
  Environment e(install.BinDir());
  try {
    LoadConfiguration(e.env);
    FAIL() << "no error";
  } catch (const Error& error) {
    const std::string message = error.what();
    const std::string prefix =
        "Database gestionale non connesso: impossibile avviare la transazione\r\n";
    EXPECT_EQ(message.substr(0, prefix.size()), prefix);
    EXPECT_GT(message.size(), prefix.size()) << "the engine's reason follows";
  }
}

TEST(LoadConfiguration, MissingExportDirectorySettingHalts) {
  test::Installation install;
  install.Business().RemoveTabX("DIRCATINTERNET");
  install.SetUserTabX("DIRCATINTERNET", install.ExportDir(), 1);  // a user's own row does not count
  Environment e(install.BinDir());
  EXPECT_EQ(et::Run(RunKind::kStock, e.env, e.report), RunOutcome::kHalted);
  EXPECT_EQ(e.ui.Texts(UiCall::Kind::kMessage),
            std::vector<std::string>{"DIRCATINTERNET mancante"});
  EXPECT_TRUE(std::filesystem::is_empty(install.ExportDir()));
}

TEST(LoadConfiguration, CompleteChainGivesTheAttachedDatabaseAndTheExportDirectory) {
  test::Installation install;
  Environment e(install.BinDir());
  std::optional<Configuration> configuration = LoadConfiguration(e.env);
  ASSERT_TRUE(configuration);
  EXPECT_TRUE(configuration->business->Connected());
  EXPECT_EQ(configuration->export_directory, install.ExportDir());
  EXPECT_TRUE(e.ui.Calls().empty()) << e.ui.Transcript();
}

}  // namespace
}  // namespace et
