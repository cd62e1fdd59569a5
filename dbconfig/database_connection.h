// One database connection as the opener drives it: a database name and the
// parameter lines of the next attach or creation, over an fb::Attachment.
#pragma once

#include <string>
#include <vector>

#include "fb/attachment.h"

namespace et {

// The user name and password of every connection the system makes when the
// environment names none.
inline constexpr const char* kDefaultDatabaseUser = "SYSDBA";
inline constexpr const char* kDefaultDatabasePassword = "velutrina";

// A Firebird user name and its password.
struct DatabaseCredentials {
  std::string user;
  std::string password;
};

// The credentials of the connections, the way Firebird's own tools find
// them: ISC_USER and ISC_PASSWORD of the environment, each when set and not
// empty, the built-in default otherwise.
DatabaseCredentials DatabaseCredentialsFromEnvironment();

class DatabaseConnection {
 public:
  DatabaseConnection() = default;
  virtual ~DatabaseConnection() = default;
  DatabaseConnection(const DatabaseConnection&) = delete;
  DatabaseConnection& operator=(const DatabaseConnection&) = delete;

  // The Firebird database name: a file path, "server:path" or "server:alias".
  std::string database_name;
  // Parameter lines: "user_name=..." and "password=..." for an attach; the
  // clauses of CREATE DATABASE for a creation.
  std::vector<std::string> params;
  unsigned sql_dialect = 3;

  // Attaches with the user name and password lines of `params`. Raises
  // fb::DatabaseError.
  virtual void Open();
  // Runs "CREATE DATABASE '<name>' " followed by every parameter line and a
  // blank; attached to the new database afterwards. Raises fb::DatabaseError.
  virtual void CreateDatabase();
  // Detaches when attached; never throws.
  virtual void Close();
  virtual bool Connected() const;

  // The attachment, for transactions and statements. Raises fb::DatabaseError
  // when not attached.
  fb::Attachment& Attachment();

 private:
  std::string ParamValue(const std::string& name) const;

  fb::Attachment attachment_;
};

}  // namespace et
