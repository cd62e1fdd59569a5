// One run of the program: the configuration chain, then the run the first
// argument chooses.
#pragma once

#include <string>
#include <vector>

#include "runs/run_environment.h"
#include "runs/run_outcome.h"
#include "runs/settings_declaration.h"

namespace et {

enum class RunKind {
  kStock,       // no argument, or any first argument but "-p" and "-s"
  kPriceList,   // "-p"
  kPromoStock,  // "-s"
};

// The run chosen by the whole first argument (arguments after the program
// name).
RunKind RunKindFromArguments(const std::vector<std::string>& args);

// Every settings key the run reads, in the order it reads them: the export
// directory, then the run's own keys.
SettingKeys SettingKeysOf(RunKind kind);

// Loads the configuration and does the run. Halts with a message shown to the
// user when the configuration is incomplete; raises the errors that halt the
// run (the caller shows them as the halt message).
RunOutcome Run(RunKind kind, const RunEnvironment& env);

}  // namespace et
