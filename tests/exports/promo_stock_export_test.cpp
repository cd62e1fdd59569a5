// The promo-at-stock file against a real embedded business database. Dates
// are counted from the engine's CURRENT_DATE, so the cases hold on any day.
#include "exports/promo_stock_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "fb/attachment.h"
#include "fb/error.h"
#include "fixture/fixture.h"
#include "platform/error.h"
#include "platform/regional.h"
#include "support/temp_dir.h"

namespace et {
namespace {

using test::Day;
using test::NetPriceRow;
using test::PromoLogRow;

constexpr const char* kHeader = "Codice;Estensione;QStockUtile;PrezzoStock\r\n";
constexpr int kPriceList = 7;

// A fresh business database at `path`: a copy of one created for the whole
// program, since creating a database costs about a second and copying the
// file of a detached database a few milliseconds.
std::string NewBusinessDatabase(const std::string& path) {
  static const test::TempDir template_dir;
  static const std::string template_path = [] {
    const std::string p = template_dir.File("modello.fdb");
    test::CreateBusinessDatabase(p);
    return p;
  }();
  std::filesystem::copy_file(template_path, path);
  return path;
}

// A fresh business database in a temporary directory. The export reads
// through an attachment of its own; the fixture keeps one for writing rows.
class PromoStockExportTest : public ::testing::Test {
 protected:
  PromoStockExportTest()
      : db_path_(NewBusinessDatabase(dir_.File("archivio.fdb"))),
        out_path_(dir_.File("promostock.csv")),
        db_(db_path_) {}

  std::string Export(std::int32_t price_list = kPriceList,
                     const RegionalSettings& rs = RegionalSettings::Italian()) {
    fb::Attachment att =
        fb::Attachment::Attach(db_path_, test::kFixtureUser, test::kFixturePassword);
    return WritePromoStockFile(out_path_, att, price_list, rs);
  }

  test::TempDir dir_;
  std::string db_path_;
  std::string out_path_;
  test::BusinessDb db_;
};

// The data lines of a file (after the header), sorted: the pairs come in the
// server's order, which the statement does not fix.
std::vector<std::string> SortedBody(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string::size_type pos = bytes.find("\r\n");
  if (pos == std::string::npos) return lines;
  pos += 2;
  while (pos < bytes.size()) {
    const std::string::size_type end = bytes.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(pos) + "<no CR LF>");
      break;
    }
    lines.push_back(bytes.substr(pos, end - pos));
    pos = end + 2;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

NetPriceRow PriceIn(int price_list, std::optional<std::string> code,
                    std::optional<std::string> extension, std::optional<double> quantity,
                    std::optional<double> price, Day inizio = Day::Open(), Day fine = Day::Open()) {
  NetPriceRow row;
  row.idlistsc = price_list;
  row.codicearticolo = std::move(code);
  row.estcodice = std::move(extension);
  row.quantitascaglione = quantity;
  row.prezzo = price;
  row.datainiziovalidita = inizio;
  row.datafinevalidita = fine;
  return row;
}

NetPriceRow Price(std::optional<std::string> code, std::optional<std::string> extension,
                  std::optional<double> quantity, std::optional<double> price,
                  Day inizio = Day::Open(), Day fine = Day::Open()) {
  return PriceIn(kPriceList, std::move(code), std::move(extension), quantity, price, inizio, fine);
}

PromoLogRow Order(std::string code, std::optional<std::string> extension, Day data, double quantity,
                  std::optional<std::string> status = "ATTIVO") {
  PromoLogRow row;
  row.codicearticolo = std::move(code);
  row.estensione = std::move(extension);
  row.datapromo = data;
  row.status = std::move(status);
  row.quantitaordine = quantity;
  return row;
}

TEST_F(PromoStockExportTest, WorkedExampleByteForByte) {
  // Today plays 15 March: the current promotion runs from 1 to 31 March, an
  // older one from 1 to 10 March; both start on 1 March.
  db_.AddNetPrice(Price("ART100", "0", 20, 9.9, Day::Today(-14), Day::Today(16)));
  db_.AddNetPrice(Price("ART100", "0", 50, 7.5, Day::Today(-14), Day::Today(-5)));
  const std::vector<std::pair<double, std::string>> ordini = {
      {3, "ATTIVO"}, {2, "ATTIVO"}, {4, "EVASO"}};
  for (const auto& [quantity, status] : ordini) {
    db_.AddPromoLog(Order("ART100", std::nullopt, Day::Today(-14), quantity, status));
  }

  EXPECT_EQ(Export(), out_path_);
  EXPECT_EQ(test::ReadFile(out_path_), std::string(kHeader) + "ART100;;15;9,90\r\n");
}

TEST_F(PromoStockExportTest, DecimalSeparatorFollowsRegionalSettings) {
  db_.AddNetPrice(Price("ART1", "0", 1, 12.5));
  RegionalSettings dot;  // '.' as the decimal separator
  Export(kPriceList, dot);
  EXPECT_EQ(test::ReadFile(out_path_), std::string(kHeader) + "ART1;;1;12.50\r\n");
}

struct PromoCase {
  const char* name;
  std::vector<NetPriceRow> prices;
  std::vector<PromoLogRow> orders;
  std::vector<std::string> lines;  // expected data lines, Windows-1252 bytes
};

void PrintTo(const PromoCase& c, std::ostream* os) { *os << c.name; }

class PromoStockCases : public PromoStockExportTest,
                        public ::testing::WithParamInterface<PromoCase> {};

TEST_P(PromoStockCases, WritesTheExpectedLines) {
  const PromoCase& c = GetParam();
  for (const NetPriceRow& row : c.prices) db_.AddNetPrice(row);
  for (const PromoLogRow& row : c.orders) db_.AddPromoLog(row);

  Export();

  const std::string bytes = test::ReadFile(out_path_);
  ASSERT_EQ(bytes.substr(0, std::string(kHeader).size()), kHeader);
  std::vector<std::string> expected = c.lines;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SortedBody(bytes), expected);
}

// clang-format off
const PromoCase kCases[] = {
    {"LatestStartInForceWins",
     {Price("A", "0", 5, 1, Day::Today(-10), Day::Today(10)),
      Price("A", "0", 8, 2, Day::Today(-3), Day::Today(3)),
      Price("A", "0", 99, 9, Day::Today(1), Day::Today(10)),    // not started yet
      Price("A", "0", 77, 7, Day::Today(-1), Day::Today(-1))},  // ended yesterday
     {},
     {"A;;8;2,00"}},
    {"RowWithoutStartCountsAsTodayAndWins",
     {Price("B", "0", 4, 3, Day::Open(), Day::Today(5)),
      Price("B", "0", 6, 4, Day::Today(-2), Day::Today(2))},
     // Only orders of today's promotion count.
     {Order("B", "0", Day::Today(), 1), Order("B", "0", Day::Today(-2), 2)},
     {"B;;3;3,00"}},
    {"StartAndEndDayAreInForce",
     {Price("C", "1", 10, 1, Day::Today(), Day::Today()),
      Price("C", "2", 10, 1, Day::Today(-5), Day::Today())},
     {},
     {"C;1;10;1,00", "C;2;10;1,00"}},
    {"NoPromotionInForceGivesNoLine",
     {Price("D", "0", 10, 1, Day::Today(-9), Day::Today(-1)),
      Price("D", "1", 10, 1, Day::Today(1), Day::Open()),
      Price("D", "2", 10, 1, Day::Open(), Day::Today(-1))},
     {},
     {}},
    {"OnlyActiveOrdersOfTheStartDateCount",
     {Price("E", "0", 1000, 1, Day::Today(-5), Day::Open())},
     {Order("E", "0", Day::Today(-5), 10),                  // counts
      Order("E", "0", Day::Today(-5), 1, "attivo"),         // status in other case
      Order("E", "0", Day::Today(-5), 2, "EVASO"),
      Order("E", "0", Day::Today(-5), 4, std::nullopt),
      Order("E", "0", Day::Today(-4), 8),                   // another promotion
      Order("E", "0", Day::Today(-6), 16),
      Order("E", "0", Day::Today(), 32),
      Order("E", "1", Day::Today(-5), 64),                  // another extension
      Order("EX", "0", Day::Today(-5), 128)},               // another article
     {"E;;990;1,00"}},
    {"OrdersWithoutExtensionCountForExtensionZero",
     {Price("F", "0", 10, 1, Day::Today(-1), Day::Open())},
     {Order("F", std::nullopt, Day::Today(-1), 3), Order("F", "0", Day::Today(-1), 2)},
     {"F;;5;1,00"}},
    {"ExtensionsLikeZeroAreWrittenUnchanged",
     {Price("G", "00", 10, 1, Day::Today(-1), Day::Open()),
      Price("G", " 0", 10, 1, Day::Today(-1), Day::Open())},
     // "No extension" orders belong to extension "0" only.
     {Order("G", std::nullopt, Day::Today(-1), 3), Order("G", "0", Day::Today(-1), 2),
      Order("G", "00", Day::Today(-1), 1)},
     {"G;00;9;1,00", "G; 0;10;1,00"}},
    {"NullCodeOrExtensionGivesNoLine",
     {Price(std::nullopt, "0", 10, 1), Price("H", std::nullopt, 10, 1),
      Price("H", "1", 10, 1)},
     {},
     {"H;1;10;1,00"}},
    {"QuantitiesAreTruncatedBeforeSubtracting",
     // 12.75 counts as 12 and the ordered 1.9 + 1.95 = 3.85 as 3 (not 8.9
     // cut to 8, nor 1 + 1 ordered).
     {Price("I", "0", 12.75, 1, Day::Today(-1), Day::Open())},
     {Order("I", "0", Day::Today(-1), 1.9), Order("I", "0", Day::Today(-1), 1.95)},
     {"I;;9;1,00"}},
    {"OrderedAbovePromotionalQuantityIsNegative",
     // 2.9 - 5.5 would be -2 after truncation of the difference; the parts
     // are truncated first: 2 - 5.
     {Price("J", "0", 2.9, 1, Day::Today(-1), Day::Open()),
      Price("J", "1", 0, 1, Day::Today(-1), Day::Open())},
     {Order("J", "0", Day::Today(-1), 5.5)},
     {"J;;-3;1,00", "J;1;0;1,00"}},
    {"PricesHaveTwoDecimals",
     {Price("K", "1", 1, 12.5), Price("K", "2", 1, 0), Price("K", "3", 1, 1234567.891),
      Price("K", "4", 1, 0.125), Price("K", "5", std::nullopt, std::nullopt)},
     {},
     {"K;1;1;12,50", "K;2;1;0,00", "K;3;1;1234567,89", "K;4;1;0,13", "K;5;0;0,00"}},
    {"TextsAreWrittenAsStoredInTheCodePage",
     {Price("CAFF\xC3\x88 ", "X;Y", 1, 1), Price("L;M", "0", 1, 1)},
     {},
     {"CAFF\xC8 ;X;Y;1;1,00", "L;M;;1;1,00"}},
    {"OtherListsAreLeftOut",
     {PriceIn(kPriceList + 1, "N", "0", 1, 1), PriceIn(-kPriceList, "N", "0", 1, 1)},
     {},
     {}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Cases, PromoStockCases, ::testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(PromoStockExportTest, NegativeListNumberIsUsedAsIs) {
  db_.AddNetPrice(PriceIn(-3, "NEG", "0", 2, 1));
  Export(-3);
  EXPECT_EQ(test::ReadFile(out_path_), std::string(kHeader) + "NEG;;2;1,00\r\n");
}

TEST_F(PromoStockExportTest, ListWithoutRowsReplacesAnOldFileWithTheHeader) {
  test::WriteFile(out_path_,
                  "old content that is longer than the header line\r\n"
                  "and has a second line\r\n");
  Export();
  EXPECT_EQ(test::ReadFile(out_path_), kHeader);
}

// A file cut short is of no use to the web side: an error after some lines
// keeps the previous file whole and leaves nothing else beside it.
TEST_F(PromoStockExportTest, ErrorOnALineKeepsThePreviousFile) {
  // A quantity beyond 32 bits cannot be taken as an integer; the groups come
  // sorted by article, so "A" is written before "Z" fails.
  db_.AddNetPrice(Price("A", "0", 4, 1));
  db_.AddNetPrice(Price("Z", "0", 3000000000.0, 1));
  const std::string previous = std::string(kHeader) + "B;;1;2,00\r\n";
  test::WriteFile(out_path_, previous);
  EXPECT_THROW(Export(), ConvertError);
  EXPECT_EQ(test::ReadFile(out_path_), previous);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"archivio.fdb", "promostock.csv"}));
}

// A CR, LF or NUL in an article code or extension becomes a blank, so no
// value forges a line; a semicolon stays as it is.
TEST_F(PromoStockExportTest, LineBreaksInValuesBecomeBlanks) {
  struct Case {
    std::string code, extension;
    std::string written;  // the line without its CR LF
  };
  const std::vector<Case> cases = {
      {"A1\r\n9;X;1;1,00", "0", "A1  9;X;1;1,00;;1;1,00"},
      {"A2\rB", "E\n1", "A2 B;E 1;1;1,00"},
      {"A3\nB", "0", "A3 B;;1;1,00"},
      {std::string("A4\0B", 4), std::string("\0", 1), "A4 B; ;1;1,00"},
      {"A5;B", "E;2", "A5;B;E;2;1;1,00"},
  };
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    db_.AddNetPrice(Price(c.code, c.extension, 1, 1));
    expected.push_back(c.written);
  }
  std::sort(expected.begin(), expected.end());
  Export();
  EXPECT_EQ(SortedBody(test::ReadFile(out_path_)), expected);
}

TEST_F(PromoStockExportTest, StatementThatCannotBePreparedLeavesTheFileUntouched) {
  db_.Exec("DROP TABLE LOGPROMOSTOCK");
  test::WriteFile(out_path_, "previous run\r\n");
  EXPECT_THROW(Export(), fb::DatabaseError);
  EXPECT_EQ(test::ReadFile(out_path_), "previous run\r\n");
}

TEST_F(PromoStockExportTest, MissingDirectoryRaisesTheFileError) {
  db_.AddNetPrice(Price("A", "0", 4, 1));
  fb::Attachment att = fb::Attachment::Attach(db_path_, test::kFixtureUser, test::kFixturePassword);
  const std::string path = dir_.File("missing/promostock.csv");
  try {
    WritePromoStockFile(path, att, kPriceList, RegionalSettings::Italian());
    FAIL() << "no error";
  } catch (const IoError& e) {
    EXPECT_NE(std::string(e.what()).find("missing/promostock.csv"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace et
