// exporttotale-reference: the least work that writes the files of each run,
// for the benchmark to measure the program against. It runs the same
// statements as the runs (named parameters already turned into "?", as the
// engine receives them) straight on the Firebird OO API: each statement
// prepared once, every row fetched into one fixed buffer laid out by the
// statement's own metadata, each line formatted as the run formats it into
// one string, and the file written with a single write at the end. No upload,
// no trigger request, no settings read: the script passes the settings.
//
//   exporttotale-reference stock DATABASE FILE
//   exporttotale-reference prices DATABASE PRICE_FILE CUSTOMER_FILE BAND DEFAULT_BAND
//       (markup consolidation, price-list file, customers-and-markups file)
//   exporttotale-reference promo DATABASE FILE PRICE_LIST
//
// Connects as SYSDBA with the system's default password, no character set.
// The decimal separator is the one of the process locale (LC_ALL, LANG).
#include <firebird/Interface.h>
#include <langinfo.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace Firebird;

constexpr const char* kUser = "SYSDBA";
constexpr const char* kPassword = "velutrina";

char g_decimal = '.';

std::string Lines(std::initializer_list<const char*> lines) {
  std::string sql;
  for (const char* line : lines) (sql += line) += "\r\n";
  return sql;
}

// ---- A statement with its input and output messages -----------------------

class Query {
 public:
  Query(ThrowStatusWrapper& status, IAttachment* attachment, ITransaction* transaction,
        const std::string& sql)
      : status_(status), transaction_(transaction) {
    statement_ = attachment->prepare(&status_, transaction, static_cast<unsigned>(sql.size()),
                                     sql.c_str(), 3, IStatement::PREPARE_PREFETCH_METADATA);
    in_ = statement_->getInputMetadata(&status_);
    out_ = statement_->getOutputMetadata(&status_);
    in_buffer_.assign(in_->getMessageLength(&status_), 0);
    out_buffer_.assign(out_->getMessageLength(&status_), 0);
  }
  ~Query() {
    if (cursor_) cursor_->release();
    out_->release();
    in_->release();
    statement_->release();
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  // Runs a statement that returns no rows (or a single one into the output).
  void Execute() {
    statement_->execute(&status_, transaction_, in_, in_buffer_.data(), out_, out_buffer_.data());
  }
  void Open() {
    Close();
    cursor_ = statement_->openCursor(&status_, transaction_, in_, in_buffer_.data(), out_, 0);
  }
  bool Fetch() { return cursor_->fetchNext(&status_, out_buffer_.data()) == IStatus::RESULT_OK; }
  void Close() {
    if (!cursor_) return;
    cursor_->close(&status_);
    cursor_ = nullptr;
  }

  unsigned Columns() { return out_->getCount(&status_); }
  const char* Alias(unsigned i) { return out_->getAlias(&status_, i); }

  // Output values.
  bool IsNull(unsigned i) {
    return *reinterpret_cast<const short*>(&out_buffer_[out_->getNullOffset(&status_, i)]) != 0;
  }
  // A text column as stored; NULL gives an empty text.
  std::string_view Text(unsigned i) {
    if (IsNull(i)) return {};
    const unsigned char* p = &out_buffer_[out_->getOffset(&status_, i)];
    switch (out_->getType(&status_, i) & ~1u) {
      case SQL_VARYING:
        return {reinterpret_cast<const char*>(p) + 2, *reinterpret_cast<const unsigned short*>(p)};
      case SQL_TEXT:
        return {reinterpret_cast<const char*>(p), out_->getLength(&status_, i)};
    }
    throw std::runtime_error("column is not a text");
  }
  // An exact number column: the stored integer and its scale.
  std::int64_t Scaled(unsigned i, int& scale) {
    scale = out_->getScale(&status_, i);
    if (IsNull(i)) return 0;
    const unsigned char* p = &out_buffer_[out_->getOffset(&status_, i)];
    switch (out_->getType(&status_, i) & ~1u) {
      case SQL_SHORT:
        return *reinterpret_cast<const std::int16_t*>(p);
      case SQL_LONG:
        return *reinterpret_cast<const std::int32_t*>(p);
      case SQL_INT64:
        return *reinterpret_cast<const std::int64_t*>(p);
    }
    throw std::runtime_error("column is not an exact number");
  }
  // An exact number taken as a whole number, cut toward zero.
  std::int64_t Whole(unsigned i) {
    int scale = 0;
    std::int64_t v = Scaled(i, scale);
    for (; scale < 0; ++scale) v /= 10;
    return v;
  }
  double Double(unsigned i) {
    if (IsNull(i)) return 0;
    return *reinterpret_cast<const double*>(&out_buffer_[out_->getOffset(&status_, i)]);
  }

  // Input values.
  void SetNull(unsigned i) { InNull(i) = -1; }
  void SetText(unsigned i, std::string_view text) {
    InNull(i) = 0;
    unsigned char* p = &in_buffer_[in_->getOffset(&status_, i)];
    const unsigned length = in_->getLength(&status_, i);
    if (text.size() > length) throw std::runtime_error("parameter text too long");
    if ((in_->getType(&status_, i) & ~1u) == SQL_VARYING) {
      *reinterpret_cast<unsigned short*>(p) = static_cast<unsigned short>(text.size());
      std::memcpy(p + 2, text.data(), text.size());
    } else {
      std::memset(p, ' ', length);
      std::memcpy(p, text.data(), text.size());
    }
  }
  void SetInt(unsigned i, std::int64_t v) {
    InNull(i) = 0;
    unsigned char* p = &in_buffer_[in_->getOffset(&status_, i)];
    switch (in_->getType(&status_, i) & ~1u) {
      case SQL_SHORT:
        *reinterpret_cast<std::int16_t*>(p) = static_cast<std::int16_t>(v);
        return;
      case SQL_LONG:
        *reinterpret_cast<std::int32_t*>(p) = static_cast<std::int32_t>(v);
        return;
      case SQL_INT64:
        *reinterpret_cast<std::int64_t*>(p) = v;
        return;
    }
    throw std::runtime_error("parameter is not an integer");
  }
  // Copies column `column` of another query's current row, NULL included,
  // into parameter i (same type on both sides).
  void SetFrom(unsigned i, Query& other, unsigned column) {
    if (other.IsNull(column)) return SetNull(i);
    const unsigned type = other.out_->getType(&status_, column) & ~1u;
    if (type == SQL_VARYING || type == SQL_TEXT) return SetText(i, other.Text(column));
    InNull(i) = 0;
    std::memcpy(&in_buffer_[in_->getOffset(&status_, i)],
                &other.out_buffer_[other.out_->getOffset(&status_, column)],
                in_->getLength(&status_, i));
  }

 private:
  short& InNull(unsigned i) {
    return *reinterpret_cast<short*>(&in_buffer_[in_->getNullOffset(&status_, i)]);
  }

  ThrowStatusWrapper& status_;
  ITransaction* transaction_;
  IStatement* statement_ = nullptr;
  IResultSet* cursor_ = nullptr;
  IMessageMetadata* in_ = nullptr;
  IMessageMetadata* out_ = nullptr;
  std::vector<unsigned char> in_buffer_;
  std::vector<unsigned char> out_buffer_;
};

// ---- Number texts as the runs write them ------------------------------------

// Shortest form of an exact number: no trailing zeros after the separator.
void AppendScaled(std::string& out, std::int64_t value, int scale) {
  if (value < 0) out += '-';
  std::string digits = std::to_string(value < 0 ? -static_cast<std::uint64_t>(value)
                                                : static_cast<std::uint64_t>(value));
  if (scale >= 0) {
    out += digits;
    if (value != 0) out.append(static_cast<std::size_t>(scale), '0');
    return;
  }
  const std::size_t decimals = static_cast<std::size_t>(-scale);
  if (digits.size() <= decimals) digits.insert(0, decimals - digits.size() + 1, '0');
  std::size_t end = digits.size();
  while (end > digits.size() - decimals && digits[end - 1] == '0') --end;
  out.append(digits, 0, digits.size() - decimals);
  if (end > digits.size() - decimals) {
    out += g_decimal;
    out.append(digits, digits.size() - decimals, end - (digits.size() - decimals));
  }
}

// "#####0.00": two decimals, an exact half rounded away from zero.
void AppendFixed2(std::string& out, double value) {
  char buffer[512];
  const double eighths = value * 8;
  if (std::fabs(eighths) < 0x1p53 && eighths == std::trunc(eighths) &&
      std::fmod(eighths, 2.0) != 0.0) {
    const long long cents = (25 * std::llabs(static_cast<long long>(eighths)) + 1) / 2;
    std::snprintf(buffer, sizeof buffer, "%s%lld%c%02lld", value < 0 ? "-" : "", cents / 100,
                  g_decimal, cents % 100);
    out += buffer;
    return;
  }
  std::snprintf(buffer, sizeof buffer, "%.2f", value);
  std::string_view text = buffer;
  if (text == "-0.00") text = "0.00";
  for (char c : text) out += c == '.' ? g_decimal : c;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + path);
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
}

// ---- The runs ---------------------------------------------------------------

struct Session {
  ThrowStatusWrapper& status;
  IAttachment* attachment;
};

void Stock(Session& s, const std::string& file) {
  ITransaction* tr = s.attachment->startTransaction(&s.status, 0, nullptr);
  std::string out;
  {
    Query q(s.status, s.attachment, tr,
            Lines({"SELECT 1 as MAGAZZINO, a.CODICE, SUM(a.QUANTITA) as QUANTITA ", "FROM ( ",
                   "SELECT ", "XX.MAGAZZINO, ", "XX.CODICE, ",
                   " (QUANTITAPRESENTE-ORDINICLI+QPRECARICATA)as QUANTITA ", "FROM ",
                   "\"PROGMAG\" XX ", "WHERE ",
                   "(((XX.MAGAZZINO=1) and (IDAPERTURA=3)) or((XX.MAGAZZINO=2) and "
                   "(IDAPERTURA=0)) or((XX.MAGAZZINO=3) and (IDAPERTURA=0))) and ",
                   "(((XX.QUANTITAPRESENTE-ORDINICLI+QPRECARICATA)>0)) ", ") a ",
                   "GROUP BY a.CODICE"}));
    for (q.Open(); q.Fetch();) {
      int scale = 0;
      AppendScaled(out, q.Scaled(0, scale), scale);
      out += ';';
      out += q.Text(1);
      out += ';';
      const std::int64_t quantity = q.Scaled(2, scale);
      if (!q.IsNull(2)) AppendScaled(out, quantity, scale);
      out += "\r\n";
    }
    q.Close();
  }
  tr->rollback(&s.status);
  WriteFile(file, out);
}

void Consolidate(Session& s, int default_band) {
  const unsigned char tpb[] = {isc_tpb_version3, isc_tpb_concurrency, isc_tpb_nowait};
  ITransaction* tr = s.attachment->startTransaction(&s.status, sizeof tpb, tpb);
  {
    const std::string band = std::to_string(default_band);
    Query(s.status, s.attachment, tr, Lines({"UPDATE CLIENTI SET", "INFO1=NULL,", "INFO2=1"}))
        .Execute();
    const std::string preset = "  COALESCE(TIPOPREZZO," + band + ")=" + band;
    Query(s.status, s.attachment, tr,
          Lines({"UPDATE CLIENTI SET", "INFO1=0,", "INFO2=NULL", "WHERE", preset.c_str()}))
        .Execute();
    Query bands(s.status, s.attachment, tr,
                Lines({"SELECT", "  A.TIPOPREZZO,", "  B.LISTINORICARICO", "FROM", "  CLIENTI A",
                       "  LEFT JOIN FASCESC B ON", "  A.TIPOPREZZO=B.ID", "WHERE",
                       "  A.TIPOPREZZO IS NOT NULL", "  AND", "  B.LISTINORICARICO IS NOT NULL",
                       "GROUP BY", "  A.TIPOPREZZO,", "  B.LISTINORICARICO"}));
    Query markup(s.status, s.attachment, tr,
                 Lines({"SELECT", "  MAX(SCONTO1)            AS PERCENTUALE,",
                        "  COUNT(DISTINCT SCONTO1) AS SCONTI", "FROM", "  LISTSCDTSCO", "WHERE",
                        "  IDLISTSC=?", "  AND", "  CURRENT_DATE BETWEEN",
                        "    COALESCE(DATAINIZIOVALIDITA,CURRENT_DATE)", "    AND",
                        "    COALESCE(DATAFINEVALIDITA,CURRENT_DATE)"}));
    Query update(s.status, s.attachment, tr,
                 Lines({"UPDATE CLIENTI SET", "INFO1=?,", "INFO2=?", "WHERE", "  TIPOPREZZO=?"}));
    for (bands.Open(); bands.Fetch();) {
      markup.SetInt(0, bands.Whole(1));
      markup.Open();
      const bool found = markup.Fetch();
      if (found && !markup.IsNull(0)) {
        std::string info1;
        AppendFixed2(info1, markup.Double(0));
        update.SetText(0, info1);
        if (markup.Whole(1) < 2)
          update.SetNull(1);
        else
          update.SetInt(1, 2);
        update.SetInt(2, bands.Whole(0));
        update.Execute();
      }
      markup.Close();
    }
    bands.Close();
  }
  tr->commit(&s.status);
}

// Appends a text with "'" written as the acute accent (Windows-1252 0xB4) and
// CR LF as one blank.
void AppendCleaned(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\'') {
      out += '\xB4';
    } else if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += ' ';
      ++i;
    } else {
      out += text[i];
    }
  }
}

void PriceList(Session& s, const std::string& file, const std::string& band) {
  ITransaction* tr = s.attachment->startTransaction(&s.status, 0, nullptr);
  std::string out =
      "ARTICOLO;DESCRIZIONE;COD. CATEGORIA SCONTO;CATEGORIA SCONTO;COD. CATEGORIA "
      "ARTICOLO;CATEGORIA ARTICOLO;PREZZO NETTO;SCONTO 1;SCONTO 2;SCONTO 3;PROMO\r\n";
  {
    const std::string from = "  PREPARAPREZZO(" + band + ",'',CURRENT_DATE) P";
    const std::string where = "  F.IDFASCIA=" + band;
    Query a(s.status, s.attachment, tr,
            Lines({"SELECT",
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
                   from.c_str(),
                   "  LEFT JOIN ANAMAG A ON",
                   "  P.ARTICOLO=A.CODICE",
                   "  LEFT JOIN CLASSIFICAZIONE1 C1 ON",
                   "  C1.DESCRIZIONE=A.CLASSIFICAZIONE1",
                   "  LEFT JOIN CLASSIFICAZIONE2 C2 ON",
                   "  C2.DESCRIZIONE=A.CLASSIFICAZIONE2"}));
    Query b(s.status, s.attachment, tr,
            Lines({"SELECT",
                   "  L.ID,",
                   "  L.CAMPOSEL1,",
                   "  L.CAMPOSEL2,",
                   "  L.CAMPOSEL3",
                   "FROM",
                   "  FASCESCDT F",
                   "  INNER JOIN LISTSC L ON",
                   "  F.IDLISTINO=L.ID",
                   "WHERE",
                   where.c_str(),
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
                   "      N.CODICEARTICOLO=?",
                   "      AND",
                   "      TRIM('0' FROM COALESCE(N.ESTCODICE,''))=TRIM('0' FROM ?)",
                   "      AND N.QUANTITASCAGLIONE>0",
                   "  )>0"}));
    Query c(s.status, s.attachment, tr,
            Lines({"SELECT",
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
                   "  LISTSCDTNET.CODICEARTICOLO=?",
                   "  AND",
                   "  TRIM('0' FROM COALESCE(LISTSCDTNET.ESTCODICE,''))=TRIM('0' FROM ?)",
                   "  AND",
                   "  LISTSCDTNET.IDLISTSC=?",
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
                   "  LISTSCDTNET.QUANTITASCAGLIONE ASC"}));
    const unsigned written = a.Columns() - 1;  // LISTINO_APP stays out
    std::string scales;
    struct Scale {
      std::int64_t quantity;
      std::string price;
    };
    std::vector<Scale> rows;
    for (a.Open(); a.Fetch();) {
      const std::string_view article = a.Text(0);
      scales.clear();
      b.SetText(0, article);
      b.SetText(1, "0");
      for (b.Open(); b.Fetch();) {
        c.SetText(0, article);
        c.SetText(1, "0");
        c.SetInt(2, b.Whole(0));
        rows.clear();
        for (c.Open(); c.Fetch();) rows.push_back({c.Whole(2), std::string(c.Text(1))});
        c.Close();
        for (std::size_t i = 0; i < rows.size(); ++i) {
          const std::int64_t q = rows[i].quantity;
          if (i + 1 < rows.size()) {
            const std::int64_t u = rows[i + 1].quantity - 1;
            if (q > 0 || u > 0) {
              ((((scales += std::to_string(q)) += '-') += std::to_string(u)) += ' ') +=
                  rows[i].price;
              scales += "\r\n";
            }
          } else if (q > 0) {
            ((scales += std::to_string(q)) += "-999 ") += rows[i].price;
            scales += "\r\n";
          }
        }
      }
      b.Close();
      for (unsigned i = 0; i < written; ++i) {
        AppendCleaned(out, a.Text(i));
        out += ';';
      }
      if (!scales.empty()) {
        out += '"';
        out.append(scales, 0, scales.size() - 2);
        out += '"';
      }
      out += ";\r\n";
    }
    a.Close();
  }
  tr->rollback(&s.status);
  WriteFile(file, out);
}

void Customers(Session& s, const std::string& file) {
  ITransaction* tr = s.attachment->startTransaction(&s.status, 0, nullptr);
  std::string out;
  {
    Query q(s.status, s.attachment, tr,
            Lines({"SELECT", "  CODICE,", "  INFO1,", "  INFO2", "FROM", "  CLIENTI", "ORDER BY",
                   "  CODICE"}));
    const unsigned columns = q.Columns();
    for (unsigned i = 0; i < columns; ++i) (out += i ? ";" : "") += q.Alias(i);
    out += "\r\n";
    for (q.Open(); q.Fetch();) {
      out += q.Text(0);
      out += ';';
      out += q.Text(1);
      out += ';';
      if (!q.IsNull(2)) out += std::to_string(q.Whole(2));
      out += "\r\n";
    }
    q.Close();
  }
  tr->rollback(&s.status);
  WriteFile(file, out);
}

void Promo(Session& s, const std::string& file, int list) {
  ITransaction* tr = s.attachment->startTransaction(&s.status, 0, nullptr);
  std::string out = "Codice;Estensione;QStockUtile;PrezzoStock\r\n";
  {
    const std::string where = "  IDLISTSC=" + std::to_string(list);
    Query a(s.status, s.attachment, tr,
            Lines({"SELECT", "  CODICEARTICOLO AS CODICE,", "  ESTCODICE      AS ESTENSIONE",
                   "FROM", "  LISTSCDTNET", "WHERE", where.c_str(), "GROUP BY", "  CODICEARTICOLO,",
                   "  ESTCODICE"}));
    Query b(s.status, s.attachment, tr,
            Lines({"SELECT FIRST 1", "  COALESCE(QUANTITASCAGLIONE,0)             AS QTSTOCK,",
                   "  COALESCE(DATAINIZIOVALIDITA,CURRENT_DATE) AS DATAPROMO,",
                   "  COALESCE(PREZZO,0)                        AS PREZZOPROMO", "FROM",
                   "  LISTSCDTNET", "WHERE", where.c_str(), "  AND", "  CODICEARTICOLO=?", "  AND",
                   "  ESTCODICE=?", "  AND", "  CURRENT_DATE BETWEEN",
                   "    COALESCE(DATAINIZIOVALIDITA,CURRENT_DATE)", "    AND",
                   "    COALESCE(DATAFINEVALIDITA,CURRENT_DATE)", "ORDER BY", "  DATAPROMO DESC"}));
    Query c(s.status, s.attachment, tr,
            Lines({"SELECT", "  COALESCE(SUM(QUANTITAORDINE),0)", "FROM", "  LOGPROMOSTOCK",
                   "WHERE", "  CODICEARTICOLO=?", "  AND", "  COALESCE(ESTENSIONE,'0')=?", "  AND",
                   "  DATAPROMO=?", "  AND", "  STATUS='ATTIVO'"}));
    for (a.Open(); a.Fetch();) {
      b.SetFrom(0, a, 0);
      b.SetFrom(1, a, 1);
      b.Open();
      if (b.Fetch()) {
        c.SetFrom(0, a, 0);
        c.SetFrom(1, a, 1);
        c.SetFrom(2, b, 1);
        c.Open();
        c.Fetch();
        out += a.Text(0);
        out += ';';
        if (a.Text(1) != "0") out += a.Text(1);
        out += ';';
        out += std::to_string(b.Whole(0) - c.Whole(0));
        out += ';';
        AppendFixed2(out, b.Double(2));
        out += "\r\n";
        c.Close();
      }
      b.Close();
    }
    a.Close();
  }
  tr->rollback(&s.status);
  WriteFile(file, out);
}

int Usage() {
  std::fprintf(stderr,
               "usage: exporttotale-reference stock DATABASE FILE\n"
               "       exporttotale-reference prices DATABASE PRICE_FILE CUSTOMER_FILE BAND "
               "DEFAULT_BAND\n"
               "       exporttotale-reference promo DATABASE FILE PRICE_LIST\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string kind = args.empty() ? "" : args[0];
  if (!((kind == "stock" && args.size() == 3) || (kind == "prices" && args.size() == 6) ||
        (kind == "promo" && args.size() == 4)))
    return Usage();

  std::setlocale(LC_ALL, "");
  const char* radix = nl_langinfo(RADIXCHAR);
  if (radix && std::strlen(radix) == 1) g_decimal = radix[0];

  IMaster* master = fb_get_master_interface();
  IUtil* util = master->getUtilInterface();
  ThrowStatusWrapper status(master->getStatus());
  IProvider* provider = master->getDispatcher();
  IAttachment* attachment = nullptr;
  int result = 0;
  try {
    IXpbBuilder* dpb = util->getXpbBuilder(&status, IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&status, isc_dpb_user_name, kUser);
    dpb->insertString(&status, isc_dpb_password, kPassword);
    attachment = provider->attachDatabase(&status, args[1].c_str(), dpb->getBufferLength(&status),
                                          dpb->getBuffer(&status));
    dpb->dispose();
    Session session{status, attachment};
    if (kind == "stock") {
      Stock(session, args[2]);
    } else if (kind == "prices") {
      Consolidate(session, std::stoi(args[5]));
      PriceList(session, args[2], args[4]);
      Customers(session, args[3]);
    } else {
      Promo(session, args[2], std::stoi(args[3]));
    }
    attachment->detach(&status);
    attachment = nullptr;
  } catch (const FbException& e) {
    char text[1024];
    util->formatStatus(text, sizeof text, e.getStatus());
    std::fprintf(stderr, "exporttotale-reference: %s\n", text);
    result = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "exporttotale-reference: %s\n", e.what());
    result = 1;
  }
  if (attachment) attachment->release();
  provider->release();
  status.dispose();
  return result;
}
