#include "support/subprocess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace et::test {
namespace {

using Clock = std::chrono::steady_clock;

// A file descriptor closed when the object dies.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.Release();
    }
    return *this;
  }
  int Get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

struct Pipe {
  Fd read;
  Fd write;
};

Pipe MakePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
  return Pipe{Fd(fds[0]), Fd(fds[1])};
}

// Writing to a child that has closed its standard input must fail with EPIPE
// rather than kill the test program. The child gets the default back.
void IgnoreSigpipeOnce() {
  static const bool done = [] {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)done;
}

std::string ResolveProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return program;
}

std::vector<std::string> BuildEnvironment(const RunOptions& options) {
  std::vector<std::string> result;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    if (options.env.count(name)) continue;
    bool removed = false;
    for (const auto& u : options.unset_env) removed = removed || u == name;
    if (!removed) result.push_back(entry);
  }
  for (const auto& [name, value] : options.env) result.push_back(name + "=" + value);
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (auto& t : texts) result.push_back(t.data());
  result.push_back(nullptr);
  return result;
}

// The file descriptors the child gets as 0, 1 and 2; -1 leaves it closed,
// -2 keeps the parent's.
struct ChildFds {
  int in = -1;
  int out = -2;
  int err = -2;
};

// Starts the child in its own process group. Raises std::runtime_error when
// it cannot be executed.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const RunOptions& options, ChildFds fds, bool die_with_parent) {
  IgnoreSigpipeOnce();
  std::string path = ResolveProgram(program);
  std::vector<std::string> argv_texts{program};
  argv_texts.insert(argv_texts.end(), args.begin(), args.end());
  std::vector<std::string> env_texts = BuildEnvironment(options);
  std::vector<char*> argv = Pointers(argv_texts);
  std::vector<char*> envp = Pointers(env_texts);
  Pipe exec_status = MakePipe();
  Fd dev_null(::open("/dev/null", O_RDWR | O_CLOEXEC));
  const pid_t parent = ::getpid();

  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    // Only async-signal-safe calls from here on.
    // Tells the parent why the child could not become the program.
    auto fail = [&] {
      int err = errno;
      (void)!::write(exec_status.write.Get(), &err, sizeof err);
      ::_exit(127);
    };
    ::setpgid(0, 0);
    if (die_with_parent) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
    }
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &dfl, nullptr);
    const int wanted[3] = {fds.in == -1 ? dev_null.Get() : fds.in, fds.out, fds.err};
    for (int target = 0; target < 3; ++target) {
      int source = wanted[target];
      if (source == -2) continue;
      if (source == -1) {
        ::close(target);
      } else if (source == target) {
        ::fcntl(target, F_SETFD, 0);
      } else if (::dup2(source, target) < 0) {
        fail();
      }
    }
    if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) fail();
    ::execve(path.c_str(), argv.data(), envp.data());
    fail();
  }
  exec_status.write.Close();
  int child_errno = 0;
  ssize_t n;
  do {
    n = ::read(exec_status.read.Get(), &child_errno, sizeof child_errno);
  } while (n < 0 && errno == EINTR);
  if (n == sizeof child_errno) {
    ::waitpid(pid, nullptr, 0);
    throw std::runtime_error("cannot run " + program + ": " + std::strerror(child_errno));
  }
  return pid;
}

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

int DecodeStatus(int status, int* signal_out) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) {
    *signal_out = WTERMSIG(status);
    return 128 + WTERMSIG(status);
  }
  return -1;
}

// Waits for the child until the deadline; true when it was reaped.
bool WaitUntil(pid_t pid, Clock::time_point deadline, int* status) {
  for (;;) {
    pid_t r = ::waitpid(pid, status, WNOHANG);
    if (r == pid) return true;
    if (r < 0 && errno != EINTR) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const RunOptions& options) {
  ProcessResult result;
  Pipe out = MakePipe();
  Pipe err = MakePipe();
  std::optional<Pipe> in;
  if (options.stdin_bytes) in = MakePipe();

  ChildFds fds;
  fds.in = in ? in->read.Get() : -1;
  fds.out = options.close_stdout ? -1 : out.write.Get();
  fds.err = err.write.Get();
  pid_t pid;
  try {
    pid = Spawn(program, args, options, fds, /*die_with_parent=*/true);
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
    return result;
  }
  out.write.Close();
  err.write.Close();
  if (in) in->read.Close();

  const auto deadline = Clock::now() + options.timeout;
  size_t written = 0;
  if (in) {
    SetNonBlocking(in->write.Get());
    if (options.stdin_bytes->empty()) in->write.Close();
  }
  SetNonBlocking(out.read.Get());
  SetNonBlocking(err.read.Get());

  bool timed_out = false;
  bool watched = false;  // while_running has returned true
  while (out.read.Get() >= 0 || err.read.Get() >= 0 || (in && in->write.Get() >= 0)) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      timed_out = true;
      break;
    }
    pollfd pfds[3];
    int count = 0;
    auto add = [&](int fd, short events) {
      if (fd >= 0) pfds[count++] = pollfd{fd, events, 0};
    };
    add(out.read.Get(), POLLIN);
    add(err.read.Get(), POLLIN);
    if (in) add(in->write.Get(), POLLOUT);
    const bool watching = options.while_running && !watched;
    int r = ::poll(pfds, count, static_cast<int>(std::min<long long>(left, watching ? 20 : 1000)));
    if (watching && options.while_running(pid)) watched = true;
    if (r < 0 && errno != EINTR) break;
    for (int i = 0; i < count; ++i) {
      if (!pfds[i].revents) continue;
      int fd = pfds[i].fd;
      if (in && fd == in->write.Get()) {
        const std::string& bytes = *options.stdin_bytes;
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n > 0) written += static_cast<size_t>(n);
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == bytes.size())
          in->write.Close();
        continue;
      }
      char buf[65536];
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n > 0) {
        (fd == out.read.Get() ? result.out : result.err).append(buf, static_cast<size_t>(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        (fd == out.read.Get() ? out.read : err.read).Close();
      }
    }
  }

  int status = 0;
  if (timed_out || !WaitUntil(pid, deadline, &status)) {
    ::kill(-pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    result.timed_out = true;
    result.exit_status = -1;
    ADD_FAILURE() << program << " killed after " << options.timeout.count() << " s";
    return result;
  }
  result.exit_status = DecodeStatus(status, &result.signal);
  return result;
}

BackgroundProcess::BackgroundProcess(const std::string& program,
                                     const std::vector<std::string>& args,
                                     const RunOptions& options) {
  Pipe out = MakePipe();
  ChildFds fds;
  fds.in = -1;
  fds.out = out.write.Get();
  fds.err = -2;
  pid_ = Spawn(program, args, options, fds, /*die_with_parent=*/true);
  stdout_fd_ = out.read.Release();
}

BackgroundProcess::~BackgroundProcess() { Stop(); }

std::string BackgroundProcess::ReadLine(std::chrono::seconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    size_t eol = buffered_.find('\n');
    if (eol != std::string::npos) {
      std::string line = buffered_.substr(0, eol);
      buffered_.erase(0, eol + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || stdout_fd_ < 0)
      throw std::runtime_error("no line from the background process");
    pollfd pfd{stdout_fd_, POLLIN, 0};
    int r = ::poll(&pfd, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) throw std::runtime_error("no line from the background process");
    char buf[4096];
    ssize_t n = ::read(stdout_fd_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("background process ended its output before a full line");
    buffered_.append(buf, static_cast<size_t>(n));
  }
}

void BackgroundProcess::Stop() {
  if (stdout_fd_ >= 0) {
    ::close(stdout_fd_);
    stdout_fd_ = -1;
  }
  if (pid_ <= 0) return;
  int status = 0;
  ::kill(-pid_, SIGTERM);
  if (!WaitUntil(pid_, Clock::now() + std::chrono::seconds(5), &status)) {
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
  }
  pid_ = -1;
}

ProcessResult RunSetupTool(const std::string& program, const std::vector<std::string>& args,
                           const std::string& stdin_bytes) {
  RunOptions options;
  options.timeout = std::chrono::seconds(60);
  if (!stdin_bytes.empty()) options.stdin_bytes = stdin_bytes;
  return RunProcess(program, args, options);
}

ProcessResult RunSetupToolOrThrow(const std::string& program, const std::vector<std::string>& args,
                                  const std::string& stdin_bytes) {
  ProcessResult r = RunSetupTool(program, args, stdin_bytes);
  if (r.exit_status != 0) throw std::runtime_error(program + " failed: " + r.err);
  return r;
}

}  // namespace et::test
