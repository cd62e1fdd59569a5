// Processes of one installation started at the same moment: runs of the
// built program, which on embedded databases follow one another (a database
// file is open in one process at a time, and a run waits for it), and
// "exporttotale-admin set" of one key, which leaves one row of it however
// many write at once.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/database_holder.h"
#include "support/servers.h"
#include "tests/e2e/e2e.h"

namespace et {
namespace {

namespace fs = std::filesystem;
using test::FtpServer;
using test::HttpServer;
using test::Installation;
using test::InstallationOptions;
using test::ProcessResult;
using test::ProcessToRun;
using test::RunOptions;
using Clock = std::chrono::steady_clock;

using test::Describe;

// The Firebird server of the test run; empty when none was started.
std::string Server() {
  const char* server = std::getenv("EXPORTTOTALE_FB_SERVER");
  return server ? server : "";
}

// Embedded database files, and the same installation through the server.
struct Engine {
  const char* name;
  bool through_server;
};
const Engine kEngines[] = {{"embedded", false}, {"server", true}};

// An installation ready for the stock run, on the engine asked for; nullopt
// (the case skipped) for the server when the test run started none.
std::optional<InstallationOptions> OptionsFor(const Engine& engine) {
  InstallationOptions options{.executable = test::BuiltProgram()};
  if (engine.through_server) {
    if (Server().empty()) return std::nullopt;
    options.server = Server();
  }
  return options;
}

RunOptions RunOptionsFor(const Installation& install, const std::string& wait_seconds) {
  RunOptions options;
  options.env = {{"LANG", "C"}, {"EXPORTTOTALE_LOCK_WAIT_SECONDS", wait_seconds}};
  options.unset_env = {"LC_ALL", "LC_NUMERIC", "LC_TIME"};
  options.cwd = install.Root();
  options.timeout = std::chrono::seconds(120);
  return options;
}

// The user database is the one the installation made, not an empty one made
// in its place.
void ExpectUserRowKept(const Installation& install) {
  EXPECT_EQ(install.Users().QueryText("SELECT COUNT(*) FROM UTENTI"), "1");
}

TEST(StartedTogether, RunsOfOneInstallationAllComplete) {
  constexpr int kRuns = 5;
  for (const Engine& engine : kEngines) {
    SCOPED_TRACE(engine.name);
    const std::optional<InstallationOptions> options = OptionsFor(engine);
    if (!options) continue;
    FtpServer ftp;
    HttpServer http;
    Installation install(*options);
    {
      test::BusinessDb db = install.Business();
      test::SetStockRunSettings(db, ftp, http);
      db.AddStock({.codice = "A1", .quantitapresente = 4});
    }

    const std::vector<ProcessToRun> runs(kRuns,
                                         {install.Program(), {}, RunOptionsFor(install, "600")});
    for (const ProcessResult& r : test::RunTogether(runs)) {
      EXPECT_EQ(r.exit_status, test::kStatusCompleted) << Describe(r);
      EXPECT_EQ(r.out, "") << Describe(r);
      EXPECT_EQ(r.err.find("File exists"), std::string::npos) << Describe(r);
    }
    EXPECT_EQ(http.Requests().size(), static_cast<std::size_t>(kRuns));
    EXPECT_NE(ftp.ReadReceived("catalogo/ESTRAZQ.CSV").find("A1"), std::string::npos);
    ExpectUserRowKept(install);
  }
}

// Another process holds the business database; the run waits for it and
// completes once it is free.
TEST(StartedTogether, HeldBusinessDatabaseIsWaitedFor) {
  FtpServer ftp;
  HttpServer http;
  Installation install(test::BuiltProgram());
  {
    test::BusinessDb db = install.Business();
    test::SetStockRunSettings(db, ftp, http);
  }
  std::optional<test::DatabaseHolder> other(install.BusinessDbFile());
  const auto started = Clock::now();
  RunOptions options = RunOptionsFor(install, "60");
  options.while_running = [&](pid_t) {
    if (Clock::now() - started < std::chrono::seconds(1)) return false;
    // Nothing can have been exported while the database was held.
    EXPECT_TRUE(http.Requests().empty());
    other.reset();
    return true;
  };
  const ProcessResult r = test::RunProcess(install.Program(), {}, options);
  EXPECT_EQ(r.exit_status, test::kStatusCompleted) << Describe(r);
  EXPECT_EQ(r.out, "") << Describe(r);
  EXPECT_EQ(http.Requests().size(), 1u);
  EXPECT_TRUE(fs::exists(install.ExportDir() + "ESTRAZQ.CSV"));
}

// A database held for the whole wait halts the run with the engine's reason;
// nothing is created in its place.
TEST(StartedTogether, DatabaseHeldForTheWholeWaitHaltsTheRun) {
  Installation install(test::BuiltProgram());
  test::DatabaseHolder other(install.UserDbFile());
  const auto started = Clock::now();
  const ProcessResult r = test::RunProcess(install.Program(), {}, RunOptionsFor(install, "2"));
  EXPECT_GE(Clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ(r.exit_status, test::kStatusNotCompleted) << Describe(r);
  EXPECT_NE(r.err.find("[arresto] I/O error during \"lock\" operation for file \"" +
                       install.UserDbFile() + "\""),
            std::string::npos)
      << Describe(r);
  EXPECT_NE(r.err.find("Database already opened with engine instance"), std::string::npos)
      << Describe(r);
  EXPECT_EQ(r.err.find("O_CREAT"), std::string::npos) << Describe(r);
  EXPECT_EQ(r.out.find("Effettuata creazione data base"), std::string::npos) << Describe(r);
  other.Release();
  ExpectUserRowKept(install);
}

// A stop signal ends a run that waits for a held database.
TEST(StartedTogether, StopSignalEndsTheWait) {
  Installation install(test::BuiltProgram());
  test::DatabaseHolder other(install.UserDbFile());
  const auto started = Clock::now();
  Clock::time_point signalled;
  RunOptions options = RunOptionsFor(install, "600");
  options.while_running = [&](pid_t pid) {
    if (Clock::now() - started < std::chrono::seconds(1)) return false;
    signalled = Clock::now();
    EXPECT_EQ(::kill(pid, SIGTERM), 0);
    return true;
  };
  const ProcessResult r = test::RunProcess(install.Program(), {}, options);
  EXPECT_LT(Clock::now() - signalled, std::chrono::seconds(2)) << Describe(r);
  EXPECT_EQ(r.signal, 0) << Describe(r);
  EXPECT_EQ(r.exit_status, test::kStatusNotCompleted) << Describe(r);
  EXPECT_NE(r.err.find("Esecuzione interrotta dal segnale SIGTERM"), std::string::npos)
      << Describe(r);
  EXPECT_EQ(r.err.find("[arresto]"), std::string::npos) << Describe(r);
  other.Release();
  ExpectUserRowKept(install);
}

// ---------------------------------------------------------------- set

// Processes of "exporttotale-admin set" of one key at once.
struct SetCase {
  const char* what;
  Engine engine;
  int shared_writers;  // set KEY VALUE
  int user_writers;    // set KEY VALUE --user 5
  bool key_exists;     // a shared row of the key is there before
  // Through the server, a writer that finds the row while another changes
  // it fails at once, as a write of a row another transaction holds does.
  bool conflicts_allowed;
};

// The TABX rows of a key as "UTENTE|TESTO".
std::vector<std::string> RowsOf(const Installation& install, const std::string& key) {
  std::vector<std::string> rows;
  for (const auto& row : install.Business().QueryRows(
           "SELECT UTENTE, TESTO FROM TABX WHERE NOME = :N ORDER BY UTENTE NULLS FIRST",
           {{"N", fb::Text(key)}})) {
    rows.push_back(row[0] + "|" + row[1]);
  }
  return rows;
}

TEST(StartedTogether, SetLeavesOneRowOfTheKey) {
  const Engine embedded = kEngines[0];
  const Engine server = kEngines[1];
  const std::vector<SetCase> cases = {
      {"embedded: writers follow one another", embedded, 4, 0, false, false},
      {"server: a new shared key", server, 12, 0, false, true},
      {"server: a new key, shared and one user's rows", server, 6, 6, false, true},
      {"server: an existing shared key", server, 8, 0, true, true},
  };
  // Rounds make a race that shows only now and then show.
  constexpr int kRounds = 3;
  for (const SetCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<InstallationOptions> options = OptionsFor(c.engine);
    if (!options) continue;
    Installation install(*options);
    for (int round = 0; round < kRounds; ++round) {
      SCOPED_TRACE("round " + std::to_string(round));
      const std::string key = "CHIAVE_" + std::to_string(round);
      if (c.key_exists) install.SetTabX(key, "prima");

      std::vector<ProcessToRun> writers;
      std::vector<std::string> values;
      for (int i = 0; i < c.shared_writers + c.user_writers; ++i) {
        values.push_back("valore " + std::to_string(i));
        std::vector<std::string> args = {"--dir", install.BinDir(), "set", key, values.back()};
        if (i >= c.shared_writers) args.insert(args.end(), {"--user", "5"});
        RunOptions run;
        run.env = {{"EXPORTTOTALE_LOCK_WAIT_SECONDS", "600"}};
        writers.push_back({test::BuiltAdmin(), args, run});
      }
      const std::vector<ProcessResult> results = test::RunTogether(writers);

      std::set<std::string> written_shared, written_user;
      for (std::size_t i = 0; i < results.size(); ++i) {
        const ProcessResult& r = results[i];
        const bool shared = i < static_cast<std::size_t>(c.shared_writers);
        if (r.exit_status == 0) {
          (shared ? written_shared : written_user).insert(values[i]);
          continue;
        }
        EXPECT_TRUE(c.conflicts_allowed) << Describe(r);
        EXPECT_EQ(r.exit_status, 1) << Describe(r);
        EXPECT_NE(r.err.find("scrittura della chiave " + key + " non riuscita"), std::string::npos)
            << Describe(r);
        EXPECT_NE(r.err.find("update conflicts with concurrent update"), std::string::npos)
            << Describe(r);
      }
      const std::vector<std::string> rows = RowsOf(install, key);
      ASSERT_EQ(rows.size(), c.user_writers > 0 ? 2u : 1u) << ::testing::PrintToString(rows);
      // The shared row holds the value of a writer that succeeded.
      const std::string shared_prefix = std::string(test::kNullText) + "|";
      ASSERT_EQ(rows[0].rfind(shared_prefix, 0), 0u) << rows[0];
      EXPECT_TRUE(written_shared.count(rows[0].substr(shared_prefix.size()))) << rows[0];
      if (c.user_writers > 0) {
        ASSERT_EQ(rows[1].rfind("5|", 0), 0u) << rows[1];
        EXPECT_TRUE(written_user.count(rows[1].substr(2))) << rows[1];
      }
    }
  }
}

}  // namespace
}  // namespace et
