#include "dbconfig/connection.h"

#include "fb/error.h"

namespace et {

std::string DatabaseConnection::ParamValue(const std::string& name) const {
  const std::string prefix = name + "=";
  for (const auto& line : Params) {
    if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
  }
  return {};
}

void DatabaseConnection::Open() {
  attachment_ = fb::Attachment::Attach(DatabaseName, ParamValue("user_name"), ParamValue("password"));
}

void DatabaseConnection::CreateDatabase() {
  std::string statement = "CREATE DATABASE '" + DatabaseName + "' ";
  for (const auto& line : Params) statement += line + " ";
  attachment_ = fb::Attachment::ExecuteCreateDatabase(statement, SQLDialect);
}

void DatabaseConnection::Close() {
  try {
    attachment_.Detach();
  } catch (...) {
    attachment_ = fb::Attachment();  // drop the handle all the same
  }
}

bool DatabaseConnection::Connected() const { return attachment_.IsAttached(); }

fb::Attachment& DatabaseConnection::Attachment() {
  if (!attachment_.IsAttached()) {
    throw fb::DatabaseError("Database non connesso: " + DatabaseName);
  }
  return attachment_;
}

}  // namespace et
