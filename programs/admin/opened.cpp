#include <string>

#include "dbconfig/business_database.h"
#include "dbconfig/opening_policy.h"
#include "programs/admin/command.h"
#include "runs/configuration.h"

namespace et::admin {

Opened::Opened(Needs needs, const std::string& parameters_path, UserInterface& ui) {
  if (needs == Needs::kNothing) return;
  parameters_ = et::Parameters::Read(parameters_path);
  if (!parameters_) throw Error("File parametri mancante: " + parameters_path);
  // As a run opens them: a database that cannot be attached is created, and
  // a database file that a run holds is waited for as a run waits.
  const OpeningPolicy policy = OpeningPolicy::AttachOrCreate(LockWait());
  users_.emplace(UserDatabase::Open(*parameters_, policy, ui));
  if (needs == Needs::kUserDatabase) return;

  // Nothing can be read from or written to the business database without
  // the key that names it, so say so before trying.
  const std::string path = users_->ReadSettings().BusinessDatabaseName();
  if (path.empty()) {
    throw Error("Nessun database gestionale: la chiave \"Archivio\" dell'utente " +
                parameters_->user + " (ditta " + parameters_->company +
                ") è vuota nel database utenti. Eseguire prima: " + kProgram +
                " init PERCORSO_ARCHIVIO");
  }
  try {
    business_ = OpenBusinessDatabase(path, policy, ui);
  } catch (Error& e) {
    e.AddContext("database gestionale non aperto");
    throw;
  }
  settings_.emplace(business_->Attachment());
}

}  // namespace et::admin
