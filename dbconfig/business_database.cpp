#include "dbconfig/business_database.h"

#include "dbconfig/database_opener.h"
#include "platform/paths.h"

namespace et {

std::unique_ptr<DatabaseConnection> OpenBusinessDatabase(const std::string& name,
                                                         const OpeningPolicy& policy,
                                                         UserInterface& ui) {
  auto business = std::make_unique<DatabaseConnection>();
  const SplitPath parts = SplitDatabasePath(name);
  OpenDatabase(*business, parts.directory, parts.file_name, policy, ui);
  return business;
}

}  // namespace et
