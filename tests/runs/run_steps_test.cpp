// The run skeleton: which steps run, what the run's outcome is and what
// standard output says, for each failure policy.
#include "runs/run_steps.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/stop_signals.h"

namespace et {
namespace {

struct Case {
  std::string name;
  OnFailure policy;  // of the second of three steps, which fails
  bool raises;
  RunOutcome outcome;  // when it does not raise
  std::vector<int> done;
  std::string out;
};

TEST(RunSteps, EachPolicyOfAFailedStep) {
  const std::vector<Case> cases = {
      {"halt", OnFailure::kHalt, true, RunOutcome::kHalted, {1}, ""},
      {"fail the run", OnFailure::kFailRun, false, RunOutcome::kFailed, {1}, "non riuscito\r\n"},
      {"report and continue",
       OnFailure::kReportAndContinue,
       false,
       RunOutcome::kCompleted,
       {1, 3},
       "EInOutError: non riuscito\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> done;
    testing::internal::CaptureStdout();
    std::optional<RunOutcome> outcome;
    bool raised = false;
    try {
      outcome = RunSteps({
          {"first", OnFailure::kHalt, [&] { done.push_back(1); }},
          {"second", c.policy, [&] { throw IoError("non riuscito"); }},
          {"third", OnFailure::kHalt, [&] { done.push_back(3); }},
      });
    } catch (const IoError& e) {
      raised = true;
      EXPECT_STREQ(e.what(), "non riuscito");
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    EXPECT_EQ(raised, c.raises);
    if (!c.raises) {
      EXPECT_EQ(outcome, c.outcome);
    }
    EXPECT_EQ(done, c.done);
  }
}

TEST(RunSteps, AllStepsDoneInOrder) {
  std::vector<int> done;
  testing::internal::CaptureStdout();
  const RunOutcome outcome = RunSteps({
      {"a", OnFailure::kFailRun, [&] { done.push_back(1); }},
      {"b", OnFailure::kReportAndContinue, [&] { done.push_back(2); }},
      {"c", OnFailure::kHalt, [&] { done.push_back(3); }},
  });
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(outcome, RunOutcome::kCompleted);
  EXPECT_EQ(done, (std::vector<int>{1, 2, 3}));
}

// Errors that are not the system's own keep their message; their kind is
// "Exception".
TEST(RunSteps, ForeignErrorsAreReportedToo) {
  testing::internal::CaptureStdout();
  const RunOutcome outcome = RunSteps({
      {"a", OnFailure::kReportAndContinue, [] { throw std::runtime_error("altro"); }},
  });
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Exception: altro\r\n");
  EXPECT_EQ(outcome, RunOutcome::kCompleted);
}

// A stop ends the run between steps, and a step that fails because of it did
// not fail: no line, no failed run, the stop is raised. In a child process
// of its own, since the stop ends the process.
TEST(RunSteps, AStopEndsTheRunAtTheNextStepAndIsNoFailure) {
  for (const OnFailure policy : {OnFailure::kFailRun, OnFailure::kReportAndContinue}) {
    int out_pipe[2];
    ASSERT_EQ(::pipe(out_pipe), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::dup2(out_pipe[1], STDOUT_FILENO);
      HandleStopSignals([] {}, std::chrono::seconds(10), 9);
      int code = 1;
      try {
        RunSteps({
            {"stopped", policy,
             [] {
               ::kill(::getpid(), SIGTERM);
               while (!StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
               throw IoError("interrotto");
             }},
            {"never", OnFailure::kHalt, [] { ::_exit(4); }},
        });
      } catch (const StopRequestedError&) {
        code = 0;
      }
      ::_exit(code);
    }
    ::close(out_pipe[1]);
    std::string out;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(out_pipe[0], buffer, sizeof buffer)) > 0) {
      out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out_pipe[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(out, "");
  }
}

}  // namespace
}  // namespace et
