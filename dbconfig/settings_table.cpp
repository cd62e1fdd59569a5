// Values go into the statements as bound parameters, so a quote in a key or a
// value neither breaks a statement nor changes what it means. Apostrophes in
// stored values become "´", as the rows written so far have them.
#include "dbconfig/settings_table.h"

#include <regex>

#include "fb/error.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/error.h"
#include "platform/strings.h"

namespace et {
namespace {

// A user's own row, or the shared row (UTENTE NULL) for a user of 0 or less.
std::string UserCondition(std::int32_t user) {
  return user > 0 ? "AND(UTENTE=:UTENTE)\r\n" : "AND(UTENTE IS NULL)\r\n";
}

// A generator name goes into the statement text (a generator cannot be a
// parameter), so only a plain, unquoted identifier is let through.
void CheckGeneratorName(const std::string& name) {
  static const std::regex kIdentifier("^[A-Za-z][A-Za-z0-9_$]{0,62}$");
  if (!std::regex_match(name, kIdentifier)) {
    throw Error("Nome del generatore non valido: \"" + name +
                "\". Sono ammessi da 1 a 63 caratteri tra lettere, cifre, \"_\" e \"$\", "
                "a partire da una lettera");
  }
}

// The text of the current row of a "SELECT TESTO" statement.
std::optional<std::string> CurrentText(const fb::Statement& statement) {
  if (!statement.HasRow()) return std::nullopt;
  const auto* text = std::get_if<std::string>(&statement.Field(0));
  if (!text) return std::nullopt;
  return *text;
}

std::string ReadStatement(std::int32_t user) {
  return "SELECT TESTO FROM TABX\r\nWHERE (NOME=:NOME)\r\n" + UserCondition(user);
}

// How long a writer of a new row waits for the other transactions that
// write TABX: other writers of new rows hold it for a moment only.
constexpr int kNewRowLockWaitSeconds = 30;

bool RowExists(fb::Attachment& business, fb::Transaction& transaction, const std::string& key,
               std::int32_t user) {
  fb::Statement search(business, transaction,
                       "SELECT CODICE FROM TABX\r\n"
                       "WHERE (NOME=CAST(:NOME AS VARCHAR(32000)))\r\n" +
                           UserCondition(user));
  search.Set("NOME", fb::Text(key));
  if (user > 0) search.Set("UTENTE", fb::Int(user));
  search.Execute(transaction);
  return search.HasRow();
}

void Update(fb::Attachment& business, fb::Transaction& transaction, const std::string& key,
            const std::string& value, std::int32_t user) {
  fb::Statement update(business, transaction,
                       "UPDATE TABX SET TESTO=:TESTO\r\n"
                       "WHERE (NOME=:NOME)\r\n" +
                           UserCondition(user));
  update.Set("TESTO", fb::Text(ApostrophesToAcuteAccent(value)));
  update.Set("NOME", fb::Text(key));
  if (user > 0) update.Set("UTENTE", fb::Int(user));
  update.Execute(transaction);
}

}  // namespace

SettingsTable::SettingsTable(fb::Attachment& business) : business_(business) {}

std::optional<std::string> SettingsTable::Find(const std::string& key, std::int32_t user) {
  fb::Transaction transaction(business_, fb::TransactionOptions::ServerDefaults());
  fb::Statement statement(business_, transaction, ReadStatement(user));
  statement.Set("NOME", fb::Text(key));
  if (user > 0) statement.Set("UTENTE", fb::Int(user));
  statement.Execute(transaction);
  return CurrentText(statement);
}

std::vector<std::string> SettingsTable::ReadAll(const std::vector<std::string_view>& keys) {
  fb::Transaction transaction(business_, fb::TransactionOptions::ServerDefaults());
  fb::Statement statement(business_, transaction, ReadStatement(0));
  std::vector<std::string> texts;
  texts.reserve(keys.size());
  for (const std::string_view key : keys) {
    statement.Set("NOME", fb::Text(std::string(key)));
    statement.Execute(transaction);
    texts.push_back(CurrentText(statement).value_or(std::string()));
  }
  return texts;
}

std::string SettingsTable::Read(const std::string& key, std::int32_t user) {
  return Find(key, user).value_or(std::string());
}

void SettingsTable::Write(const std::string& key, const std::string& value, std::int32_t user) {
  // A row already there is changed where it stands, in a transaction that
  // does not wait for another one holding the row.
  try {
    fb::Transaction transaction(business_, fb::TransactionOptions::Snapshot());
    if (RowExists(business_, transaction, key, user)) {
      Update(business_, transaction, key, value, user);
      transaction.Commit();
      return;
    }
  } catch (const fb::DatabaseError& e) {
    // A writer of a new row holds TABX for a moment: wait for it below.
    if (!e.IsTableReservedElsewhere()) throw;
  }
  // A new row: TABX has no unique key on the name, so two writers that both
  // find no row would both insert one. The transaction that inserts reserves
  // TABX for protected write, so such writers follow one another, and reads
  // what is committed once it has the table: a writer that waited finds the
  // row of the one before and changes it instead. Only this transaction
  // writes; the one above has changed nothing.
  fb::Transaction transaction(business_, {.isolation = fb::Isolation::kReadCommitted,
                                          .lock_timeout_seconds = kNewRowLockWaitSeconds,
                                          .protected_write_tables = {"TABX"}});
  if (RowExists(business_, transaction, key, user)) {
    Update(business_, transaction, key, value, user);
  } else {
    fb::Statement insert(business_, transaction,
                         "INSERT INTO TABX (CODICE,NOME,TESTO,UTENTE) VALUES(\r\n"
                         "GEN_ID(CODICETABXCOUNTER,1),\r\n"
                         ":NOME,\r\n"
                         ":TESTO,\r\n"
                         ":UTENTE)\r\n");
    insert.Set("NOME", fb::Text(key));
    insert.Set("TESTO",
               value.empty() ? fb::Value(fb::Null{}) : fb::Text(ApostrophesToAcuteAccent(value)));
    insert.Set("UTENTE", user > 0 ? fb::Int(user) : fb::Value(fb::Null{}));
    insert.Execute(transaction);
  }
  transaction.Commit();
}

std::int64_t SettingsTable::NextGeneratorValue(const std::string& generator) {
  CheckGeneratorName(generator);
  fb::Transaction transaction(business_, fb::TransactionOptions::Snapshot());
  fb::Statement statement(business_, transaction,
                          "SELECT GEN_ID(" + generator + ",1) FROM RDB$DATABASE;",
                          fb::ParamMode::kNone);
  statement.Execute(transaction);
  // GEN_ID gives a 64-bit value, also beyond the 32-bit range.
  const auto* n = std::get_if<fb::Scaled>(&statement.Field(0));
  if (!n) throw fb::DatabaseError("Valore del generatore " + generator + " non numerico");
  const std::int64_t value = n->value;
  statement.Close();  // the cursor must not outlive its transaction
  transaction.Commit();
  return value;
}

}  // namespace et
