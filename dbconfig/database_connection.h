// One database connection as the opener drives it: an attach to a database
// name, or the creation of an empty database under it, over an
// fb::Attachment.
#pragma once

#include <string>

#include "fb/attachment.h"

namespace et {

// The user name and password of every connection the system makes when the
// environment names none.
inline constexpr const char* kDefaultDatabaseUser = "SYSDBA";
inline constexpr const char* kDefaultDatabasePassword = "velutrina";

// A Firebird user name and its password.
struct DatabaseCredentials {
  std::string user{};
  std::string password{};

  bool operator==(const DatabaseCredentials&) const = default;
};

// The credentials of the connections, the way Firebird's own tools find
// them: ISC_USER and ISC_PASSWORD of the environment, each when set and not
// empty, the built-in default otherwise.
DatabaseCredentials DatabaseCredentialsFromEnvironment();

// The statement that creates the empty database `name` for `credentials`:
// page size 4096, run in SQL dialect 3. The user name and password go
// between double quotes, a quote inside written twice, so that no password
// can end the text early.
std::string CreateDatabaseStatement(const std::string& name,
                                    const DatabaseCredentials& credentials);

class DatabaseConnection {
 public:
  DatabaseConnection() = default;
  virtual ~DatabaseConnection() = default;
  DatabaseConnection(const DatabaseConnection&) = delete;
  DatabaseConnection& operator=(const DatabaseConnection&) = delete;

  // Attaches to `name` (a file path, "server:path" or "server:alias"),
  // closing first what is attached. Raises fb::DatabaseError.
  void Attach(const std::string& name, const DatabaseCredentials& credentials);
  // Creates the empty database `name` (CreateDatabaseStatement) and stays
  // attached to it, closing first what is attached. Raises fb::DatabaseError.
  void Create(const std::string& name, const DatabaseCredentials& credentials);
  // Detaches when attached; never throws.
  virtual void Close();
  virtual bool Connected() const;

  // The database name of the last attach or creation tried.
  const std::string& Name() const { return name_; }

  // The attachment, for transactions and statements. Raises fb::DatabaseError
  // when not attached.
  fb::Attachment& Attachment();

 protected:
  // The engine's part of Attach and Create; tests stand in for the engine
  // here where the servers cannot exist.
  virtual void AttachEngine(const std::string& name, const DatabaseCredentials& credentials);
  virtual void CreateEngine(const std::string& name, const DatabaseCredentials& credentials);

 private:
  std::string name_;
  fb::Attachment attachment_;
};

}  // namespace et
