// Every value goes into its statement as a bound parameter, never as text: a
// quote in a user name, a password, a company or a settings text must neither
// break a statement nor change what it means. What stored data relies on
// stays as it was: the password is compared as plain text, user names are
// compared in capitals of the letters A to Z only, and the settings text a new
// user row gets has its line break written as LF CR.
#include "dbconfig/user_database.h"

#include "dbconfig/database_opener.h"
#include "dbconfig/opening_plan.h"
#include "fb/metadata.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/strings.h"

namespace et {
namespace {

constexpr const char* kInactiveMark = "<INATTIVA>";
// The key of the settings text that names the company's business database.
constexpr const char* kBusinessDatabaseKey = "Archivio";

const char* const kCreateUsersTable =
    "CREATE TABLE UTENTI( \r\n"
    "  CODICE Smallint NOT NULL, \r\n"
    "  NOMEUTENTE Varchar(20), \r\n"
    "  PWDUTENTE Varchar(80), \r\n"
    "  PROFILOSICUREZZA Smallint, \r\n"
    "  PROGETTO Smallint, \r\n"
    "  DESCRIZIONE Varchar(128), \r\n"
    "  EMAIL Varchar(128), \r\n"
    "  NOTE Blob sub_type 1, \r\n"
    "  INFO1 Varchar(10), \r\n"
    "  INFO2 Varchar(10), \r\n"
    "  SOFTDES Blob sub_type 1, \r\n"
    "  DITTA Varchar(64), \r\n"
    "  MANTIENISTDMIN Smallint, \r\n"
    "  ABILITASCELTADISCO Smallint, \r\n"
    "  ULTIMODISCOSCELTO Varchar(1), \r\n"
    "  ACCESSOSOFTDES Smallint, \r\n"
    "  UTENTEINATTIVO Smallint, \r\n"
    "  CONSTRAINT UTENTI_CHIAVEPRIMARIA PRIMARY KEY (CODICE) \r\n"
    ")\r\n";

// The settings text of the user's row, empty when there is no row or it is
// NULL.
std::string ReadSettingsText(fb::Attachment& attachment, fb::Transaction& transaction,
                             std::int32_t user) {
  fb::Statement statement(attachment, transaction,
                          "SELECT SOFTDES FROM UTENTI WHERE CODICE = :CODICE\r\n");
  statement.Set("CODICE", fb::Int(user));
  statement.Execute(transaction);
  std::string text;
  if (statement.HasRow()) {
    if (const auto* s = std::get_if<std::string>(&statement.Field("SOFTDES"))) text = *s;
  }
  return text;
}

std::string TextOrEmpty(const fb::Value& v) {
  const auto* s = std::get_if<std::string>(&v);
  return s ? *s : std::string();
}

}  // namespace

UserSettings::UserSettings(IniText text, std::string company)
    : text_(std::move(text)), company_(std::move(company)) {}

std::string UserSettings::Read(const std::string& key, const std::string& fallback) const {
  return text_.Read(company_, key, fallback);
}

std::string UserSettings::BusinessDatabaseName() const { return Read(kBusinessDatabaseKey); }

UserDatabase UserDatabase::Open(const Parameters& parameters, const OpeningPolicy& policy,
                                UserInterface& ui) {
  auto connection = std::make_unique<DatabaseConnection>();
  const UserDatabaseLocation& where = parameters.user_database;
  const std::string name =
      !where.server.empty() && !where.alias.empty()
          ? where.server + ":" + where.alias
          : NameOnServer(where.database_path, where.server, where.drive_letter);
  OpenNamedDatabase(*connection, name, policy, ui);
  return UserDatabase(std::move(connection), parameters);
}

UserDatabase::UserDatabase(std::unique_ptr<DatabaseConnection> connection, Parameters parameters)
    : connection_(std::move(connection)), parameters_(std::move(parameters)) {}

UserSettings UserDatabase::ReadSettings() {
  const std::int32_t user = parameters_.UserNumber();
  fb::Transaction transaction(Attachment(), fb::TransactionOptions::ReadCommitted());
  return UserSettings(IniText::Parse(ReadSettingsText(Attachment(), transaction, user)),
                      parameters_.company);
}

void UserDatabase::WriteSetting(const std::string& key, const std::string& value) {
  const std::int32_t user = parameters_.UserNumber();
  fb::Transaction transaction(Attachment(), fb::TransactionOptions::ReadCommitted());
  IniText text = IniText::Parse(ReadSettingsText(Attachment(), transaction, user));
  text.Write(parameters_.company, key, value);
  fb::Statement update(Attachment(), transaction,
                       "UPDATE UTENTI SET SOFTDES = :SOFTDES WHERE CODICE = :CODICE \r\n");
  update.Set("SOFTDES", fb::Text(text.Serialize()));
  update.Set("CODICE", fb::Int(user));
  update.Execute(transaction);
  transaction.Commit();
}

void UserDatabase::Initialize(const std::string& business_database) {
  const std::int32_t user = parameters_.UserNumber();
  fb::Attachment& attachment = Attachment();

  if (!fb::TableExists(attachment, "UTENTI")) {
    fb::Transaction transaction(attachment, fb::TransactionOptions::Snapshot());
    fb::Statement statement(attachment, transaction, kCreateUsersTable, fb::ParamMode::kNone);
    statement.Execute(transaction);
    transaction.Commit();
  }

  fb::Transaction transaction(attachment, fb::TransactionOptions::ReadCommitted());
  std::int32_t rows = 0;
  {
    fb::Statement count(attachment, transaction,
                        "SELECT COALESCE(COUNT(*),0) TOT FROM UTENTI WHERE CODICE = :CODICE\r\n");
    count.Set("CODICE", fb::Int(user));
    count.Execute(transaction);
    rows = fb::ValueToInt32(count.Field("TOT"));
  }
  if (rows != 0) return;

  fb::Statement insert(attachment, transaction,
                       "INSERT INTO UTENTI (CODICE, NOMEUTENTE, DITTA, SOFTDES) VALUES ( \r\n"
                       "  :CODICE, \r\n"
                       "  'query_esterno', \r\n"
                       "  'query_esterno', \r\n"
                       "  :SOFTDES \r\n"
                       ")\r\n");
  insert.Set("CODICE", fb::Int(user));
  // LF CR, as the rows written so far have it; the reader takes it as a line
  // break followed by an empty line.
  insert.Set("SOFTDES", fb::Text(std::string("[query_esterno]\n\r") + kBusinessDatabaseKey + "=" +
                                 business_database));
  insert.Execute(transaction);
  transaction.Commit();
}

UserLogin UserDatabase::Login(const std::string& name, const std::string& password) {
  fb::Transaction transaction(Attachment(), fb::TransactionOptions::ReadCommitted());
  // The parameters are cast to the widest text so that a name or password
  // longer than its column simply matches nothing.
  fb::Statement statement(
      Attachment(), transaction,
      "SELECT COALESCE(COUNT(*),0) TOT, MIN(CODICE) CODICE, MIN(NOMEUTENTE) NOMEUTENTE, "
      "MIN(DITTA) DITTA \r\n"
      "FROM UTENTI \r\n"
      "WHERE UPPER(NOMEUTENTE) = CAST(:NOME AS VARCHAR(32000)) \r\n"
      "AND PWDUTENTE = CAST(:PASSWORD AS VARCHAR(32000))\r\n");
  statement.Set("NOME", fb::Text(AsciiUppered(name)));
  statement.Set("PASSWORD", fb::Text(password));
  statement.Execute(transaction);
  UserLogin login;
  login.valid = fb::ValueToInt32(statement.Field("TOT")) == 1;
  login.id = fb::ValueToInt32(statement.Field("CODICE"));
  login.name = TextOrEmpty(statement.Field("NOMEUTENTE"));
  login.company = TextOrEmpty(statement.Field("DITTA"));
  return login;
}

std::vector<std::string> UserDatabase::Companies(std::int32_t user) {
  std::string text;
  {
    fb::Transaction transaction(Attachment(), fb::TransactionOptions::ReadCommitted());
    text = ReadSettingsText(Attachment(), transaction, user);
  }
  std::vector<std::string> companies;
  for (std::string& name : IniText::Parse(text).SectionNames()) {
    if (name.find(kInactiveMark) == std::string::npos) companies.push_back(std::move(name));
  }
  return companies;
}

void UserDatabase::SetCompany(std::int32_t user, const std::string& company) {
  fb::Transaction transaction(Attachment(), fb::TransactionOptions::ReadCommitted());
  fb::Statement statement(Attachment(), transaction,
                          "UPDATE UTENTI \r\n"
                          "SET DITTA = :DITTA\r\n"
                          "WHERE CODICE = :CODICE \r\n");
  statement.Set("DITTA", fb::Text(company));
  statement.Set("CODICE", fb::Int(user));
  statement.Execute(transaction);
  transaction.Commit();
}

}  // namespace et
