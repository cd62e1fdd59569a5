// The configuration chain every run starts with: the parameters file, the
// user's settings in the user database, the business database they name, and
// the export directory of its settings table.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/run_environment.h"
#include "dbconfig/database_connection.h"
#include "dbconfig/settings_table.h"

namespace et {

struct Configuration {
  std::unique_ptr<DatabaseConnection> business;  // attached
  std::unique_ptr<SettingsTable> settings;       // on `business`
  std::string export_directory;                  // DIRCATINTERNET, as written
};

// Follows the chain once. nullopt when the run halts with a message shown to
// the user: no parameters file, or no export directory. Raises Error when the
// business database cannot be reached, and the errors of the databases.
std::optional<Configuration> LoadConfiguration(const RunEnvironment& env);

}  // namespace et
