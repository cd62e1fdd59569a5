// Questions about the database's own structure.
#pragma once

#include <string>

namespace et::fb {

class Attachment;

// True when the table (or view) exists; the name is compared as stored, in
// capitals for an unquoted name. Runs in a read-committed transaction of its
// own. Raises DatabaseError; ProgrammingError when not attached.
bool TableExists(Attachment& attachment, const std::string& name);

}  // namespace et::fb
