#include "app/export_totale_form.h"
#include "exports/stock_export.h"

namespace et {

// The stock availability file in the export directory. A directory setting
// without a final separator still puts the file inside the directory.
std::string TExportTotaleForm::exporttotale() {
  return EsportaGiacenze(PercorsoUscita(kFileGiacenze), *NuvIni22, *QueryAux1.transaction,
                         QueryAux1.statement, ambiente_.regional);
}

}  // namespace et
