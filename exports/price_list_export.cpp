#include "exports/price_list_export.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "exports/statement_text.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/text_file.h"

namespace et {
namespace {

// The web import reads the apostrophe as a string delimiter.
constexpr std::string_view kAccentoAcuto = "\xC2\xB4";  // U+00B4 in UTF-8

// Statement A: the articles and prices of the band, in the procedure's order.
std::string TestoArticoli(const std::string& fascia) {
  return Righe({
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
      "  PREPARAPREZZO(" + fascia + ",'',CURRENT_DATE) P",
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
std::string TestoListini(const std::string& fascia) {
  return Righe({
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
      "  F.IDFASCIA=" + fascia,
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
std::string TestoScaglioni() {
  return Righe({
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
constexpr const char* kEstensione = "0";

struct Scaglione {
  std::int64_t quantita = 0;
  std::string prezzo;
};

// Appends "from-to price" CR LF for each row of one price list. A row reaches
// up to the next row's quantity minus one, the last one up to 999. A row
// whose bounds are both 0 (or below) gives nothing, and so does a last row
// without a positive quantity; equal quantities give a range such as 4-3,
// which the web import accepts as it is.
void AggiungiScaglioni(const std::vector<Scaglione>& righe, std::string& testo) {
  for (std::size_t i = 0; i < righe.size(); ++i) {
    const std::int64_t q = righe[i].quantita;
    if (i + 1 < righe.size()) {
      const std::int64_t u = righe[i + 1].quantita - 1;
      if (q > 0 || u > 0) {
        testo += std::to_string(q) + "-" + std::to_string(u) + " " + righe[i].prezzo + "\r\n";
      }
    } else if (q > 0) {
      testo += std::to_string(q) + "-999 " + righe[i].prezzo + "\r\n";
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

std::string PulisciValore(std::string_view text) {
  return ReplaceAll(ReplaceAll(std::string(text), "'", kAccentoAcuto), "\r\n", " ");
}

std::string EsportaPrezzi(const std::string& path, fb::Attachment& attachment,
                          const std::string& fascia, const RegionalSettings& rs) {
  fb::Transaction transaction(attachment, fb::TransactionOptions::ServerDefaults());
  const std::string testo_a = TestoArticoli(fascia);
  const std::string testo_b = TestoListini(fascia);
  const std::string testo_c = TestoScaglioni();

  // B and C are prepared on their first use and then only re-executed, once
  // per article and price list; the file exists (with its header) before any
  // statement is prepared, so a bad statement leaves the header behind.
  std::optional<fb::Statement> listini;
  std::optional<fb::Statement> scaglioni;
  {
    TextFileWriter file(path, TextFileWriter::Mode::kCreate);
    file.WriteLine(kIntestazioneListinoStatico);

    fb::Statement articoli(transaction, testo_a, fb::ParamMode::kNone);
    articoli.Execute();
    const std::size_t colonne_scritte = articoli.ColumnCount() - 1;  // LISTINO_APP stays out
    std::vector<Scaglione> righe;
    for (; articoli.HasRow(); articoli.Next()) {
      const std::string articolo = fb::ValueToText(articoli.Field(0), rs);
      std::string testo_scaglioni;

      if (!listini) listini.emplace(transaction, testo_b, fb::ParamMode::kNamed);
      listini->Close();
      listini->Set("ARTICOLO", fb::Text(articolo));
      listini->Set("ESTENSIONE", fb::Text(kEstensione));
      for (listini->Execute(); listini->HasRow(); listini->Next()) {
        if (!scaglioni) scaglioni.emplace(transaction, testo_c, fb::ParamMode::kNamed);
        scaglioni->Close();
        scaglioni->Set("ARTICOLO", fb::Text(articolo));
        scaglioni->Set("ESTENSIONE", fb::Text(kEstensione));
        scaglioni->Set("ID", fb::Int(fb::ValueToInt32(listini->Field("ID"))));
        righe.clear();
        for (scaglioni->Execute(); scaglioni->HasRow(); scaglioni->Next()) {
          righe.push_back({fb::ValueToInt32(scaglioni->Field("QUANTITASCAGLIONE")),
                           fb::ValueToText(scaglioni->Field("PREZZO"), rs)});
        }
        AggiungiScaglioni(righe, testo_scaglioni);
      }

      std::string riga;
      for (std::size_t i = 0; i < colonne_scritte; ++i) {
        riga += PulisciValore(fb::ValueToText(articoli.Field(i), rs));
        riga += ';';
      }
      if (!testo_scaglioni.empty()) {
        testo_scaglioni.resize(testo_scaglioni.size() - 2);  // the final CR LF
        testo_scaglioni = "\"" + testo_scaglioni + "\"";
      }
      riga += testo_scaglioni;
      riga += ';';
      file.WriteLine(riga);
    }
    file.Close();
  }
  scaglioni.reset();
  listini.reset();
  transaction.Rollback();
  return path;
}

}  // namespace et
