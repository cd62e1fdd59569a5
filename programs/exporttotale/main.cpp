// Program entry: one run, then the process ends with the run's exit status.
#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "fb/attachment.h"
#include "platform/paths.h"
#include "platform/regional.h"
#include "platform/stop_signals.h"
#include "platform/ui.h"
#include "programs/exporttotale/usage.h"
#include "runs/run.h"

namespace {

// A standard stream that the parent left closed must stay unusable: /dev/null
// opened read-only takes its number, so that no file opened later (the
// database engine's lock files, an export) receives the lines meant for
// standard output, and writing them fails as it does without a console.
void OccupyClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      // The lower numbers are open by now, so this takes `fd`.
      ::open("/dev/null", O_RDONLY);
    }
  }
}

et::RecordedOutcome RecordedOutcomeOf(et::RunOutcome outcome) {
  switch (outcome) {
    case et::RunOutcome::kCompleted:
      return et::RecordedOutcome::kCompleted;
    case et::RunOutcome::kFailed:
      return et::RecordedOutcome::kFailed;
    case et::RunOutcome::kHalted:
      break;
  }
  return et::RecordedOutcome::kHalted;
}

// How long a stopped run may take to roll back and close before the process
// ends without it; the engine then rolls back what was left open.
constexpr std::chrono::milliseconds kStopGrace(2000);

}  // namespace

int main(int argc, char** argv) {
  // Before the database client or the network library starts a thread or
  // installs a handler: the stop signals are then taken by our own thread
  // only, which cancels what the run waits for.
  et::HandleStopSignals([] { et::fb::CancelAllOperations(); }, kStopGrace,
                        et::kExitRunNotCompleted);
  // --help and --version touch nothing: no database, no file.
  if (const auto status = et::HandleInformationalArguments(argc, argv, std::cout)) return *status;
  OccupyClosedStandardStreams();
  const std::vector<std::string> args(argv + 1, argv + argc);

  et::ConsoleUserInterface ui = et::ConsoleUserInterface::ForProcess();
  et::SystemClock clock;
  const et::RunKind kind = et::RunKindFromArguments(args);
  // The status of the run is written at its end, whatever the end.
  et::RunReport report(et::RunStatusName(kind), ui);
  const et::RunEnvironment env{report.Ui(), et::RegionalSettings::FromEnvironment(), clock,
                               et::InstallationDirectory()};

  et::RunOutcome outcome = et::RunOutcome::kHalted;
  try {
    outcome = et::Run(kind, env, report);
  } catch (const std::exception& e) {
    // A stopped run's errors (a cancelled statement, an aborted transfer)
    // are only the way it ended: the stop line below says what happened.
    if (!et::StopRequested()) env.ui.ShowHaltMessage(e.what());
    outcome = et::RunOutcome::kHalted;
  }
  if (et::StopRequested()) {
    // No wait for Enter: whoever stopped the run does not want it to linger.
    et::AwaitStopHandler();
    et::ReportStop();
    // Within the stop's grace: the last ping is bounded by it.
    report.Finish(et::RecordedOutcome::kStopped, et::kExitRunNotCompleted);
    return et::kExitRunNotCompleted;
  }
  report.Finish(RecordedOutcomeOf(outcome), et::ExitStatus(outcome));
  // A halted run leaves its message on screen until the user closes it.
  if (outcome == et::RunOutcome::kHalted) ui.WaitBeforeExit();
  return et::ExitStatus(outcome);
}
