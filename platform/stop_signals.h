// Stopping a run from outside: a scheduler's SIGTERM, Ctrl-C (SIGINT) or a
// terminal that went away (SIGHUP). The signals are taken by a thread of
// their own, so no handler runs in the middle of the database client or the
// network library, and the run ends through its ordinary error paths.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "platform/error.h"

namespace et {

// Raised by a wait that ended because a stop was requested.
class StopRequestedError : public Error {
 public:
  using Error::Error;
  std::string_view TypeName() const override { return "EAbort"; }
};

// True once a stop signal has arrived. Safe from any thread.
bool StopRequested();

// Raises StopRequestedError when a stop signal has arrived. Cheap enough for
// every row of an export's loop.
void ThrowIfStopRequested();

// Once a stop was requested: the instant at which the process will be ended
// (the signal's arrival plus the grace of HandleStopSignals), so that what
// still must be done after a stop (the run's status) can keep within it.
// nullopt while no stop was requested, and for a stop no signal brought.
std::optional<std::chrono::steady_clock::time_point> StopDeadline();

// "Esecuzione interrotta dal segnale SIGTERM" (or the signal that came);
// empty while no stop was requested.
std::string StopMessage();

// The line that says the run was stopped, e.g. "Esecuzione interrotta dal
// segnale SIGTERM". Written once to standard error, by whichever thread asks
// first; later calls do nothing.
void ReportStop();

// Once a stop was requested: waits until the `on_stop` of HandleStopSignals
// has returned, so that the process may end without pulling away what it
// still uses. Returns at once when no stop was requested.
void AwaitStopHandler();

// Blocks SIGTERM, SIGINT and SIGHUP in the calling thread, and so in every
// thread started after it, and starts a thread that waits for them. When one
// arrives, StopRequested becomes true and `on_stop` runs on that thread, to
// cut short what is waiting (database statements, transfers). A process
// still running `grace` later reports the stop and ends at once with
// `exit_status`. Call it first in main, before any library starts a thread.
void HandleStopSignals(std::function<void()> on_stop, std::chrono::milliseconds grace,
                       int exit_status);

// For tests of code that checks for a stop, in a process that does not call
// HandleStopSignals: acts as if `signal` had arrived just before call number
// `passing_checks` + 1 of ThrowIfStopRequested from now (0: the next call),
// with no on_stop and no grace time. ClearStopForTesting forgets it, and the
// stop it caused.
void RequestStopForTesting(int signal, int passing_checks);
void ClearStopForTesting();

}  // namespace et
