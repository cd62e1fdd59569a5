// The configuration store: follows the parameters file to the user database,
// reads the user's settings text, and reads settings keys from TABX in the
// business database. Nothing is cached: every read opens the files and the
// databases it needs and closes them before it returns.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "dbconfig/connection.h"
#include "platform/ui.h"

namespace et {

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

  std::string FILE_PARAMETRI;
  std::string PercorsoBase;
  UserInterface& ui_;
  ConnectionFactory factory_;
};

// The user number of the "Utente" key as a whole number; raises ConvertError
// naming the key and the value otherwise.
std::int32_t UtenteComeNumero(const std::string& utente);

}  // namespace et
