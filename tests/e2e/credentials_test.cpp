// The database credentials the Firebird way: ISC_USER and ISC_PASSWORD of
// the environment, for every connection of a run. Through a real server
// (EXPORTTOTALE_FB_SERVER), since an embedded engine accepts any password.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/servers.h"
#include "tests/e2e/e2e.h"

namespace et {
namespace {

namespace fs = std::filesystem;
using test::FixtureDb;
using test::HttpServer;
using test::Installation;
using test::InstallationOptions;
using test::ProcessResult;

// The server's users are shared by every test run on the machine: each
// process has a user of its own.
const std::string kUser = "ET_PROVA_CREDENZIALI_" + std::to_string(::getpid());
constexpr const char* kPassword = "Pr0va-segreta";

// Gives the test's Firebird user every right on the tables and procedures
// of a database made by SYSDBA.
void GrantEverything(FixtureDb& db) {
  for (const auto& row : db.QueryRows(
           "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0")) {
    db.Exec("GRANT ALL ON \"" + row[0] + "\" TO USER " + kUser);
  }
  for (const auto& row : db.QueryRows(
           "SELECT TRIM(RDB$PROCEDURE_NAME) FROM RDB$PROCEDURES WHERE RDB$SYSTEM_FLAG = 0")) {
    db.Exec("GRANT EXECUTE ON PROCEDURE \"" + row[0] + "\" TO USER " + kUser);
  }
}

class Credentials : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* server = std::getenv("EXPORTTOTALE_FB_SERVER");
    if (!server || !*server) GTEST_SKIP() << "EXPORTTOTALE_FB_SERVER not set: no server started";
    InstallationOptions options;
    options.executable = test::BuiltProgram();
    options.server = server;
    install_ = std::make_unique<Installation>(options);
    test::BusinessDb business = install_->Business();
    business.Exec("CREATE OR ALTER USER " + kUser + " PASSWORD '" + kPassword + "'");
    user_created_ = true;
    business.SetTabX("CAT_SCRIPTGIACENZE", http_.BaseUrl() + "/giacenze.php");
    GrantEverything(business);
    FixtureDb users = install_->Users();
    GrantEverything(users);
  }

  void TearDown() override {
    if (user_created_) install_->Business().Exec("DROP USER " + kUser);
  }

  ProcessResult Run(const std::string& password) {
    test::RunOptions options;
    options.env = {{"ISC_USER", kUser}, {"ISC_PASSWORD", password}};
    options.timeout = std::chrono::seconds(60);
    return test::RunInstalled(*install_, {}, options);
  }

  // The text of every file of the installation but the databases.
  std::string AllFiles() const {
    std::string text;
    for (const auto& entry : fs::recursive_directory_iterator(install_->Root())) {
      if (entry.is_regular_file() && entry.path().extension() != ".fdb" &&
          entry.path() != install_->Program()) {
        text += test::ReadFile(entry.path().string());
      }
    }
    return text;
  }

  HttpServer http_;
  std::unique_ptr<Installation> install_;
  bool user_created_ = false;
};

TEST_F(Credentials, RunConnectsAsTheUserOfTheEnvironment) {
  const ProcessResult r = Run(kPassword);
  EXPECT_EQ(r.exit_status, test::kStatusCompleted) << r.out << r.err;
  EXPECT_TRUE(fs::exists(install_->ExportDir() + "ESTRAZQ.CSV"));
  EXPECT_EQ(http_.Requests().size(), 1u);
}

TEST_F(Credentials, WrongPasswordHaltsWithoutShowingIt) {
  // The second one would end the quoted text of a CREATE DATABASE if it
  // went in unquoted.
  for (const std::string wrong : {"Sbagliata-91", "Sba\"gliata' 92"}) {
    SCOPED_TRACE(wrong);
    const ProcessResult r = Run(wrong);
    EXPECT_EQ(r.exit_status, test::kStatusNotCompleted) << r.out << r.err;
    EXPECT_NE(r.err.find("[arresto]"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find(wrong), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find(wrong), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("gliata"), std::string::npos) << r.err;
    EXPECT_EQ(AllFiles().find("gliata"), std::string::npos);
    EXPECT_FALSE(fs::exists(install_->ExportDir() + "ESTRAZQ.CSV"));
  }
}

}  // namespace
}  // namespace et
