// The settings check of the price-list run on the main window, against a
// real installation: parameters file, user database and business database.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/export_totale_form.h"
#include "fixture/fixture.h"
#include "platform/error.h"
#include "platform/regional.h"
#include "support/recording_ui.h"

namespace et {
namespace {

class FixedClock final : public Clock {
 public:
  std::tm Now() const override { return std::tm{}; }
};

// The price-list settings, in the order the check reads them.
const std::vector<std::string> kChiavi = {"CAT_EXPPRVEN_NOMEFILE", "CAT_EXPPRVEN_SCRIPT",
                                          "CAT_EXPPRVEN_FASCIA", "CAT_EXPPRVEN_NOMEFILE2",
                                          "CAT_EXPPRVEN_SCRIPT2"};

class CheckParametriListaPrezziTest : public ::testing::Test {
 protected:
  CheckParametriListaPrezziTest()
      : form_(Ambiente{ui_, RegionalSettings::Italian(), clock_, {"-p"}, install_.BinDir()}) {
    form_.NuvIni22 = std::make_unique<TNuvIni22>(ui_, install_.BinDir(), kFileParametri);
    form_.PercorsoFile = install_.ExportDir();
  }

  // Sets the keys; a missing value removes the key.
  void Settings(const std::vector<std::pair<std::string, std::optional<std::string>>>& keys) {
    test::BusinessDb db = install_.Business();
    for (const auto& [nome, testo] : keys) {
      if (testo) {
        db.SetTabX(nome, testo);
      } else {
        db.RemoveTabX(nome);
      }
    }
  }

  void CompleteSettings() {
    Settings({{"CAT_EXPPRVEN_NOMEFILE", "listini.csv"},
              {"CAT_EXPPRVEN_SCRIPT", "http://127.0.0.1/listini.php"},
              {"CAT_EXPPRVEN_FASCIA", "3"},
              {"CAT_EXPPRVEN_NOMEFILE2", "clienti.csv"},
              {"CAT_EXPPRVEN_SCRIPT2", "http://127.0.0.1/clienti.php"}});
  }

  // The message of the check's error, or "" when it passes.
  std::string Check() {
    try {
      form_.CheckParametriListaPrezzi();
      return "";
    } catch (const Error& e) {
      return e.what();
    }
  }

  test::RecordingUserInterface ui_;
  FixedClock clock_;
  test::Installation install_;
  TExportTotaleForm form_;
};

// Each case breaks one setting and leaves every later one missing: only the
// first failing check is reported.
TEST_F(CheckParametriListaPrezziTest, MessagesInTheirOrder) {
  struct Case {
    std::string name;
    std::vector<std::pair<std::string, std::optional<std::string>>> keys;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"file name missing", {}, "Nome file listini statici non parametrizzato"},
      {"file name empty",
       {{"CAT_EXPPRVEN_NOMEFILE", ""}},
       "Nome file listini statici non parametrizzato"},
      {"script missing",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"}},
       "Script HTTP listini statici non parametrizzato"},
      {"band missing",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"}, {"CAT_EXPPRVEN_SCRIPT", "http://h/l"}},
       "Fascia listino di riferimento non parametrizzata"},
      {"band not a number",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"},
        {"CAT_EXPPRVEN_SCRIPT", "http://h/l"},
        {"CAT_EXPPRVEN_FASCIA", "abc"}},
       "Fascia listino abc di riferimento non valida"},
      {"band beyond 32 bits",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"},
        {"CAT_EXPPRVEN_SCRIPT", "http://h/l"},
        {"CAT_EXPPRVEN_FASCIA", "2147483648"}},
       "Fascia listino 2147483648 di riferimento non valida"},
      {"band with decimals",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"},
        {"CAT_EXPPRVEN_SCRIPT", "http://h/l"},
        {"CAT_EXPPRVEN_FASCIA", "3,5"}},
       "Fascia listino 3,5 di riferimento non valida"},
      {"customers file name missing",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"},
        {"CAT_EXPPRVEN_SCRIPT", "http://h/l"},
        {"CAT_EXPPRVEN_FASCIA", "12"}},
       "Nome file clienti e ricarichi non parametrizzato"},
      {"customers script missing",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"},
        {"CAT_EXPPRVEN_SCRIPT", "http://h/l"},
        {"CAT_EXPPRVEN_FASCIA", "-1"},
        {"CAT_EXPPRVEN_NOMEFILE2", "c.csv"}},
       "Script HTTP clienti e ricarichi non parametrizzato"},
      {"a blank is a value",
       {{"CAT_EXPPRVEN_NOMEFILE", " "},
        {"CAT_EXPPRVEN_SCRIPT", " "},
        {"CAT_EXPPRVEN_FASCIA", "0"},
        {"CAT_EXPPRVEN_NOMEFILE2", " "},
        {"CAT_EXPPRVEN_SCRIPT2", " "}},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::pair<std::string, std::optional<std::string>>> keys;
    for (const std::string& k : kChiavi) keys.push_back({k, std::nullopt});
    Settings(keys);
    Settings(c.keys);
    EXPECT_EQ(Check(), c.message);
  }
}

// The directory comes first: nothing else is read when it is missing.
TEST_F(CheckParametriListaPrezziTest, MissingExportDirectoryComesFirst) {
  form_.PercorsoFile = install_.Root() + "/nodir";
  EXPECT_EQ(Check(), "Directory export \"" + install_.Root() + "/nodir\" non trovata");
  EXPECT_EQ(form_.FCatExpPrVenNomeFile, "");

  // An existing regular file is no directory either.
  CompleteSettings();
  form_.PercorsoFile = install_.ParametersFile();
  EXPECT_EQ(Check(), "Directory export \"" + install_.ParametersFile() + "\" non trovata");
}

// A value kept only for a particular user does not count.
TEST_F(CheckParametriListaPrezziTest, UserOnlyKeyReadsAsEmpty) {
  CompleteSettings();
  Settings({{"CAT_EXPPRVEN_SCRIPT", std::nullopt}});
  install_.Business().SetUserTabX("CAT_EXPPRVEN_SCRIPT", "http://h/personale", 1);
  EXPECT_EQ(Check(), "Script HTTP listini statici non parametrizzato");
}

TEST_F(CheckParametriListaPrezziTest, FillsTheFieldsAndTheDefaultBand) {
  struct Case {
    std::optional<std::string> fascia_default;  // nullopt: no key
    std::int32_t expected;
  };
  const std::vector<Case> cases = {
      {std::nullopt, 0}, {"", 0}, {"abc", 0}, {"7x", 0}, {"7", 7}, {"-2", -2}, {"99999999999", 0},
  };
  CompleteSettings();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fascia_default.value_or("<no key>"));
    form_.FFasciaDefault = 42;
    Settings({{"FasciaDefault", c.fascia_default}});
    EXPECT_EQ(Check(), "");
    EXPECT_EQ(form_.FFasciaDefault, c.expected);
  }
  EXPECT_EQ(form_.FCatExpPrVenNomeFile, "listini.csv");
  EXPECT_EQ(form_.FCatExpPrVenScript, "http://127.0.0.1/listini.php");
  EXPECT_EQ(form_.FCatExpPrVenFascia, "3");
  EXPECT_EQ(form_.FCatExpPrVenNomeFile2, "clienti.csv");
  EXPECT_EQ(form_.FCatExpPrVenScript2, "http://127.0.0.1/clienti.php");
}

}  // namespace
}  // namespace et
