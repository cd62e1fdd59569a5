// The subprocess helpers every end-to-end test relies on; they live in the
// test support library, and are checked here beside the servers they start.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "support/subprocess.h"
#include "support/temp_dir.h"

namespace et::test {
namespace {

ProcessResult Shell(const std::string& script, const RunOptions& options = {}) {
  return RunProcess("/bin/sh", {"-c", script}, options);
}

TEST(RunProcess, CapturesOutputErrorAndExitStatus) {
  const ProcessResult r = Shell("printf 'uno\\r\\n\\200\\377'; printf 'errore' >&2; exit 3");
  EXPECT_EQ(r.exit_status, 3);
  EXPECT_EQ(r.out, "uno\r\n\x80\xFF");
  EXPECT_EQ(r.err, "errore");
  EXPECT_FALSE(r.timed_out);
}

TEST(RunProcess, ExitStatusKeepsOnlyTheLowEightBits) {
  EXPECT_EQ(Shell("exit 0").exit_status, 0);
  const ProcessResult r = RunProcess("/usr/bin/python3", {"-c", "import sys; sys.exit(1000)"});
  EXPECT_EQ(r.exit_status, 1000 % 256);
}

TEST(RunProcess, ReportsTheSignalThatEndedTheChild) {
  const ProcessResult r = Shell("kill -TERM $$");
  EXPECT_EQ(r.signal, SIGTERM);
  EXPECT_EQ(r.exit_status, 128 + SIGTERM);
}

TEST(RunProcess, FeedsStandardInputOrGivesAnEmptyOne) {
  RunOptions with_input;
  with_input.stdin_bytes = std::string(200000, 'x') + "\r\nfine";
  EXPECT_EQ(Shell("cat", with_input).out, *with_input.stdin_bytes);
  EXPECT_EQ(Shell("cat").out, "");
  RunOptions empty_input;
  empty_input.stdin_bytes = "";
  EXPECT_EQ(Shell("cat; echo fine", empty_input).out, "fine\n");
}

TEST(RunProcess, LargeOutputOnBothStreamsDoesNotBlock) {
  const ProcessResult r = Shell("head -c 300000 /dev/zero; head -c 300000 /dev/zero >&2");
  EXPECT_EQ(r.out.size(), 300000u);
  EXPECT_EQ(r.err.size(), 300000u);
}

TEST(RunProcess, EnvironmentAndWorkingDirectory) {
  TempDir dir;
  setenv("ET_TEST_TO_REMOVE", "present", 1);
  RunOptions options;
  options.env["ET_TEST_ADDED"] = "aggiunta con spazi";
  options.env["HOME"] = "/altrove";
  options.unset_env.push_back("ET_TEST_TO_REMOVE");
  options.cwd = dir.Path();
  const ProcessResult r = Shell(
      "printf '%s|%s|%s|' \"$ET_TEST_ADDED\" \"$HOME\" \"${ET_TEST_TO_REMOVE-unset}\"; pwd -P",
      options);
  unsetenv("ET_TEST_TO_REMOVE");
  EXPECT_EQ(r.out, "aggiunta con spazi|/altrove|unset|" +
                       std::filesystem::canonical(dir.Path()).string() + "\n");
}

TEST(RunProcess, ClosedStandardOutputMakesWritesFail) {
  RunOptions options;
  options.close_stdout = true;
  const ProcessResult r = Shell("echo lost || echo 'write failed' >&2", options);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("write failed"), std::string::npos) << r.err;
}

TEST(RunProcess, WatchdogKillsAChildThatHangsAndFailsTheTest) {
  RunOptions options;
  options.timeout = std::chrono::seconds(1);
  ProcessResult r;
  EXPECT_NONFATAL_FAILURE(r = Shell("sleep 30 & sleep 30", options), "killed after 1 s");
  EXPECT_TRUE(r.timed_out);
  EXPECT_EQ(r.exit_status, -1);
}

TEST(RunProcess, MissingProgramFailsTheTest) {
  ProcessResult r;
  EXPECT_NONFATAL_FAILURE(r = RunProcess("/nonexistent/program", {}), "cannot run");
  EXPECT_EQ(r.exit_status, -1);
}

TEST(BackgroundProcess, ReadsTheFirstLineAndStopsTheChild) {
  pid_t pid;
  {
    BackgroundProcess process("/bin/sh", {"-c", "echo 4242; exec sleep 60"});
    EXPECT_EQ(process.ReadLine(), "4242");
    pid = process.Pid();
    EXPECT_EQ(::kill(pid, 0), 0);
  }
  // Reaped by the destructor: the process id no longer names a child.
  EXPECT_NE(::kill(pid, 0), 0);
}

TEST(BackgroundProcess, ChildThatEndsWithoutALineIsAnError) {
  BackgroundProcess process("/bin/sh", {"-c", "printf 'partial'"});
  EXPECT_THROW(process.ReadLine(), std::runtime_error);
}

}  // namespace
}  // namespace et::test
