// The names under which a database is looked for, worked out from its
// directory, its file name and dati.ini before anything is attached: the
// server's alias first, then the named-pipe form, then the directory as it
// stands (a network share turned into the form its server understands), and
// last the directory on the server that dati.ini or the user names.
#pragma once

#include <string>
#include <vector>

#include "dbconfig/location_file.h"

namespace et {

struct OpeningPlan {
  // Tried in turn; the first that opens ends the opening.
  std::vector<std::string> names{};
  // Set when dati.ini names no server: once every name has failed, the user
  // is asked for the server's computer name and drive letter, and
  // NameOnServer(name_for_server, ...) of the answer is tried last.
  bool ask_for_server = false;
  std::string name_for_server{};
  // Shown when the opening gives up with nothing more to try: every name
  // failed (with ask_for_server: and the prompt gave no server name). Empty:
  // nothing is shown.
  std::string give_up_message{};
  // The directory and file name asked for, for the reason raised when not
  // even one name could be tried.
  std::string wanted{};

  bool operator==(const OpeningPlan&) const = default;
};

// The plan for the database `file_name` ("archivio.fdb" when empty) of
// `directory`, guided by `location` (dati.ini of that directory).
OpeningPlan PlanOpening(const std::string& directory, const std::string& file_name,
                        const DatabaseLocation& location);

// `name` on the database server `server`: "server:name", with the drive
// letter, when given, in place of the name's first character; `name` itself
// when there is no server.
std::string NameOnServer(const std::string& name, const std::string& server,
                         const std::string& drive_letter);

}  // namespace et
