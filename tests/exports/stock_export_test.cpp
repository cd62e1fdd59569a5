// The stock availability file against a real embedded business database.
#include "exports/stock_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fb/attachment.h"
#include "fb/error.h"
#include "fb/transaction.h"
#include "fixture/fixture.h"
#include "platform/regional.h"
#include "support/crlf_lines.h"
#include "support/temp_dir.h"

namespace et {
namespace {

std::string NewBusinessDatabase(const std::string& path) {
  test::CreateBusinessDatabase(path);
  return path;
}

class StockExportTest : public ::testing::Test {
 protected:
  StockExportTest()
      : db_path_(NewBusinessDatabase(dir_.File("archivio.fdb"))),
        out_path_(dir_.File("ESTRAZQ.CSV")),
        db_(db_path_) {}

  std::string Export(const RegionalSettings& rs = RegionalSettings::Italian(),
                     bool with_quantities = true) {
    fb::Attachment att =
        fb::Attachment::Attach(db_path_, test::kFixtureUser, test::kFixturePassword);
    fb::Transaction transaction(att, fb::TransactionOptions::ServerDefaults());
    return WriteStockFile(out_path_, att, transaction, with_quantities, rs);
  }

  std::string Written() const { return test::ReadFile(out_path_); }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempDir dir_;
  std::string db_path_;
  std::string out_path_;
  test::BusinessDb db_;
};

TEST_F(StockExportTest, QuantitiesWithTheRegionalSeparator) {
  db_.AddStock(std::vector<test::StockRow>{
      {.magazzino = 1, .codice = "A1", .idapertura = 3, .quantitapresente = 5},
      {.magazzino = 2, .codice = "A1", .idapertura = 0, .quantitapresente = 3, .ordinicli = 1},
      {.magazzino = 1,
       .codice = "A2",
       .idapertura = 3,
       .quantitapresente = 10,
       .qprecaricata = 0.5},
      {.magazzino = 3,
       .codice = "A2",
       .idapertura = 0,
       .quantitapresente = 2.25,
       .ordinicli = 0.25},
      {.magazzino = 1, .codice = "A3", .idapertura = 3, .quantitapresente = 0.005},
      {.magazzino = 1, .codice = "A4  ", .idapertura = 3, .quantitapresente = 1000},
      {.magazzino = 1, .codice = std::nullopt, .idapertura = 3, .quantitapresente = 2},
      {.magazzino = 1, .codice = "A5", .idapertura = 0, .quantitapresente = 9},  // left out
  });

  EXPECT_EQ(Export(), out_path_);
  EXPECT_EQ(
      test::CrLfLines(Written()),
      (std::multiset<std::string>{"1;A1;7", "1;A2;12,5", "1;A3;0,005", "1;A4  ;1000", "1;;2"}));
  Export(RegionalSettings{});
  EXPECT_EQ(
      test::CrLfLines(Written()),
      (std::multiset<std::string>{"1;A1;7", "1;A2;12.5", "1;A3;0.005", "1;A4  ;1000", "1;;2"}));
}

// An article code holding a line break would forge a line of its own: every
// CR, LF and NUL becomes a blank, every other byte stays.
TEST_F(StockExportTest, LineBreaksInCodesBecomeBlanks) {
  struct Case {
    std::string code;
    std::string line;  // as written, without its CR LF (Windows-1252)
  };
  const std::vector<Case> cases = {
      {"B1\r\n1;FORGED;99", "1;B1  1;FORGED;99;1"},
      {"B2\rX", "1;B2 X;1"},
      {"B3\nX", "1;B3 X;1"},
      {std::string("B4\0X", 4), "1;B4 X;1"},
      {"B5;X", "1;B5;X;1"},
      {"caff\xC3\xA8\r\n", "1;caff\xE8  ;1"},
  };
  std::multiset<std::string> expected;
  for (const Case& c : cases) {
    db_.AddStock({.magazzino = 1, .codice = c.code, .idapertura = 3, .quantitapresente = 1});
    expected.insert(c.line);
  }
  Export();
  EXPECT_EQ(test::CrLfLines(Written()), expected);
}

TEST_F(StockExportTest, WithoutQuantitiesTheFileIsEmpty) {
  test::WriteFile(out_path_, "1;OLD;1\r\n");
  db_.AddStock({.magazzino = 1, .codice = "A1", .idapertura = 3, .quantitapresente = 5});
  Export(RegionalSettings::Italian(), false);
  EXPECT_TRUE(std::filesystem::exists(out_path_));
  EXPECT_EQ(Written(), "");
}

// A failing statement leaves the previous complete file and nothing beside it.
TEST_F(StockExportTest, StatementErrorKeepsThePreviousFile) {
  test::WriteFile(out_path_, "1;OLD;1\r\n");
  db_.Exec("DROP TABLE PROGMAG");
  EXPECT_THROW(Export(), fb::DatabaseError);
  EXPECT_EQ(Written(), "1;OLD;1\r\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"ESTRAZQ.CSV", "archivio.fdb"}));
}

}  // namespace
}  // namespace et
