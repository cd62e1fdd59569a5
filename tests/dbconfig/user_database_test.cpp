// The user database against real embedded databases: a user database
// (UTENTI) in a temporary directory, the parameters naming it.
#include "dbconfig/user_database.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

using test::FixtureDb;
using test::RecordingUserInterface;
using test::TempDir;
using Kind = test::UiCall::Kind;

constexpr const char* kCreated = "Effettuata creazione data base";

// As a run opens the user database.
const OpeningPolicy kCreating = OpeningPolicy::AttachOrCreate(std::chrono::seconds(0));

class UserDatabaseTest : public ::testing::Test {
 protected:
  std::string UsersPath() const { return dir_.File("utenti.fdb"); }

  // Parameters of user 1, company "query_esterno", on the test's user
  // database.
  Parameters Params(std::string user = "1",
                    std::optional<std::string> company = std::nullopt) const {
    Parameters p;
    p.user = std::move(user);
    if (company) p.company = *company;
    p.user_database.database_path = UsersPath();
    return p;
  }

  // A user database with UTENTI and, when `with_row`, the row of user 1 whose
  // settings text is `text` (nullopt: NULL).
  void MakeUsers(std::optional<std::string> text = std::nullopt, bool with_row = true) {
    test::CreateUserDatabase(UsersPath());
    if (with_row) SetRow(1, text);
  }
  // Replaces every row of UTENTI by the row of `user` with settings `text`.
  void SetRow(int user, const std::optional<std::string>& text) {
    FixtureDb db(UsersPath());
    db.Exec("DELETE FROM UTENTI");
    db.Exec(
        "INSERT INTO UTENTI (CODICE, NOMEUTENTE, DITTA, SOFTDES) "
        "VALUES (:C, 'query_esterno', 'query_esterno', :S)",
        {{"C", fb::Int(user)}, {"S", text ? fb::Text(*text) : fb::Value(fb::Null{})}});
  }

  std::string SettingsText(int user = 1) {
    FixtureDb users(UsersPath());
    return users.QueryText("SELECT SOFTDES FROM UTENTI WHERE CODICE = :C", {{"C", fb::Int(user)}});
  }

  TempDir dir_;
  RecordingUserInterface ui_;
};

// ---------------------------------------------------------------- Open

TEST_F(UserDatabaseTest, OpenAttachesWithoutMessagesOrCreatesAnEmptyDatabase) {
  {
    UserDatabase users = UserDatabase::Open(Params(), kCreating, ui_);
    EXPECT_EQ(ui_.Texts(Kind::kMessage), std::vector<std::string>{kCreated});
    EXPECT_TRUE(FileExists(UsersPath()));
    // An empty database: no UTENTI to read from.
    EXPECT_THROW(users.ReadSettings(), fb::DatabaseError);
  }
  RecordingUserInterface again;
  UserDatabase users = UserDatabase::Open(Params(), kCreating, again);
  EXPECT_TRUE(again.Calls().empty()) << again.Transcript();
}

TEST_F(UserDatabaseTest, OpenRaisesWithTheEngineReasonWhenNeitherAttachedNorCreated) {
  Parameters p = Params();
  p.user_database.database_path = dir_.File("manca/utenti.fdb");
  try {
    UserDatabase::Open(p, kCreating, ui_);
    FAIL() << "opened";
  } catch (const fb::DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("manca/utenti.fdb"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(ui_.Calls().empty()) << ui_.Transcript();
}

// A database renamed away after it was opened: only an attachment held since
// the opening still reaches it, so every operation below shows that nothing
// attaches again.
TEST_F(UserDatabaseTest, EveryOperationUsesTheOneAttachment) {
  MakeUsers("[query_esterno]\r\nArchivio=/a.fdb\r\n");
  UserDatabase users = UserDatabase::Open(Params(), kCreating, ui_);
  std::filesystem::rename(UsersPath(), dir_.File("altrove.fdb"));

  EXPECT_EQ(users.ReadSettings().Read("Archivio"), "/a.fdb");
  users.WriteSetting("Nota", "v");
  EXPECT_EQ(users.ReadSettings().Read("Nota"), "v");
  EXPECT_EQ(users.Companies(1), std::vector<std::string>{"query_esterno"});
  users.SetCompany(1, "ACME");
  EXPECT_EQ(users.Login("query_esterno", "").id, 0);
  users.Initialize("/b.fdb");
  EXPECT_FALSE(FileExists(UsersPath()));  // nothing was created under the old name
  EXPECT_TRUE(ui_.Calls().empty()) << ui_.Transcript();
}

// ---------------------------------------------------------------- ReadSettings

TEST_F(UserDatabaseTest, SettingsTextLookups) {
  struct Case {
    std::optional<std::string> text;
    std::string key;
    std::string expected;
  } cases[] = {
      {"[query_esterno]\n\rArchivio=/a/b.fdb", "Archivio", "/a/b.fdb"},
      {"[QUERY_ESTERNO]\r\nARCHIVIO=/a/b.fdb\r\n", "archivio", "/a/b.fdb"},
      {"[query_esterno]\r\nArchivio=/first.fdb\r\n[query_esterno]\r\nArchivio=/second.fdb\r\n",
       "Archivio", "/first.fdb"},
      {"[altra]\r\nArchivio=/a.fdb\r\n", "Archivio", "dflt"},
      {"", "Archivio", "dflt"},
      {std::nullopt, "Archivio", "dflt"},
  };
  MakeUsers(std::nullopt, false);
  UserDatabase users = UserDatabase::Open(Params(), kCreating, ui_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.value_or("<NULL>"));
    SetRow(1, c.text);
    EXPECT_EQ(users.ReadSettings().Read(c.key, "dflt"), c.expected);
  }
}

TEST_F(UserDatabaseTest, UserAndCompanyComeFromTheParameters) {
  MakeUsers("[query_esterno]\r\nArchivio=/uno.fdb\r\n");
  {
    FixtureDb db(UsersPath());
    test::AddUserRow(db, 5, "ditta2", "/altro/archivio.fdb");
  }
  const UserSettings settings =
      UserDatabase::Open(Params("5", "ditta2"), kCreating, ui_).ReadSettings();
  EXPECT_EQ(settings.Company(), "ditta2");
  EXPECT_EQ(settings.Read("Archivio"), "/altro/archivio.fdb");
  // A user without a row has empty settings.
  EXPECT_EQ(
      UserDatabase::Open(Params("99"), kCreating, ui_).ReadSettings().Read("Archivio", "dflt"),
      "dflt");
}

TEST_F(UserDatabaseTest, UserThatIsNotANumberIsRaisedBeforeAnyStatement) {
  MakeUsers("[query_esterno]\r\nArchivio=/a.fdb\r\n");
  UserDatabase users = UserDatabase::Open(Params("1 OR 1=1"), kCreating, ui_);
  for (const auto& operation : std::vector<std::function<void()>>{
           [&] { users.ReadSettings(); }, [&] { users.WriteSetting("K", "v"); },
           [&] { users.Initialize("/b.fdb"); }}) {
    try {
      operation();
      ADD_FAILURE() << "no error";
    } catch (const ConvertError& e) {
      EXPECT_NE(std::string(e.what()).find("\"Utente\""), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("\"1 OR 1=1\""), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(SettingsText(), "[query_esterno]\r\nArchivio=/a.fdb\r\n");
}

// ---------------------------------------------------------------- Initialize

TEST_F(UserDatabaseTest, InitializeCreatesDatabaseTableAndUserRowOnce) {
  const std::string business = "/srv/ditta/archivio.fdb";
  UserDatabase::Open(Params(), kCreating, ui_).Initialize(business);

  EXPECT_EQ(ui_.Texts(Kind::kMessage), std::vector<std::string>{kCreated});
  const std::vector<std::vector<std::string>> expected = {
      {"1", "query_esterno", "query_esterno", "[query_esterno]\n\rArchivio=" + business}};
  {
    FixtureDb users(UsersPath());
    EXPECT_EQ(users.QueryRows("SELECT CODICE, NOMEUTENTE, DITTA, SOFTDES FROM UTENTI"), expected);
    // The table is the one of the user schema, column for column.
    EXPECT_EQ(users.QueryText("SELECT COUNT(*) FROM RDB$RELATION_FIELDS "
                              "WHERE RDB$RELATION_NAME = 'UTENTI'"),
              "17");
  }

  UserDatabase::Open(Params(), kCreating, ui_).Initialize("/altro/archivio.fdb");
  FixtureDb users(UsersPath());
  EXPECT_EQ(users.QueryRows("SELECT CODICE, NOMEUTENTE, DITTA, SOFTDES FROM UTENTI"), expected);
}

TEST_F(UserDatabaseTest, InitializeLeavesAnExistingUserRowAlone) {
  MakeUsers("[ACME]\r\nArchivio=/vecchio.fdb\r\n");
  UserDatabase::Open(Params(), kCreating, ui_).Initialize("/nuovo.fdb");
  EXPECT_EQ(SettingsText(), "[ACME]\r\nArchivio=/vecchio.fdb\r\n");
  FixtureDb users(UsersPath());
  EXPECT_EQ(users.QueryText("SELECT COUNT(*) FROM UTENTI"), "1");
}

TEST_F(UserDatabaseTest, InitializeAddsTheRowOfTheConfiguredUserToAnExistingTable) {
  MakeUsers("[query_esterno]\r\nArchivio=/uno.fdb\r\n");  // user 1
  UserDatabase::Open(Params("7"), kCreating, ui_).Initialize("/sette.fdb");
  EXPECT_EQ(SettingsText(7), "[query_esterno]\n\rArchivio=/sette.fdb");
  EXPECT_EQ(SettingsText(1), "[query_esterno]\r\nArchivio=/uno.fdb\r\n");
}

TEST_F(UserDatabaseTest, ArchivioReadsBackAfterInitializeForTheDefaultCompanyOnly) {
  struct Case {
    std::optional<std::string> company;
    std::string expected;
  };
  const std::string business = "/srv/l'archivio di Nicolò.fdb";  // quotes bound, not pasted
  for (const Case& c : std::vector<Case>{{std::nullopt, business},
                                         {"query_esterno", business},
                                         {"QUERY_ESTERNO", business},
                                         {"ACME", ""}}) {
    SCOPED_TRACE(c.company.value_or("<no Ditta>"));
    if (FileExists(UsersPath())) FixtureDb(UsersPath()).Exec("DELETE FROM UTENTI");
    UserDatabase users = UserDatabase::Open(Params("1", c.company), kCreating, ui_);
    users.Initialize(business);
    EXPECT_EQ(users.ReadSettings().Read("Archivio"), c.expected);
  }
}

// ---------------------------------------------------------------- WriteSetting

TEST_F(UserDatabaseTest, WriteSettingRewritesTheSettingsTextInItsWrittenForm) {
  struct Case {
    const char* what;
    std::optional<std::string> before;
    std::optional<std::string> company;
    std::string key, value;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"new key goes to the end of the company's section",
       "[query_esterno]\r\nArchivio=A\r\n[altra]\r\nX=1\r\n", std::nullopt, "Nuova", "v",
       "[query_esterno]\r\nArchivio=A\r\nNuova=v\r\n\r\n[altra]\r\nX=1\r\n\r\n"},
      {"existing key keeps its capitals", "[query_esterno]\r\nARCHIVIO=A\r\nB=2\r\n", std::nullopt,
       "archivio", "/nuovo.fdb", "[query_esterno]\r\nARCHIVIO=/nuovo.fdb\r\nB=2\r\n\r\n"},
      {"comments, empty lines, LF CR and repeated sections are gone",
       "; commento\n[query_esterno]\n\rArchivio=A\n\r\n[query_esterno]\nArchivio=B\n", std::nullopt,
       "K", "v", "[query_esterno]\r\nArchivio=A\r\nK=v\r\n\r\n"},
      {"key without value is written alone", "[query_esterno]\r\nSolo\r\n", std::nullopt, "K", "v",
       "[query_esterno]\r\nSolo\r\nK=v\r\n\r\n"},
      {"missing company section is appended", "[query_esterno]\r\nArchivio=A\r\n", "ACME", "K", "v",
       "[query_esterno]\r\nArchivio=A\r\n\r\n[ACME]\r\nK=v\r\n\r\n"},
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
    SetRow(1, c.before);
    UserDatabase::Open(Params("1", c.company), kCreating, ui_).WriteSetting(c.key, c.value);
    EXPECT_EQ(SettingsText(), c.after);
  }
}

TEST_F(UserDatabaseTest, WriteSettingValueWithApostropheReadsBack) {
  MakeUsers("[query_esterno]\n\rArchivio=/a.fdb");
  UserDatabase users = UserDatabase::Open(Params(), kCreating, ui_);
  users.WriteSetting("Nota", "dell'anno");
  const UserSettings settings = users.ReadSettings();
  EXPECT_EQ(settings.Read("Nota"), "dell'anno");
  EXPECT_EQ(settings.Read("Archivio"), "/a.fdb");
}

TEST_F(UserDatabaseTest, WriteSettingWithoutRowChangesNothing) {
  MakeUsers("[query_esterno]\r\nK=1\r\n");  // row of user 1 only
  UserDatabase::Open(Params("2"), kCreating, ui_).WriteSetting("K", "2");
  FixtureDb users(UsersPath());
  EXPECT_EQ(users.QueryRows("SELECT CODICE, SOFTDES FROM UTENTI"),
            (std::vector<std::vector<std::string>>{{"1", "[query_esterno]\r\nK=1\r\n"}}));
}

TEST_F(UserDatabaseTest, WriteSettingRefusedByTheDatabaseRaises) {
  MakeUsers("[query_esterno]\r\nK=1\r\n");
  {
    FixtureDb db(UsersPath());
    db.Exec("CREATE EXCEPTION NO_WRITES 'scritture bloccate'");
    db.Exec("CREATE TRIGGER UTENTI_BU FOR UTENTI BEFORE UPDATE AS BEGIN EXCEPTION NO_WRITES; END");
  }
  try {
    UserDatabase::Open(Params(), kCreating, ui_).WriteSetting("K", "2");
    FAIL() << "written";
  } catch (const fb::DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("scritture bloccate"), std::string::npos) << e.what();
  }
  EXPECT_EQ(SettingsText(), "[query_esterno]\r\nK=1\r\n");
}

// ---------------------------------------------------------------- Login

TEST_F(UserDatabaseTest, LoginMatchesCapitalisedNameAndExactPlainPassword) {
  MakeUsers(std::nullopt, false);
  {
    FixtureDb users(UsersPath());
    const test::Params rows[] = {
        {{"C", fb::Int(1)},
         {"N", fb::Text("Mario")},
         {"P", fb::Text("segreta")},
         {"D", fb::Text("ACME")}},
        {{"C", fb::Int(2)},
         {"N", fb::Text("D'Amico")},
         {"P", fb::Text("a'b\"c")},
         {"D", fb::Text("Ditta d'Italia")}},
        {{"C", fb::Int(3)}, {"N", fb::Text("Nicolò")}, {"P", fb::Text("pw")}, {"D", fb::Text("N")}},
        // Two users with the same name and password.
        {{"C", fb::Int(9)}, {"N", fb::Text("doppio")}, {"P", fb::Text("x")}, {"D", fb::Text("Z")}},
        {{"C", fb::Int(8)}, {"N", fb::Text("DOPPIO")}, {"P", fb::Text("x")}, {"D", fb::Text("Y")}},
    };
    for (const auto& row : rows) {
      users.Exec(
          "INSERT INTO UTENTI (CODICE, NOMEUTENTE, PWDUTENTE, DITTA) "
          "VALUES (:C, :N, :P, :D)",
          row);
    }
  }
  struct Case {
    std::string name, password;
    bool valid;
    std::int32_t id;
    std::string name_read, company;
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
  UserDatabase users = UserDatabase::Open(Params(), kCreating, ui_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " / " + c.password);
    const UserLogin login = users.Login(c.name, c.password);
    EXPECT_EQ(login.valid, c.valid);
    EXPECT_EQ(login.id, c.id);
    EXPECT_EQ(login.name, c.name_read);
    EXPECT_EQ(login.company, c.company);
  }
}

// ---------------------------------------------------------------- Companies

TEST_F(UserDatabaseTest, CompaniesListsActiveCompaniesInOrder) {
  struct Case {
    const char* what;
    std::optional<std::string> text;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"inactive second",
       "[Prima]\r\nA=1\r\n[Seconda <INATTIVA>]\r\n[Terza]\r\n",
       {"Prima", "Terza"}},
      {"marker in small letters is listed", "[a]\n[b<inattiva>]\n", {"a", "b<inattiva>"}},
      {"marker anywhere", "[<INATTIVA>x]\n[y]\n", {"y"}},
      {"repeated section once, as first spelled", "[Acme]\n[ACME]\n[B]\n", {"Acme", "B"}},
      {"LF CR written by init", "[query_esterno]\n\rArchivio=/a.fdb", {"query_esterno"}},
      {"NULL", std::nullopt, {}},
  };
  MakeUsers(std::nullopt, false);
  UserDatabase users = UserDatabase::Open(Params(), kCreating, ui_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetRow(4, c.text);
    EXPECT_EQ(users.Companies(4), c.expected);
    EXPECT_TRUE(users.Companies(5).empty());  // no row
  }
}

// ---------------------------------------------------------------- SetCompany

TEST_F(UserDatabaseTest, SetCompanyWritesTheCompanyOfTheRow) {
  MakeUsers("[query_esterno]\r\n");
  UserDatabase users = UserDatabase::Open(Params(), kCreating, ui_);
  users.SetCompany(1, "Ditta d'Italia");
  users.SetCompany(2, "nessuna riga");
  {
    FixtureDb db(UsersPath());
    EXPECT_EQ(db.QueryRows("SELECT CODICE, DITTA FROM UTENTI"),
              (std::vector<std::vector<std::string>>{{"1", "Ditta d'Italia"}}));
  }
  // Too long for DITTA: the engine's error reaches the caller.
  EXPECT_THROW(users.SetCompany(1, std::string(65, 'D')), fb::DatabaseError);
}

}  // namespace
}  // namespace et
