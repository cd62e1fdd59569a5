#include "runs/run_steps.h"

#include <exception>
#include <string>

#include "platform/error.h"
#include "platform/process.h"
#include "platform/stop_signals.h"

namespace et {

RunOutcome RunSteps(std::initializer_list<RunStep> steps,
                    const std::function<void(const std::string&)>& on_run_failed) {
  for (const RunStep& step : steps) {
    ThrowIfStopRequested();
    try {
      step.action();
    } catch (const std::exception& e) {
      // A step cut short by a stop did not fail: the stop ends the run.
      ThrowIfStopRequested();
      switch (step.on_failure) {
        case OnFailure::kHalt:
          throw;
        case OnFailure::kFailRun:
          if (on_run_failed) on_run_failed(e.what());
          WriteStdoutLine(e.what());
          return RunOutcome::kFailed;
        case OnFailure::kReportAndContinue:
          WriteStdoutLine(std::string(ErrorTypeName(e)) + ": " + e.what());
          break;
      }
    }
  }
  return RunOutcome::kCompleted;
}

}  // namespace et
