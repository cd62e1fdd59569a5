#include "app/configuration.h"

#include "dbconfig/database_opener.h"
#include "dbconfig/parameters_file.h"
#include "dbconfig/user_database.h"
#include "fb/error.h"
#include "platform/paths.h"

namespace et {
namespace {

constexpr const char* kNoBusinessDatabase =
    "Database gestionale non connesso: impossibile avviare la transazione";

// The business database named by "Archivio" of the user's settings, attached.
std::unique_ptr<DatabaseConnection> OpenBusinessDatabase(const Parameters& parameters,
                                                         UserInterface& ui) {
  std::string business_path;
  {
    // The user database is needed only for this one text.
    UserDatabase users = UserDatabase::Open(parameters, ui);
    business_path = users.ReadSettings().Read("Archivio");
  }
  if (business_path.empty()) throw fb::DatabaseError(kNoBusinessDatabase);

  auto business = std::make_unique<DatabaseConnection>();
  const SplitPath parts = SplitDatabasePath(business_path);
  try {
    OpenDatabase(*business, parts.directory, parts.file_name, "", "", ui);
  } catch (Error& e) {
    // The opener has shown its own messages; the halt says what it means for
    // the run, then the engine's reason.
    e.AddContext(std::string(kNoBusinessDatabase) + "\r\n");
    throw;
  }
  return business;
}

}  // namespace

std::optional<Configuration> LoadConfiguration(const RunEnvironment& env) {
  const std::optional<Parameters> parameters =
      Parameters::Read(env.executable_directory + kParametersFileName);
  if (!parameters) {
    env.ui.ShowErrorMessage(std::string("File ") + kParametersFileName + " non esistente!");
    return std::nullopt;
  }

  Configuration configuration;
  configuration.business = OpenBusinessDatabase(*parameters, env.ui);
  configuration.settings = std::make_unique<SettingsTable>(configuration.business->Attachment());

  configuration.export_directory = configuration.settings->Read("DIRCATINTERNET");
  if (configuration.export_directory.empty()) {
    env.ui.ShowMessage("DIRCATINTERNET mancante");
    return std::nullopt;
  }
  return configuration;
}

}  // namespace et
