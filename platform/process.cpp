#include "platform/process.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/codepage.h"
#include "platform/environment_locale.h"
#include "platform/error.h"

namespace et {
namespace {

// While it lives, SIGPIPE is held back, so that writing to a pipe nobody reads
// fails with EPIPE (and becomes an error the run reports) instead of killing
// the process. A SIGPIPE raised meanwhile is taken off again.
class SigpipeHeld {
 public:
  SigpipeHeld() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  ~SigpipeHeld() {
    sigset_t pending;
    sigpending(&pending);
    if (!was_pending_ && sigismember(&pending, SIGPIPE) == 1) {
      const timespec no_wait{};
      sigtimedwait(&pipe_, nullptr, &no_wait);
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeHeld(const SigpipeHeld&) = delete;
  SigpipeHeld& operator=(const SigpipeHeld&) = delete;

 private:
  sigset_t pipe_;
  sigset_t old_;
  bool was_pending_ = false;
};

[[noreturn]] void ThrowStdoutError(int error_number) {
  throw IoError(std::string("Cannot write to standard output. ") + std::strerror(error_number));
}

// The bytes of the line in the encoding standard output wants: a terminal
// shows the encoding of the user's locale, so it gets UTF-8 as it is when that
// is UTF-8; a file or pipe is read by the system's other programs, which
// expect its code page, and so is a terminal with any other encoding.
std::string StdoutBytes(std::string_view utf8) {
  if (::isatty(STDOUT_FILENO) == 1 && EnvironmentUsesUtf8()) return std::string(utf8);
  return Utf8ToCp1252(utf8);
}

}  // namespace

void WriteStdoutLine(std::string_view utf8) {
  const std::string bytes = StdoutBytes(utf8) + "\r\n";
  // Whatever went through the C stream before comes first.
  if (std::fflush(stdout) != 0) ThrowStdoutError(errno);

  SigpipeHeld held;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowStdoutError(errno);
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace et
