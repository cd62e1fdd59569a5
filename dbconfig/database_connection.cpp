#include "dbconfig/database_connection.h"

#include <cstdlib>

#include "fb/error.h"

namespace et {
namespace {

std::string DoubleQuoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char ch : text) {
    quoted += ch;
    if (ch == '"') quoted += '"';
  }
  return quoted + "\"";
}

}  // namespace

DatabaseCredentials DatabaseCredentialsFromEnvironment() {
  const char* user = std::getenv("ISC_USER");
  const char* password = std::getenv("ISC_PASSWORD");
  return {user && *user ? user : kDefaultDatabaseUser,
          password && *password ? password : kDefaultDatabasePassword};
}

std::string CreateDatabaseStatement(const std::string& name,
                                    const DatabaseCredentials& credentials) {
  return "CREATE DATABASE '" + name + "' USER " + DoubleQuoted(credentials.user) + " PASSWORD " +
         DoubleQuoted(credentials.password) + " PAGE_SIZE 4096 ";
}

void DatabaseConnection::Attach(const std::string& name, const DatabaseCredentials& credentials) {
  if (Connected()) Close();
  name_ = name;
  AttachEngine(name, credentials);
}

void DatabaseConnection::Create(const std::string& name, const DatabaseCredentials& credentials) {
  if (Connected()) Close();
  name_ = name;
  CreateEngine(name, credentials);
}

void DatabaseConnection::AttachEngine(const std::string& name,
                                      const DatabaseCredentials& credentials) {
  attachment_ = fb::Attachment::Attach(name, credentials.user, credentials.password);
}

void DatabaseConnection::CreateEngine(const std::string& name,
                                      const DatabaseCredentials& credentials) {
  attachment_ =
      fb::Attachment::ExecuteCreateDatabase(CreateDatabaseStatement(name, credentials), 3);
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
    throw fb::DatabaseError("Database non connesso: " + name_);
  }
  return attachment_;
}

}  // namespace et
