// The configuration store's writes and its other operations: setting up the
// user table and the user's row, login, the user's companies, writes into the
// user settings text and into TABX, generators and accessors.
//
// Every value goes into its statement as a bound parameter, never as text:
// a quote in a user name, a password, a company, a settings text or a key
// name must neither break a statement nor change what it means. What stored
// data relies on stays as it was: apostrophes in TABX values become "´", the
// password is compared as plain text, user names are compared in capitals of
// the letters A to Z only, and the settings text a new user row gets has its
// line break written as LF CR.
#include <regex>

#include "dbconfig/database_opener.h"
#include "dbconfig/nuvini22.h"
#include "fb/error.h"
#include "fb/metadata.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/regional.h"

namespace et {
namespace {

constexpr const char* kConfig = "CONFIG";
constexpr const char* kDittaDefault = "query_esterno";
constexpr const char* kMarcaInattiva = "<INATTIVA>";
// U+00B4, the acute accent that stands in for an apostrophe in TABX values.
constexpr const char* kAccentoAcuto = "\xC2\xB4";

const char* const kCreaUtenti =
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

// The user settings text of the user's row, empty when there is no row or it
// is NULL.
std::string LeggiSoftdes(fb::Transaction& transaction, std::int32_t codice) {
  fb::Statement statement(transaction, "SELECT SOFTDES FROM UTENTI WHERE CODICE = :CODICE\r\n");
  statement.Set("CODICE", fb::Int(codice));
  statement.Execute();
  std::string softdes;
  if (statement.HasRow()) {
    if (const auto* s = std::get_if<std::string>(&statement.Field("SOFTDES"))) softdes = *s;
  }
  return softdes;
}

std::string TestoOVuoto(const fb::Value& v) {
  const auto* s = std::get_if<std::string>(&v);
  return s ? *s : std::string();
}

// Capitals of the letters a to z only, as the stored names are compared.
std::string MaiuscoleAZ(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// Every apostrophe of a TABX value becomes the acute accent.
std::string RegolaApostrofo(const std::string& valore) {
  std::string result;
  result.reserve(valore.size());
  for (char c : valore) {
    if (c == '\'') {
      result += kAccentoAcuto;
    } else {
      result += c;
    }
  }
  return result;
}

// A generator name goes into the statement text (a generator cannot be a
// parameter), so only a plain, unquoted identifier is let through.
void ControllaNomeGeneratore(const std::string& nome) {
  static const std::regex kIdentificatore("^[A-Za-z][A-Za-z0-9_$]{0,62}$");
  if (!std::regex_match(nome, kIdentificatore)) {
    throw Error("Nome del generatore non valido: \"" + nome +
                "\". Sono ammessi da 1 a 63 caratteri tra lettere, cifre, \"_\" e \"$\", "
                "a partire da una lettera");
  }
}

}  // namespace

struct TNuvIni22::ConnessioneUtenti {
  std::unique_ptr<DatabaseConnection> connessione;
  std::string utente;  // "Utente" of "CONFIG", as written
  std::string ditta;   // "Ditta" of "CONFIG"
};

TNuvIni22::ConnessioneUtenti TNuvIni22::ApriDatabaseUtenti() {
  const IniFile ini(FileParametri());
  ConnessioneUtenti result;
  result.utente = ini.Read(kConfig, "Utente", "0");
  result.ditta = ini.Read(kConfig, "Ditta", kDittaDefault);
  const std::string server = ini.Read(kConfig, "Nome Server");
  const std::string percorso = ini.Read(kConfig, "PercorsoDatabase");
  const std::string lettera = ini.Read(kConfig, "Lettera Disco Server");
  const std::string alias = ini.Read(kConfig, "Alias");
  result.connessione = NuovaConnessione();
  // Whether it attached shows at the first statement, whose error the caller
  // gets.
  ConnettiDatabaseUtenti(*result.connessione, percorso, server, alias, lettera);
  return result;
}

std::unique_ptr<DatabaseConnection> TNuvIni22::ApriDatabaseGestionale() {
  const std::string archivio = ValoreDorvaUser(FileParametri(), "Archivio", "");
  if (archivio.empty()) return nullptr;
  auto database = NuovaConnessione();
  const SplitPath parts = SplitDatabasePath(archivio);
  if (!ApriDatabase(*database, parts.directory, parts.file_name, "", "", ui_)) return nullptr;
  return database;
}

void TNuvIni22::InizializzaQuery(const std::string& PercorsoArchivio) {
  ConnessioneUtenti utenti = ApriDatabaseUtenti();
  fb::Attachment& attachment = utenti.connessione->Attachment();

  if (!fb::TableExists(attachment, "UTENTI")) {
    fb::Transaction transaction(attachment, fb::TransactionOptions::Snapshot());
    try {
      fb::Statement statement(transaction, kCreaUtenti, fb::ParamMode::kNone);
      statement.Execute();
      transaction.CommitRetaining();
    } catch (const fb::DatabaseError&) {
      // A table that cannot be made shows at the count below.
    }
  }

  {
    const std::int32_t codice = UtenteComeNumero(utenti.utente);
    fb::Transaction transaction(attachment, fb::TransactionOptions::ReadCommitted());
    std::int32_t tot = 0;
    {
      fb::Statement conta(transaction,
                          "SELECT COALESCE(COUNT(*),0) TOT FROM UTENTI WHERE CODICE = :CODICE\r\n");
      conta.Set("CODICE", fb::Int(codice));
      conta.Execute();
      tot = fb::ValueToInt32(conta.Field("TOT"));
    }
    if (tot == 0) {
      try {
        fb::Statement inserisci(transaction,
                                "INSERT INTO UTENTI (CODICE, NOMEUTENTE, DITTA, SOFTDES) VALUES ( \r\n"
                                "  :CODICE, \r\n"
                                "  'query_esterno', \r\n"
                                "  'query_esterno', \r\n"
                                "  :SOFTDES \r\n"
                                ")\r\n");
        inserisci.Set("CODICE", fb::Int(codice));
        // LF CR, as the rows written so far have it; the reader takes it as
        // a line break followed by an empty line.
        inserisci.Set("SOFTDES", fb::Text("[query_esterno]\n\rArchivio=" + PercorsoArchivio));
        inserisci.Execute();
        transaction.CommitRetaining();
      } catch (const fb::DatabaseError&) {
        // Swallowed: a later read of the user's settings finds no row.
      }
    }
  }
  utenti.connessione->Close();
}

void TNuvIni22::Inizializza(const std::string& FileParametriQuery) {
  if (!FileExists(FileParametriQuery)) {
    ui_.ShowMessage("File mancante " + FileParametriQuery);
    return;
  }
  const IniFile ini(FileParametriQuery);
  auto connessione = NuovaConnessione();
  ConnettiDatabaseUtenti(*connessione, ini.Read(kConfig, "PercorsoDatabase"),
                         ini.Read(kConfig, "Nome Server"), ini.Read(kConfig, "Alias"),
                         ini.Read(kConfig, "Lettera Disco Server"));
  connessione->Close();
}

std::int32_t TNuvIni22::ValoreDorvaUserInt(const std::string& Nome, std::int32_t Default) {
  const std::string valore = ValoreDorvaUser(Nome);
  if (valore.empty()) return Default;
  std::int32_t n = 0;
  if (!TryParseInt32(valore, n)) {
    throw ConvertError("Valore \"" + valore + "\" della chiave \"" + Nome +
                       "\" delle impostazioni utente non valido: serve un numero intero");
  }
  return n;
}

void TNuvIni22::SettaValoreDorvaUser(const std::string& Nome, const std::string& Valore) {
  if (!ParametriEsistono()) return;
  ConnessioneUtenti utenti = ApriDatabaseUtenti();
  {
    const std::int32_t codice = UtenteComeNumero(utenti.utente);
    fb::Transaction transaction(utenti.connessione->Attachment(),
                                fb::TransactionOptions::ReadCommitted());
    IniText testo = IniText::Parse(LeggiSoftdes(transaction, codice));
    testo.Write(utenti.ditta, Nome, Valore);
    try {
      fb::Statement aggiorna(transaction,
                             "UPDATE UTENTI SET SOFTDES = :SOFTDES WHERE CODICE = :CODICE \r\n");
      aggiorna.Set("SOFTDES", fb::Text(testo.Serialize()));
      aggiorna.Set("CODICE", fb::Int(codice));
      aggiorna.Execute();
      transaction.CommitRetaining();
    } catch (const fb::DatabaseError&) {
      // Swallowed, as every write of the user settings.
    }
  }
  utenti.connessione->Close();
}

std::string TNuvIni22::ValoreConfigIni(const std::string& Nome, const std::string& Default) {
  return IniFile(FileParametri()).Read(kConfig, Nome, Default);
}

TUserLogin TNuvIni22::LoginDorvaUser(const std::string& Nome, const std::string& Password) {
  TUserLogin login;
  if (!ParametriEsistono()) return login;
  ConnessioneUtenti utenti = ApriDatabaseUtenti();
  {
    fb::Transaction transaction(utenti.connessione->Attachment(),
                                fb::TransactionOptions::ReadCommitted());
    // The parameters are cast to the widest text so that a name or password
    // longer than its column simply matches nothing.
    fb::Statement statement(
        transaction,
        "SELECT COALESCE(COUNT(*),0) TOT, MIN(CODICE) CODICE, MIN(NOMEUTENTE) NOMEUTENTE, "
        "MIN(DITTA) DITTA \r\n"
        "FROM UTENTI \r\n"
        "WHERE UPPER(NOMEUTENTE) = CAST(:NOME AS VARCHAR(32000)) \r\n"
        "AND PWDUTENTE = CAST(:PASSWORD AS VARCHAR(32000))\r\n");
    statement.Set("NOME", fb::Text(MaiuscoleAZ(Nome)));
    statement.Set("PASSWORD", fb::Text(Password));
    statement.Execute();
    login.Valido = fb::ValueToInt32(statement.Field("TOT")) == 1;
    login.Id = fb::ValueToInt32(statement.Field("CODICE"));
    login.Nome = TestoOVuoto(statement.Field("NOMEUTENTE"));
    login.Ditta = TestoOVuoto(statement.Field("DITTA"));
  }
  utenti.connessione->Close();
  return login;
}

std::vector<std::string> TNuvIni22::ElencoDitteUtente(std::int32_t UserId) {
  std::vector<std::string> ditte;
  if (!ParametriEsistono()) return ditte;
  ConnessioneUtenti utenti = ApriDatabaseUtenti();
  std::string softdes;
  {
    fb::Transaction transaction(utenti.connessione->Attachment(),
                                fb::TransactionOptions::ReadCommitted());
    softdes = LeggiSoftdes(transaction, UserId);
  }
  utenti.connessione->Close();
  for (std::string& nome : IniText::Parse(softdes).SectionNames()) {
    if (nome.find(kMarcaInattiva) == std::string::npos) ditte.push_back(std::move(nome));
  }
  return ditte;
}

std::int32_t TNuvIni22::SettaDittaUtente(std::int32_t UtenteId, const std::string& Ditta) {
  if (!ParametriEsistono()) return -1;
  ConnessioneUtenti utenti = ApriDatabaseUtenti();
  {
    fb::Transaction transaction(utenti.connessione->Attachment(),
                                fb::TransactionOptions::ReadCommitted());
    fb::Statement statement(transaction,
                            "UPDATE UTENTI \r\n"
                            "SET DITTA = :DITTA\r\n"
                            "WHERE CODICE = :CODICE \r\n");
    statement.Set("DITTA", fb::Text(Ditta));
    statement.Set("CODICE", fb::Int(UtenteId));
    statement.Execute();
    transaction.CommitRetaining();
  }
  utenti.connessione->Close();
  return 1;
}

bool TNuvIni22::SettaValoreTabX(const std::string& Nome, const std::string& Valore,
                                std::int32_t Utente) {
  auto database = ApriDatabaseGestionale();
  if (!database) return false;  // nothing written

  // A user's own row, or the shared row (UTENTE NULL) that ValoreTabX reads
  // for a user of 0 or less; the other users' rows are never touched.
  const std::string condizione_utente =
      Utente > 0 ? "AND(UTENTE=:UTENTE)\r\n" : "AND(UTENTE IS NULL)\r\n";
  bool result = true;
  {
    fb::Transaction transaction(database->Attachment(), fb::TransactionOptions::Snapshot());
    bool esiste = false;
    {
      fb::Statement cerca(transaction, "SELECT CODICE FROM TABX\r\n"
                                       "WHERE (NOME=CAST(:NOME AS VARCHAR(32000)))\r\n" +
                                           condizione_utente);
      cerca.Set("NOME", fb::Text(Nome));
      if (Utente > 0) cerca.Set("UTENTE", fb::Int(Utente));
      cerca.Execute();
      esiste = cerca.HasRow();
    }
    try {
      if (esiste) {
        fb::Statement aggiorna(transaction, "UPDATE TABX SET TESTO=:TESTO\r\n"
                                            "WHERE (NOME=:NOME)\r\n" +
                                                condizione_utente);
        aggiorna.Set("TESTO", fb::Text(RegolaApostrofo(Valore)));
        aggiorna.Set("NOME", fb::Text(Nome));
        if (Utente > 0) aggiorna.Set("UTENTE", fb::Int(Utente));
        aggiorna.Execute();
      } else {
        fb::Statement inserisci(transaction,
                                "INSERT INTO TABX (CODICE,NOME,TESTO,UTENTE) VALUES(\r\n"
                                "GEN_ID(CODICETABXCOUNTER,1),\r\n"
                                ":NOME,\r\n"
                                ":TESTO,\r\n"
                                ":UTENTE)\r\n");
        inserisci.Set("NOME", fb::Text(Nome));
        inserisci.Set("TESTO", Valore.empty() ? fb::Value(fb::Null{})
                                              : fb::Text(RegolaApostrofo(Valore)));
        inserisci.Set("UTENTE", Utente > 0 ? fb::Int(Utente) : fb::Value(fb::Null{}));
        inserisci.Execute();
      }
      transaction.CommitRetaining();
    } catch (const fb::DatabaseError&) {
      result = false;  // a lock conflict, a value too long for its column...
    }
  }
  database->Close();
  return result;
}

DatabaseConnection* TNuvIni22::DatabaseDorvaUser() {
  if (!ParametriEsistono()) return nullptr;
  connessioni_utente_.push_back(ApriDatabaseUtenti().connessione);
  return connessioni_utente_.back().get();
}

std::string TNuvIni22::ValoreGeneratore(const std::string& NomeGeneratore) {
  ControllaNomeGeneratore(NomeGeneratore);
  auto database = ApriDatabaseGestionale();
  if (!database) return {};

  std::string result;
  {
    fb::Transaction transaction(database->Attachment(), fb::TransactionOptions::Snapshot());
    fb::Statement statement(transaction,
                            "SELECT GEN_ID(" + NomeGeneratore + ",1) FROM RDB$DATABASE;",
                            fb::ParamMode::kNone);
    statement.Execute();
    // GEN_ID gives a 64-bit value; it is written in full, also beyond the
    // 32-bit range.
    const fb::Value& v = statement.Field(0);
    if (const auto* n = std::get_if<fb::Scaled>(&v)) result = std::to_string(n->value);
  }
  database->Close();
  return result;
}

std::unique_ptr<IniFile> TNuvIni22::getFileParametriIni() {
  return std::make_unique<IniFile>(FileParametri());
}

}  // namespace et
