// The configuration chain every run starts with: the parameters file, the
// user's settings in the user database, the business database they name, and
// the export directory of its settings table.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "dbconfig/database_connection.h"
#include "dbconfig/settings_table.h"
#include "platform/file_lock.h"
#include "runs/run_environment.h"
#include "runs/settings_declaration.h"

namespace et {

struct Configuration {
  // The lock on the export directory, held for the whole run (declared first
  // so that it ends last).
  FileLock export_lock;
  std::unique_ptr<DatabaseConnection> business;  // attached
  std::unique_ptr<SettingsTable> settings;       // on `business`
  std::string export_directory;                  // DIRCATINTERNET, as written
};

// DIRCATINTERNET: the export directory, read before any run's own keys.
const SettingKey& ExportDirectoryKey();

// The file in the export directory whose advisory lock (flock) keeps a
// second run from writing into the directory at the same time.
inline constexpr const char* kExportLockFileName = ".exporttotale.lock";
// Variable of the environment that shortens (or lengthens) the wait for the
// lock, in seconds; meant for tests and administrators.
inline constexpr const char* kLockWaitVariable = "EXPORTTOTALE_LOCK_WAIT_SECONDS";
inline constexpr int kDefaultLockWaitSeconds = 600;

// The wait for another run: for the export directory's lock, and for a
// database file that another process holds. kLockWaitVariable when it holds
// a whole number of seconds (0 or more), ten minutes otherwise.
std::chrono::seconds LockWait();

// Follows the chain once, and takes the lock of the export directory,
// waiting for a run that holds it. nullopt when the run halts with a message
// shown to the user: no parameters file, or no export directory. Raises
// Error when the business database cannot be reached, when the lock stays
// held for the whole wait, and the errors of the databases.
std::optional<Configuration> LoadConfiguration(const RunEnvironment& env);

}  // namespace et
