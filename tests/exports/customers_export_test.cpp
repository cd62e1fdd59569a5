// The customers-and-markups file against a real embedded business database.
#include "exports/customers_export.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "exports/markup_consolidation.h"
#include "fb/attachment.h"
#include "fb/error.h"
#include "fixture/fixture.h"
#include "platform/regional.h"
#include "support/temp_dir.h"

namespace et {
namespace {

using test::Day;

std::string NewBusinessDatabase(const std::string& path) {
  test::CreateBusinessDatabase(path);
  return path;
}

class CustomersExportTest : public ::testing::Test {
 protected:
  CustomersExportTest()
      : db_path_(NewBusinessDatabase(dir_.File("archivio.fdb"))),
        out_path_(dir_.File("clienti.csv")),
        db_(db_path_) {}

  std::string Export() {
    fb::Attachment att =
        fb::Attachment::Attach(db_path_, test::kFixtureUser, test::kFixturePassword);
    return WriteCustomersFile(out_path_, att, RegionalSettings::Italian());
  }

  std::string Written() const { return test::ReadFile(out_path_); }

  test::TempDir dir_;
  std::string db_path_;
  std::string out_path_;
  test::BusinessDb db_;
};

// The customers of the consolidation example, published right after it.
TEST_F(CustomersExportTest, WorkedExampleAfterConsolidation) {
  db_.AddPriceBand({.id = 3, .listinoricarico = 17});
  db_.AddPriceBand({.id = 4});
  db_.AddPriceBand({.id = 5, .listinoricarico = 20});
  db_.AddPriceBand({.id = 6, .listinoricarico = 21});
  db_.AddDiscount({.idlistsc = 17, .sconto1 = 12.5});
  db_.AddDiscount({.idlistsc = 17, .sconto1 = 10});
  db_.AddDiscount({.idlistsc = 17, .sconto1 = 12.5});
  db_.AddDiscount({.idlistsc = 20, .sconto1 = 8});
  db_.AddDiscount({.idlistsc = 20, .sconto1 = 8});
  db_.AddDiscount({.idlistsc = 21, .sconto1 = 9, .datafinevalidita = Day::Today(-1)});
  db_.AddCustomer({.codice = "C0004", .tipoprezzo = 4});
  db_.AddCustomer({.codice = "C0001", .tipoprezzo = 3});
  db_.AddCustomer({.codice = "C0005", .tipoprezzo = 6});
  db_.AddCustomer({.codice = "C0003"});
  db_.AddCustomer({.codice = "C0002", .tipoprezzo = 5});
  {
    fb::Attachment att =
        fb::Attachment::Attach(db_path_, test::kFixtureUser, test::kFixturePassword);
    ConsolidateMarkups(att, 5, RegionalSettings::Italian());
  }

  EXPECT_EQ(Export(), out_path_);

  EXPECT_EQ(Written(),
            "CODICE;INFO1;INFO2\r\n"
            "C0001;12,50;2\r\n"
            "C0002;8,00;\r\n"
            "C0003;0;\r\n"
            "C0004;;1\r\n"
            "C0005;;1\r\n");
}

TEST_F(CustomersExportTest, NoCustomerGivesHeaderOnly) {
  test::WriteFile(out_path_, "old content\r\n");
  Export();
  EXPECT_EQ(Written(), "CODICE;INFO1;INFO2\r\n");
}

// Values go out as stored: nothing is quoted or escaped, so a separator in a
// value adds a field. Only a CR, LF or NUL, which would forge a line of its
// own, becomes a blank.
TEST_F(CustomersExportTest, ValuesAreWrittenAsStoredSaveLineBreaks) {
  struct Case {
    std::string codice, info1;
    std::string written;  // the line without its CR LF
  };
  const std::vector<Case> cases = {
      {"A2", "l'olio\r\ncaff\xC3\xA8", "A2;l'olio  caff\xE8;2"},
      {"A3", "a\rb", "A3;a b;3"},
      {"A4", "a\nC9;x;9", "A4;a C9;x;9;4"},
      {"A5", std::string("a\0b", 3), "A5;a b;5"},
      {"A6\r\n", "\r\n\r\n", "A6  ;    ;6"},
      {"B;1", "a\"b", "B;1;a\"b;7"},
  };
  std::string expected = "CODICE;INFO1;INFO2\r\n";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    db_.AddCustomer(
        {.codice = cases[i].codice, .info1 = cases[i].info1, .info2 = static_cast<int>(i) + 2});
    expected += cases[i].written + "\r\n";
  }
  db_.AddCustomer({.codice = "C3"});
  expected += "C3;;\r\n";

  Export();

  EXPECT_EQ(Written(), expected);
}

// A business database whose INFO1 is a number: it is written in its shortest
// form with the regional separator.
TEST_F(CustomersExportTest, NumericColumnUsesTheRegionalSeparator) {
  db_.Exec("ALTER TABLE CLIENTI DROP INFO1");
  db_.Exec("ALTER TABLE CLIENTI ADD INFO1 NUMERIC(15,4)");
  db_.Exec("INSERT INTO CLIENTI (CODICE, INFO1, INFO2) VALUES ('C1', 12.5, 2)");
  db_.Exec("INSERT INTO CLIENTI (CODICE, INFO1, INFO2) VALUES ('C2', 7, NULL)");

  Export();

  EXPECT_EQ(Written(),
            "CODICE;INFO1;INFO2\r\n"
            "C1;12,5;2\r\n"
            "C2;7;\r\n");
}

// The statement runs before the file is created: an earlier file survives.
TEST_F(CustomersExportTest, StatementErrorLeavesAnEarlierFileUntouched) {
  test::WriteFile(out_path_, "CODICE;INFO1;INFO2\r\nC1;8,00;\r\n");
  db_.Exec("ALTER TABLE CLIENTI DROP INFO2");

  EXPECT_THROW(Export(), fb::DatabaseError);

  EXPECT_EQ(Written(), "CODICE;INFO1;INFO2\r\nC1;8,00;\r\n");
}

}  // namespace
}  // namespace et
