// Where a run leaves its status, and the one call that leaves it there.
#pragma once

#include <optional>
#include <string>

#include "status/run_record.h"

namespace et {

// The directory for the status files, for administrators whose monitoring
// reads another place than the export directory (the node exporter's
// textfile directory).
inline constexpr const char* kStatusDirectoryVariable = "EXPORTTOTALE_STATUS_DIR";

// kStatusDirectoryVariable when set and not empty; otherwise the export
// directory when the run got far enough to know it (not empty); otherwise
// nullopt.
std::optional<std::string> StatusDirectory(const std::string& export_directory);

// Writes the run kind's Prometheus file and appends the record to the
// history, both in `directory`, each whatever became of the other. Raises
// IoError with the reasons when either could not be written.
void WriteRunStatus(const std::string& directory, const RunRecord& record);

}  // namespace et
