#include "dbconfig/nuvini22.h"

#include "dbconfig/database_opener.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/error.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/regional.h"

namespace et {
namespace {

constexpr const char* kConfig = "CONFIG";

}  // namespace

std::int32_t UtenteComeNumero(const std::string& utente) {
  std::int32_t n = 0;
  if (!TryParseInt32(utente, n)) {
    throw ConvertError("Valore \"" + utente +
                       "\" della chiave \"Utente\" del file parametri non valido: serve un numero "
                       "intero");
  }
  return n;
}

TNuvIni22::TNuvIni22(UserInterface& ui) : TNuvIni22(ui, ExecutableDirectory()) {}

TNuvIni22::TNuvIni22(UserInterface& ui, std::string Percorso)
    : TNuvIni22(ui, std::move(Percorso), "parametriquery.ini") {}

TNuvIni22::TNuvIni22(UserInterface& ui, std::string Percorso, std::string FileParametri)
    : FILE_PARAMETRI(std::move(FileParametri)),
      PercorsoBase(WithTrailingSeparator(std::move(Percorso))),
      ui_(ui),
      factory_([] { return std::make_unique<DatabaseConnection>(); }) {}

std::unique_ptr<DatabaseConnection> TNuvIni22::NuovaConnessione() const { return factory_(); }

bool TNuvIni22::ParametriEsistono() const { return FileExists(FileParametri()); }

bool TNuvIni22::ConnettiDatabaseUtenti(DatabaseConnection& c, const std::string& FileUserFdb,
                                       const std::string& NomeServer, const std::string& Alias,
                                       const std::string& LetteraDiscoServer) {
  if (!NomeServer.empty() && !Alias.empty()) {
    return ConnettiOCreaDatabase(c, NomeServer + ":" + Alias, "", "", "", "", ui_);
  }
  return ConnettiOCreaDatabase(c, FileUserFdb, NomeServer, LetteraDiscoServer, "", "", ui_);
}

std::string TNuvIni22::ValoreDorvaUser(const std::string& Nome) {
  return ValoreDorvaUser(Nome, std::string());
}

std::string TNuvIni22::ValoreDorvaUser(const std::string& Nome, const std::string& Default) {
  if (!ParametriEsistono()) return {};
  return ValoreDorvaUser(FileParametri(), Nome, Default);
}

std::string TNuvIni22::ValoreDorvaUser(const std::string& FileIniPercorso, const std::string& Nome,
                                       const std::string& Default) {
  const IniFile ini(FileIniPercorso);
  const std::string utente = ini.Read(kConfig, "Utente", "0");
  const std::string ditta = ini.Read(kConfig, "Ditta", "query_esterno");
  const std::string server = ini.Read(kConfig, "Nome Server");
  const std::string percorso = ini.Read(kConfig, "PercorsoDatabase");
  const std::string lettera = ini.Read(kConfig, "Lettera Disco Server");
  const std::string alias = ini.Read(kConfig, "Alias");
  return ValoreDorvaUser(percorso, server, alias, lettera, utente, ditta, Nome, Default);
}

std::string TNuvIni22::ValoreDorvaUser(const std::string& UtenteIni, const std::string& DittaIni,
                                       const std::string& Nome, const std::string& Default) {
  if (!ParametriEsistono()) return {};
  const IniFile ini(FileParametri());
  return ValoreDorvaUser(ini.Read(kConfig, "PercorsoDatabase"), ini.Read(kConfig, "Nome Server"),
                         ini.Read(kConfig, "Alias"), ini.Read(kConfig, "Lettera Disco Server"),
                         UtenteIni, DittaIni, Nome, Default);
}

std::string TNuvIni22::ValoreDorvaUser(const std::string& FileUserFdb,
                                       const std::string& NomeServer, const std::string& Alias,
                                       const std::string& LetteraDiscoServer,
                                       const std::string& UtenteIni, const std::string& DittaIni,
                                       const std::string& Nome, const std::string& Default) {
  auto connessione = NuovaConnessione();
  ConnettiDatabaseUtenti(*connessione, FileUserFdb, NomeServer, Alias, LetteraDiscoServer);

  std::string softdes;
  {
    fb::Transaction transaction(connessione->Attachment(), fb::TransactionOptions::ReadCommitted());
    fb::Statement statement(transaction, "SELECT SOFTDES FROM UTENTI WHERE CODICE = :CODICE\r\n");
    statement.Set("CODICE", fb::Int(UtenteComeNumero(UtenteIni)));
    statement.Execute();
    if (statement.HasRow()) {
      const fb::Value& v = statement.Field("SOFTDES");
      if (const auto* s = std::get_if<std::string>(&v)) softdes = *s;
    }
  }
  connessione->Close();
  return IniText::Parse(softdes).Read(DittaIni, Nome, Default);
}

std::int32_t TNuvIni22::NumeroUtente() {
  const IniFile ini(FileParametri());
  std::int32_t n = 0;
  return TryParseInt32(ini.Read(kConfig, "Utente", "0"), n) ? n : 0;
}

std::string TNuvIni22::ValoreTabX(const std::string& Nome, std::int32_t Utente) {
  const std::string archivio = ValoreDorvaUser(FileParametri(), "Archivio", "");
  if (archivio.empty()) return {};

  auto database = NuovaConnessione();
  const SplitPath parts = SplitDatabasePath(archivio);
  if (!ApriDatabase(*database, parts.directory, parts.file_name, "", "", ui_)) return {};

  std::string result;
  {
    fb::Transaction transaction(database->Attachment(), fb::TransactionOptions::ServerDefaults());
    std::string sql = "SELECT TESTO FROM TABX\r\nWHERE (NOME=:NOME)\r\n";
    sql += Utente > 0 ? "AND(UTENTE=:UTENTE)\r\n" : "AND(UTENTE IS NULL)\r\n";
    fb::Statement statement(transaction, sql);
    statement.Set("NOME", fb::Text(Nome));
    if (Utente > 0) statement.Set("UTENTE", fb::Int(Utente));
    statement.Execute();
    if (statement.HasRow()) {
      const fb::Value& v = statement.Field(0);
      if (const auto* s = std::get_if<std::string>(&v)) result = *s;
    }
  }
  database->Close();
  return result;
}

}  // namespace et
