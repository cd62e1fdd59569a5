// Running programs from tests: a program run to its end with its output
// captured, and a server kept running in the background for one test.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace et::test {

struct RunOptions {
  // Variables added to (or replacing those of) the test's own environment.
  std::map<std::string, std::string> env;
  // Variables removed from the environment.
  std::vector<std::string> unset_env;
  // Working directory; the test's own when empty.
  std::string cwd;
  // Bytes written to standard input, which is then closed; without them
  // standard input is /dev/null.
  std::optional<std::string> stdin_bytes;
  // Standard output closed instead of captured (a process without a usable
  // standard output).
  bool close_stdout = false;
  // The child is killed and the test fails when it runs longer.
  std::chrono::seconds timeout{120};
  // Called with the child's process id about every 20 ms while it runs,
  // until it returns true: the place to send the child a signal once
  // something has happened.
  std::function<bool(pid_t)> while_running;
};

struct ProcessResult {
  // WEXITSTATUS of the child: only the low 8 bits of its exit code (an exit
  // code of 1000 reads 232). 128 + signal number when a signal ended it, -1
  // when the watchdog killed it.
  int exit_status = -1;
  // Set when a signal ended the child.
  int signal = 0;
  bool timed_out = false;
  std::string out;
  std::string err;
};

// Runs the program (looked up in PATH when it has no '/') with the arguments
// and waits for its end. Fails the current test when it cannot be started or
// when the watchdog kills it.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const RunOptions& options = {});

// A tool that sets a test server up (useradd, ssh-keygen, openssl), given a
// minute and the standard input given: its result, whatever its status.
ProcessResult RunSetupTool(const std::string& program, const std::vector<std::string>& args,
                           const std::string& stdin_bytes = {});
// The same, raising std::runtime_error with its standard error when it
// exits with a status other than 0.
ProcessResult RunSetupToolOrThrow(const std::string& program, const std::vector<std::string>& args,
                                  const std::string& stdin_bytes = {});

// A program running for the life of the object, typically a test server. Its
// standard input is /dev/null, its standard error is the test's, and its
// standard output is a pipe from which the test reads the first line.
// The child is killed when the test process dies, and stopped (SIGTERM, then
// SIGKILL) and reaped by the destructor.
class BackgroundProcess {
 public:
  BackgroundProcess(const std::string& program, const std::vector<std::string>& args,
                    const RunOptions& options = {});
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  // The first line the child writes to standard output, without its line
  // end; raises std::runtime_error when the child ends or stays silent for
  // the time given.
  std::string ReadLine(std::chrono::seconds timeout = std::chrono::seconds(30));

  pid_t Pid() const { return pid_; }

  // Stops and reaps the child now; nothing when it already was.
  void Stop();

 private:
  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  std::string buffered_;
};

}  // namespace et::test
