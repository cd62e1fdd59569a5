// What `exporttotale-admin stato` shows of the history: one readable line
// per run, and whether the newest run of every kind completed.
#pragma once

#include <string>
#include <vector>

#include "status/run_record.h"

namespace et {

// One line, no line end: start, run kind, outcome in words with the exit
// status, duration, the message, then each file, trigger and failed ping.
// Control characters of the texts become blanks, so a run is one line.
std::string FormatRunLine(const RunRecord& record);

// The last `count` runs, newest first.
std::vector<std::string> FormatNewestRuns(const std::vector<RunRecord>& oldest_first,
                                          std::size_t count);

// True when the newest run of each kind in the history completed; false for
// an empty history.
bool NewestRunOfEveryKindCompleted(const std::vector<RunRecord>& oldest_first);

}  // namespace et
