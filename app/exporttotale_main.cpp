// Program entry: one run, then the process ends with the run's exit status.
#include <fcntl.h>

#include <cerrno>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/run.h"
#include "app/usage.h"
#include "platform/paths.h"
#include "platform/regional.h"
#include "platform/ui.h"

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

}  // namespace

int main(int argc, char** argv) {
  // --help and --version touch nothing: no database, no file.
  if (const auto status = et::HandleInformationalArguments(argc, argv, std::cout)) return *status;
  OccupyClosedStandardStreams();
  const std::vector<std::string> args(argv + 1, argv + argc);

  et::ConsoleUserInterface ui = et::ConsoleUserInterface::ForProcess();
  et::SystemClock clock;
  const et::RunEnvironment env{ui, et::RegionalSettings::FromEnvironment(), clock,
                               et::WithTrailingSeparator(et::ExecutableDirectory())};

  et::RunOutcome outcome = et::RunOutcome::kHalted;
  try {
    outcome = et::Run(et::RunKindFromArguments(args), env);
  } catch (const std::exception& e) {
    ui.ShowHaltMessage(e.what());
    outcome = et::RunOutcome::kHalted;
  }
  // A halted run leaves its message on screen until the user closes it.
  if (outcome == et::RunOutcome::kHalted) ui.WaitBeforeExit();
  return et::ExitStatus(outcome);
}
