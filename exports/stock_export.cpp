#include "exports/stock_export.h"

#include "exports/cell_text.h"
#include "exports/field_bytes.h"
#include "exports/statement_text.h"
#include "fb/statement.h"
#include "platform/stop_signals.h"
#include "platform/text_file.h"

namespace et {
namespace {

constexpr const char* kQuantityExpression = "QUANTITAPRESENTE-ORDINICLI+QPRECARICATA";

std::string StockStatement() {
  // The warehouse condition is one line of the statement text, written as
  // two literals only to keep the source narrow.
  const std::string warehouses =
      "(((XX.MAGAZZINO=1) and (IDAPERTURA=3)) or((XX.MAGAZZINO=2) and (IDAPERTURA=0)) "
      "or((XX.MAGAZZINO=3) and (IDAPERTURA=0))) and ";
  return SqlLines({
      "SELECT 1 as MAGAZZINO, a.CODICE, SUM(a.QUANTITA) as QUANTITA ",
      "FROM ( ",
      "SELECT ",
      "XX.MAGAZZINO, ",
      "XX.CODICE, ",
      std::string(" (") + kQuantityExpression + ")as QUANTITA ",
      "FROM ",
      "\"PROGMAG\" XX ",
      "WHERE ",
      warehouses,
      "(((XX.QUANTITAPRESENTE-ORDINICLI+QPRECARICATA)>0)) ",
      ") a ",
      "GROUP BY a.CODICE",
  });
}

}  // namespace

std::string WriteStockFile(const std::string& path, fb::Attachment& attachment,
                           fb::Transaction& transaction, bool with_quantities,
                           const RegionalSettings& rs) {
  TextFileWriter file(path, TextFileWriter::Mode::kCreate);
  if (with_quantities) {
    fb::Statement query(attachment, transaction, StockStatement(), fb::ParamMode::kNone);
    // Hundreds of thousands of lines: the columns are looked up once and
    // each line is formatted into the same buffer, straight in the file's
    // bytes.
    const std::size_t columns[] = {query.ColumnIndex("MAGAZZINO"), query.ColumnIndex("CODICE"),
                                   query.ColumnIndex("QUANTITA")};
    std::string line;
    for (query.Execute(transaction); query.HasRow(); query.Next()) {
      ThrowIfStopRequested();
      line.clear();
      for (const std::size_t column : columns) {
        if (column != columns[0]) line += ';';
        const std::size_t start = line.size();
        AppendFieldBytes(query, column, rs, line);
        BlankLineBreaks(line, start);
      }
      file.WriteBytesLine(line);
    }
  }
  file.Close();
  return path;
}

}  // namespace et
