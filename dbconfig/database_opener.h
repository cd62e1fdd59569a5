// Opening a database: each name of its plan (opening_plan.h) attached as the
// policy says (opening_policy.h), waiting while another process holds the
// file, creating an empty database when the policy asks for it.
#pragma once

#include <optional>
#include <string>

#include "dbconfig/database_connection.h"
#include "dbconfig/opening_policy.h"
#include "platform/ui.h"

namespace et {

// Opens the database `file_name` ("archivio.fdb" when empty) of `directory`
// on `c`, trying the names of PlanOpening for dati.ini of that directory in
// turn, each as OpenNamedDatabase does, and asking the user for the server
// when the plan says so. A database file held by another process for the
// whole wait ends the opening with the engine's reason: no other name is
// tried. Raises fb::DatabaseError carrying the engine's reason of the last
// attempt when no name could be opened.
void OpenDatabase(DatabaseConnection& c, const std::string& directory, const std::string& file_name,
                  const OpeningPolicy& policy, UserInterface& ui);

// Attaches `c` to `name` as the policy says: while another process holds the
// database file the attach is tried again, until the policy's wait has
// passed; any other failure is answered by creating the database under the
// same name ("Effettuata creazione data base" is shown) when the policy asks
// for it. Raises fb::DatabaseError with the reason of the last step tried
// (the creation's when there was one), StopRequestedError when a stop is
// requested after a failed attach.
void OpenNamedDatabase(DatabaseConnection& c, const std::string& name, const OpeningPolicy& policy,
                       UserInterface& ui);

// The database server's computer name and the drive letter of its disk.
struct ServerAndDrive {
  std::string server;
  std::string drive_letter;
};
// The server and drive from dati.ini of `directory`, asking the user when the
// server name is missing (and writing the answer into dati.ini); nullopt
// when there is still no server name.
std::optional<ServerAndDrive> FindServerAndDrive(const std::string& directory, UserInterface& ui);

}  // namespace et
