#include "platform/stop_signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace et {
namespace {

std::atomic<int> g_stop_signal{0};
std::atomic<bool> g_stop_reported{false};
std::atomic<bool> g_stop_handled{false};
// steady_clock ticks of the stop deadline; stored before g_stop_signal, so
// whoever sees the stop sees its deadline.
std::atomic<std::chrono::steady_clock::rep> g_stop_deadline{0};
// RequestStopForTesting's calls of ThrowIfStopRequested still to pass; -1
// when no test asked for a stop.
std::atomic<int> g_test_checks_left{-1};
std::atomic<int> g_test_signal{0};

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "?";
  }
}

}  // namespace

bool StopRequested() { return g_stop_signal.load() != 0; }

std::string StopMessage() {
  if (!StopRequested()) return {};
  return std::string("Esecuzione interrotta dal segnale ") + SignalName(g_stop_signal.load());
}

void ThrowIfStopRequested() {
  if (g_test_checks_left.load(std::memory_order_relaxed) >= 0 &&
      g_test_checks_left.fetch_sub(1) == 0) {
    g_stop_signal.store(g_test_signal.load());
  }
  if (StopRequested()) throw StopRequestedError(StopMessage());
}

std::optional<std::chrono::steady_clock::time_point> StopDeadline() {
  const auto ticks = g_stop_deadline.load();
  // A stop that no signal brought (a test's) has no grace running out.
  if (!StopRequested() || ticks == 0) return std::nullopt;
  return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(ticks));
}

void ReportStop() {
  if (g_stop_reported.exchange(true)) return;
  const std::string line = StopMessage() + "\n";
  // Standard error is unbuffered; a failed write leaves only the exit status.
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

void AwaitStopHandler() {
  if (!StopRequested()) return;
  g_stop_handled.wait(false);
}

void HandleStopSignals(std::function<void()> on_stop, std::chrono::milliseconds grace,
                       int exit_status) {
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set, on_stop = std::move(on_stop), grace, exit_status] {
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
    g_stop_deadline.store((std::chrono::steady_clock::now() + grace).time_since_epoch().count());
    g_stop_signal.store(signal);
    if (on_stop) on_stop();
    g_stop_handled.store(true);
    g_stop_handled.notify_all();
    std::this_thread::sleep_for(grace);
    // Whatever did not end in time (a wait that cannot be cut short) ends
    // with the process; the engine rolls back what was not committed.
    ReportStop();
    ::_exit(exit_status);
  }).detach();
}

void RequestStopForTesting(int signal, int passing_checks) {
  g_stop_signal.store(0);
  g_test_signal.store(signal);
  g_test_checks_left.store(passing_checks);
}

void ClearStopForTesting() {
  g_test_checks_left.store(-1);
  g_stop_signal.store(0);
}

}  // namespace et
