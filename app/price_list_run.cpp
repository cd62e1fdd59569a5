#include "app/export_totale_form.h"

namespace et {

// Stand-ins until the price-list run is built.
void TExportTotaleForm::CheckParametriListaPrezzi() { throw Error("Listini: non ancora disponibile"); }
bool TExportTotaleForm::EseguiExportListaPrezzi() { throw Error("Listini: non ancora disponibile"); }
std::string TExportTotaleForm::ExportPrezzi() { throw Error("Listini: non ancora disponibile"); }
void TExportTotaleForm::ConsolidaRicarichiClienti() { throw Error("Listini: non ancora disponibile"); }
std::string TExportTotaleForm::ExportClientiERicarichi() { throw Error("Listini: non ancora disponibile"); }
void TExportTotaleForm::EseguiScriptPrezzi() { throw Error("Listini: non ancora disponibile"); }
void TExportTotaleForm::EseguiScriptRicarichiClienti() { throw Error("Listini: non ancora disponibile"); }

}  // namespace et
