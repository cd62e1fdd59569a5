#include "fb/attachment.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

#include "fb/error.h"
#include "fb_test_db.h"
#include "value_print.h"

namespace et::fb::test {
namespace {

// The one value of a query without parameters.
Value QueryValue(Attachment& db, const std::string& sql) {
  Transaction t(db, TransactionOptions::ServerDefaults());
  Statement s(db, t, sql, ParamMode::kNone);
  s.Execute(t);
  EXPECT_TRUE(s.HasRow()) << sql;
  return s.HasRow() ? s.Field(0) : Value{};
}

TEST(AttachmentTest, CreatesAttachesAndDetaches) {
  et::test::TempDir dir;
  const std::string path = dir.File("nuovo.fdb");
  {
    Attachment created = Attachment::ExecuteCreateDatabase(CreateDatabaseText(path));
    EXPECT_TRUE(created.IsAttached());
    Transaction t(created, TransactionOptions::ServerDefaults());
    Statement(created, t, "CREATE TABLE PROVA (ID INTEGER)", ParamMode::kNone).Execute(t);
    t.Commit();
    // The creation parameters reached the engine.
    EXPECT_EQ(QueryValue(created, "SELECT MON$PAGE_SIZE FROM MON$DATABASE"), Int(4096));
    EXPECT_EQ(QueryValue(created, "SELECT MON$SQL_DIALECT FROM MON$DATABASE"), Int(3));
    created.Detach();
    EXPECT_FALSE(created.IsAttached());
    created.Detach();  // a no-op when not attached
  }
  Attachment db = Attachment::Attach(path, kUser, kPassword);
  EXPECT_TRUE(db.IsAttached());
  EXPECT_EQ(QueryValue(db, "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'PROVA'"),
            Int(1));
  // No character set was asked for, so the connection carries NONE.
  EXPECT_EQ(
      QueryValue(db,
                 "SELECT TRIM(C.RDB$CHARACTER_SET_NAME) FROM MON$ATTACHMENTS A "
                 "JOIN RDB$CHARACTER_SETS C ON C.RDB$CHARACTER_SET_ID = A.MON$CHARACTER_SET_ID "
                 "WHERE A.MON$ATTACHMENT_ID = CURRENT_CONNECTION"),
      Text("NONE"));
  EXPECT_EQ(QueryValue(db, "SELECT TRIM(CURRENT_USER) FROM RDB$DATABASE"), Text("SYSDBA"));
}

TEST(AttachmentTest, FailuresCarryTheEngineMessage) {
  et::test::TempDir dir;
  const std::string missing = dir.File("manca.fdb");
  try {
    Attachment::Attach(missing, kUser, kPassword);
    ADD_FAILURE() << "attached a missing file";
  } catch (const DatabaseError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("I/O error"), std::string::npos) << message;
    EXPECT_NE(message.find(missing), std::string::npos) << message;
  }
  EXPECT_FALSE(std::filesystem::exists(missing));

  const std::string path = dir.File("doppio.fdb");
  Attachment::ExecuteCreateDatabase(CreateDatabaseText(path));
  try {
    Attachment::ExecuteCreateDatabase(CreateDatabaseText(path));
    ADD_FAILURE() << "created a database over an existing file";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
  EXPECT_THROW(Attachment::ExecuteCreateDatabase("SELECT 1 FROM RDB$DATABASE"), DatabaseError);
}

TEST(AttachmentTest, MoveHandsOverTheConnection) {
  et::test::TempDir dir;
  Attachment a = Attachment::ExecuteCreateDatabase(CreateDatabaseText(dir.File("a.fdb")));
  Attachment b = std::move(a);
  EXPECT_FALSE(a.IsAttached());  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_TRUE(b.IsAttached());
  EXPECT_EQ(QueryValue(b, "SELECT 1 FROM RDB$DATABASE"), Int(1));

  // Assigning over an attached object detaches it first: the second
  // database is left with no attachment of a user.
  const std::string second = dir.File("b.fdb");
  Attachment c = Attachment::ExecuteCreateDatabase(CreateDatabaseText(second));
  const std::string users_attached =
      "SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$SYSTEM_FLAG = 0";
  EXPECT_EQ(QueryValue(c, users_attached), Int(1));
  c = std::move(b);
  EXPECT_EQ(QueryValue(c, "SELECT 2 FROM RDB$DATABASE"), Int(2));
  Attachment d = Attachment::Attach(second, kUser, kPassword);
  EXPECT_EQ(QueryValue(d, users_attached), Int(1));  // d alone
}

// Databases the test server creates live where the server (running as root)
// may write; each test removes its own.
class ServerDatabase {
 public:
  ServerDatabase() {
    static std::atomic<int> counter{0};
    std::filesystem::create_directories(kDir);
    path_ = std::string(kDir) + "/fb-test-" + std::to_string(::getpid()) + "-" +
            std::to_string(counter++) + ".fdb";
    std::filesystem::remove(path_);
  }
  ~ServerDatabase() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  const std::string& Path() const { return path_; }

 private:
  static constexpr const char* kDir = "/var/tmp/exporttotale-tests";
  std::string path_;
};

TEST(AttachmentServerTest, AttachesThroughAServer) {
  const char* server = std::getenv("EXPORTTOTALE_FB_SERVER");
  if (!server || !*server) GTEST_SKIP() << "EXPORTTOTALE_FB_SERVER is not set";
  ServerDatabase file;
  const std::string name = std::string(server) + ":" + file.Path();
  {
    Attachment created = Attachment::ExecuteCreateDatabase(CreateDatabaseText(name));
    Transaction t(created, TransactionOptions::ServerDefaults());
    Statement(created, t, "CREATE TABLE PROVA (ID INTEGER, T VARCHAR(10))", ParamMode::kNone)
        .Execute(t);
    t.Commit();
  }
  Attachment db = Attachment::Attach(name, kUser, kPassword);
  {
    Transaction t(db, TransactionOptions::Snapshot());
    Statement insert(db, t, "INSERT INTO PROVA (ID, T) VALUES (:ID, :T)");
    insert.Set("ID", Int(1));
    insert.Set("T", Text("\xE2\x82\xAC"));
    insert.Execute(t);
    t.Commit();
  }
  // The connection goes over the network, not through the embedded engine.
  EXPECT_EQ(QueryValue(db,
                       "SELECT TRIM(MON$REMOTE_PROTOCOL) FROM MON$ATTACHMENTS "
                       "WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION"),
            Text("TCPv4"));
  EXPECT_EQ(QueryValue(db, "SELECT T FROM PROVA WHERE ID = 1"), Text("\xE2\x82\xAC"));
  db.Detach();

  try {
    Attachment::Attach(name, kUser, "sbagliata");
    ADD_FAILURE() << "attached with a wrong password";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("user name and password are not defined"),
              std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace et::fb::test
