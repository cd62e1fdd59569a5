// The settings table TABX of a real, embedded business database.
#include "dbconfig/settings_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fb/attachment.h"
#include "fb/error.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "fixture/fixture.h"
#include "platform/error.h"

namespace et {
namespace {

using test::BusinessDb;
constexpr const char* kNull = test::kNullText;

class SettingsTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    business_ = fb::Attachment::Attach(install_.BusinessDbName(), test::kFixtureUser,
                                       test::kFixturePassword);
  }

  // TABX rows of a key as "UTENTE|TESTO", shared row first.
  std::vector<std::string> TabXRows(const std::string& key) {
    std::vector<std::string> rows;
    for (const auto& r : install_.Business().QueryRows(
             "SELECT UTENTE, TESTO FROM TABX WHERE NOME = :N ORDER BY UTENTE NULLS FIRST",
             {{"N", fb::Text(key)}})) {
      rows.push_back(r[0] + "|" + r[1]);
    }
    return rows;
  }

  test::Installation install_;
  fb::Attachment business_;
};

TEST_F(SettingsTableTest, FindsSharedAndPerUserRows) {
  {
    BusinessDb db = install_.Business();
    db.SetTabX("CONDIVISA", "valore comune");
    db.SetUserTabX("CONDIVISA", "valore di 5", 5);
    db.SetUserTabX("SOLO_UTENTE", "di 5", 5);
    db.SetTabX("NULLA", std::nullopt);
    db.SetTabX("VUOTA", "");
    db.SetTabX("L'APOSTROFO", "ok");
  }
  struct Case {
    std::string key;
    std::int32_t user;
    std::optional<std::string> expected;
  } cases[] = {
      {"CONDIVISA", 0, "valore comune"}, {"CONDIVISA", -1, "valore comune"},
      {"CONDIVISA", 5, "valore di 5"},   {"CONDIVISA", 6, std::nullopt},
      {"SOLO_UTENTE", 0, std::nullopt},  {"SOLO_UTENTE", 5, "di 5"},
      {"NULLA", 0, std::nullopt},        {"VUOTA", 0, ""},
      {"MANCANTE", 0, std::nullopt},     {"L'APOSTROFO", 0, "ok"},
      {"condivisa", 0, std::nullopt},  // keys compare exactly
  };
  SettingsTable table(business_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key + " " + std::to_string(c.user));
    EXPECT_EQ(table.Find(c.key, c.user), c.expected);
    EXPECT_EQ(table.Read(c.key, c.user), c.expected.value_or(""));
  }
}

TEST_F(SettingsTableTest, ReadWithoutTableRaises) {
  // The user database has no TABX.
  fb::Attachment users =
      fb::Attachment::Attach(install_.UserDbName(), test::kFixtureUser, test::kFixturePassword);
  EXPECT_THROW(SettingsTable(users).Read("DIRCATINTERNET"), fb::DatabaseError);
}

struct TabXRow {
  std::string key;
  std::optional<std::string> text;
  std::optional<int> user;  // nullopt: shared
};

TEST_F(SettingsTableTest, WriteChangesOnlyTheRowItNames) {
  struct Case {
    const char* what;
    std::vector<TabXRow> before;
    std::string key, value;
    std::int32_t user;
    std::vector<std::string> after;  // rows of the key, "UTENTE|TESTO", shared first
  };
  const std::string null = kNull;
  const std::vector<Case> cases = {
      {"new shared key with empty value: TESTO NULL", {}, "K", "", 0, {null + "|" + null}},
      {"existing shared key with empty value: empty TESTO",
       {{"K", "v", std::nullopt}},
       "K",
       "",
       0,
       {null + "|"}},
      {"apostrophe becomes an acute accent",
       {},
       "K",
       "dell'anno 'x'",
       0,
       {null + "|dell´anno ´x´"}},
      {"only user rows: a shared row is added, user rows kept",
       {{"K", "a", 5}, {"K", "b", 7}},
       "K",
       "nuovo",
       0,
       {null + "|nuovo", "5|a", "7|b"}},
      {"shared and user rows: only the shared row changes",
       {{"K", "s", std::nullopt}, {"K", "a", 5}},
       "K",
       "nuovo",
       0,
       {null + "|nuovo", "5|a"}},
      {"negative user is the shared row",
       {{"K", "a", 5}},
       "K",
       "nuovo",
       -1,
       {null + "|nuovo", "5|a"}},
      {"user row added beside the shared one",
       {{"K", "s", std::nullopt}},
       "K",
       "mio",
       5,
       {null + "|s", "5|mio"}},
      {"user row updated, others kept",
       {{"K", "s", std::nullopt}, {"K", "a", 5}, {"K", "b", 7}},
       "K",
       "mio",
       5,
       {null + "|s", "5|mio", "7|b"}},
      {"key name with an apostrophe kept as it is", {}, "K'X", "v", 0, {null + "|v"}},
  };
  SettingsTable table(business_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      BusinessDb db = install_.Business();
      db.Exec("DELETE FROM TABX");
      db.SetTabX("ALTRA", "x");
      for (const TabXRow& r : c.before) {
        if (r.user) {
          db.SetUserTabX(r.key, r.text, *r.user);
        } else {
          db.SetTabX(r.key, r.text);
        }
      }
    }
    table.Write(c.key, c.value, c.user);
    EXPECT_EQ(TabXRows(c.key), c.after);
    EXPECT_EQ(TabXRows("ALTRA"), std::vector<std::string>{null + "|x"});
  }
}

TEST_F(SettingsTableTest, WrittenValuesReadBack) {
  {
    BusinessDb db = install_.Business();
    db.SetUserTabX("DIRCATINTERNET", "/utente5/", 5);
  }
  SettingsTable table(business_);
  table.Write("DIRCATINTERNET", "/export/dell'anno/");
  EXPECT_EQ(table.Read("DIRCATINTERNET"), "/export/dell´anno/");
  EXPECT_EQ(table.Read("DIRCATINTERNET", 5), "/utente5/");
  table.Write("DIRCATINTERNET", "/export/nuovo/");
  EXPECT_EQ(table.Read("DIRCATINTERNET"), "/export/nuovo/");

  // The accent is stored as the code page's byte for it, as earlier rows have it.
  table.Write("APOSTROFO", "'");
  EXPECT_EQ(
      install_.Business().QueryText("SELECT ASCII_VAL(TESTO) FROM TABX WHERE NOME = 'APOSTROFO'"),
      "180");
}

TEST_F(SettingsTableTest, NewRowsAreNumberedFromTheGenerator) {
  install_.Business().Exec("SET GENERATOR CODICETABXCOUNTER TO 41");
  SettingsTable(business_).Write("K", "v");
  EXPECT_EQ(install_.Business().QueryText("SELECT CODICE FROM TABX WHERE NOME = 'K'"), "42");
}

TEST_F(SettingsTableTest, WriteThatCannotBeStoredRaisesAndChangesNothing) {
  SettingsTable table(business_);
  // A value too long for TESTO.
  EXPECT_THROW(table.Write("K", std::string(1025, 'v')), fb::DatabaseError);
  EXPECT_EQ(TabXRows("K"), std::vector<std::string>{});

  // A row held by another transaction: the write does not wait.
  install_.Business().SetTabX("K", "vecchio");
  {
    fb::Attachment other = fb::Attachment::Attach(install_.BusinessDbName(), test::kFixtureUser,
                                                  test::kFixturePassword);
    fb::Transaction holding(other, fb::TransactionOptions::ServerDefaults());
    fb::Statement update(other, holding, "UPDATE TABX SET TESTO = 'altro' WHERE NOME = 'K'");
    update.Execute(holding);
    try {
      table.Write("K", "nuovo");
      ADD_FAILURE() << "written";
    } catch (const fb::DatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find("update conflicts with concurrent update"),
                std::string::npos)
          << e.what();
    }
    holding.Rollback();
  }
  EXPECT_EQ(TabXRows("K"), std::vector<std::string>{std::string(kNull) + "|vecchio"});
}

// Another writer holds TABX reserved while it adds a row, as Write does for
// a new key; a Write meanwhile waits for it and then changes the row the
// other left instead of adding a second one.
TEST_F(SettingsTableTest, WriteWaitsForAWriterOfANewRow) {
  struct Case {
    const char* what;
    bool key_exists;  // a shared row of K is there before both writers
  } cases[] = {{"the other adds the key's first row", false},
               {"the key's row is there, the other adds another key", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    install_.Business().Exec("DELETE FROM TABX");
    if (c.key_exists) install_.SetTabX("K", "prima");
    fb::Attachment other = fb::Attachment::Attach(install_.BusinessDbName(), test::kFixtureUser,
                                                  test::kFixturePassword);
    fb::Transaction adding(other, {.isolation = fb::Isolation::kReadCommitted,
                                   .lock_timeout_seconds = 30,
                                   .protected_write_tables = {"TABX"}});
    fb::Statement insert(other, adding,
                         "INSERT INTO TABX (CODICE, NOME, TESTO) "
                         "VALUES (GEN_ID(CODICETABXCOUNTER, 1), :NOME, 'altro')");
    insert.Set("NOME", fb::Text(c.key_exists ? "ALTRA" : "K"));
    insert.Execute(adding);

    std::promise<void> started;
    std::atomic<bool> written = false;
    std::thread writer([&] {
      started.set_value();
      try {
        SettingsTable(business_).Write("K", "nuovo");
      } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
      }
      written = true;
    });
    started.get_future().wait();
    // Whether the write has begun to wait by now or begins after the commit,
    // it must find the other's row; it cannot have ended before.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(written);
    adding.Commit();
    writer.join();
    EXPECT_EQ(TabXRows("K"), std::vector<std::string>{std::string(kNull) + "|nuovo"});
  }
}

TEST_F(SettingsTableTest, NextGeneratorValueStepsTheGenerator) {
  {
    BusinessDb db = install_.Business();
    db.Exec("CREATE GENERATOR G_PROVA$1");
    db.Exec("SET GENERATOR G_PROVA$1 TO 10");
    db.Exec("CREATE GENERATOR G_GRANDE");
    db.Exec("SET GENERATOR G_GRANDE TO 4999999999");
  }
  SettingsTable table(business_);
  EXPECT_EQ(table.NextGeneratorValue("G_PROVA$1"), 11);
  EXPECT_EQ(table.NextGeneratorValue("g_prova$1"), 12);  // unquoted names ignore case
  // Beyond the 32-bit range the value is given in full.
  EXPECT_EQ(table.NextGeneratorValue("G_GRANDE"), 5000000000);
  EXPECT_THROW(table.NextGeneratorValue("NON_ESISTE"), fb::DatabaseError);
}

TEST_F(SettingsTableTest, NextGeneratorValueRefusesWhatIsNotAGeneratorName) {
  SettingsTable table(business_);
  for (const std::string& name :
       {std::string(), std::string("1G"), std::string("_G"), std::string("G;DROP"),
        std::string("G,1) FROM RDB$DATABASE UNION SELECT 1"), std::string("\"G\""),
        std::string("G G"), std::string("G-1"), std::string("GÈ"), std::string(64, 'G')}) {
    SCOPED_TRACE(name);
    try {
      table.NextGeneratorValue(name);
      ADD_FAILURE() << "accepted";
    } catch (const fb::DatabaseError&) {
      ADD_FAILURE() << "reached the database";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("Nome del generatore non valido"), std::string::npos)
          << e.what();
    }
  }
}

}  // namespace
}  // namespace et
