// The stop mechanism in a child process of its own (it ends the process):
// each stop signal reaches the stop thread, also after a library installed
// a handler of its own; a wait on a file lock is cut short; a process that
// ignores the stop still ends after the grace time.
#include "platform/stop_signals.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/file_lock.h"
#include "support/temp_dir.h"

namespace et {
namespace {

using namespace std::chrono_literals;

struct ChildEnd {
  int exit_status = -1;  // -1 when a signal ended it
  int signal = 0;
  std::string err;  // standard error
};

// Runs `body` in a forked child whose standard error is captured; the child
// writes one byte to `ready_fd` when it is ready for the signal, which the
// parent then sends.
template <typename Body>
ChildEnd RunChild(int signal, Body body) {
  int err_pipe[2], ready_pipe[2];
  EXPECT_EQ(::pipe(err_pipe), 0);
  EXPECT_EQ(::pipe(ready_pipe), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(err_pipe[1], STDERR_FILENO);
    ::close(err_pipe[0]);
    ::close(ready_pipe[0]);
    body(ready_pipe[1]);
    ::_exit(3);  // the body ends the child itself
  }
  ::close(err_pipe[1]);
  ::close(ready_pipe[1]);
  char byte = 0;
  EXPECT_EQ(::read(ready_pipe[0], &byte, 1), 1);
  ::kill(pid, signal);
  ChildEnd end;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(err_pipe[0], buffer, sizeof buffer)) > 0) end.err.append(buffer, n);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) end.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  ::close(err_pipe[0]);
  ::close(ready_pipe[0]);
  return end;
}

void Ready(int fd) { (void)!::write(fd, "r", 1); }

std::atomic<bool> g_on_stop_ran{false};

TEST(StopSignals, EachSignalStopsThroughTheStopThread) {
  const struct {
    int number;
    const char* name;
  } signals[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
  for (const auto& s : signals) {
    SCOPED_TRACE(s.name);
    const ChildEnd end = RunChild(s.number, [](int ready) {
      HandleStopSignals([] { g_on_stop_ran = true; }, 10s, 99);
      // A library that installs its own handler after us (as the database
      // client does) must never see the signal.
      struct sigaction foreign {};
      foreign.sa_handler = [](int) { ::_exit(98); };
      ::sigaction(SIGTERM, &foreign, nullptr);
      ::sigaction(SIGINT, &foreign, nullptr);
      ::sigaction(SIGHUP, &foreign, nullptr);
      std::thread library_thread([] { std::this_thread::sleep_for(30s); });
      library_thread.detach();
      Ready(ready);
      while (!StopRequested()) std::this_thread::sleep_for(1ms);
      AwaitStopHandler();
      if (!g_on_stop_ran) ::_exit(4);
      try {
        ThrowIfStopRequested();
        ::_exit(5);
      } catch (const StopRequestedError& e) {
        if (std::string(e.TypeName()) != "EAbort") ::_exit(6);
      }
      ReportStop();
      ReportStop();  // once only
      ::_exit(0);
    });
    EXPECT_EQ(end.signal, 0);
    EXPECT_EQ(end.exit_status, 0) << end.err;
    std::string expected = "Esecuzione interrotta dal segnale ";
    expected.append(s.name).append("\n");
    EXPECT_EQ(end.err, expected);
  }
}

TEST(StopSignals, ProcessIgnoringTheStopEndsAfterTheGraceTime) {
  const auto started = std::chrono::steady_clock::now();
  const ChildEnd end = RunChild(SIGTERM, [](int ready) {
    HandleStopSignals({}, 300ms, 77);
    Ready(ready);
    for (;;) std::this_thread::sleep_for(1s);  // a wait nothing cuts short
  });
  EXPECT_EQ(end.signal, 0);
  EXPECT_EQ(end.exit_status, 77);
  EXPECT_EQ(end.err, "Esecuzione interrotta dal segnale SIGTERM\n");
  EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
}

TEST(StopSignals, WaitForAFileLockIsCutShort) {
  test::TempDir dir;
  const std::string path = dir.File("blocco");
  const int held = ::open(path.c_str(), O_RDWR | O_CREAT, 0666);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const ChildEnd end = RunChild(SIGINT, [&](int ready) {
    HandleStopSignals({}, 10s, 77);
    Ready(ready);
    try {
      FileLock::Acquire(path, 60s);
      ::_exit(4);
    } catch (const StopRequestedError&) {
      ::_exit(0);
    }
  });
  ::close(held);
  EXPECT_EQ(end.exit_status, 0) << end.err;
}

}  // namespace
}  // namespace et
