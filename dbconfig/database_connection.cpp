#include "dbconfig/database_connection.h"

#include <cstdlib>

#include "fb/error.h"

namespace et {

DatabaseCredentials DatabaseCredentialsFromEnvironment() {
  const char* user = std::getenv("ISC_USER");
  const char* password = std::getenv("ISC_PASSWORD");
  return {user && *user ? user : kDefaultDatabaseUser,
          password && *password ? password : kDefaultDatabasePassword};
}

// The value of a "name=value" parameter line, empty when absent.
std::string DatabaseConnection::ParamValue(const std::string& name) const {
  const std::string prefix = name + "=";
  for (const auto& line : params) {
    if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
  }
  return {};
}

void DatabaseConnection::Open() {
  attachment_ =
      fb::Attachment::Attach(database_name, ParamValue("user_name"), ParamValue("password"));
}

void DatabaseConnection::CreateDatabase() {
  std::string statement = "CREATE DATABASE '" + database_name + "' ";
  for (const auto& line : params) statement += line + " ";
  attachment_ = fb::Attachment::ExecuteCreateDatabase(statement, sql_dialect);
}

void DatabaseConnection::Close() {
  try {
    attachment_.Detach();
  } catch (...) {
    // Closing never fails: a detach the engine refuses still drops the handle.
    attachment_ = fb::Attachment();
  }
}

bool DatabaseConnection::Connected() const { return attachment_.IsAttached(); }

fb::Attachment& DatabaseConnection::Attachment() {
  if (!attachment_.IsAttached()) {
    throw fb::DatabaseError("Database non connesso: " + database_name);
  }
  return attachment_;
}

}  // namespace et
