// The skeleton every run follows: a short list of named steps done in order,
// a check for a stop before each, and one place that turns a failed step
// into the run's outcome according to the step's policy.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "runs/run_outcome.h"

namespace et {

// What a failed step means for its run.
enum class OnFailure {
  // The error is raised on: the program shows it as the halt message and the
  // run ends halted.
  kHalt,
  // The message is one line on standard output and the run ends failed.
  kFailRun,
  // "TYPE: message" is one line on standard output and the run goes on with
  // its next step.
  kReportAndContinue,
};

struct RunStep {
  std::string_view name;  // what the step does, for whoever reads the code
  OnFailure on_failure;
  std::function<void()> action;
};

// Does the steps in order and returns kCompleted when the run got through
// all of them, kFailed when a kFailRun step failed; `on_run_failed`, when
// given, receives that step's message for the run's status. Before each step, and
// whenever a step fails, a requested stop is raised as StopRequestedError: a
// stopped run is no failed run, the program reports the stop. A line that
// cannot be written to standard output raises its error.
RunOutcome RunSteps(std::initializer_list<RunStep> steps,
                    const std::function<void(const std::string&)>& on_run_failed = {});

}  // namespace et
