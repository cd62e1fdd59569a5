// Program entry: one run, then the process ends with the run's exit code.
//
// The exit code is 1000 for a completed run and 1001 otherwise; a POSIX
// parent sees its low eight bits, 232 and 233.
#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/export_totale_form.h"
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
  et::ConsoleUserInterface ui = et::ConsoleUserInterface::ForProcess();
  et::SystemClock clock;
  et::Ambiente ambiente{ui, et::RegionalSettings::FromEnvironment(), clock,
                        std::vector<std::string>(argv + 1, argv + argc),
                        et::ExecutableDirectory()};

  int exit_code = et::kExitRunNonCompletato;
  {
    et::TExportTotaleForm form(std::move(ambiente));
    try {
      form.FormCreate();
    } catch (const std::exception& e) {
      ui.ShowErrorBox(e.what());
    }
    // A halted run keeps its window until the user closes it.
    if (!form.TerminateRequested()) {
      ui.WaitForMainWindowClose();
      form.FormClose();
    }
    exit_code = form.ExitCode();
  }
  return exit_code;
}
