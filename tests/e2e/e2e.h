// Helpers of the end-to-end tests: the built programs, an installation of
// them and their runs as a subprocess with no standard input.
#pragma once

#include <latch>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fixture/fixture.h"
#include "support/servers.h"
#include "support/subprocess.h"

namespace et::test {

inline std::string BuiltProgram() { return std::string(ET_BINARY_DIR) + "/exporttotale"; }
inline std::string BuiltAdmin() { return std::string(ET_BINARY_DIR) + "/exporttotale-admin"; }

// Exit statuses a POSIX parent sees for the program's 1000 and 1001.
inline constexpr int kStatusCompleted = 232;
inline constexpr int kStatusNotCompleted = 233;

// How a run ended, for failure messages: its status (and the signal that
// ended it, if one did) and both outputs.
inline std::string Describe(const ProcessResult& r) {
  std::string text = "status " + std::to_string(r.exit_status);
  if (r.signal != 0) text += " signal " + std::to_string(r.signal);
  if (r.timed_out) text += " (killed by the watchdog)";
  return text + "\nstdout:\n" + r.out + "\nstderr:\n" + r.err;
}

// Runs the installation's program (exporttotale, or exporttotale-admin when
// the installation was made with it) with the arguments and the options
// given, in the installation's root unless the options name a directory.
inline ProcessResult RunInstalled(const Installation& install, const std::vector<std::string>& args,
                                  RunOptions options) {
  if (options.cwd.empty()) options.cwd = install.Root();
  return RunProcess(install.Program(), args, options);
}

// Runs the installed program with the arguments. The C locale unless `lang`
// names another; no standard input unless given.
inline ProcessResult RunInstalled(const Installation& install,
                                  const std::vector<std::string>& args = {},
                                  const std::string& lang = "C",
                                  std::optional<std::string> stdin_bytes = std::nullopt) {
  RunOptions options;
  options.env = {{"LANG", lang}};
  options.unset_env = {"LC_ALL", "LC_NUMERIC", "LC_TIME"};
  options.stdin_bytes = std::move(stdin_bytes);
  return RunInstalled(install, args, std::move(options));
}

// Every setting of the stock run, pointing at the test servers: quantities
// exported, the file uploaded into "catalogo" (made on the FTP server here),
// the trigger at /import/giacenze.php?ditta=1.
inline void SetStockRunSettings(BusinessDb& db, const FtpServer& ftp, const HttpServer& http) {
  ftp.MakeDirectory("catalogo");
  db.SetTabX("CAT_TIPOEXPPERGIACENZE", "1");
  db.SetTabX("CAT_HOSTFTP", ftp.HostAndPort());
  db.SetTabX("CAT_USERFTP", FtpServer::kUser);
  db.SetTabX("CAT_PWDFTP", FtpServer::kPassword);
  db.SetTabX("CAT_DIRFTP", "catalogo");
  db.SetTabX("CAT_SCRIPTGIACENZE", http.BaseUrl() + "/import/giacenze.php?ditta=1");
}

// One program to run with its arguments and options.
struct ProcessToRun {
  std::string program;
  std::vector<std::string> args;
  RunOptions options;
};

// Starts every process at once, as close together as threads allow, and
// gives their results in the order given once all have ended.
inline std::vector<ProcessResult> RunTogether(const std::vector<ProcessToRun>& processes) {
  std::vector<ProcessResult> results(processes.size());
  std::latch start(static_cast<std::ptrdiff_t>(processes.size()));
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < processes.size(); ++i) {
    threads.emplace_back([&, i] {
      start.arrive_and_wait();
      results[i] = RunProcess(processes[i].program, processes[i].args, processes[i].options);
    });
  }
  for (std::thread& thread : threads) thread.join();
  return results;
}

}  // namespace et::test
