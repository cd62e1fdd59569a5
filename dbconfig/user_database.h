// The user database: the table UTENTI, whose rows hold each user's login,
// current company and settings text (SOFTDES, an INI text with one section
// per company).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbconfig/database_connection.h"
#include "dbconfig/opening_policy.h"
#include "dbconfig/parameters_file.h"
#include "platform/ini.h"
#include "platform/ui.h"

namespace et {

// The outcome of a login.
struct UserLogin {
  std::int32_t id = 0;  // CODICE of the user; 0 when none matched
  std::string name;     // NOMEUTENTE as stored
  std::string company;  // DITTA as stored
  bool valid = false;   // true when exactly one user matched
};

// The settings of one user and company: a section of the settings text.
class UserSettings {
 public:
  UserSettings(IniText text, std::string company);
  // Key `key` of the company's section; `fallback` when absent.
  std::string Read(const std::string& key, const std::string& fallback = {}) const;
  // "Archivio": the full name of the company's business database (see
  // OpenBusinessDatabase); empty when not set.
  std::string BusinessDatabaseName() const;
  const IniText& Text() const { return text_; }
  const std::string& Company() const { return company_; }

 private:
  IniText text_;
  std::string company_;
};

class UserDatabase {
 public:
  // Opens the user database the parameters name (the server's alias when
  // both "Nome Server" and "Alias" are set, otherwise the file path, on the
  // server when one is named) as OpenNamedDatabase does with `policy`.
  // Raises fb::DatabaseError with the engine's reason when it cannot be
  // opened.
  static UserDatabase Open(const Parameters& parameters, const OpeningPolicy& policy,
                           UserInterface& ui);

  // The settings of the parameters' user and company; empty when the user has
  // no row or no text. Raises ConvertError for a "Utente" that is not a whole
  // number, fb::DatabaseError.
  UserSettings ReadSettings();
  // Writes `key` into the company's section of the user's settings text and
  // commits. Nothing changes when the user has no row. Raises.
  void WriteSetting(const std::string& key, const std::string& value);

  // Creates UTENTI when missing and the parameters' user row, whose settings
  // text names `business_database` as "Archivio" of company "query_esterno".
  // An existing row is left as it is. Raises.
  void Initialize(const std::string& business_database);
  // The user whose name (capitals A to Z) and plain-text password match.
  UserLogin Login(const std::string& name, const std::string& password);
  // The companies of the user's settings text, inactive ones ("<INATTIVA>"
  // in the name) left out.
  std::vector<std::string> Companies(std::int32_t user);
  // Sets DITTA of the user's row. Raises.
  void SetCompany(std::int32_t user, const std::string& company);

  fb::Attachment& Attachment() { return connection_->Attachment(); }

 private:
  UserDatabase(std::unique_ptr<DatabaseConnection> connection, Parameters parameters);

  std::unique_ptr<DatabaseConnection> connection_;
  Parameters parameters_;
};

}  // namespace et
