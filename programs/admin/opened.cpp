#include <string>

#include "dbconfig/database_opener.h"
#include "platform/paths.h"
#include "programs/admin/command.h"

namespace et::admin {

Opened::Opened(Needs needs, const std::string& parameters_path, UserInterface& ui) {
  if (needs == Needs::kNothing) return;
  parameters_ = et::Parameters::Read(parameters_path);
  if (!parameters_) throw Error("File parametri mancante: " + parameters_path);
  users_.emplace(UserDatabase::Open(*parameters_, ui));
  if (needs == Needs::kUserDatabase) return;

  // Nothing can be read from or written to the business database without
  // the key that names it, so say so before trying.
  const std::string path = users_->ReadSettings().Read("Archivio");
  if (path.empty()) {
    throw Error("Nessun database gestionale: la chiave \"Archivio\" dell'utente " +
                parameters_->user + " (ditta " + parameters_->company +
                ") è vuota nel database utenti. Eseguire prima: " + kProgram +
                " init PERCORSO_ARCHIVIO");
  }
  const SplitPath parts = SplitDatabasePath(path);
  business_ = std::make_unique<DatabaseConnection>();
  try {
    OpenDatabase(*business_, parts.directory, parts.file_name, "", "", ui);
  } catch (Error& e) {
    e.AddContext("database gestionale non aperto");
    throw;
  }
  settings_.emplace(business_->Attachment());
}

}  // namespace et::admin
