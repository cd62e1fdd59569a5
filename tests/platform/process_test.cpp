#include "platform/process.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "platform/error.h"

namespace et {
namespace {

// Exit codes of the child processes below.
constexpr int kRaisedExpectedError = 10;
constexpr int kRaisedOtherMessage = 11;
constexpr int kWroteWithoutError = 12;
constexpr int kOtherException = 13;
constexpr int kSignalStateLeftChanged = 14;

// Runs `body` in a child process whose standard output is set up by
// `prepare_stdout`, and returns its wait status. The parent reads what the
// child writes to `read_fd` when one is given.
struct ChildResult {
  int status = 0;
  std::string output;
};

ChildResult RunInChild(const std::function<void()>& prepare_stdout,
                       const std::function<int()>& body, int read_fd = -1,
                       int parent_close_fd = -1) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    prepare_stdout();
    int code;
    try {
      code = body();
    } catch (...) {
      code = kOtherException;
    }
    ::_exit(code);
  }
  ChildResult result;
  if (parent_close_fd >= 0) ::close(parent_close_fd);
  if (read_fd >= 0) {
    char buffer[256];
    ssize_t n;
    while ((n = ::read(read_fd, buffer, sizeof buffer)) > 0) result.output.append(buffer, n);
    ::close(read_fd);
  }
  ::waitpid(pid, &result.status, 0);
  return result;
}

// Writes one line and tells how it failed: with IoError naming the
// description of `error_number`, or otherwise.
int WriteExpectingError(int error_number) {
  try {
    WriteStdoutLine("riga");
  } catch (const IoError& e) {
    return std::string(e.what()).find(std::strerror(error_number)) != std::string::npos
               ? kRaisedExpectedError
               : kRaisedOtherMessage;
  }
  return kWroteWithoutError;
}

TEST(WriteStdoutLineTest, WritesWindows1252AndCrLf) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const ChildResult r = RunInChild(
      [&] {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
      },
      [] {
        WriteStdoutLine("Errore: caff\u00E8 \u20AC");
        WriteStdoutLine("");
        WriteStdoutLine("\u65E5");
        return 0;
      },
      fds[0], fds[1]);
  ASSERT_TRUE(WIFEXITED(r.status));
  EXPECT_EQ(WEXITSTATUS(r.status), 0);
  EXPECT_EQ(r.output, "Errore: caff\xE8 \x80\r\n\r\n?\r\n");
}

// Runs a child whose standard output is a pseudo-terminal (raw, so that the
// terminal passes the bytes through unchanged) with LC_ALL set to `locale`
// (and LANG to it too), writes one line there and returns what the terminal
// received.
std::string WrittenToTerminal(const char* locale, std::string_view line) {
  termios raw{};
  ::cfmakeraw(&raw);
  int master = -1;
  std::fflush(nullptr);
  const pid_t pid = ::forkpty(&master, nullptr, &raw, nullptr);
  if (pid < 0) {
    ADD_FAILURE() << "forkpty: " << std::strerror(errno);
    return {};
  }
  if (pid == 0) {
    ::setenv("LC_ALL", locale, 1);
    ::setenv("LANG", locale, 1);
    int code = 0;
    try {
      WriteStdoutLine(line);
    } catch (...) {
      code = kOtherException;
    }
    ::_exit(code);
  }
  std::string output;
  char buffer[256];
  ssize_t n;
  // Once the child has gone, reading the master side fails with EIO.
  while ((n = ::read(master, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) output.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  return output;
}

TEST(WriteStdoutLineTest, TerminalGetsTheEncodingOfItsLocale) {
  struct Case {
    const char* locale;
    const char* expected;
  };
  const Case cases[] = {
      {"C.UTF-8", "caff\u00E8 \u20AC \u65E5\r\n"},
      {"it_IT.UTF-8", "caff\u00E8 \u20AC \u65E5\r\n"},
      {"C", "caff\xE8 \x80 ?\r\n"},
      {"no_SUCH.locale", "caff\xE8 \x80 ?\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WrittenToTerminal(c.locale, "caff\u00E8 \u20AC \u65E5"), c.expected) << c.locale;
  }
}

TEST(WriteStdoutLineTest, PipeGetsWindows1252EvenWithAUtf8Locale) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const ChildResult r = RunInChild(
      [&] {
        ::setenv("LC_ALL", "C.UTF-8", 1);
        ::setenv("LANG", "C.UTF-8", 1);
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
      },
      [] {
        WriteStdoutLine("caff\u00E8 \u20AC");
        return 0;
      },
      fds[0], fds[1]);
  ASSERT_TRUE(WIFEXITED(r.status));
  EXPECT_EQ(WEXITSTATUS(r.status), 0);
  EXPECT_EQ(r.output, "caff\xE8 \x80\r\n");
}

TEST(WriteStdoutLineTest, ClosedStandardOutputRaisesIoError) {
  const ChildResult r =
      RunInChild([] { ::close(STDOUT_FILENO); }, [] { return WriteExpectingError(EBADF); });
  ASSERT_TRUE(WIFEXITED(r.status));
  EXPECT_EQ(WEXITSTATUS(r.status), kRaisedExpectedError);
}

TEST(WriteStdoutLineTest, PipeWithoutReaderRaisesIoErrorInsteadOfKillingTheProcess) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);  // nobody will read
  const ChildResult r = RunInChild(
      [&] {
        ::signal(SIGPIPE, SIG_DFL);
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[1]);
      },
      [] {
        const int outcome = WriteExpectingError(EPIPE);
        // The signal must neither stay pending nor stay blocked.
        sigset_t pending, mask;
        sigpending(&pending);
        pthread_sigmask(SIG_SETMASK, nullptr, &mask);
        if (sigismember(&pending, SIGPIPE) || sigismember(&mask, SIGPIPE)) {
          return kSignalStateLeftChanged;
        }
        return outcome;
      },
      -1, fds[1]);
  ASSERT_TRUE(WIFEXITED(r.status)) << "child ended by signal " << WTERMSIG(r.status);
  EXPECT_EQ(WEXITSTATUS(r.status), kRaisedExpectedError);
}

}  // namespace
}  // namespace et
