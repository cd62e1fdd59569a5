// One run of the program: the configuration chain, then the run the first
// argument chooses.
#pragma once

#include <string>
#include <vector>

#include "runs/run_environment.h"
#include "runs/run_outcome.h"
#include "runs/run_report.h"
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

// The kind's name in the run status: kStockRunName, kPriceListRunName or
// kPromoStockRunName.
const char* RunStatusName(RunKind kind);

// Loads the configuration and does the run, telling `report` what it does
// (the caller finishes the report). Halts with a message shown to the user
// when the configuration is incomplete; raises the errors that halt the run
// (the caller shows them as the halt message).
RunOutcome Run(RunKind kind, const RunEnvironment& env, RunReport& report);

}  // namespace et
