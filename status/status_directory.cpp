#include "status/status_directory.h"

#include <cstdlib>
#include <exception>

#include "platform/error.h"
#include "status/prometheus_status.h"
#include "status/run_history.h"

namespace et {

std::optional<std::string> StatusDirectory(const std::string& export_directory) {
  const char* configured = std::getenv(kStatusDirectoryVariable);
  if (configured && *configured) return std::string(configured);
  if (!export_directory.empty()) return export_directory;
  return std::nullopt;
}

void WriteRunStatus(const std::string& directory, const RunRecord& record) {
  // Each is tried whatever became of the other.
  std::string failures;
  try {
    WritePrometheusStatus(directory, record);
  } catch (const std::exception& e) {
    failures = e.what();
  }
  try {
    AppendRunHistory(directory, record);
  } catch (const std::exception& e) {
    failures += (failures.empty() ? "" : "; ") + std::string(e.what());
  }
  if (!failures.empty()) throw IoError(failures);
}

}  // namespace et
