// dati.ini beside a database: its [CONFIG] section says where the database
// really is when the directory alone does not (a server, an alias on it, the
// path on the server of a shared disk).
#pragma once

#include <string>
#include <vector>

namespace et {

// The keys of dati.ini that guide the opener; empty when not set.
struct DatabaseLocation {
  std::string server{};          // "Nome Server": the server's computer name
  std::string alias{};           // "Alias": an alias defined on that server
  std::string database_path{};   // "PercorsoDatabase": the directory on the server
  std::string path_on_server{};  // "Percorso Nel Server": a named share's path
  std::string drive_letter{};    // "Lettera Disco Server"

  bool operator==(const DatabaseLocation&) const = default;
};

// dati.ini of `directory` (a directory name ending with its separator, as
// SplitDatabasePath gives it), read once; all empty when there is no file.
DatabaseLocation ReadDatabaseLocation(const std::string& directory);

// Writes the answer of the prompt for the server into dati.ini of
// `directory`: "Nome Server" (also when empty, so that the prompt comes again
// at the next opening) and "Lettera Disco Server" when not empty. The file's
// other lines stay. Raises IoError when it cannot be written.
void WriteServerAndDrive(const std::string& directory, const std::string& server,
                         const std::string& drive_letter);

// dati.ini beside a database as an administrator is shown it.
struct LocationFileSummary {
  std::string path;  // the file beside the database
  bool exists = false;
  // "NAME=VALUE" for each key set among those that name the server and the
  // database on it: "Nome Server", "Alias", "PercorsoDatabase", "Lettera
  // Disco Server", in that order.
  std::vector<std::string> entries;
};
// The summary for the database `database_name` (a full database name, such as
// "Archivio" of the user's settings).
LocationFileSummary SummariseLocationFile(const std::string& database_name);

}  // namespace et
