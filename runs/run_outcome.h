// How a run ends, and the exit status each outcome gives the process.
#pragma once

namespace et {

enum class RunOutcome {
  kCompleted,  // every step ran; failed uploads and triggers may be in the log
  kFailed,     // a step failed (its line is on standard output), or the guard
               // held a file back (its line is on standard error)
  kHalted,     // stopped before the run began, with a message for the user
};

// The process's exit codes; a POSIX parent sees their low eight bits, 232
// and 233.
inline constexpr int kExitRunCompleted = 1000;
inline constexpr int kExitRunNotCompleted = 1001;

inline int ExitStatus(RunOutcome outcome) {
  return outcome == RunOutcome::kCompleted ? kExitRunCompleted : kExitRunNotCompleted;
}

}  // namespace et
