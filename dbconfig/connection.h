// The connection object of the database opener: a database name and the
// parameter lines of the next attach or creation, over an fb::Attachment.
#pragma once

#include <string>
#include <vector>

#include "fb/attachment.h"

namespace et {

// Defaults used for every connection the system makes.
inline constexpr const char* kUtenteDefault = "SYSDBA";
inline constexpr const char* kPasswordDefault = "velutrina";

class DatabaseConnection {
 public:
  DatabaseConnection() = default;
  virtual ~DatabaseConnection() = default;
  DatabaseConnection(const DatabaseConnection&) = delete;
  DatabaseConnection& operator=(const DatabaseConnection&) = delete;

  // The Firebird database name: a file path, "server:path" or "server:alias".
  std::string DatabaseName;
  // Parameter lines: "user_name=..." and "password=..." for an attach; the
  // clauses of CREATE DATABASE for a creation.
  std::vector<std::string> Params;
  bool LoginPrompt = false;  // never shown: the system runs unattended
  unsigned SQLDialect = 3;

  // Attaches with the user name and password lines of Params. Raises
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

 protected:
  // The value of a "name=value" parameter line, empty when absent.
  std::string ParamValue(const std::string& name) const;

 private:
  fb::Attachment attachment_;
};

}  // namespace et
