#include "exports/promo_stock_export.h"

#include <initializer_list>
#include <optional>

#include "exports/statement_text.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/text_file.h"

namespace et {
namespace {

// The article and extension pairs of the price list, in the server's order.
// The list number is pasted into the text, which goes to the server as it is.
std::string TestoCoppie(std::int32_t listino) {
  return Righe({
      "SELECT",
      "  CODICEARTICOLO AS CODICE,",
      "  ESTCODICE      AS ESTENSIONE",
      "FROM",
      "  LISTSCDTNET",
      "WHERE",
      "  IDLISTSC=" + std::to_string(listino),
      "GROUP BY",
      "  CODICEARTICOLO,",
      "  ESTCODICE",
  });
}

// The promotion of one pair in force today: the one with the latest start,
// where a missing date counts as today.
std::string TestoPromozione(std::int32_t listino) {
  return Righe({
      "SELECT FIRST 1",
      "  COALESCE(QUANTITASCAGLIONE,0)             AS QTSTOCK,",
      "  COALESCE(DATAINIZIOVALIDITA,CURRENT_DATE) AS DATAPROMO,",
      "  COALESCE(PREZZO,0)                        AS PREZZOPROMO",
      "FROM",
      "  LISTSCDTNET",
      "WHERE",
      "  IDLISTSC=" + std::to_string(listino),
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
std::string TestoOrdinato() {
  return Righe({
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
void ScriviRighe(fb::Statement& coppie, fb::Statement& promozione, fb::Statement& ordinato,
                 TextFileWriter& file, const RegionalSettings& rs) {
  coppie.Execute();
  while (coppie.HasRow()) {
    const fb::Value& codice = coppie.Field("CODICE");
    const fb::Value& estensione = coppie.Field("ESTENSIONE");

    promozione.Close();
    promozione.Set("CODICE", codice);
    promozione.Set("ESTENSIONE", estensione);
    promozione.Execute();
    if (promozione.HasRow()) {
      ordinato.Close();
      ordinato.Set("CODICE", codice);
      ordinato.Set("ESTENSIONE", estensione);
      ordinato.Set("DATAPROMO", promozione.Field("DATAPROMO"));
      ordinato.Execute();

      std::string testo_estensione = fb::ValueToText(estensione, rs);
      if (testo_estensione == "0") testo_estensione.clear();
      // Each quantity is cut to a whole number before the subtraction; the
      // difference is worked out in 64 bits so that it cannot overflow.
      const std::int64_t disponibile = std::int64_t{fb::ValueToInt32(promozione.Field("QTSTOCK"))} -
                                       std::int64_t{fb::ValueToInt32(ordinato.Field(0))};

      file.WriteLine(fb::ValueToText(codice, rs) + ";" + testo_estensione + ";" +
                     std::to_string(disponibile) + ";" +
                     FormatFixed2(fb::ValueToDouble(promozione.Field("PREZZOPROMO")), rs));
    }
    coppie.Next();
  }
}

}  // namespace

std::string EsportaPromoStock(const std::string& path, fb::Attachment& attachment,
                              std::int32_t listino, const RegionalSettings& rs) {
  // Declared first so that it is closed last, after the rollback, also when
  // an error leaves this function: it then keeps every line written so far.
  std::optional<TextFileWriter> file;
  {
    fb::Transaction transaction(attachment, fb::TransactionOptions::ServerDefaults());
    {
      fb::Statement coppie(transaction, TestoCoppie(listino), fb::ParamMode::kNone);
      fb::Statement promozione(transaction, TestoPromozione(listino), fb::ParamMode::kNamed);
      fb::Statement ordinato(transaction, TestoOrdinato(), fb::ParamMode::kNamed);

      file.emplace(path, TextFileWriter::Mode::kCreate);
      file->WriteLine(kIntestazionePromoStock);
      ScriviRighe(coppie, promozione, ordinato, *file, rs);
    }
    transaction.Rollback();
  }
  file->Close();
  return path;
}

}  // namespace et
