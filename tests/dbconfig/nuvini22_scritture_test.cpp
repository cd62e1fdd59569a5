// The configuration store's writes and other operations against real
// embedded databases: a user database (UTENTI) and a business database
// (TABX) in a temporary directory, with the parameters file beside them.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbconfig/nuvini22.h"
#include "fb/attachment.h"
#include "fb/error.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "fixture/fixture.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace et {
namespace {

using test::BusinessDb;
using test::FixtureDb;
using test::RecordingUserInterface;
using test::TempDir;
using Kind = test::UiCall::Kind;

constexpr const char* kParametri = "PARAMETRIQUORVANDELIX.INI";
constexpr const char* kNull = test::kNullText;

// The parameters file's "CONFIG" section; a key left as nullopt is not
// written.
struct Config {
  std::optional<std::string> utente = "1";
  std::optional<std::string> ditta;
  std::optional<std::string> percorso;  // PercorsoDatabase; the test's user db when unset

  Config& Utente(std::string v) { return utente = std::move(v), *this; }
  Config& Ditta(std::optional<std::string> v) { return ditta = std::move(v), *this; }
  Config& Percorso(std::string v) { return percorso = std::move(v), *this; }
};

class ScrittureTest : public ::testing::Test {
 protected:
  std::string UsersPath() const { return dir_.File("utenti.fdb"); }
  std::string BusinessPath() const { return dir_.File("archivio.fdb"); }
  std::string ParamsPath() const { return dir_.File(kParametri); }

  void WriteParams(const Config& config = {}) {
    std::string text = "[CONFIG]\r\n";
    if (config.utente) text += "Utente=" + *config.utente + "\r\n";
    if (config.ditta) text += "Ditta=" + *config.ditta + "\r\n";
    text += "PercorsoDatabase=" + config.percorso.value_or(UsersPath()) + "\r\n";
    test::WriteFile(ParamsPath(), text);
  }

  TNuvIni22& Store() {
    if (!store_) store_ = std::make_unique<TNuvIni22>(ui_, dir_.Path(), kParametri);
    return *store_;
  }

  // A user database with UTENTI and, when given, the row of user 1 whose
  // settings text is `softdes` (nullopt: NULL).
  void MakeUsers(std::optional<std::string> softdes = std::nullopt, bool with_row = true) {
    test::CreateUserDatabase(UsersPath());
    if (!with_row) return;
    FixtureDb users(UsersPath());
    users.Exec("INSERT INTO UTENTI (CODICE, NOMEUTENTE, DITTA, SOFTDES) "
               "VALUES (1, 'query_esterno', 'query_esterno', :S)",
               {{"S", softdes ? fb::Text(*softdes) : fb::Value(fb::Null{})}});
  }

  // User database pointing at a new business database: the store can read
  // and write TABX.
  void MakeInstallation() {
    WriteParams();
    MakeUsers("[query_esterno]\n\rArchivio=" + BusinessPath());
    test::CreateBusinessDatabase(BusinessPath());
  }

  std::string Softdes(int codice = 1) {
    FixtureDb users(UsersPath());
    return users.QueryText("SELECT SOFTDES FROM UTENTI WHERE CODICE = :C", {{"C", fb::Int(codice)}});
  }

  // TABX rows of a key as "UTENTE|TESTO", shared row first.
  std::vector<std::string> TabXRows(const std::string& nome) {
    BusinessDb db(BusinessPath());
    std::vector<std::string> rows;
    for (const auto& r : db.QueryRows("SELECT UTENTE, TESTO FROM TABX WHERE NOME = :N "
                                      "ORDER BY UTENTE NULLS FIRST",
                                      {{"N", fb::Text(nome)}})) {
      rows.push_back(r[0] + "|" + r[1]);
    }
    return rows;
  }

  TempDir dir_;
  RecordingUserInterface ui_;
  std::unique_ptr<TNuvIni22> store_;
};

// ---------------------------------------------------------------- InizializzaQuery

TEST_F(ScrittureTest, InizializzaQueryCreatesDatabaseTableAndUserRowOnce) {
  WriteParams();
  const std::string archivio = "/srv/ditta/archivio.fdb";
  Store().InizializzaQuery(archivio);

  EXPECT_TRUE(FileExists(UsersPath()));
  EXPECT_EQ(ui_.Texts(Kind::kMessage), std::vector<std::string>{"Effettuata creazione data base"});
  const std::vector<std::vector<std::string>> expected = {
      {"1", "query_esterno", "query_esterno", "[query_esterno]\n\rArchivio=" + archivio}};
  {
    FixtureDb users(UsersPath());
    EXPECT_EQ(users.QueryRows("SELECT CODICE, NOMEUTENTE, DITTA, SOFTDES FROM UTENTI"), expected);
    // The table is the one of the user schema, column for column.
    EXPECT_EQ(users.QueryText("SELECT COUNT(*) FROM RDB$RELATION_FIELDS "
                              "WHERE RDB$RELATION_NAME = 'UTENTI'"),
              "17");
  }

  Store().InizializzaQuery("/altro/archivio.fdb");
  FixtureDb users(UsersPath());
  EXPECT_EQ(users.QueryRows("SELECT CODICE, NOMEUTENTE, DITTA, SOFTDES FROM UTENTI"), expected);
}

TEST_F(ScrittureTest, InizializzaQueryLeavesAnExistingUserRowAlone) {
  WriteParams();
  MakeUsers("[ACME]\r\nArchivio=/vecchio.fdb\r\n");
  Store().InizializzaQuery("/nuovo.fdb");
  EXPECT_EQ(Softdes(), "[ACME]\r\nArchivio=/vecchio.fdb\r\n");
  FixtureDb users(UsersPath());
  EXPECT_EQ(users.QueryText("SELECT COUNT(*) FROM UTENTI"), "1");
}

TEST_F(ScrittureTest, InizializzaQueryAddsTheRowOfTheConfiguredUserToAnExistingTable) {
  WriteParams(Config().Utente("7"));
  MakeUsers("[query_esterno]\r\nArchivio=/uno.fdb\r\n");  // user 1
  Store().InizializzaQuery("/sette.fdb");
  EXPECT_EQ(Softdes(7), "[query_esterno]\n\rArchivio=/sette.fdb");
  EXPECT_EQ(Softdes(1), "[query_esterno]\r\nArchivio=/uno.fdb\r\n");
}

TEST_F(ScrittureTest, ArchivioReadsBackAfterInizializzaQueryForTheDefaultCompanyOnly) {
  struct Case {
    std::optional<std::string> ditta;
    std::string expected;
  };
  const std::string archivio = "/srv/l'archivio di Nicolò.fdb";  // quotes bound, not pasted
  for (const Case& c : std::vector<Case>{{std::nullopt, archivio},
                                         {"query_esterno", archivio},
                                         {"QUERY_ESTERNO", archivio},
                                         {"ACME", ""}}) {
    SCOPED_TRACE(c.ditta.value_or("<no Ditta>"));
    if (FileExists(UsersPath())) FixtureDb(UsersPath()).Exec("DELETE FROM UTENTI");
    WriteParams(Config().Ditta(c.ditta));
    Store().InizializzaQuery(archivio);
    EXPECT_EQ(Store().ValoreDorvaUser("Archivio"), c.expected);
  }
}

TEST_F(ScrittureTest, InizializzaQueryLetsReadErrorsThrough) {
  // "Utente" that is not a number.
  WriteParams(Config().Utente("uno"));
  EXPECT_THROW(Store().InizializzaQuery("/a.fdb"), ConvertError);

  // A user database that can be neither attached nor created.
  WriteParams(Config().Percorso(dir_.File("manca/utenti.fdb")));
  EXPECT_THROW(Store().InizializzaQuery("/a.fdb"), fb::DatabaseError);
}

// ---------------------------------------------------------------- Inizializza

TEST_F(ScrittureTest, InizializzaAttachesOrCreatesTheUserDatabaseOfAnotherParametersFile) {
  const std::string missing = dir_.File("altro.ini");
  Store().Inizializza(missing);
  EXPECT_EQ(ui_.Texts(Kind::kMessage), std::vector<std::string>{"File mancante " + missing});

  const std::string other = dir_.File("altro.ini");
  const std::string users = dir_.File("altri_utenti.fdb");
  test::WriteFile(other, "[CONFIG]\r\nPercorsoDatabase=" + users + "\r\n");
  Store().Inizializza(other);
  EXPECT_TRUE(FileExists(users));
  EXPECT_EQ(ui_.Texts(Kind::kMessage).back(), "Effettuata creazione data base");

  // Attached, not created again: no further message.
  const std::size_t messages = ui_.Count(Kind::kMessage);
  Store().Inizializza(other);
  EXPECT_EQ(ui_.Count(Kind::kMessage), messages);
}

// ---------------------------------------------------------------- ValoreDorvaUserInt

TEST_F(ScrittureTest, ValoreDorvaUserIntConvertsOrFallsBackToDefault) {
  WriteParams();
  MakeUsers("[query_esterno]\r\nN=42\r\nNeg=-3\r\nVuoto=\r\nTesto=abc\r\nMisto=4x\r\n");
  struct Case {
    const char* nome;
    std::int32_t expected;
  };
  for (const Case& c : std::vector<Case>{{"N", 42}, {"Neg", -3}, {"Vuoto", 7}, {"Manca", 7}}) {
    SCOPED_TRACE(c.nome);
    EXPECT_EQ(Store().ValoreDorvaUserInt(c.nome, 7), c.expected);
  }
  for (const char* nome : {"Testo", "Misto"}) {
    SCOPED_TRACE(nome);
    EXPECT_THROW(Store().ValoreDorvaUserInt(nome, 7), ConvertError);
  }
}

// ---------------------------------------------------------------- SettaValoreDorvaUser

TEST_F(ScrittureTest, SettaValoreDorvaUserRewritesTheSettingsTextInItsWrittenForm) {
  struct Case {
    const char* what;
    std::optional<std::string> before;
    std::optional<std::string> ditta;
    std::string nome, valore;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"new key goes to the end of the company's section",
       "[query_esterno]\r\nArchivio=A\r\n[altra]\r\nX=1\r\n", std::nullopt, "Nuova", "v",
       "[query_esterno]\r\nArchivio=A\r\nNuova=v\r\n\r\n[altra]\r\nX=1\r\n\r\n"},
      {"existing key keeps its capitals", "[query_esterno]\r\nARCHIVIO=A\r\nB=2\r\n",
       std::nullopt, "archivio", "/nuovo.fdb",
       "[query_esterno]\r\nARCHIVIO=/nuovo.fdb\r\nB=2\r\n\r\n"},
      {"comments, empty lines, LF CR and repeated sections are gone",
       "; commento\n[query_esterno]\n\rArchivio=A\n\r\n[query_esterno]\nArchivio=B\n", std::nullopt,
       "K", "v", "[query_esterno]\r\nArchivio=A\r\nK=v\r\n\r\n"},
      {"key without value is written alone", "[query_esterno]\r\nSolo\r\n", std::nullopt, "K",
       "v", "[query_esterno]\r\nSolo\r\nK=v\r\n\r\n"},
      {"missing company section is appended", "[query_esterno]\r\nArchivio=A\r\n", "ACME", "K",
       "v", "[query_esterno]\r\nArchivio=A\r\n\r\n[ACME]\r\nK=v\r\n\r\n"},
      {"NULL settings text", std::nullopt, std::nullopt, "K", "v",
       "[query_esterno]\r\nK=v\r\n\r\n"},
      {"value with apostrophes and quotes is stored", "[query_esterno]\r\n", std::nullopt, "K",
       "l'archivio \"doppio\" ''", "[query_esterno]\r\nK=l'archivio \"doppio\" ''\r\n\r\n"},
      {"key name with an apostrophe", "[query_esterno]\r\n", std::nullopt, "K'1", "v",
       "[query_esterno]\r\nK'1=v\r\n\r\n"},
  };
  MakeUsers(std::nullopt, false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteParams(Config().Ditta(c.ditta));
    {
      FixtureDb db(UsersPath());
      db.Exec("DELETE FROM UTENTI");
      db.Exec("INSERT INTO UTENTI (CODICE, SOFTDES) VALUES (1, :S)",
              {{"S", c.before ? fb::Text(*c.before) : fb::Value(fb::Null{})}});
    }
    Store().SettaValoreDorvaUser(c.nome, c.valore);
    EXPECT_EQ(Softdes(), c.after);
  }
}

TEST_F(ScrittureTest, SettaValoreDorvaUserValueWithApostropheReadsBack) {
  WriteParams();
  MakeUsers("[query_esterno]\n\rArchivio=/a.fdb");
  Store().SettaValoreDorvaUser("Nota", "dell'anno");
  EXPECT_EQ(Store().ValoreDorvaUser("Nota"), "dell'anno");
  EXPECT_EQ(Store().ValoreDorvaUser("Archivio"), "/a.fdb");
}

TEST_F(ScrittureTest, SettaValoreDorvaUserWithoutRowOrParametersFileChangesNothing) {
  WriteParams(Config().Utente("2"));
  MakeUsers("[query_esterno]\r\nK=1\r\n");  // row of user 1 only
  Store().SettaValoreDorvaUser("K", "2");
  {
    FixtureDb users(UsersPath());
    EXPECT_EQ(users.QueryRows("SELECT CODICE, SOFTDES FROM UTENTI"),
              (std::vector<std::vector<std::string>>{{"1", "[query_esterno]\r\nK=1\r\n"}}));
  }

  // Without a parameters file no database is touched, not even created.
  TempDir empty;
  TNuvIni22 store(ui_, empty.Path(), kParametri);
  store.SettaValoreDorvaUser("K", "2");
  EXPECT_TRUE(ui_.Calls().empty()) << ui_.Transcript();
}

// ---------------------------------------------------------------- ValoreConfigIni, getFileParametriIni

TEST_F(ScrittureTest, ParametersFileAccessors) {
  TNuvIni22& store = Store();
  EXPECT_EQ(store.ValoreConfigIni("Utente", "0"), "0");  // missing file: defaults
  EXPECT_EQ(store.getFileParametriIni()->Path(), ParamsPath());

  WriteParams(Config().Utente("3").Ditta("ACME"));
  EXPECT_EQ(store.ValoreConfigIni("utente", "0"), "3");
  EXPECT_EQ(store.ValoreConfigIni("Alias", "nessuno"), "nessuno");

  store.getFileParametriIni()->Write("CONFIG", "Ditta", "ALTRA");
  EXPECT_EQ(store.ValoreConfigIni("Ditta", ""), "ALTRA");
  EXPECT_EQ(store.ValoreConfigIni("Utente", ""), "3");
}

// ---------------------------------------------------------------- LoginDorvaUser

TEST_F(ScrittureTest, LoginMatchesCapitalisedNameAndExactPlainPassword) {
  WriteParams();
  MakeUsers(std::nullopt, false);
  {
    FixtureDb users(UsersPath());
    const test::Params rows[] = {
        {{"C", fb::Int(1)}, {"N", fb::Text("Mario")}, {"P", fb::Text("segreta")},
         {"D", fb::Text("ACME")}},
        {{"C", fb::Int(2)}, {"N", fb::Text("D'Amico")}, {"P", fb::Text("a'b\"c")},
         {"D", fb::Text("Ditta d'Italia")}},
        {{"C", fb::Int(3)}, {"N", fb::Text("Nicolò")}, {"P", fb::Text("pw")},
         {"D", fb::Text("N")}},
        // Two users with the same name and password.
        {{"C", fb::Int(9)}, {"N", fb::Text("doppio")}, {"P", fb::Text("x")},
         {"D", fb::Text("Z")}},
        {{"C", fb::Int(8)}, {"N", fb::Text("DOPPIO")}, {"P", fb::Text("x")},
         {"D", fb::Text("Y")}},
    };
    for (const auto& row : rows) {
      users.Exec("INSERT INTO UTENTI (CODICE, NOMEUTENTE, PWDUTENTE, DITTA) "
                 "VALUES (:C, :N, :P, :D)",
                 row);
    }
  }
  struct Case {
    std::string nome, password;
    bool valido;
    std::int32_t id;
    std::string nome_letto, ditta;
  };
  const std::vector<Case> cases = {
      {"Mario", "segreta", true, 1, "Mario", "ACME"},
      {"mArIo", "segreta", true, 1, "Mario", "ACME"},
      {"MARIO", "Segreta", false, 0, "", ""},
      {"d'amico", "a'b\"c", true, 2, "D'Amico", "Ditta d'Italia"},
      // Capitals by the letters A to Z only, on both sides.
      {"nicolò", "pw", true, 3, "Nicolò", "N"},
      {"NICOLÒ", "pw", false, 0, "", ""},
      // Crafted texts are values, not statement text.
      {"x' OR '1'='1", "x' OR '1'='1", false, 0, "", ""},
      {"Mario", "' OR '1'='1", false, 0, "", ""},
      {"Mario' --", "", false, 0, "", ""},
      // Longer than the columns: no match rather than an error.
      {std::string(40, 'M'), "segreta", false, 0, "", ""},
      {"Mario", std::string(200, 's'), false, 0, "", ""},
      // Two matches: not valid, the smallest values of the matches.
      {"doppio", "x", false, 8, "DOPPIO", "Y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nome + " / " + c.password);
    const TUserLogin login = Store().LoginDorvaUser(c.nome, c.password);
    EXPECT_EQ(login.Valido, c.valido);
    EXPECT_EQ(login.Id, c.id);
    EXPECT_EQ(login.Nome, c.nome_letto);
    EXPECT_EQ(login.Ditta, c.ditta);
  }
}

TEST_F(ScrittureTest, LoginWithoutParametersFileIsRefusedWithoutADatabase) {
  const TUserLogin login = Store().LoginDorvaUser("query_esterno", "");
  EXPECT_FALSE(login.Valido);
  EXPECT_EQ(login.Id, 0);
  EXPECT_TRUE(ui_.Calls().empty()) << ui_.Transcript();
  EXPECT_FALSE(FileExists(UsersPath()));
}

// ---------------------------------------------------------------- ElencoDitteUtente

TEST_F(ScrittureTest, ElencoDitteUtenteListsActiveCompaniesInOrder) {
  struct Case {
    const char* what;
    std::optional<std::string> softdes;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"inactive second", "[Prima]\r\nA=1\r\n[Seconda <INATTIVA>]\r\n[Terza]\r\n",
       {"Prima", "Terza"}},
      {"marker in small letters is listed", "[a]\n[b<inattiva>]\n", {"a", "b<inattiva>"}},
      {"marker anywhere", "[<INATTIVA>x]\n[y]\n", {"y"}},
      {"repeated section once, as first spelled", "[Acme]\n[ACME]\n[B]\n", {"Acme", "B"}},
      {"LF CR written by the store", "[query_esterno]\n\rArchivio=/a.fdb", {"query_esterno"}},
      {"NULL", std::nullopt, {}},
  };
  WriteParams();
  MakeUsers(std::nullopt, false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      FixtureDb db(UsersPath());
      db.Exec("DELETE FROM UTENTI");
      db.Exec("INSERT INTO UTENTI (CODICE, SOFTDES) VALUES (4, :S)",
              {{"S", c.softdes ? fb::Text(*c.softdes) : fb::Value(fb::Null{})}});
    }
    EXPECT_EQ(Store().ElencoDitteUtente(4), c.expected);
    EXPECT_TRUE(Store().ElencoDitteUtente(5).empty());  // no row
  }
}

// ---------------------------------------------------------------- SettaDittaUtente

TEST_F(ScrittureTest, SettaDittaUtenteWritesTheCompanyOfTheRow) {
  TNuvIni22& store = Store();
  EXPECT_EQ(store.SettaDittaUtente(1, "X"), -1);  // no parameters file

  WriteParams();
  MakeUsers("[query_esterno]\r\n");
  EXPECT_EQ(store.SettaDittaUtente(1, "Ditta d'Italia"), 1);
  EXPECT_EQ(store.SettaDittaUtente(2, "nessuna riga"), 1);
  {
    FixtureDb users(UsersPath());
    EXPECT_EQ(users.QueryRows("SELECT CODICE, DITTA FROM UTENTI"),
              (std::vector<std::vector<std::string>>{{"1", "Ditta d'Italia"}}));
  }
  // The update's error is not swallowed.
  EXPECT_THROW(store.SettaDittaUtente(1, std::string(65, 'D')), fb::DatabaseError);
}

// ---------------------------------------------------------------- SettaValoreTabX

struct TabXRow {
  std::string nome;
  std::optional<std::string> testo;
  std::optional<int> utente;  // nullopt: shared
};

TEST_F(ScrittureTest, SettaValoreTabXWritesOnlyTheRowItNames) {
  struct Case {
    const char* what;
    std::vector<TabXRow> before;
    std::string nome, valore;
    std::int32_t utente;
    std::vector<std::string> after;  // rows of the key, "UTENTE|TESTO", shared first
  };
  const std::string null = kNull;
  const std::vector<Case> cases = {
      {"new shared key with empty value: TESTO NULL", {}, "K", "", 0, {null + "|" + null}},
      {"existing shared key with empty value: empty TESTO", {{"K", "v", std::nullopt}}, "K", "",
       0, {null + "|"}},
      {"apostrophe becomes an acute accent", {}, "K", "dell'anno 'x'", 0,
       {null + "|dell´anno ´x´"}},
      {"only user rows: a shared row is added, user rows kept",
       {{"K", "a", 5}, {"K", "b", 7}}, "K", "nuovo", 0,
       {null + "|nuovo", "5|a", "7|b"}},
      {"shared and user rows: only the shared row changes",
       {{"K", "s", std::nullopt}, {"K", "a", 5}}, "K", "nuovo", 0, {null + "|nuovo", "5|a"}},
      {"negative user is the shared row", {{"K", "a", 5}}, "K", "nuovo", -1,
       {null + "|nuovo", "5|a"}},
      {"user row added beside the shared one", {{"K", "s", std::nullopt}}, "K", "mio", 5,
       {null + "|s", "5|mio"}},
      {"user row updated, others kept",
       {{"K", "s", std::nullopt}, {"K", "a", 5}, {"K", "b", 7}}, "K", "mio", 5,
       {null + "|s", "5|mio", "7|b"}},
      {"other keys untouched", {{"ALTRA", "x", std::nullopt}}, "K", "v", 0, {null + "|v"}},
      {"key name with an apostrophe kept as it is", {}, "K'X", "v", 0, {null + "|v"}},
  };
  MakeInstallation();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      BusinessDb db(BusinessPath());
      db.Exec("DELETE FROM TABX");
      for (const TabXRow& r : c.before) {
        if (r.utente) {
          db.SetUserTabX(r.nome, r.testo, *r.utente);
        } else {
          db.SetTabX(r.nome, r.testo);
        }
      }
    }
    EXPECT_TRUE(Store().SettaValoreTabX(c.nome, c.valore, c.utente));
    EXPECT_EQ(TabXRows(c.nome), c.after);
    if (!c.before.empty() && c.before.front().nome == "ALTRA") {
      EXPECT_EQ(TabXRows("ALTRA"), std::vector<std::string>{std::string(kNull) + "|x"});
    }
  }
}

TEST_F(ScrittureTest, SettaValoreTabXIsReadBackByValoreTabX) {
  MakeInstallation();
  {
    BusinessDb db(BusinessPath());
    db.SetUserTabX("DIRCATINTERNET", "/utente5/", 5);
  }
  ASSERT_TRUE(Store().SettaValoreTabX("DIRCATINTERNET", "/export/dell'anno/", 0));
  EXPECT_EQ(Store().ValoreTabX("DIRCATINTERNET", 0), "/export/dell´anno/");
  EXPECT_EQ(Store().ValoreTabX("DIRCATINTERNET", 5), "/utente5/");

  ASSERT_TRUE(Store().SettaValoreTabX("DIRCATINTERNET", "/export/nuovo/", 0));
  EXPECT_EQ(Store().ValoreTabX("DIRCATINTERNET", 0), "/export/nuovo/");

  // The accent is stored as the code page's byte for it, as earlier rows have it.
  BusinessDb db(BusinessPath());
  ASSERT_TRUE(Store().SettaValoreTabX("APOSTROFO", "'", 0));
  EXPECT_EQ(db.QueryText("SELECT ASCII_VAL(TESTO) FROM TABX WHERE NOME = 'APOSTROFO'"), "180");
}

TEST_F(ScrittureTest, SettaValoreTabXNumbersNewRowsFromTheGenerator) {
  MakeInstallation();
  {
    BusinessDb db(BusinessPath());
    db.Exec("SET GENERATOR CODICETABXCOUNTER TO 41");
  }
  ASSERT_TRUE(Store().SettaValoreTabX("K", "v", 0));
  BusinessDb db(BusinessPath());
  EXPECT_EQ(db.QueryText("SELECT CODICE FROM TABX WHERE NOME = 'K'"), "42");
}

TEST_F(ScrittureTest, SettaValoreTabXIsFalseWhenNothingWasWritten) {
  MakeInstallation();

  // A value too long for TESTO.
  EXPECT_FALSE(Store().SettaValoreTabX("K", std::string(1025, 'v'), 0));
  EXPECT_EQ(TabXRows("K"), std::vector<std::string>{});

  // A row held by another transaction: the snapshot does not wait.
  {
    BusinessDb db(BusinessPath());
    db.SetTabX("K", "vecchio");
  }
  {
    fb::Attachment other =
        fb::Attachment::Attach(BusinessPath(), test::kFixtureUser, test::kFixturePassword);
    fb::Transaction holding(other, fb::TransactionOptions::ServerDefaults());
    fb::Statement update(holding, "UPDATE TABX SET TESTO = 'altro' WHERE NOME = 'K'");
    update.Execute();
    EXPECT_FALSE(Store().SettaValoreTabX("K", "nuovo", 0));
    holding.Rollback();
  }
  EXPECT_EQ(TabXRows("K"), std::vector<std::string>{std::string(kNull) + "|vecchio"});
}

TEST_F(ScrittureTest, SettaValoreTabXIsFalseWithoutABusinessDatabase) {
  struct Case {
    const char* what;
    std::string softdes;
  };
  for (const Case& c : std::vector<Case>{
           {"no Archivio", "[query_esterno]\r\n"},
           // Neither attached nor created, and nobody answers the prompt.
           {"cannot be opened", "[query_esterno]\r\nArchivio=" + dir_.File("manca/a.fdb")}}) {
    SCOPED_TRACE(c.what);
    TempDir other;
    const std::string users = other.File("u.fdb");
    WriteParams(Config().Percorso(users));
    test::CreateUserDatabase(users);
    {
      FixtureDb db(users);
      db.Exec("INSERT INTO UTENTI (CODICE, SOFTDES) VALUES (1, :S)", {{"S", fb::Text(c.softdes)}});
    }
    TNuvIni22 store(ui_, dir_.Path(), kParametri);
    EXPECT_FALSE(store.SettaValoreTabX("K", "v", 0));
  }
  EXPECT_EQ(ui_.Texts(Kind::kMessage).back(), "Apertura / creazione del database non riuscita!");
  EXPECT_FALSE(FileExists(dir_.File("manca/a.fdb")));
}

TEST_F(ScrittureTest, SettaValoreTabXLetsTheSearchErrorThrough) {
  WriteParams();
  MakeUsers("[query_esterno]\r\nArchivio=" + BusinessPath());
  test::CreateUserDatabase(BusinessPath());  // a database without TABX
  EXPECT_THROW(Store().SettaValoreTabX("K", "v", 0), fb::DatabaseError);
}

// ---------------------------------------------------------------- DatabaseDorvaUser

TEST_F(ScrittureTest, DatabaseDorvaUserHandsOverAnAttachedUserDatabase) {
  EXPECT_EQ(Store().DatabaseDorvaUser(), nullptr);  // no parameters file

  WriteParams();
  MakeUsers("[query_esterno]\r\n");
  DatabaseConnection* first = Store().DatabaseDorvaUser();
  DatabaseConnection* second = Store().DatabaseDorvaUser();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(first->DatabaseName, UsersPath());
  for (DatabaseConnection* c : {first, second}) {
    ASSERT_TRUE(c->Connected());
    fb::Transaction t(c->Attachment(), fb::TransactionOptions::ServerDefaults());
    fb::Statement s(t, "SELECT COUNT(*) FROM UTENTI");
    s.Execute();
    EXPECT_EQ(fb::ValueToInt32(s.Field(0)), 1);
  }
  first->Close();  // the caller may release it early
  EXPECT_FALSE(first->Connected());
  EXPECT_TRUE(second->Connected());
}

// ---------------------------------------------------------------- ValoreGeneratore

TEST_F(ScrittureTest, ValoreGeneratoreStepsTheGenerator) {
  MakeInstallation();
  {
    BusinessDb db(BusinessPath());
    db.Exec("CREATE GENERATOR G_PROVA$1");
    db.Exec("SET GENERATOR G_PROVA$1 TO 10");
    db.Exec("CREATE GENERATOR G_GRANDE");
    db.Exec("SET GENERATOR G_GRANDE TO 4999999999");
  }
  EXPECT_EQ(Store().ValoreGeneratore("G_PROVA$1"), "11");
  EXPECT_EQ(Store().ValoreGeneratore("g_prova$1"), "12");  // unquoted names ignore case
  // Beyond the 32-bit range the value is given in full.
  EXPECT_EQ(Store().ValoreGeneratore("G_GRANDE"), "5000000000");
  EXPECT_THROW(Store().ValoreGeneratore("NON_ESISTE"), fb::DatabaseError);
}

TEST_F(ScrittureTest, ValoreGeneratoreRefusesWhatIsNotAGeneratorName) {
  for (const std::string& nome :
       {std::string(), std::string("1G"), std::string("_G"), std::string("G;DROP"),
        std::string("G,1) FROM RDB$DATABASE UNION SELECT 1"), std::string("\"G\""),
        std::string("G G"), std::string("G-1"), std::string("GÈ"), std::string(64, 'G')}) {
    SCOPED_TRACE(nome);
    try {
      Store().ValoreGeneratore(nome);
      ADD_FAILURE() << "accepted";
    } catch (const fb::DatabaseError&) {
      ADD_FAILURE() << "reached the database";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("Nome del generatore non valido"), std::string::npos)
          << e.what();
    }
  }
  EXPECT_TRUE(ui_.Calls().empty()) << ui_.Transcript();  // nothing was opened
}

TEST_F(ScrittureTest, ValoreGeneratoreIsEmptyWithoutABusinessDatabase) {
  WriteParams();
  MakeUsers("[query_esterno]\r\n");
  EXPECT_EQ(Store().ValoreGeneratore("CODICETABXCOUNTER"), "");
}

}  // namespace
}  // namespace et
