// The run skeleton: which steps run, what the run's outcome is and what
// standard output says, for each failure policy.
#include "runs/run_steps.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/error.h"

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

}  // namespace
}  // namespace et
