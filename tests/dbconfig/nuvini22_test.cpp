#include "dbconfig/nuvini22.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fixture/fixture.h"
#include "platform/error.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace et {
namespace {

using test::RecordingUserInterface;
using test::UiCall;

TEST(TNuvIni22, ParametersFileWithOrWithoutFinalSeparator) {
  RecordingUserInterface ui;
  EXPECT_EQ(TNuvIni22(ui, "/opt/x", "P.INI").FileParametri(), "/opt/x/P.INI");
  EXPECT_EQ(TNuvIni22(ui, "/opt/x/", "P.INI").FileParametri(), "/opt/x/P.INI");
  EXPECT_EQ(TNuvIni22(ui, "/opt/x").FileParametri(), "/opt/x/parametriquery.ini");
}

TEST(TNuvIni22, NumeroUtente) {
  struct Case {
    std::string content;  // empty: no file
    std::int32_t expected;
  } cases[] = {
      {"", 0},
      {"[CONFIG]\r\nUtente=7\r\n", 7},
      {"[config]\r\nutente = 12 \r\n", 12},
      {"[ALTRO]\r\nUtente=7\r\n", 0},
      {"[CONFIG]\r\nUtente=abc\r\n", 0},
      {"[CONFIG]\r\nUtente=\r\n", 0},
  };
  for (const auto& c : cases) {
    test::TempDir temp;
    if (!c.content.empty()) test::WriteFile(temp.File("p.ini"), c.content);
    RecordingUserInterface ui;
    EXPECT_EQ(TNuvIni22(ui, temp.Path(), "p.ini").NumeroUtente(), c.expected) << c.content;
  }
}

TEST(TNuvIni22, MissingParametersFile) {
  test::TempDir temp;
  RecordingUserInterface ui;
  TNuvIni22 store(ui, temp.Path(), "p.ini");
  EXPECT_EQ(store.ValoreDorvaUser("Archivio"), "");
  EXPECT_EQ(store.ValoreDorvaUser("Archivio", "default"), "");
  EXPECT_EQ(store.ValoreDorvaUser("1", "query_esterno", "Archivio", "default"), "");
  EXPECT_TRUE(ui.Calls().empty());
}

// A complete chain: parameters file, user database, business database.
class StoreChain : public ::testing::Test {
 protected:
  void SetUp() override {
    install_ = std::make_unique<test::Installation>();
    store_ = std::make_unique<TNuvIni22>(ui_, install_->BinDir(), "PARAMETRIQUORVANDELIX.INI");
  }
  void SetSoftdes(const std::string& text) {
    auto users = install_->Users();
    users.Exec("UPDATE UTENTI SET SOFTDES = :S WHERE CODICE = 1", {{"S", fb::Text(text)}});
  }
  void WriteParameters(const std::string& text) {
    test::WriteFile(install_->ParametersFile(), text);
  }
  RecordingUserInterface ui_;
  std::unique_ptr<test::Installation> install_;
  std::unique_ptr<TNuvIni22> store_;
};

TEST_F(StoreChain, ArchivioFollowsTheChain) {
  EXPECT_EQ(store_->ValoreDorvaUser("Archivio"), install_->BusinessDbName());
  EXPECT_EQ(store_->ValoreDorvaUser(store_->FileParametri(), "Archivio", ""),
            install_->BusinessDbName());
  EXPECT_TRUE(ui_.Calls().empty()) << ui_.Transcript();
}

TEST_F(StoreChain, SettingsTextLookups) {
  struct Case {
    std::string softdes;
    std::string key;
    std::string expected;
  } cases[] = {
      {"[query_esterno]\n\rArchivio=/a/b.fdb", "Archivio", "/a/b.fdb"},
      {"[QUERY_ESTERNO]\r\nARCHIVIO=/a/b.fdb\r\n", "archivio", "/a/b.fdb"},
      {"[query_esterno]\r\nArchivio=/first.fdb\r\n[query_esterno]\r\nArchivio=/second.fdb\r\n",
       "Archivio", "/first.fdb"},
      {"[altra]\r\nArchivio=/a.fdb\r\n", "Archivio", "dflt"},
      {"", "Archivio", "dflt"},
  };
  for (const auto& c : cases) {
    SetSoftdes(c.softdes);
    EXPECT_EQ(store_->ValoreDorvaUser(c.key, "dflt"), c.expected) << c.softdes;
  }
}

TEST_F(StoreChain, NullSettingsTextAndMissingUserGiveTheDefault) {
  {
    auto users = install_->Users();
    users.Exec("UPDATE UTENTI SET SOFTDES = NULL");
  }
  EXPECT_EQ(store_->ValoreDorvaUser("Archivio", "dflt"), "dflt");
  EXPECT_EQ(store_->ValoreDorvaUser("99", "query_esterno", "Archivio", "dflt"), "dflt");
}

TEST_F(StoreChain, CompanyAndUserFromTheParametersFile) {
  {
    auto users = install_->Users();
    test::AddUserRow(users, 5, "ditta2", "/altro/archivio.fdb");
  }
  WriteParameters("[CONFIG]\r\nUtente=5\r\nDitta=ditta2\r\nPercorsoDatabase=" +
                  install_->UserDbName() + "\r\n");
  EXPECT_EQ(store_->ValoreDorvaUser("Archivio"), "/altro/archivio.fdb");
  EXPECT_EQ(store_->NumeroUtente(), 5);
}

TEST_F(StoreChain, UtenteNotANumberNamesKeyAndValue) {
  WriteParameters("[CONFIG]\r\nUtente=1 OR 1=1\r\nPercorsoDatabase=" + install_->UserDbName() +
                  "\r\n");
  try {
    store_->ValoreDorvaUser("Archivio");
    FAIL() << "no error";
  } catch (const ConvertError& e) {
    EXPECT_NE(std::string(e.what()).find("\"Utente\""), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("\"1 OR 1=1\""), std::string::npos) << e.what();
  }
  EXPECT_EQ(store_->NumeroUtente(), 0);
}

TEST_F(StoreChain, UserDatabaseWithoutUtentiRaises) {
  test::TempDir temp;
  WriteParameters("[CONFIG]\r\nUtente=1\r\nPercorsoDatabase=" + temp.File("nuovo.fdb") + "\r\n");
  EXPECT_THROW(store_->ValoreDorvaUser("Archivio"), Error);
  EXPECT_EQ(ui_.Texts(UiCall::Kind::kMessage),
            std::vector<std::string>{"Effettuata creazione data base"});
}

TEST_F(StoreChain, ValoreTabXSharedAndPerUserRows) {
  {
    auto db = install_->Business();
    db.SetTabX("CONDIVISA", "valore comune");
    db.SetUserTabX("CONDIVISA", "valore di 5", 5);
    db.SetUserTabX("SOLO_UTENTE", "di 5", 5);
    db.SetTabX("NULLA", std::nullopt);
    db.SetTabX("L'APOSTROFO", "ok");
  }
  struct Case {
    std::string key;
    std::int32_t user;
    std::string expected;
  } cases[] = {
      {"CONDIVISA", 0, "valore comune"},
      {"CONDIVISA", -1, "valore comune"},
      {"CONDIVISA", 5, "valore di 5"},
      {"CONDIVISA", 6, ""},
      {"SOLO_UTENTE", 0, ""},
      {"SOLO_UTENTE", 5, "di 5"},
      {"NULLA", 0, ""},
      {"MANCANTE", 0, ""},
      {"L'APOSTROFO", 0, "ok"},
      {"condivisa", 0, ""},  // keys compare exactly
  };
  for (const auto& c : cases) {
    EXPECT_EQ(store_->ValoreTabX(c.key, c.user), c.expected) << c.key << " " << c.user;
  }
  EXPECT_TRUE(ui_.Calls().empty()) << ui_.Transcript();
}

TEST_F(StoreChain, ValoreTabXWithoutArchivioIsEmpty) {
  SetSoftdes("[query_esterno]\r\n");
  EXPECT_EQ(store_->ValoreTabX("DIRCATINTERNET", 0), "");
  EXPECT_TRUE(ui_.Calls().empty());
}

TEST_F(StoreChain, ValoreTabXOnADatabaseThatCannotBeOpenedIsEmpty) {
  // A directory stands where the database file should be: it can be neither
  // attached nor created, and nobody answers the prompt for the server.
  test::TempDir temp;
  std::filesystem::create_directory(temp.File("archivio.fdb"));
  SetSoftdes("[query_esterno]\n\rArchivio=" + temp.File("archivio.fdb"));
  EXPECT_EQ(store_->ValoreTabX("DIRCATINTERNET", 0), "");
  EXPECT_EQ(ui_.Texts(UiCall::Kind::kMessage),
            (std::vector<std::string>{"Non trovato dati.ini",
                                      "Apertura / creazione del database non riuscita!"}));
  EXPECT_EQ(ui_.Count(UiCall::Kind::kDialog), 1u);
}

TEST_F(StoreChain, ValoreTabXWithoutTableRaises) {
  test::TempDir temp;
  SetSoftdes("[query_esterno]\n\rArchivio=" + temp.File("vuoto.fdb"));
  EXPECT_THROW(store_->ValoreTabX("DIRCATINTERNET", 0), Error);
  EXPECT_EQ(ui_.Texts(UiCall::Kind::kMessage),
            std::vector<std::string>{"Effettuata creazione data base"});
}

}  // namespace
}  // namespace et
