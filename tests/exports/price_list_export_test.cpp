// The static price-list file against a real embedded business database.
// Validity dates are counted from the engine's CURRENT_DATE, so the cases
// hold on any day.
#include "exports/price_list_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
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

const std::string kHeader =
    "ARTICOLO;DESCRIZIONE;COD. CATEGORIA SCONTO;CATEGORIA SCONTO;COD. CATEGORIA ARTICOLO;"
    "CATEGORIA ARTICOLO;PREZZO NETTO;SCONTO 1;SCONTO 2;SCONTO 3;PROMO\r\n";

std::string NewBusinessDatabase(const std::string& path) {
  test::CreateBusinessDatabase(path);
  return path;
}

class PriceListExportTest : public ::testing::Test {
 protected:
  PriceListExportTest()
      : db_path_(NewBusinessDatabase(dir_.File("archivio.fdb"))),
        out_path_(dir_.File("listini.csv")),
        db_(db_path_) {}

  // The export reads through an attachment of its own, as in a run.
  std::string Export(std::int32_t fascia = 3) {
    fb::Attachment att =
        fb::Attachment::Attach(db_path_, test::kFixtureUser, test::kFixturePassword);
    return WritePriceListFile(out_path_, att, fascia, RegionalSettings::Italian());
  }

  std::string Written() const { return test::ReadFile(out_path_); }

  // An article priced for band 3 with no classification and zero discounts.
  void AddPriced(const std::string& articolo, const std::string& descrizione = "Articolo") {
    db_.AddPreparedPrice({.fascia = 3,
                          .articolo = articolo,
                          .descrizione = descrizione,
                          .prezzonetto = 1,
                          .listino_app = 17});
  }

  test::TempDir dir_;
  std::string db_path_;
  std::string out_path_;
  test::BusinessDb db_;
};

TEST_F(PriceListExportTest, WorkedExampleByteForByte) {
  db_.AddClassification1({.descrizione = "S1", .descrizione1 = "Sconto rivenditori"});
  db_.AddClassification2({.descrizione = "UT", .descrizione1 = "Utensili"});
  for (const char* codice : {"VT100", "VT101"}) {
    db_.AddArticle({.codice = codice,
                    .descrizione = "Cacciavite d'acciaio",
                    .classificazione1 = "S1",
                    .classificazione2 = "UT"});
    db_.AddPreparedPrice({.fascia = 3,
                          .articolo = codice,
                          .descrizione = "Cacciavite d'acciaio",
                          .prezzonetto = 12.5,
                          .scontouno = 10,
                          .scontodue = 0,
                          .scontotre = 0,
                          .listino_app = 17});
  }
  db_.AddPriceList({.id = 17, .tipo = "N"});
  db_.LinkBandToList(3, 17);
  db_.AddNetPrice(
      {.idlistsc = 17, .codicearticolo = "VT100", .quantitascaglione = 1, .prezzo = 12});
  db_.AddNetPrice(
      {.idlistsc = 17, .codicearticolo = "VT100", .quantitascaglione = 10, .prezzo = 11.5});
  db_.AddNetPrice(
      {.idlistsc = 17, .codicearticolo = "VT100", .quantitascaglione = 50, .prezzo = 10.9});

  EXPECT_EQ(Export(), out_path_);

  // The engine writes ROUND(x,2) with both decimals: 12,50 where a database
  // with other column types could give 12,5. VT101 has no scale price.
  EXPECT_EQ(Written(), kHeader +
                           "VT100;Cacciavite d\xB4"
                           "acciaio;S1;Sconto rivenditori;UT;Utensili;12,50;10,00;0,00;0,00;"
                           "\"1-9 12,00\r\n"
                           "10-49 11,50\r\n"
                           "50-999 10,90\";\r\n"
                           "VT101;Cacciavite d\xB4"
                           "acciaio;S1;Sconto rivenditori;UT;Utensili;12,50;10,00;0,00;0,00;;\r\n");
}

// The band reaches statements A and B as a decimal number, a negative one
// included: only band -3's article, with band -3's scale prices.
TEST_F(PriceListExportTest, TheBandReachesTheStatementsInDecimal) {
  db_.AddPreparedPrice({.fascia = -3,
                        .articolo = "NEG",
                        .descrizione = "Articolo",
                        .prezzonetto = 2,
                        .listino_app = 17});
  AddPriced("POS");
  db_.AddPriceList({.id = 17, .tipo = "N"});
  db_.LinkBandToList(-3, 17);
  db_.AddNetPrice({.idlistsc = 17, .codicearticolo = "NEG", .quantitascaglione = 5, .prezzo = 1.5});

  Export(-3);

  EXPECT_EQ(Written(), kHeader + "NEG;Articolo;;;;;2,00;0,00;0,00;0,00;\"5-999 1,50\";\r\n");
}

TEST_F(PriceListExportTest, NoPricedArticleGivesHeaderOnlyAndReplacesTheOldFile) {
  test::WriteFile(out_path_, "old content that must go\r\n");
  db_.AddPreparedPrice({.fascia = 4, .articolo = "OTHERBAND", .prezzonetto = 1});
  db_.AddPreparedPrice(
      {.fascia = 3, .articolo = "EXPIRED", .prezzonetto = 1, .datafine = Day::Today(-1)});

  Export();

  EXPECT_EQ(Written(), kHeader);
}

// Every text column is cleaned: apostrophes become the acute accent (byte
// 0xB4), CR LF pairs one blank, then any CR, LF or NUL left one blank, so no
// value splits a record; everything else stays, separators and quotes
// included. Articles without classifications give empty cells.
TEST_F(PriceListExportTest, CleansEveryTextValue) {
  struct Case {
    std::string descrizione;
    std::string written;  // Windows-1252 bytes
  };
  const std::vector<Case> cases = {
      {"l'olio", "l\xB4olio"},
      {"prima riga\r\nseconda riga", "prima riga seconda riga"},
      {"due\r\n\r\nrighe vuote", "due  righe vuote"},
      {"solo CR\rsolo LF\n", "solo CR solo LF "},
      {"LF CR\n\rresta", "LF CR  resta"},
      {"CR CR LF\r\r\nfine", "CR CR LF  fine"},
      {std::string("NUL\0dentro", 10), "NUL dentro"},
      {"punto;e virgola \"virgolette\"", "punto;e virgola \"virgolette\""},
      {"'\r\n'", "\xB4 \xB4"},
      {"caff\xC3\xA8 \xE2\x82\xAC", "caff\xE8 \x80"},  // UTF-8 in, Windows-1252 out
  };
  std::string expected = kHeader;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string codice = "D" + std::to_string(i);
    AddPriced(codice, cases[i].descrizione);
    expected += codice + ";" + cases[i].written + ";;;;;1,00;0,00;0,00;0,00;;\r\n";
  }
  // Codes and classifications are cleaned as well.
  db_.AddClassification1({.descrizione = "C'1", .descrizione1 = "Sconto\r\nd'uso"});
  db_.AddClassification2({.descrizione = "C2", .descrizione1 = "Categoria; \"due\""});
  db_.AddArticle({.codice = "L'1", .classificazione1 = "C'1", .classificazione2 = "C2"});
  AddPriced("L'1", "x");
  expected +=
      "L\xB4"
      "1;x;C\xB4"
      "1;Sconto d\xB4uso;C2;Categoria; \"due\";1,00;0,00;0,00;0,00;;\r\n";

  Export();

  EXPECT_EQ(Written(), expected);
}

// The PROMO cell of one article from its scale rows. Band 3 has the net price
// lists 17 and 19; list 18 belongs to band 4 only, list 16 is a discount list.
TEST_F(PriceListExportTest, ScalePriceRules) {
  struct Row {
    int list = 17;
    std::optional<double> quantity;
    double price = 0;
    Day from = Day::Open();
    Day to = Day::Open();
    std::optional<std::string> estcodice = "0";
  };
  struct Case {
    std::string name;
    std::vector<Row> rows;
    std::vector<std::string> accepted;  // the cell, in any of these forms
  };
  const std::vector<Case> cases = {
      {"one row at 5", {{.quantity = 5, .price = 7}}, {"\"5-999 7,00\""}},
      {"rows at 0 and 10: 0-9 since its upper bound is positive",
       {{.quantity = 0, .price = 9}, {.quantity = 10, .price = 8}},
       {"\"0-9 9,00\r\n10-999 8,00\""}},
      {"rows at 0 and 1: the first has both bounds at 0",
       {{.quantity = 0, .price = 9}, {.quantity = 1, .price = 8}},
       {"\"1-999 8,00\""}},
      {"last valid row at 0 gives nothing",
       {{.quantity = 0, .price = 9}, {.quantity = 5, .price = 8, .to = Day::Today(-1)}},
       {""}},
      {"two rows at 4, in the order the engine returns them",
       {{.quantity = 4, .price = 6}, {.quantity = 4, .price = 5}},
       {"\"4-3 6,00\r\n4-999 5,00\"", "\"4-3 5,00\r\n4-999 6,00\""}},
      {"rows out of their validity dates are ignored, both ends included",
       {{.quantity = 1, .price = 10},
        {.quantity = 10, .price = 9, .to = Day::Today(-1)},
        {.quantity = 20, .price = 8, .from = Day::Today(1)},
        {.quantity = 50, .price = 7, .from = Day::Today(-1), .to = Day::Today(1)},
        {.quantity = 100, .price = 6, .from = Day::Today(), .to = Day::Today()}},
       {"\"1-49 10,00\r\n50-99 7,00\r\n100-999 6,00\""}},
      {"a list whose only positive rows are out of date adds nothing",
       {{.quantity = 5, .price = 8, .from = Day::Today(2)}},
       {""}},
      {"quantities are truncated to whole numbers",
       {{.quantity = 2.5, .price = 3}, {.quantity = 10.7, .price = 2}},
       {"\"2-9 3,00\r\n10-999 2,00\""}},
      {"an extension NULL, empty or of zeros is the base article",
       {{.quantity = 1, .price = 3, .estcodice = std::nullopt},
        {.quantity = 10, .price = 2, .estcodice = ""},
        {.quantity = 20, .price = 1, .estcodice = "000"}},
       {"\"1-9 3,00\r\n10-19 2,00\r\n20-999 1,00\""}},
      {"another extension is another article",
       {{.quantity = 1, .price = 3, .estcodice = "01"}},
       {""}},
      {"prices round to two decimals",
       {{.quantity = 1, .price = 12.345}, {.quantity = 3, .price = 0.125}},
       {"\"1-2 12,35\r\n3-999 0,13\""}},
      {"lists of other bands and discount lists do not count",
       {{.list = 18, .quantity = 1, .price = 3}, {.list = 16, .quantity = 1, .price = 2}},
       {""}},
      {"the entries of two lists follow each other",
       {{.list = 17, .quantity = 1, .price = 3}, {.list = 19, .quantity = 5, .price = 2}},
       {"\"1-999 3,00\r\n5-999 2,00\"", "\"5-999 2,00\r\n1-999 3,00\""}},
  };

  db_.AddPriceList({.id = 16, .tipo = "S"});
  db_.AddPriceList({.id = 17, .tipo = "N"});
  db_.AddPriceList({.id = 18, .tipo = "N"});
  db_.AddPriceList({.id = 19, .tipo = "N"});
  db_.LinkBandToList(3, 16);
  db_.LinkBandToList(3, 17);
  db_.LinkBandToList(4, 18);
  db_.LinkBandToList(3, 19);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string codice = "S" + std::to_string(i);
    AddPriced(codice);
    for (const Row& r : cases[i].rows) {
      db_.AddNetPrice({.idlistsc = r.list,
                       .codicearticolo = codice,
                       .estcodice = r.estcodice,
                       .quantitascaglione = r.quantity,
                       .prezzo = r.price,
                       .datainiziovalidita = r.from,
                       .datafinevalidita = r.to});
    }
  }

  Export();

  const std::string file = Written();
  ASSERT_EQ(file.substr(0, kHeader.size()), kHeader);
  // Records in procedure order; a PROMO cell may span several lines, so a
  // record ends where the next one's code starts.
  std::size_t pos = kHeader.size();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    const std::string start = "S" + std::to_string(i) + ";Articolo;;;;;1,00;0,00;0,00;0,00;";
    ASSERT_EQ(file.compare(pos, start.size(), start), 0) << file.substr(pos);
    pos += start.size();
    const std::string next = "\r\nS" + std::to_string(i + 1) + ";";
    const std::size_t end =
        i + 1 < cases.size() ? file.find(next, pos) : file.size() - std::string("\r\n").size();
    ASSERT_NE(end, std::string::npos);
    const std::string record_end = file.substr(pos, end - pos);  // the cell and ";"
    bool accepted = false;
    for (const std::string& cell : cases[i].accepted) accepted |= record_end == cell + ";";
    EXPECT_TRUE(accepted) << "written: " << record_end;
    pos = end + 2;
  }
  EXPECT_EQ(pos, file.size());
}

// A statement the engine refuses fails, and the file of the previous run
// stays whole (no file when there was none).
TEST_F(PriceListExportTest, StatementErrorKeepsThePreviousFileAndReachesTheCaller) {
  AddPriced("A1");
  db_.Exec("ALTER TABLE CLASSIFICAZIONE1 DROP DESCRIZIONE1");  // read by statement A
  EXPECT_THROW(Export(), fb::DatabaseError);
  EXPECT_FALSE(std::filesystem::exists(out_path_));
  const std::string previous = kHeader + "A0;Articolo;;;;;1;0;0;0;;\r\n";
  test::WriteFile(out_path_, previous);
  EXPECT_THROW(Export(), fb::DatabaseError);
  EXPECT_EQ(Written(), previous);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"archivio.fdb", "listini.csv"}));
}

TEST_F(PriceListExportTest, FileErrorReachesTheCaller) {
  out_path_ = dir_.File("no-such-dir/listini.csv");
  EXPECT_THROW(Export(), IoError);
}

}  // namespace
}  // namespace et
