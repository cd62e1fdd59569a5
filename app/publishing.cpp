#include "app/export_totale_form.h"
#include "platform/error.h"
#include "platform/process.h"
#include "publish/ftp_uploader.h"
#include "publish/http_trigger.h"

namespace et {

// Uploads one file with a new uploader. A failed connection or upload goes to
// the run log and the run goes on; a refused change of directory and a run
// log that cannot be written are raised.
bool TExportTotaleForm::InviaFtp(const std::string& FileGenerato) {
  // The window owns the uploader until the upload succeeds; one left behind
  // by a failure is released, and disconnected, with the window.
  uploaders_.push_back(std::make_unique<TFTPCarica>());
  TFTPCarica& uploader = *uploaders_.back();
  uploader.SetHost(NuvIni22->ValoreTabX("CAT_HOSTFTP", 0));
  uploader.SetUsername(NuvIni22->ValoreTabX("CAT_USERFTP", 0));
  uploader.SetPassword(NuvIni22->ValoreTabX("CAT_PWDFTP", 0));

  std::string errore;
  if (!uploader.Connetti(errore)) {
    AppendLog(std::string("Esito upload ftp = ") + "Connessione FTP non riuscita:" + "\r" + errore);
    return false;
  }

  const std::string directory = NuvIni22->ValoreTabX("CAT_DIRFTP", 0);
  if (!directory.empty()) uploader.CambiaDirectory(directory);

  if (!uploader.CaricaFile(FileGenerato, errore)) {
    AppendLog(std::string("Esito upload ftp = ") + "Upload FTP non riuscito:" + "\r" + errore);
    return false;
  }
  uploaders_.pop_back();  // disconnects: QUIT
  return true;
}

void TExportTotaleForm::EseguiScriptHTTP(const std::string& AUrl) { EseguiRichiestaHTTP(AUrl); }

// The stock trigger: a failure becomes one line on standard output and the
// run goes on.
void TExportTotaleForm::EseguiScriptGiacenze() {
  try {
    EseguiRichiestaHTTP(NuvIni22->ValoreTabX("CAT_SCRIPTGIACENZE", 0));
  } catch (const std::exception& e) {
    WriteStdoutLine(std::string(ErrorTypeName(e)) + ": " + e.what());
  }
}

}  // namespace et
