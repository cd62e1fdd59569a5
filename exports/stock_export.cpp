#include "exports/stock_export.h"

#include "exports/statement_text.h"
#include "platform/text_file.h"

namespace et {
namespace {

std::string StatementText(const std::string& expression) {
  return Righe({
      "SELECT 1 as MAGAZZINO, a.CODICE, SUM(a.QUANTITA) as QUANTITA ",
      "FROM ( ",
      "SELECT ",
      "XX.MAGAZZINO, ",
      "XX.CODICE, ",
      " (" + expression + ")as QUANTITA ",
      "FROM ",
      "\"PROGMAG\" XX ",
      "WHERE ",
      "(((XX.MAGAZZINO=1) and (IDAPERTURA=3)) or((XX.MAGAZZINO=2) and (IDAPERTURA=0)) "
      "or((XX.MAGAZZINO=3) and (IDAPERTURA=0))) and ",
      "(((XX.QUANTITAPRESENTE-ORDINICLI+QPRECARICATA)>0)) ",
      ") a ",
      "GROUP BY a.CODICE",
  });
}

}  // namespace

std::string EsportaGiacenze(const std::string& path, TNuvIni22& store, fb::Transaction& transaction,
                            std::unique_ptr<fb::Statement>& query, const RegionalSettings& rs) {
  TextFileWriter file(path, TextFileWriter::Mode::kCreate);

  std::string expression;
  if (store.ValoreTabX("CAT_TIPOEXPPERGIACENZE", 0) == "1") {
    expression = "QUANTITAPRESENTE-ORDINICLI+QPRECARICATA";
  }
  if (expression.empty()) {
    file.Close();
    return path;
  }

  query.reset();
  query = std::make_unique<fb::Statement>(transaction, StatementText(expression),
                                          fb::ParamMode::kNone);
  query->Execute();
  while (query->HasRow()) {
    file.WriteLine(fb::ValueToText(query->Field("MAGAZZINO"), rs) + ";" +
                   fb::ValueToText(query->Field("CODICE"), rs) + ";" +
                   fb::ValueToText(query->Field("QUANTITA"), rs));
    query->Next();
  }
  file.Close();
  return path;
}

}  // namespace et
