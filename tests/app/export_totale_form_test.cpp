#include "app/export_totale_form.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fixture/fixture.h"
#include "platform/error.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"
#include "tests/app/fixed_clock.h"

namespace et {
namespace {

using test::RecordingUserInterface;
using test::UiCall;

struct FormWith {
  explicit FormWith(std::vector<std::string> args, std::string dir = "/nonexistent/")
      : clock(2026, 12, 9, 7, 5, 3),
        form(Ambiente{ui, RegionalSettings::Italian(), clock, std::move(args), std::move(dir)}) {}
  RecordingUserInterface ui;
  test::FixedClock clock;
  TExportTotaleForm form;
};

TEST(TExportTotaleForm, OnlyTheWholeFirstArgumentChoosesTheRun) {
  struct Case {
    std::vector<std::string> args;
    bool lista_prezzi;
    bool promo_stock;
  } cases[] = {
      {{}, false, false},           {{""}, false, false},      {{"-P"}, false, false},
      {{"p"}, false, false},        {{"-p2"}, false, false},   {{"--p"}, false, false},
      {{"x", "-p"}, false, false},  {{"-p"}, true, false},     {{"-s"}, false, true},
      {{"-s", "-p"}, false, true},  {{"-p", "-s"}, true, false}, {{"-S"}, false, false},
  };
  for (const auto& c : cases) {
    FormWith f(c.args);
    std::string shown;
    for (const auto& a : c.args) shown += "[" + a + "]";
    EXPECT_EQ(f.form.IsModoListaPrezzi(), c.lista_prezzi) << shown;
    EXPECT_EQ(f.form.IsModoPromoStock(), c.promo_stock) << shown;
  }
}

TEST(AppendLog, LineLayoutAndFileName) {
  test::TempDir temp;
  for (const std::string& dir : {temp.Path(), temp.Path() + "/"}) {
    FormWith f({});
    f.form.PercorsoFile = dir;
    f.form.AppendLog(std::string("Esito upload ftp = ") + "Connessione FTP non riuscita:" + "\r" +
                     "Server mancante");
  }
  EXPECT_EQ(test::ReadFile(temp.File("logQuorvandelix.txt")),
            "09/12/2026 07:05:03  Esito upload ftp = Connessione FTP non riuscita:\rServer "
            "mancante\r\n"
            "09/12/2026 07:05:03  Esito upload ftp = Connessione FTP non riuscita:\rServer "
            "mancante\r\n");
}

TEST(AppendLog, KeepsEarlierLinesAndReplacesWhatTheCodePageLacks) {
  test::TempDir temp;
  test::WriteFile(temp.File("logQuorvandelix.txt"), "riga di ieri\r\n");
  FormWith f({});
  f.form.PercorsoFile = temp.Path();
  f.form.AppendLog("prezzo 5€ – città ✓");
  EXPECT_EQ(test::ReadFile(temp.File("logQuorvandelix.txt")),
            "riga di ieri\r\n09/12/2026 07:05:03  prezzo 5\x80 \x96 citt\xE0 ?\r\n");
}

TEST(AppendLog, EmptyDirectoryWritesNothingAndMissingDirectoryRaises) {
  FormWith f({});
  f.form.PercorsoFile = "";
  EXPECT_NO_THROW(f.form.AppendLog("x"));
  f.form.PercorsoFile = "/nonexistent-export-dir";
  EXPECT_THROW(f.form.AppendLog("x"), IoError);
}

// The run driver in process, against real databases.
TEST(FormCreate, MissingParametersFileHalts) {
  test::TempDir temp;
  FormWith f({}, temp.Path() + "/");
  f.form.FormCreate();
  EXPECT_EQ(f.ui.Texts(UiCall::Kind::kErrorMessage),
            std::vector<std::string>{"File PARAMETRIQUORVANDELIX.INI non esistente!"});
  EXPECT_EQ(f.ui.Calls().size(), 1u);
  EXPECT_EQ(f.form.ExitCode(), kExitRunNonCompletato);
  EXPECT_FALSE(f.form.Closed());
  EXPECT_FALSE(f.form.DatabaseDorvana);
  EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}

TEST(FormCreate, ParametersFileNamedByADirectoryDoesNotCount) {
  test::TempDir temp;
  std::filesystem::create_directory(temp.File("PARAMETRIQUORVANDELIX.INI"));
  FormWith f({}, temp.Path());
  f.form.FormCreate();
  EXPECT_EQ(f.ui.Texts(UiCall::Kind::kErrorMessage),
            std::vector<std::string>{"File PARAMETRIQUORVANDELIX.INI non esistente!"});
}

TEST(FormCreate, EmptyArchivioRaisesAtTheAuxiliaryTransaction) {
  test::Installation install;
  {
    auto users = install.Users();
    users.Exec("UPDATE UTENTI SET SOFTDES = '[query_esterno]'");
  }
  FormWith f({}, install.BinDir());
  EXPECT_THROW(f.form.FormCreate(), Error);
  EXPECT_TRUE(f.ui.Calls().empty()) << f.ui.Transcript();
  EXPECT_EQ(f.form.ExitCode(), kExitRunNonCompletato);
  EXPECT_FALSE(f.form.DatabaseDorvana);
}

TEST(FormCreate, MissingExportDirectorySettingHalts) {
  test::Installation install;
  install.Business().RemoveTabX("DIRCATINTERNET");
  install.SetUserTabX("DIRCATINTERNET", install.ExportDir(), 1);  // a user's own row does not count
  FormWith f({}, install.BinDir());
  f.form.FormCreate();
  EXPECT_EQ(f.ui.Texts(UiCall::Kind::kMessage), std::vector<std::string>{"DIRCATINTERNET mancante"});
  EXPECT_EQ(f.form.ExitCode(), kExitRunNonCompletato);
  EXPECT_FALSE(f.form.Closed());
  EXPECT_EQ(f.form.NumUtente, 1);
  EXPECT_TRUE(f.form.DatabaseDorvana && f.form.DatabaseDorvana->Connected());
  EXPECT_TRUE(std::filesystem::is_empty(install.ExportDir()));
}

}  // namespace
}  // namespace et
