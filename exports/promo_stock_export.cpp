#include "exports/promo_stock_export.h"

#include <initializer_list>
#include <optional>

#include "exports/cell_text.h"
#include "exports/statement_text.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/stop_signals.h"
#include "platform/text_file.h"

namespace et {
namespace {

// The article and extension pairs of the price list, in the server's order.
// The list number is pasted into the text, which goes to the server as it is.
std::string PairsStatement(std::int32_t price_list) {
  return SqlLines({
      "SELECT",
      "  CODICEARTICOLO AS CODICE,",
      "  ESTCODICE      AS ESTENSIONE",
      "FROM",
      "  LISTSCDTNET",
      "WHERE",
      "  IDLISTSC=" + std::to_string(price_list),
      "GROUP BY",
      "  CODICEARTICOLO,",
      "  ESTCODICE",
  });
}

// The promotion of one pair in force today: the one with the latest start,
// where a missing date counts as today.
std::string PromotionStatement(std::int32_t price_list) {
  return SqlLines({
      "SELECT FIRST 1",
      "  COALESCE(QUANTITASCAGLIONE,0)             AS QTSTOCK,",
      "  COALESCE(DATAINIZIOVALIDITA,CURRENT_DATE) AS DATAPROMO,",
      "  COALESCE(PREZZO,0)                        AS PREZZOPROMO",
      "FROM",
      "  LISTSCDTNET",
      "WHERE",
      "  IDLISTSC=" + std::to_string(price_list),
      "  AND",
      "  CODICEARTICOLO=:CODICE",
      "  AND",
      "  ESTCODICE=:ESTENSIONE",
      "  AND",
      "  CURRENT_DATE BETWEEN",
      "    COALESCE(DATAINIZIOVALIDITA,CURRENT_DATE)",
      "    AND",
      "    COALESCE(DATAFINEVALIDITA,CURRENT_DATE)",
      "ORDER BY",
      "  DATAPROMO DESC",
  });
}

// The quantity already ordered at a promotion (identified by its start date);
// the log keeps "no extension" as NULL or "0".
std::string OrderedStatement() {
  return SqlLines({
      "SELECT",
      "  COALESCE(SUM(QUANTITAORDINE),0)",
      "FROM",
      "  LOGPROMOSTOCK",
      "WHERE",
      "  CODICEARTICOLO=:CODICE",
      "  AND",
      "  COALESCE(ESTENSIONE,'0')=:ESTENSIONE",
      "  AND",
      "  DATAPROMO=:DATAPROMO",
      "  AND",
      "  STATUS='ATTIVO'",
  });
}

// One line per pair with a promotion in force, written as soon as its pair
// has been read. B and C are only re-executed: their parameters take the
// values of the current rows with their own types, NULL included.
void WriteLines(fb::Transaction& transaction, fb::Statement& pairs, fb::Statement& promotion,
                fb::Statement& ordered, TextFileWriter& file, const RegionalSettings& rs) {
  pairs.Execute(transaction);
  while (pairs.HasRow()) {
    ThrowIfStopRequested();
    const fb::Value& code = pairs.Field("CODICE");
    const fb::Value& extension = pairs.Field("ESTENSIONE");

    promotion.Close();
    promotion.Set("CODICE", code);
    promotion.Set("ESTENSIONE", extension);
    promotion.Execute(transaction);
    if (promotion.HasRow()) {
      ordered.Close();
      ordered.Set("CODICE", code);
      ordered.Set("ESTENSIONE", extension);
      ordered.Set("DATAPROMO", promotion.Field("DATAPROMO"));
      ordered.Execute(transaction);

      std::string extension_text = WithoutLineBreaks(fb::ValueToText(extension, rs));
      if (extension_text == "0") extension_text.clear();
      // Each quantity is cut to a whole number before the subtraction; the
      // difference is worked out in 64 bits so that it cannot overflow.
      const std::int64_t available = std::int64_t{fb::ValueToInt32(promotion.Field("QTSTOCK"))} -
                                     std::int64_t{fb::ValueToInt32(ordered.Field(0))};

      file.WriteLine(WithoutLineBreaks(fb::ValueToText(code, rs)) + ";" + extension_text + ";" +
                     std::to_string(available) + ";" +
                     FormatFixed2(fb::ValueToDouble(promotion.Field("PREZZOPROMO")), rs));
    }
    pairs.Next();
  }
}

}  // namespace

std::string WritePromoStockFile(const std::string& path, fb::Attachment& attachment,
                                std::int32_t price_list, const RegionalSettings& rs) {
  // Closed (and so given its name) only after the rollback; an error before
  // that leaves the previous file.
  std::optional<TextFileWriter> file;
  {
    fb::Transaction transaction(attachment, fb::TransactionOptions::ServerDefaults());
    {
      fb::Statement pairs(attachment, transaction, PairsStatement(price_list),
                          fb::ParamMode::kNone);
      fb::Statement promotion(attachment, transaction, PromotionStatement(price_list),
                              fb::ParamMode::kNamed);
      fb::Statement ordered(attachment, transaction, OrderedStatement(), fb::ParamMode::kNamed);

      file.emplace(path, TextFileWriter::Mode::kCreate);
      file->WriteLine(kPromoStockHeader);
      WriteLines(transaction, pairs, promotion, ordered, *file, rs);
    }
    transaction.Rollback();
  }
  file->Close();
  return path;
}

}  // namespace et
