#include "exports/price_list_export.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "exports/cell_text.h"
#include "exports/statement_text.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/stop_signals.h"
#include "platform/strings.h"
#include "platform/text_file.h"

namespace et {
namespace {

// Statement A: the articles and prices of the band, in the procedure's order.
// The band is a number, written into the text: the procedure's parameter.
std::string ArticlesStatement(std::int32_t band) {
  return SqlLines({
      "SELECT",
      "  P.ARTICOLO,",
      "  P.DESCRIZIONE,",
      "  C1.DESCRIZIONE AS C1DESC,",
      "  C1.DESCRIZIONE1 AS C1DESC1,",
      "  C2.DESCRIZIONE AS C2DESC,",
      "  C2.DESCRIZIONE1 AS C2DESC2,",
      "  REPLACE(ROUND(P.PREZZONETTO,2)||'','.',','),",
      "  REPLACE(ROUND(P.SCONTOUNO,2)||'','.',','),",
      "  REPLACE(ROUND(P.SCONTODUE,2)||'','.',','),",
      "  REPLACE(ROUND(P.SCONTOTRE,2)||'','.',','),",
      "  P.LISTINO_APP",
      "FROM",
      "  PREPARAPREZZO(" + std::to_string(band) + ",'',CURRENT_DATE) P",
      "  LEFT JOIN ANAMAG A ON",
      "  P.ARTICOLO=A.CODICE",
      "  LEFT JOIN CLASSIFICAZIONE1 C1 ON",
      "  C1.DESCRIZIONE=A.CLASSIFICAZIONE1",
      "  LEFT JOIN CLASSIFICAZIONE2 C2 ON",
      "  C2.DESCRIZIONE=A.CLASSIFICAZIONE2",
  });
}

// Statement B: the band's net price lists with a scale row of positive
// quantity for the article. The quantity test deliberately ignores the
// validity dates: such a list takes part and may add no entry.
std::string PriceListsStatement(std::int32_t band) {
  return SqlLines({
      "SELECT",
      "  L.ID,",
      "  L.CAMPOSEL1,",
      "  L.CAMPOSEL2,",
      "  L.CAMPOSEL3",
      "FROM",
      "  FASCESCDT F",
      "  INNER JOIN LISTSC L ON",
      "  F.IDLISTINO=L.ID",
      "WHERE",
      "  F.IDFASCIA=" + std::to_string(band),
      "  AND",
      "  L.TIPO='N'",
      "  AND",
      "  (",
      "    SELECT",
      "      COUNT(*)",
      "    FROM",
      "      LISTSCDTNET N",
      "    WHERE",
      "      N.IDLISTSC=L.ID",
      "      AND",
      "      N.CODICEARTICOLO=:ARTICOLO",
      "      AND",
      "      TRIM('0' FROM COALESCE(N.ESTCODICE,''))=TRIM('0' FROM :ESTENSIONE)",
      "      AND N.QUANTITASCAGLIONE>0",
      "  )>0",
  });
}

// Statement C: the scale rows of one list valid today, smallest quantity first.
std::string ScaleRowsStatement() {
  return SqlLines({
      "SELECT",
      "  LISTSCDTNET.IDLISTSC,",
      "  (",
      "    REPLACE(",
      "      ROUND(LISTSCDTNET.PREZZO,2)||'',",
      "      '.',",
      "      ','",
      "    )",
      "  ) AS PREZZO,",
      "  LISTSCDTNET.QUANTITASCAGLIONE",
      "FROM",
      "  LISTSCDTNET",
      "WHERE",
      "  LISTSCDTNET.CODICEARTICOLO=:ARTICOLO",
      "  AND",
      "  TRIM('0' FROM COALESCE(LISTSCDTNET.ESTCODICE,''))=TRIM('0' FROM :ESTENSIONE)",
      "  AND",
      "  LISTSCDTNET.IDLISTSC=:ID",
      "  AND",
      "  (",
      "    LISTSCDTNET.DATAINIZIOVALIDITA IS NULL",
      "    OR",
      "    LISTSCDTNET.DATAINIZIOVALIDITA<=CURRENT_DATE",
      "  )",
      "  AND",
      "  (",
      "    LISTSCDTNET.DATAFINEVALIDITA IS NULL",
      "    OR",
      "    CURRENT_DATE<=LISTSCDTNET.DATAFINEVALIDITA",
      "  )",
      "ORDER BY",
      "  LISTSCDTNET.QUANTITASCAGLIONE ASC",
  });
}

// The extension the web catalogue publishes: only the article's base code,
// which the trimming of zeros in B and C matches with NULL, "" or "000".
constexpr const char* kExtension = "0";

struct ScaleRow {
  std::int64_t quantity = 0;
  std::string price;
};

// Appends "from-to price" CR LF for each row of one price list. A row reaches
// up to the next row's quantity minus one, the last one up to 999. A row
// whose bounds are both 0 (or below) gives nothing, and so does a last row
// without a positive quantity; equal quantities give a range such as 4-3,
// which the web import accepts as it is.
void AppendScaleRanges(const std::vector<ScaleRow>& rows, std::string& text) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::int64_t q = rows[i].quantity;
    if (i + 1 < rows.size()) {
      const std::int64_t u = rows[i + 1].quantity - 1;
      if (q > 0 || u > 0) {
        text += std::to_string(q) + "-" + std::to_string(u) + " " + rows[i].price + "\r\n";
      }
    } else if (q > 0) {
      text += std::to_string(q) + "-999 " + rows[i].price + "\r\n";
    }
  }
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (std::size_t hit; (hit = text.find(from, pos)) != std::string::npos;
       pos = hit + from.size()) {
    out.append(text, pos, hit - pos);
    out += to;
  }
  out.append(text, pos, std::string::npos);
  return out;
}

}  // namespace

std::string CleanCell(std::string_view text) {
  return WithoutLineBreaks(ReplaceAll(ApostrophesToAcuteAccent(text), "\r\n", " "));
}

std::string WritePriceListFile(const std::string& path, fb::Attachment& attachment,
                               std::int32_t band, const RegionalSettings& rs) {
  fb::Transaction transaction(attachment, fb::TransactionOptions::ServerDefaults());
  const std::string articles_sql = ArticlesStatement(band);
  const std::string price_lists_sql = PriceListsStatement(band);
  const std::string scale_rows_sql = ScaleRowsStatement();

  // B and C are prepared on their first use and then only re-executed, once
  // per article and price list. The file takes its name only at Close: a bad
  // statement leaves the previous file as it was.
  std::optional<fb::Statement> price_lists;
  std::optional<fb::Statement> scale_rows;
  {
    TextFileWriter file(path, TextFileWriter::Mode::kCreate);
    file.WriteLine(kPriceListHeader);

    fb::Statement articles(attachment, transaction, articles_sql, fb::ParamMode::kNone);
    articles.Execute(transaction);
    const std::size_t written_columns = articles.ColumnCount() - 1;  // LISTINO_APP stays out
    std::vector<ScaleRow> rows;
    for (; articles.HasRow(); articles.Next()) {
      ThrowIfStopRequested();
      const std::string article = fb::ValueToText(articles.Field(0), rs);
      std::string promo_cell;

      if (!price_lists)
        price_lists.emplace(attachment, transaction, price_lists_sql, fb::ParamMode::kNamed);
      price_lists->Close();
      price_lists->Set("ARTICOLO", fb::Text(article));
      price_lists->Set("ESTENSIONE", fb::Text(kExtension));
      for (price_lists->Execute(transaction); price_lists->HasRow(); price_lists->Next()) {
        ThrowIfStopRequested();
        if (!scale_rows)
          scale_rows.emplace(attachment, transaction, scale_rows_sql, fb::ParamMode::kNamed);
        scale_rows->Close();
        scale_rows->Set("ARTICOLO", fb::Text(article));
        scale_rows->Set("ESTENSIONE", fb::Text(kExtension));
        scale_rows->Set("ID", fb::Int(fb::ValueToInt32(price_lists->Field("ID"))));
        rows.clear();
        for (scale_rows->Execute(transaction); scale_rows->HasRow(); scale_rows->Next()) {
          ThrowIfStopRequested();
          rows.push_back({fb::ValueToInt32(scale_rows->Field("QUANTITASCAGLIONE")),
                          fb::ValueToText(scale_rows->Field("PREZZO"), rs)});
        }
        AppendScaleRanges(rows, promo_cell);
      }

      std::string line;
      for (std::size_t i = 0; i < written_columns; ++i) {
        line += CleanCell(fb::ValueToText(articles.Field(i), rs));
        line += ';';
      }
      if (!promo_cell.empty()) {
        promo_cell.resize(promo_cell.size() - 2);  // the final CR LF
        promo_cell = "\"" + promo_cell + "\"";
      }
      line += promo_cell;
      line += ';';
      file.WriteLine(line);
    }
    file.Close();
  }
  scale_rows.reset();
  price_lists.reset();
  transaction.Rollback();
  return path;
}

}  // namespace et
