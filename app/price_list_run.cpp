// The price-list run "-p": settings check, markup consolidation, the static
// price-list file, the customers-and-markups file, their uploads and the two
// trigger scripts, in that order.
#include <exception>

#include "app/export_totale_form.h"
#include "exports/customers_export.h"
#include "exports/markup_consolidation.h"
#include "exports/price_list_export.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace et {

void TExportTotaleForm::CheckParametriListaPrezzi() {
  if (!DirectoryExists(PercorsoFile)) {
    throw Error("Directory export \"" + PercorsoFile + "\" non trovata");
  }

  // Each field is set before its check, as the later steps read the fields.
  FCatExpPrVenNomeFile = NuvIni22->ValoreTabX("CAT_EXPPRVEN_NOMEFILE", 0);
  if (FCatExpPrVenNomeFile.empty()) throw Error("Nome file listini statici non parametrizzato");

  FCatExpPrVenScript = NuvIni22->ValoreTabX("CAT_EXPPRVEN_SCRIPT", 0);
  if (FCatExpPrVenScript.empty()) throw Error("Script HTTP listini statici non parametrizzato");

  FCatExpPrVenFascia = NuvIni22->ValoreTabX("CAT_EXPPRVEN_FASCIA", 0);
  if (FCatExpPrVenFascia.empty()) throw Error("Fascia listino di riferimento non parametrizzata");
  // The band stays a text: the price-list statements paste it in as it is.
  std::int32_t fascia = 0;
  if (!TryParseInt32(FCatExpPrVenFascia, fascia)) {
    throw Error("Fascia listino " + FCatExpPrVenFascia + " di riferimento non valida");
  }

  FCatExpPrVenNomeFile2 = NuvIni22->ValoreTabX("CAT_EXPPRVEN_NOMEFILE2", 0);
  if (FCatExpPrVenNomeFile2.empty()) {
    throw Error("Nome file clienti e ricarichi non parametrizzato");
  }

  FCatExpPrVenScript2 = NuvIni22->ValoreTabX("CAT_EXPPRVEN_SCRIPT2", 0);
  if (FCatExpPrVenScript2.empty()) {
    throw Error("Script HTTP clienti e ricarichi non parametrizzato");
  }

  // An installation without a default band is normal: it reads as band 0.
  FFasciaDefault = 0;
  try {
    std::int32_t fascia_default = 0;
    if (TryParseInt32(NuvIni22->ValoreTabX("FasciaDefault", 0), fascia_default)) {
      FFasciaDefault = fascia_default;
    }
  } catch (const std::exception&) {
    FFasciaDefault = 0;
  }
}

bool TExportTotaleForm::EseguiExportListaPrezzi() {
  bool risultato = true;
  try {
    CheckParametriListaPrezzi();
    // Before either file, so the customers file carries the new markups.
    ConsolidaRicarichiClienti();
    InviaFtp(ExportPrezzi());
    InviaFtp(ExportClientiERicarichi());
    EseguiScriptPrezzi();
    EseguiScriptRicarichiClienti();
  } catch (const std::exception& e) {
    risultato = false;
    // A failure to write this line is not caught here: the driver halts.
    WriteStdoutLine(e.what());
  }
  return risultato;
}

std::string TExportTotaleForm::ExportPrezzi() {
  return EsportaPrezzi(PercorsoUscita(FCatExpPrVenNomeFile), DatabaseDorvana->Attachment(),
                       FCatExpPrVenFascia, ambiente_.regional);
}

void TExportTotaleForm::ConsolidaRicarichiClienti() {
  ConsolidaRicarichi(DatabaseDorvana->Attachment(), FFasciaDefault, ambiente_.regional);
}

std::string TExportTotaleForm::ExportClientiERicarichi() {
  return EsportaClientiERicarichi(PercorsoUscita(FCatExpPrVenNomeFile2),
                                  DatabaseDorvana->Attachment(), ambiente_.regional);
}

void TExportTotaleForm::EseguiScriptPrezzi() { EseguiScriptHTTP(FCatExpPrVenScript); }

void TExportTotaleForm::EseguiScriptRicarichiClienti() { EseguiScriptHTTP(FCatExpPrVenScript2); }

}  // namespace et
