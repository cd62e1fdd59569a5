// One run at a time per export directory: a run started while another holds
// the directory's lock waits for it, and halts when the wait runs out.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "support/file_lock_holder.h"
#include "support/process_state.h"
#include "support/servers.h"
#include "tests/e2e/e2e.h"

namespace et {
namespace {

namespace fs = std::filesystem;
using test::FtpServer;
using test::HttpServer;
using test::Installation;
using test::ProcessResult;
using test::RunOptions;
using Clock = std::chrono::steady_clock;

class ExportLock : public ::testing::Test {
 protected:
  void SetUp() override {
    test::BusinessDb db = install_.Business();
    db.SetTabX("CAT_HOSTFTP", ftp_.HostAndPort());
    db.SetTabX("CAT_USERFTP", FtpServer::kUser);
    db.SetTabX("CAT_PWDFTP", FtpServer::kPassword);
    db.SetTabX("CAT_SCRIPTGIACENZE", http_.BaseUrl() + "/giacenze.php");
  }

  ProcessResult Run(const std::string& wait_seconds,
                    std::function<bool(pid_t)> while_running = {}) {
    RunOptions options;
    options.env = {{"EXPORTTOTALE_LOCK_WAIT_SECONDS", wait_seconds}};
    options.timeout = std::chrono::seconds(60);
    options.while_running = std::move(while_running);
    return test::RunInstalled(install_, {}, options);
  }

  std::string LockPath() const { return install_.ExportDir() + ".exporttotale.lock"; }

  FtpServer ftp_;
  HttpServer http_;
  Installation install_{test::BuiltProgram()};
};

TEST_F(ExportLock, HeldForTheWholeWaitHaltsTheRun) {
  test::FileLockHolder other_run(LockPath());

  const auto started = Clock::now();
  const ProcessResult r = Run("2");

  EXPECT_EQ(r.exit_status, test::kStatusNotCompleted) << r.out << r.err;
  EXPECT_GE(Clock::now() - started, std::chrono::seconds(2));
  EXPECT_NE(r.err.find("[arresto] Un'altra esecuzione sta già scrivendo nella directory export " +
                       install_.ExportDir() + ": attesa di 2 secondi scaduta"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(install_.ExportDir() + "ESTRAZQ.CSV"));
  EXPECT_TRUE(http_.Requests().empty());
}

TEST_F(ExportLock, ReleasedDuringTheWaitLetsTheRunComplete) {
  std::optional<test::FileLockHolder> other_run(LockPath());

  const ProcessResult r = Run("60", [&](pid_t pid) {
    // The run waits: it has the lock file open and its main thread is asleep.
    if (test::DescriptorsOn(pid, LockPath()) == 0 || !test::Asleep(pid, pid)) return false;
    // Nothing may have been written while the other run held the directory.
    EXPECT_FALSE(fs::exists(install_.ExportDir() + "ESTRAZQ.CSV"));
    other_run.reset();
    return true;
  });

  EXPECT_EQ(r.exit_status, test::kStatusCompleted) << r.out << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(fs::exists(install_.ExportDir() + "ESTRAZQ.CSV"));
  EXPECT_EQ(http_.Requests().size(), 1u);
  EXPECT_FALSE(fs::exists(LockPath()));  // the run leaves no lock file behind
}

TEST_F(ExportLock, SymbolicLinkAtTheLocksNameHaltsTheRunWithoutFollowingIt) {
  test::TempDir elsewhere;
  const std::string target = elsewhere.File("creato-dal-blocco");
  fs::create_symlink(target, LockPath());

  const ProcessResult r = Run("2");

  EXPECT_EQ(r.exit_status, test::kStatusNotCompleted) << r.out << r.err;
  EXPECT_NE(r.err.find("[arresto] Il file di blocco \"" + LockPath() +
                       "\" è un collegamento simbolico: non viene seguito. Rimuovere il "
                       "collegamento"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(target)) << "the run created the link's target";
  EXPECT_TRUE(fs::is_symlink(LockPath()));
  EXPECT_FALSE(fs::exists(install_.ExportDir() + "ESTRAZQ.CSV"));
  EXPECT_TRUE(ftp_.Commands().empty());
  EXPECT_TRUE(http_.Requests().empty());
}

}  // namespace
}  // namespace et
