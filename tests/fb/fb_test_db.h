// A database of its own for each test, created through the embedded engine
// in a temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fb/attachment.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "support/temp_dir.h"

namespace et::fb::test {

inline constexpr const char* kUser = "SYSDBA";
inline constexpr const char* kPassword = "velutrina";

// The CREATE DATABASE text the system sends.
inline std::string CreateDatabaseText(const std::string& name) {
  return "CREATE DATABASE '" + name + "' USER \"" + kUser + "\" PASSWORD \"" + kPassword +
         "\" PAGE_SIZE 4096 ";
}

class DatabaseTest : public ::testing::Test {
 protected:
  // Runs statements without parameters in one transaction and commits.
  void Exec(const std::vector<std::string>& statements) { Exec(db_, statements); }
  static void Exec(Attachment& db, const std::vector<std::string>& statements) {
    Transaction t(db, TransactionOptions::ServerDefaults());
    for (const std::string& sql : statements) Statement(db, t, sql, ParamMode::kNone).Execute(t);
    t.Commit();
  }

  // The one value of a query without parameters, read in a transaction of
  // its own.
  Value Scalar(const std::string& sql) {
    Transaction t(db_, TransactionOptions::ReadCommitted());
    Statement s(db_, t, sql, ParamMode::kNone);
    s.Execute(t);
    EXPECT_TRUE(s.HasRow()) << sql;
    return s.HasRow() ? s.Field(0) : Value{};
  }

  et::test::TempDir dir_;
  const std::string path_ = dir_.File("test.fdb");
  Attachment db_ = Attachment::ExecuteCreateDatabase(CreateDatabaseText(path_));
};

}  // namespace et::fb::test
