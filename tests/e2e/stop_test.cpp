// Stopping the built program from outside (a scheduler's SIGTERM, Ctrl-C,
// a closed terminal) while it waits on a trigger that never answers and
// while the price-list run consolidates the markups in the database, both
// embedded and through a Firebird server: the run ends promptly with status
// 233 and a stop line, no crash, and the consolidation rolled back.
#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/file_lock_holder.h"
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

// Runs the installed program and sends it `signal` once `ready` says so.
StoppedRun RunAndStop(const Installation& install, const std::vector<std::string>& args, int signal,
                      const std::function<bool()>& ready) {
  StoppedRun run;
  Clock::time_point sent;
  RunOptions options;
  options.timeout = std::chrono::seconds(60);
  options.while_running = [&](pid_t pid) {
    if (!ready()) return false;
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
        RunAndStop(install, {}, signal.number, [&] { return !http.Requests().empty(); });

    ExpectStopped(run, signal, install);
    // The cut request is not reported as the web side's failure.
    EXPECT_EQ(run.result.out.find("ESocketError"), std::string::npos) << Describe(run.result);
    EXPECT_TRUE(ftp.HasFile("ESTRAZQ.CSV"));  // the steps before the trigger were done
    EXPECT_FALSE(fs::exists(install.ExportDir() + ".exporttotale.lock"));
  }
}

// A price-list run whose markup consolidation takes many seconds: a BEFORE
// UPDATE trigger on CLIENTI counts to a few million for every customer.
class StopDuringConsolidation : public ::testing::Test {
 protected:
  static constexpr int kCustomers = 40;

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
    db.Exec(
        "CREATE TRIGGER CLIENTI_LENTO FOR CLIENTI BEFORE UPDATE AS "
        "DECLARE I INTEGER = 0; BEGIN WHILE (I < 3000000) DO I = I + 1; END");
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

  static std::vector<std::vector<std::string>> Customers(const Installation& install) {
    return install.Business().QueryRows("SELECT CODICE, INFO1, INFO2 FROM CLIENTI ORDER BY 1");
  }

  // Stops `tries` runs a moment after each has taken the export directory's
  // lock, that is while the consolidation runs.
  void StopRepeatedly(const std::string& server, int tries) {
    std::unique_ptr<Installation> install = Install(server);
    const auto before = Customers(*install);
    ASSERT_EQ(before.size(), static_cast<std::size_t>(kCustomers));
    const std::string lock = install->ExportDir() + ".exporttotale.lock";
    for (int i = 0; i < tries; ++i) {
      const StopSignal& signal = kStopSignals[i % std::size(kStopSignals)];
      SCOPED_TRACE("try " + std::to_string(i) + " " + signal.name);
      std::optional<Clock::time_point> locked;
      const StoppedRun run = RunAndStop(*install, {"-p"}, signal.number, [&] {
        if (!locked && fs::exists(lock)) locked = Clock::now();
        return locked && Clock::now() - *locked > std::chrono::milliseconds(300 + 150 * i);
      });
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

// A run waiting for another run's lock on the export directory stops too.
TEST(StopRun, SignalWhileWaitingForTheExportDirectoryLock) {
  Installation install(test::BuiltProgram());
  const std::string lock_path = install.ExportDir() + ".exporttotale.lock";
  test::FileLockHolder holder(lock_path);
  const StopSignal& signal = kStopSignals[0];
  const auto started = Clock::now();
  StoppedRun run = RunAndStop(install, {}, signal.number,
                              [&] { return Clock::now() - started > std::chrono::seconds(2); });
  ExpectStopped(run, signal, install);
  EXPECT_FALSE(fs::exists(install.ExportDir() + "ESTRAZQ.CSV"));
}

}  // namespace
}  // namespace et
