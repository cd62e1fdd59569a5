// The main window "Export totale": it performs one run while it is being
// created (FormCreate) and holds the run's shared state. Each run's
// operations are defined in the file named for that run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbconfig/connection.h"
#include "dbconfig/nuvini22.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/regional.h"
#include "platform/ui.h"

namespace et {

class TFTPCarica;

// Process exit codes: set first, and set when the chosen run completed.
inline constexpr int kExitRunNonCompletato = 1001;
inline constexpr int kExitRunCompletato = 1000;

inline constexpr const char* kFileParametri = "PARAMETRIQUORVANDELIX.INI";

// What the program entry gives the main window.
struct Ambiente {
  UserInterface& ui;
  RegionalSettings regional;
  const Clock& clock;
  std::vector<std::string> args;      // command-line arguments after the program name
  std::string executable_directory;  // with its trailing separator
};

// The auxiliary query: bound to the business database and to a transaction
// started with the server's defaults, which lasts until the program ends.
struct QueryComponent {
  std::unique_ptr<fb::Transaction> transaction;  // on DatabaseDorvana
  std::unique_ptr<fb::Statement> statement;
};

class TExportTotaleForm {
 public:
  explicit TExportTotaleForm(Ambiente ambiente);
  ~TExportTotaleForm();
  TExportTotaleForm(const TExportTotaleForm&) = delete;
  TExportTotaleForm& operator=(const TExportTotaleForm&) = delete;

  static constexpr const char* kCaption = "Export totale";

  // The run driver: runs while the window is being created.
  void FormCreate();
  // Frees the configuration store and asks the application to terminate.
  void FormClose();

  // The chosen run: "-p" as first argument, "-s" as first argument.
  bool IsModoListaPrezzi() const;
  bool IsModoPromoStock() const;
  // The business database named by "Archivio", or none.
  std::unique_ptr<DatabaseConnection> ConnettiDB();

  // Appends one stamped line to the run log in the export directory.
  void AppendLog(const std::string& Log);

  // Stock availability run.
  std::string exporttotale();
  // Price-list run.
  void CheckParametriListaPrezzi();
  bool EseguiExportListaPrezzi();
  std::string ExportPrezzi();
  void ConsolidaRicarichiClienti();
  std::string ExportClientiERicarichi();
  // Promo-at-stock run.
  void CheckParametriPromoStock();
  bool EseguiExportPromoStock();
  std::string ExportPromoStock();
  // Publishing.
  bool InviaFtp(const std::string& FileGenerato);
  void EseguiScriptHTTP(const std::string& AUrl);
  void EseguiScriptGiacenze();
  void EseguiScriptPrezzi();
  void EseguiScriptRicarichiClienti();
  void EseguiScriptPromoStock();

  // The exit code the process ends with.
  int ExitCode() const { return exit_code_; }
  // True once the run closed the window itself; false while it waits for the
  // user (a halted run).
  bool Closed() const { return closed_; }
  // True once FormClose asked the application to terminate.
  bool TerminateRequested() const { return terminate_requested_; }

  // The run's shared state.
  QueryComponent QueryAux1;
  std::unique_ptr<TNuvIni22> NuvIni22;
  std::unique_ptr<DatabaseConnection> DatabaseDorvana;
  std::int32_t NumUtente = 0;
  std::string PercorsoBinIniziale;
  std::string FCatExpPrVenNomeFile;
  std::string FCatExpPrVenScript;
  std::string FCatExpPrVenFascia;
  std::string FCatExpPrVenNomeFile2;
  std::string FCatExpPrVenScript2;
  std::string FCatExpPromoStockNomeFile;
  std::string FCatExpPromoStockScript;
  std::int32_t FCatExpPromoStockListino = 0;
  std::int32_t FFasciaDefault = 0;
  std::string PercorsoFile;

 private:
  // The output path of a file in the export directory.
  std::string PercorsoUscita(const std::string& nome_file) const;
  std::string Argomento1() const;

  Ambiente ambiente_;
  int exit_code_ = kExitRunNonCompletato;
  bool closed_ = false;
  bool terminate_requested_ = false;
  // Uploaders left behind by a failed connection or upload; released, and
  // disconnected, with the window.
  std::vector<std::unique_ptr<TFTPCarica>> uploaders_;
};

}  // namespace et
