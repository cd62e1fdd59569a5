// "stato [N]": what the runs left in their history, for an administrator or
// a monitoring script that reads the exit status.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "platform/paths.h"
#include "programs/admin/command.h"
#include "runs/configuration.h"
#include "status/run_history.h"
#include "status/status_directory.h"
#include "status/status_lines.h"

namespace et::admin {
namespace {

constexpr std::size_t kDefaultCount = 10;

// The history's directory: the variable's, or the export directory that the
// settings table names, which the business database must be opened for.
std::string HistoryDirectory(const Context& c) {
  if (const std::optional<std::string> configured = StatusDirectory("")) return *configured;
  ConsoleUserInterface ui = ConsoleUserInterface::ForProcess();
  Opened business(Needs::kBusinessDatabase, c.parameters_path, ui);
  const std::optional<std::string> directory =
      StatusDirectory(business.Business().Read(std::string(ExportDirectoryKey().name)));
  if (!directory) {
    throw Error("Nessuno storico: " + std::string(ExportDirectoryKey().name) + " è vuota e " +
                kStatusDirectoryVariable + " non è impostata");
  }
  return *directory;
}

}  // namespace

int Stato(Context& c) {
  std::size_t count = kDefaultCount;
  if (!c.arguments.empty()) {
    const std::int32_t n = NumberArgument(c.arguments[0], "Numero di esecuzioni", "stato");
    if (n < 1) throw UsageError("Numero di esecuzioni non valido: serve almeno 1", "stato");
    count = static_cast<std::size_t>(n);
  }
  const std::string directory = HistoryDirectory(c);
  const std::string path = WithTrailingSeparator(directory) + kRunHistoryFileName;
  const RunHistory history = ReadRunHistory(directory);
  if (history.unreadable_lines > 0) {
    std::cerr << kProgram << ": " << history.unreadable_lines
              << " righe illeggibili ignorate nello storico " << path << '\n';
  }
  if (history.runs.empty()) {
    std::cerr << kProgram << ": nessuna esecuzione registrata in " << path << '\n';
    return kExitFailure;
  }
  for (const std::string& line : FormatNewestRuns(history.runs, count)) std::cout << line << '\n';
  return NewestRunOfEveryKindCompleted(history.runs) ? kExitSuccess : kExitFailure;
}

}  // namespace et::admin
