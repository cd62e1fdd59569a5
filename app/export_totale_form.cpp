#include "app/export_totale_form.h"

#include "dbconfig/database_opener.h"
#include "fb/error.h"
#include "platform/paths.h"
#include "publish/ftp_uploader.h"

namespace et {

TExportTotaleForm::TExportTotaleForm(Ambiente ambiente) : ambiente_(std::move(ambiente)) {}

TExportTotaleForm::~TExportTotaleForm() = default;

std::string TExportTotaleForm::Argomento1() const {
  return ambiente_.args.empty() ? std::string() : ambiente_.args.front();
}

bool TExportTotaleForm::IsModoListaPrezzi() const { return Argomento1() == "-p"; }

bool TExportTotaleForm::IsModoPromoStock() const { return Argomento1() == "-s"; }

std::string TExportTotaleForm::PercorsoUscita(const std::string& nome_file) const {
  return WithTrailingSeparator(PercorsoFile) + nome_file;
}

std::unique_ptr<DatabaseConnection> TExportTotaleForm::ConnettiDB() {
  const std::string archivio = NuvIni22->ValoreDorvaUser(
      PercorsoBinIniziale + kPathSeparator + kFileParametri, "Archivio", "");
  if (archivio.empty()) return nullptr;

  auto connessione = std::make_unique<DatabaseConnection>();
  const SplitPath parts = SplitDatabasePath(archivio);
  if (!ApriDatabase(*connessione, parts.directory, parts.file_name, "", "", ambiente_.ui)) {
    return nullptr;
  }
  return connessione;
}

void TExportTotaleForm::FormCreate() {
  exit_code_ = kExitRunNonCompletato;
  PercorsoBinIniziale = WithTrailingSeparator(ambiente_.executable_directory);
  NuvIni22 = std::make_unique<TNuvIni22>(ambiente_.ui, PercorsoBinIniziale, kFileParametri);

  if (!FileExists(PercorsoBinIniziale + kFileParametri)) {
    ambiente_.ui.ShowErrorMessage("File PARAMETRIQUORVANDELIX.INI non esistente!");
    return;  // halted: the window stays open until the user closes it
  }

  DatabaseDorvana = ConnettiDB();

  // The auxiliary query is bound to the business database through its
  // transaction, which lasts until the program ends. Without a connection,
  // starting it fails and the run halts in the error box.
  if (!DatabaseDorvana) {
    throw fb::DatabaseError(
        "Database gestionale non connesso: impossibile avviare la transazione");
  }
  QueryAux1.transaction = std::make_unique<fb::Transaction>(
      DatabaseDorvana->Attachment(), fb::TransactionOptions::ServerDefaults());

  NumUtente = NuvIni22->NumeroUtente();

  PercorsoFile = NuvIni22->ValoreTabX("DIRCATINTERNET", 0);
  if (PercorsoFile.empty()) {
    ambiente_.ui.ShowMessage("DIRCATINTERNET mancante");
    return;  // halted
  }

  if (IsModoListaPrezzi()) {
    if (EseguiExportListaPrezzi()) exit_code_ = kExitRunCompletato;
  } else if (IsModoPromoStock()) {
    if (EseguiExportPromoStock()) exit_code_ = kExitRunCompletato;
  } else {
    const std::string file_generato = exporttotale();
    InviaFtp(file_generato);
    EseguiScriptGiacenze();
    exit_code_ = kExitRunCompletato;
  }

  closed_ = true;
  FormClose();
}

void TExportTotaleForm::FormClose() {
  NuvIni22.reset();
  terminate_requested_ = true;
}

}  // namespace et
