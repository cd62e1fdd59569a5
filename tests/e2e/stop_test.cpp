// Stopping the built program from outside (a scheduler's SIGTERM, Ctrl-C,
// a closed terminal) while it waits on a trigger that never answers, on
// another run's lock, while it uploads, while the price-list run
// consolidates the markups in the database and while it writes its price
// list, both embedded and through a Firebird server: the run ends promptly
// with status 233 and a stop line, no crash, the consolidation rolled back
// and no temporary file left. Each signal is sent once the test has seen
// that the run is where it should be stopped.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/file_lock_holder.h"
#include "support/process_state.h"
#include "support/servers.h"
#include "tests/e2e/e2e.h"

namespace et {
namespace {

namespace fs = std::filesystem;
using test::Describe;
using test::FtpServer;
using test::HttpServer;
using test::Installation;
using test::InstallationOptions;
using test::kStatusNotCompleted;
using test::ProcessResult;
using test::RunOptions;
using Clock = std::chrono::steady_clock;

struct StopSignal {
  int number;
  const char* name;
};
const StopSignal kStopSignals[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};

// A run stopped by a signal, and how long it took to end after the signal.
struct StoppedRun {
  ProcessResult result;
  bool signalled = false;
  std::chrono::milliseconds after_signal{0};
};

// Runs the installed program and sends it `signal` once `ready`, asked with
// its process id about every 20 ms, says that it is where it should stop.
StoppedRun RunAndStop(const Installation& install, const std::vector<std::string>& args, int signal,
                      const std::function<bool(pid_t)>& ready) {
  StoppedRun run;
  Clock::time_point sent;
  RunOptions options;
  options.timeout = std::chrono::seconds(60);
  options.while_running = [&](pid_t pid) {
    if (!ready(pid)) return false;
    sent = Clock::now();
    run.signalled = ::kill(pid, signal) == 0;
    return true;
  };
  run.result = test::RunInstalled(install, args, options);
  if (run.signalled) {
    run.after_signal = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent);
  }
  return run;
}

// The outcome every stopped run shares: status 233 from the program itself
// (not a death by signal), the stop line naming the signal, no core dump
// in the working directory, and an end well before a hanging wait would.
void ExpectStopped(const StoppedRun& run, const StopSignal& signal, const Installation& install) {
  const ProcessResult& r = run.result;
  ASSERT_TRUE(run.signalled) << Describe(r);
  EXPECT_EQ(r.signal, 0) << Describe(r);
  EXPECT_EQ(r.exit_status, kStatusNotCompleted) << Describe(r);
  EXPECT_NE(r.err.find(std::string("Esecuzione interrotta dal segnale ") + signal.name),
            std::string::npos)
      << Describe(r);
  // No halt message and no prompt to press Enter after a stop.
  EXPECT_EQ(r.err.find("[arresto]"), std::string::npos) << Describe(r);
  EXPECT_EQ(r.out.find("Invio"), std::string::npos) << Describe(r);
  EXPECT_LT(run.after_signal, std::chrono::seconds(10)) << Describe(r);
  for (const auto& entry : fs::recursive_directory_iterator(install.Root())) {
    EXPECT_EQ(entry.path().filename().string().rfind("core", 0), std::string::npos) << entry.path();
  }
}

// A stock run whose trigger holds the request without ever answering.
TEST(StopRun, SignalWhileWaitingOnTheTriggerEndsTheRun) {
  for (const StopSignal& signal : kStopSignals) {
    SCOPED_TRACE(signal.name);
    FtpServer ftp;
    HttpServer http;
    Installation install(test::BuiltProgram());
    {
      test::BusinessDb db = install.Business();
      db.SetTabX("CAT_HOSTFTP", ftp.HostAndPort());
      db.SetTabX("CAT_USERFTP", FtpServer::kUser);
      db.SetTabX("CAT_PWDFTP", FtpServer::kPassword);
      db.SetTabX("CAT_SCRIPTGIACENZE", http.BaseUrl() + "/silent");
    }

    const StoppedRun run =
        RunAndStop(install, {}, signal.number, [&](pid_t) { return !http.Requests().empty(); });

    ExpectStopped(run, signal, install);
    // The cut request is not reported as the web side's failure.
    EXPECT_EQ(run.result.out.find("ESocketError"), std::string::npos) << Describe(run.result);
    EXPECT_TRUE(ftp.HasFile("ESTRAZQ.CSV"));  // the steps before the trigger were done
    EXPECT_FALSE(fs::exists(install.ExportDir() + ".exporttotale.lock"));
  }
}

// A stock run stopped while its upload waits on a server that has taken the
// first bytes and goes quiet: the temporary file goes, over a fresh
// connection, before the run ends.
TEST(StopRun, SignalDuringAnUploadDeletesTheTemporaryFile) {
  for (const StopSignal& signal : {kStopSignals[0], kStopSignals[1]}) {
    SCOPED_TRACE(signal.name);
    FtpServer ftp(FtpServer::Options{.stall_data_seconds = 60});
    HttpServer http;
    Installation install(test::BuiltProgram());
    {
      test::BusinessDb db = install.Business();
      db.SetTabX("CAT_HOSTFTP", ftp.HostAndPort());
      db.SetTabX("CAT_USERFTP", FtpServer::kUser);
      db.SetTabX("CAT_PWDFTP", FtpServer::kPassword);
      db.SetTabX("CAT_SCRIPTGIACENZE", http.BaseUrl() + "/giacenze.php");
      // A file with content: the server stalls once its first bytes arrive.
      db.SetTabX("CAT_TIPOEXPPERGIACENZE", "1");
      db.AddStock(std::vector<test::StockRow>{
          {.magazzino = 1, .codice = "A1", .idapertura = 3, .quantitapresente = 5}});
    }
    ftp.PutFile("ESTRAZQ.CSV", "previous\r\n");

    const StoppedRun run = RunAndStop(install, {}, signal.number, [&](pid_t) {
      const auto commands = ftp.Commands();
      return std::find(commands.begin(), commands.end(), "STOR .ESTRAZQ.CSV.part") !=
                 commands.end() &&
             ftp.HasFile(".ESTRAZQ.CSV.part");
    });

    ExpectStopped(run, signal, install);
    EXPECT_FALSE(ftp.HasFile(".ESTRAZQ.CSV.part")) << "the temporary file stayed on the server";
    EXPECT_EQ(ftp.ReadReceived("ESTRAZQ.CSV"), "previous\r\n");
    const auto commands = ftp.Commands();
    const auto stor = std::find(commands.begin(), commands.end(), "STOR .ESTRAZQ.CSV.part");
    ASSERT_NE(stor, commands.end());
    EXPECT_NE(std::find(stor, commands.end(), "USER catalogo"), commands.end());
    EXPECT_NE(std::find(stor, commands.end(), "DELE .ESTRAZQ.CSV.part"), commands.end());
    EXPECT_TRUE(http.Requests().empty());
  }
}

// Tells whether a file has been opened since the watch began (inotify),
// by this process or any other.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& path) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ < 0 || ::inotify_add_watch(fd_, path.c_str(), IN_OPEN) < 0) {
      ADD_FAILURE() << "cannot watch " << path;
    }
  }
  ~OpenWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  bool Opened() {
    alignas(inotify_event) char events[4096];
    while (fd_ >= 0 && ::read(fd_, events, sizeof events) > 0) opened_ = true;
    return opened_;
  }

 private:
  int fd_;
  bool opened_ = false;
};

// A price-list run held inside its markup consolidation: a BEFORE UPDATE
// trigger on CLIENTI lets the first customers of the transaction through,
// then, on the next one, shows that the run is there by attaching a small
// database of its own that the test watches, and keeps the statement running
// until the run cancels it, half a minute at most. Nothing in the trigger
// catches an error: a cancellation that reaches it while it attaches ends it
// as well.
class StopDuringConsolidation : public ::testing::Test {
 protected:
  static constexpr int kCustomers = 40;
  static constexpr int kHeldAt = 20;  // customers updated before the hold: kHeldAt - 1

  std::unique_ptr<Installation> Install(const std::string& server) {
    InstallationOptions options;
    options.executable = test::BuiltProgram();
    options.server = server;
    auto install = std::make_unique<Installation>(options);
    test::BusinessDb db = install->Business();
    db.AddPriceBand({.id = 3, .listinoricarico = 27});
    db.AddDiscount({.idlistsc = 27, .sconto1 = 12.5});
    for (int i = 0; i < kCustomers; ++i) {
      char code[8];
      std::snprintf(code, sizeof code, "C%04d", i);
      db.AddCustomer({.codice = code, .tipoprezzo = 3, .info1 = "vecchio", .info2 = i});
    }
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"CAT_HOSTFTP", ftp_.HostAndPort()},
             {"CAT_USERFTP", FtpServer::kUser},
             {"CAT_PWDFTP", FtpServer::kPassword},
             {"CAT_EXPPRVEN_NOMEFILE", "listini.csv"},
             {"CAT_EXPPRVEN_SCRIPT", http_.BaseUrl() + "/listini.php"},
             {"CAT_EXPPRVEN_FASCIA", "3"},
             {"CAT_EXPPRVEN_NOMEFILE2", "clienti.csv"},
             {"CAT_EXPPRVEN_SCRIPT2", http_.BaseUrl() + "/clienti.php"},
             {"FasciaDefault", "5"},
         }) {
      db.SetTabX(key, value);
    }
    return install;
  }

  // Makes the next run hold its consolidation, showing it by attaching the
  // database `signal`, made here (through the server when there is one). A
  // database of its own for each run: the file is opened when it is
  // attached, however long a server kept the one before.
  static void HoldNextRun(const std::string& server, const Installation& install,
                          const std::string& signal) {
    test::CreateUserDatabase(server.empty() ? signal : server + ":" + signal);
    install.Business().Exec(
        "CREATE OR ALTER TRIGGER CLIENTI_TRATTIENI FOR CLIENTI BEFORE UPDATE AS "
        "DECLARE AGGIORNATI INTEGER; DECLARE RISPOSTA INTEGER; DECLARE FINE TIMESTAMP; "
        "BEGIN "
        "  AGGIORNATI = COALESCE(CAST(RDB$GET_CONTEXT('USER_TRANSACTION', 'AGGIORNATI') "
        "                             AS INTEGER), 0) + 1; "
        "  RISPOSTA = RDB$SET_CONTEXT('USER_TRANSACTION', 'AGGIORNATI', AGGIORNATI); "
        "  IF (AGGIORNATI = " +
        std::to_string(kHeldAt) +
        ") THEN BEGIN "
        "    EXECUTE STATEMENT 'SELECT 1 FROM RDB$DATABASE' "
        "      ON EXTERNAL DATA SOURCE '" +
        signal +
        "' INTO RISPOSTA; "
        "    FINE = DATEADD(30 SECOND TO CAST('NOW' AS TIMESTAMP)); "
        "    WHILE (CAST('NOW' AS TIMESTAMP) < FINE) DO RISPOSTA = RISPOSTA + 1; "
        "  END "
        "END");
  }

  static std::vector<std::vector<std::string>> Customers(const Installation& install) {
    return install.Business().QueryRows("SELECT CODICE, INFO1, INFO2 FROM CLIENTI ORDER BY 1");
  }

  // Stops `tries` runs, each as soon as the trigger shows that it holds the
  // consolidation.
  void StopRepeatedly(const std::string& server, int tries) {
    std::unique_ptr<Installation> install = Install(server);
    const auto before = Customers(*install);
    ASSERT_EQ(before.size(), static_cast<std::size_t>(kCustomers));
    for (int i = 0; i < tries; ++i) {
      const StopSignal& signal = kStopSignals[i % std::size(kStopSignals)];
      SCOPED_TRACE("try " + std::to_string(i) + " " + signal.name);
      const std::string held_file = install->Root() + "/segnale" + std::to_string(i) + ".fdb";
      HoldNextRun(server, *install, held_file);
      OpenWatch held(held_file);
      const StoppedRun run =
          RunAndStop(*install, {"-p"}, signal.number, [&](pid_t) { return held.Opened(); });
      ExpectStopped(run, signal, *install);
      EXPECT_EQ(run.result.out, "") << Describe(run.result);
      // All or nothing: every customer keeps its old values.
      EXPECT_EQ(Customers(*install), before);
      EXPECT_FALSE(fs::exists(install->ExportDir() + "clienti.csv"));
      EXPECT_TRUE(http_.Requests().empty());
    }
  }

  FtpServer ftp_;
  HttpServer http_;
};

TEST_F(StopDuringConsolidation, EmbeddedDatabaseRollsBack) { StopRepeatedly("", 5); }

TEST_F(StopDuringConsolidation, ThroughTheServerRollsBack) {
  const char* server = std::getenv("EXPORTTOTALE_FB_SERVER");
  if (!server || !*server) GTEST_SKIP() << "EXPORTTOTALE_FB_SERVER not set: no server started";
  StopRepeatedly(server, 5);
}

// A price-list run stopped while its export writes a list of 50,000 articles:
// the export's loop sees the stop at its next row, so the run ends through
// its own error path, which removes the temporary file beside listini.csv,
// and not by the safety net at the end of the grace time, which would leave
// it behind.
class StopDuringThePriceListExport : public ::testing::Test {
 protected:
  void StopOnce(const std::string& server) {
    InstallationOptions options;
    options.executable = test::BuiltProgram();
    options.server = server;
    Installation install(options);
    {
      test::BusinessDb db = install.Business();
      db.Exec(
          "CREATE VIEW CIFRE (D) AS SELECT 0 FROM RDB$DATABASE UNION ALL SELECT 1 FROM "
          "RDB$DATABASE UNION ALL SELECT 2 FROM RDB$DATABASE UNION ALL SELECT 3 FROM RDB$DATABASE "
          "UNION ALL SELECT 4 FROM RDB$DATABASE UNION ALL SELECT 5 FROM RDB$DATABASE UNION ALL "
          "SELECT 6 FROM RDB$DATABASE UNION ALL SELECT 7 FROM RDB$DATABASE UNION ALL SELECT 8 FROM "
          "RDB$DATABASE UNION ALL SELECT 9 FROM RDB$DATABASE");
      db.Exec(
          "INSERT INTO FIXTURE_PREZZI (ID, FASCIA, ARTICOLO, DESCRIZIONE, PREZZONETTO, SCONTOUNO, "
          "SCONTODUE, SCONTOTRE) SELECT N, 3, 'ART' || N, 'Articolo ' || N, 1, 0, 0, 0 FROM "
          "(SELECT A.D + 10 * B.D + 100 * C.D + 1000 * E.D + 10000 * F.D AS N "
          "FROM CIFRE A, CIFRE B, CIFRE C, CIFRE E, CIFRE F) WHERE N < 50000");
      for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
               {"CAT_HOSTFTP", ftp_.HostAndPort()},
               {"CAT_USERFTP", FtpServer::kUser},
               {"CAT_PWDFTP", FtpServer::kPassword},
               {"CAT_EXPPRVEN_NOMEFILE", "listini.csv"},
               {"CAT_EXPPRVEN_SCRIPT", http_.BaseUrl() + "/listini.php"},
               {"CAT_EXPPRVEN_FASCIA", "3"},
               {"CAT_EXPPRVEN_NOMEFILE2", "clienti.csv"},
               {"CAT_EXPPRVEN_SCRIPT2", http_.BaseUrl() + "/clienti.php"},
           }) {
        db.SetTabX(key, value);
      }
    }
    const auto temporaries = [&] {
      std::vector<std::string> names;
      for (const auto& entry : fs::directory_iterator(install.ExportDir())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".listini.csv.tmp-", 0) == 0) names.push_back(name);
      }
      return names;
    };
    const StopSignal& signal = kStopSignals[0];
    const StoppedRun run =
        RunAndStop(install, {"-p"}, signal.number, [&](pid_t) { return !temporaries().empty(); });
    ExpectStopped(run, signal, install);
    EXPECT_EQ(run.result.out, "") << Describe(run.result);
    EXPECT_EQ(temporaries(), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(install.ExportDir() + "listini.csv"));
    EXPECT_TRUE(http_.Requests().empty());
  }

  FtpServer ftp_;
  HttpServer http_;
};

TEST_F(StopDuringThePriceListExport, EmbeddedDatabaseLeavesNoTemporaryFile) { StopOnce(""); }

TEST_F(StopDuringThePriceListExport, ThroughTheServerLeavesNoTemporaryFile) {
  const char* server = std::getenv("EXPORTTOTALE_FB_SERVER");
  if (!server || !*server) GTEST_SKIP() << "EXPORTTOTALE_FB_SERVER not set: no server started";
  StopOnce(server);
}

// A run waiting for another run's lock on the export directory stops too.
TEST(StopRun, SignalWhileWaitingForTheExportDirectoryLock) {
  Installation install(test::BuiltProgram());
  const std::string lock_path = install.ExportDir() + ".exporttotale.lock";
  test::FileLockHolder holder(lock_path);
  const StopSignal& signal = kStopSignals[0];
  // The run waits once it has the lock file open.
  StoppedRun run = RunAndStop(install, {}, signal.number,
                              [&](pid_t pid) { return test::DescriptorsOn(pid, lock_path) > 0; });
  ExpectStopped(run, signal, install);
  EXPECT_FALSE(fs::exists(install.ExportDir() + "ESTRAZQ.CSV"));
}

}  // namespace
}  // namespace et
