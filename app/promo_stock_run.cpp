#include "app/export_totale_form.h"

namespace et {

// Stand-ins until the promo-at-stock run is built.
void TExportTotaleForm::CheckParametriPromoStock() { throw Error("Promo a stock: non ancora disponibile"); }
bool TExportTotaleForm::EseguiExportPromoStock() { throw Error("Promo a stock: non ancora disponibile"); }
std::string TExportTotaleForm::ExportPromoStock() { throw Error("Promo a stock: non ancora disponibile"); }
void TExportTotaleForm::EseguiScriptPromoStock() { throw Error("Promo a stock: non ancora disponibile"); }

}  // namespace et
