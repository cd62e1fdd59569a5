#include <cstdint>
#include <exception>
#include <string>

#include "app/export_totale_form.h"
#include "exports/promo_stock_export.h"
#include "platform/error.h"
#include "platform/process.h"
#include "platform/regional.h"

namespace et {

// Each field is assigned before it is checked, so a failed check leaves the
// fields read so far filled.
void TExportTotaleForm::CheckParametriPromoStock() {
  FCatExpPromoStockNomeFile = NuvIni22->ValoreTabX("CAT_EXPPROMOSTOCK_NOMEFILE", 0);
  if (FCatExpPromoStockNomeFile.empty()) {
    throw Error("Nome file promo a stock non parametrizzato");
  }
  FCatExpPromoStockScript = NuvIni22->ValoreTabX("CAT_EXPPROMOSTOCK_SCRIPT", 0);
  if (FCatExpPromoStockScript.empty()) {
    throw Error("Script HTTP promo a stock non parametrizzato");
  }
  std::int32_t listino = 0;
  if (!TryParseInt32(NuvIni22->ValoreTabX("ListinoStock", 0), listino)) listino = 0;
  FCatExpPromoStockListino = listino;
  if (FCatExpPromoStockListino == 0) {
    throw Error("Listino promo a stock non parametrizzato o non valido");
  }
}

// The run stops at the first failing step and reports it on standard output
// only: the scheduler reads the exit code, the operator the line. When that
// line cannot be written, the write error goes on to the run driver.
bool TExportTotaleForm::EseguiExportPromoStock() {
  bool riuscito = true;
  try {
    CheckParametriPromoStock();
    const std::string file_generato = ExportPromoStock();
    InviaFtp(file_generato);  // a failed upload is logged there and the run goes on
    EseguiScriptPromoStock();
  } catch (const std::exception& e) {
    riuscito = false;
    WriteStdoutLine(e.what());
  }
  return riuscito;
}

std::string TExportTotaleForm::ExportPromoStock() {
  const std::string percorso = PercorsoUscita(FCatExpPromoStockNomeFile);
  return EsportaPromoStock(percorso, DatabaseDorvana->Attachment(), FCatExpPromoStockListino,
                           ambiente_.regional);
}

void TExportTotaleForm::EseguiScriptPromoStock() { EseguiScriptHTTP(FCatExpPromoStockScript); }

}  // namespace et
