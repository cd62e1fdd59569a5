#include "fb/error.h"

#include <gtest/gtest.h>
#include <ibase.h>

#include <functional>

#include "fb_test_db.h"

namespace et::fb::test {
namespace {

class ErrorTest : public DatabaseTest {
 protected:
  void SetUp() override { Exec({"CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY)"}); }
};

struct ErrorCase {
  const char* name;
  std::function<void(Attachment&)> run;
  int code;               // first ISC error code; 0 for an error of this layer
  const char* sql_state;  // empty for an error of this layer
  const char* text;       // part of the message
  bool lock_conflict;
};

TEST_F(ErrorTest, EngineErrorsCarryTheirCodeAndSqlState) {
  Exec({"INSERT INTO T (ID) VALUES (1)"});
  const std::vector<ErrorCase> cases = {
      {"unknown table",
       [](Attachment& db) {
         Transaction t(db, TransactionOptions::ServerDefaults());
         Statement(db, t, "SELECT * FROM MISSING", ParamMode::kNone);
       },
       isc_dsql_error, "42S02", "Table unknown", false},
      {"duplicate key",
       [](Attachment& db) {
         Transaction t(db, TransactionOptions::ServerDefaults());
         Statement(db, t, "INSERT INTO T (ID) VALUES (1)", ParamMode::kNone).Execute(t);
       },
       isc_unique_key_violation, "23000", "violation of PRIMARY or UNIQUE KEY", false},
      {"write in a read-only transaction",
       [](Attachment& db) {
         Transaction t(db, {.access = AccessMode::kReadOnly});
         Statement(db, t, "INSERT INTO T (ID) VALUES (2)", ParamMode::kNone).Execute(t);
       },
       isc_read_only_trans, "42000", "read-only", false},
      {"division by zero",
       [](Attachment& db) {
         Transaction t(db, TransactionOptions::ServerDefaults());
         Statement(db, t, "SELECT 1 / (ID - 1) FROM T", ParamMode::kNone).Execute(t);
       },
       isc_arith_except, "22012", "divide by zero", false},
      {"a text longer than any parameter, raised by this layer",
       [](Attachment& db) {
         Transaction t(db, TransactionOptions::ServerDefaults());
         Statement s(db, t, "SELECT 1 FROM T WHERE CAST(:X AS VARCHAR(10)) = ''");
         s.Set("X", Text(std::string(40000, 'x')));
         s.Execute(t);
       },
       0, "", "longer than a parameter takes", false},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.run(db_);
      ADD_FAILURE() << "no error";
    } catch (const DatabaseError& e) {
      EXPECT_EQ(e.Code(), c.code) << e.what();
      EXPECT_EQ(e.SqlState(), c.sql_state) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.text), std::string::npos) << e.what();
      EXPECT_EQ(e.IsLockConflict(), c.lock_conflict);
    }
  }
}

}  // namespace
}  // namespace et::fb::test
