// Opening a database: up to four forms of database name, guided by dati.ini
// in the database's directory, each attempt attaching or, when that fails,
// creating an empty database under the same name.
#pragma once

#include <optional>
#include <string>

#include "dbconfig/database_connection.h"
#include "platform/ui.h"

namespace et {

// Opens the database `file_name` ("archivio.fdb" when empty) of `directory`
// on `c` (names tried and messages shown: see the .cpp). Empty user and
// password stand for the defaults. Raises fb::DatabaseError carrying the
// engine's reason of the last attempt when no form could be attached or
// created.
void OpenDatabase(DatabaseConnection& c, const std::string& directory, std::string file_name,
                  const std::string& user, const std::string& password, UserInterface& ui);

// Attaches `c` to `name` (or "server:name" with the drive letter put in place
// of its first character); when that fails for any reason, creates the
// database under the same name. Raises fb::DatabaseError with the creation's
// reason when neither worked.
void AttachOrCreate(DatabaseConnection& c, const std::string& name, const std::string& server,
                    const std::string& drive_letter, const std::string& user,
                    const std::string& password, UserInterface& ui);

// The database server's computer name and the drive letter of its disk.
struct ServerAndDrive {
  std::string server;
  std::string drive_letter;
};
// The server and drive from dati.ini, asking the user when the server name is
// missing (and writing the answer into dati.ini); nullopt when there is
// still no server name.
std::optional<ServerAndDrive> FindServerAndDrive(const std::string& directory, UserInterface& ui);

// A network directory "\\server\share\rest" in the form the server
// understands.
struct NetworkPath {
  std::string working_directory;
  bool named_share = false;  // the share has a name, not a drive letter
};
// Resolves `directory`; nullopt when there is no way (a share with a name and
// no "Percorso Nel Server"), after showing why.
std::optional<NetworkPath> ResolveNetworkPath(const std::string& directory,
                                              const std::string& path_on_server, UserInterface& ui);

}  // namespace et
