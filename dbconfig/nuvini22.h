// The configuration store: follows the parameters file to the user database,
// reads the user's settings text, and reads settings keys from TABX in the
// business database. Nothing is cached: every read opens the files and the
// databases it needs and closes them before it returns.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbconfig/connection.h"
#include "platform/ini.h"
#include "platform/ui.h"

namespace et {

// The outcome of a login: the matching user, valid when exactly one matched.
class TUserLogin {
 public:
  std::int32_t Id = 0;  // CODICE of the user; 0 when none matched
  std::string Nome;     // NOMEUTENTE as stored
  std::string Ditta;    // DITTA as stored
  bool Valido = false;  // true when exactly one user matched
};

class TNuvIni22 {
 public:
  // Makes the connection objects of the store; tests may record them.
  using ConnectionFactory = std::function<std::unique_ptr<DatabaseConnection>()>;

  // On "parametriquery.ini" in the executable's directory.
  explicit TNuvIni22(UserInterface& ui);
  // On "parametriquery.ini" in `Percorso`.
  TNuvIni22(UserInterface& ui, std::string Percorso);
  // On `FileParametri` in `Percorso` (a separator is appended when missing).
  TNuvIni22(UserInterface& ui, std::string Percorso, std::string FileParametri);

  // Key `Nome` of the company's section of the user settings text. The
  // one- and two-argument forms and the (UtenteIni, DittaIni, ...) form return
  // the empty text when the parameters file is missing.
  std::string ValoreDorvaUser(const std::string& Nome);
  std::string ValoreDorvaUser(const std::string& Nome, const std::string& Default);
  std::string ValoreDorvaUser(const std::string& FileIniPercorso, const std::string& Nome,
                              const std::string& Default);
  std::string ValoreDorvaUser(const std::string& UtenteIni, const std::string& DittaIni,
                              const std::string& Nome, const std::string& Default);
  std::string ValoreDorvaUser(const std::string& FileUserFdb, const std::string& NomeServer,
                              const std::string& Alias, const std::string& LetteraDiscoServer,
                              const std::string& UtenteIni, const std::string& DittaIni,
                              const std::string& Nome, const std::string& Default);

  // "Utente" of the parameters file as a number; 0 when missing or invalid.
  std::int32_t NumeroUtente();

  // The settings key of the user (Utente > 0) or the value shared by all
  // users (Utente <= 0, the row with UTENTE NULL); empty when there is none.
  std::string ValoreTabX(const std::string& Nome, std::int32_t Utente);

  // Sets up the user database: creates UTENTI when it is missing and the row
  // of the user "Utente", whose settings text names `PercorsoArchivio` as
  // "Archivio" of company "query_esterno". An existing row is left as it is.
  void InizializzaQuery(const std::string& PercorsoArchivio);
  // Attaches the user database named by another parameters file once (so it
  // is created when missing); "File mancante " when the file does not exist.
  void Inizializza(const std::string& FileParametriQuery);
  // ValoreDorvaUser as a number; `Default` when empty. Raises ConvertError
  // for a text that is not a whole number.
  std::int32_t ValoreDorvaUserInt(const std::string& Nome, std::int32_t Default);
  // Writes key `Nome` into the company's section of the user settings text.
  // Write errors are swallowed; nothing changes when the user has no row.
  void SettaValoreDorvaUser(const std::string& Nome, const std::string& Valore);
  // Key `Nome` of section "CONFIG" of the parameters file.
  std::string ValoreConfigIni(const std::string& Nome, const std::string& Default);
  // The user whose name (capitals A to Z) and plain-text password match.
  TUserLogin LoginDorvaUser(const std::string& Nome, const std::string& Password);
  // The companies (sections) of the user's settings text, inactive ones
  // ("<INATTIVA>" in the name) left out.
  std::vector<std::string> ElencoDitteUtente(std::int32_t UserId);
  // Sets DITTA of the user's row: 1 done, -1 when the parameters file is
  // missing. Database errors reach the caller.
  std::int32_t SettaDittaUtente(std::int32_t UtenteId, const std::string& Ditta);
  // Writes a settings key: the user's row (Utente > 0) or the shared row
  // (UTENTE NULL). False when nothing was written: no business database
  // path, the database not opened, or a failed write.
  bool SettaValoreTabX(const std::string& Nome, const std::string& Valore, std::int32_t Utente);
  // A connection to the user database, owned by the store (freed with it; the
  // caller may Close it earlier); null when the parameters file is missing.
  DatabaseConnection* DatabaseDorvaUser();
  // The next value of a generator of the business database, in decimal
  // (stepped by one at each call); empty when the database cannot be
  // reached. Raises Error for a name that is not a plain generator name.
  std::string ValoreGeneratore(const std::string& NomeGeneratore);
  // The parameters file, for reading and writing by the caller.
  std::unique_ptr<IniFile> getFileParametriIni();

  // The full path of the parameters file.
  std::string FileParametri() const { return PercorsoBase + FILE_PARAMETRI; }

  void SetConnectionFactory(ConnectionFactory factory) { factory_ = std::move(factory); }
  UserInterface& Ui() const { return ui_; }

 private:
  struct ConfigUtenti;
  bool ConnettiDatabaseUtenti(DatabaseConnection& c, const std::string& FileUserFdb,
                              const std::string& NomeServer, const std::string& Alias,
                              const std::string& LetteraDiscoServer);
  std::unique_ptr<DatabaseConnection> NuovaConnessione() const;
  bool ParametriEsistono() const;
  // The user database of the parameters file, attached (or created) with the
  // "CONFIG" keys read anew; the keys the operation needs come with it.
  struct ConnessioneUtenti;
  ConnessioneUtenti ApriDatabaseUtenti();
  // The business database named by "Archivio", or null when there is no path
  // or it cannot be opened.
  std::unique_ptr<DatabaseConnection> ApriDatabaseGestionale();

  std::string FILE_PARAMETRI;
  std::string PercorsoBase;
  UserInterface& ui_;
  ConnectionFactory factory_;
  // Connections handed out by DatabaseDorvaUser.
  std::vector<std::unique_ptr<DatabaseConnection>> connessioni_utente_;
};

// The user number of the "Utente" key as a whole number; raises ConvertError
// naming the key and the value otherwise.
std::int32_t UtenteComeNumero(const std::string& utente);

}  // namespace et
