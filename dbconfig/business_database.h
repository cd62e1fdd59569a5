// The business database: the database of the business-management system
// that "Archivio" of the user's settings names, found as every database is,
// through dati.ini beside it. The runs, the administration commands and
// their check all open it here.
#pragma once

#include <memory>
#include <string>

#include "dbconfig/database_connection.h"
#include "dbconfig/opening_policy.h"
#include "platform/ui.h"

namespace et {

// Opens the business database `name` (a full database name: "Archivio" of
// the user's settings, see UserSettings::BusinessDatabaseName) as
// OpenDatabase does for its directory and file name. Raises fb::DatabaseError
// with the engine's reason when it cannot be opened.
std::unique_ptr<DatabaseConnection> OpenBusinessDatabase(const std::string& name,
                                                         const OpeningPolicy& policy,
                                                         UserInterface& ui);

}  // namespace et
