// The markup consolidation against a real embedded business database.
// Validity dates are counted from the engine's CURRENT_DATE.
#include "exports/markup_consolidation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fb/attachment.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "fixture/fixture.h"
#include "platform/error.h"
#include "platform/regional.h"
#include "support/temp_dir.h"

namespace et {
namespace {

using test::Day;
using test::kNullText;
using Rows = std::vector<std::vector<std::string>>;

std::string NewBusinessDatabase(const std::string& path) {
  test::CreateBusinessDatabase(path);
  return path;
}

class MarkupConsolidationTest : public ::testing::Test {
 protected:
  MarkupConsolidationTest()
      : db_path_(NewBusinessDatabase(dir_.File("archivio.fdb"))), db_(db_path_) {}

  void Consolidate(std::int32_t default_band,
                   const RegionalSettings& rs = RegionalSettings::Italian()) {
    fb::Attachment att =
        fb::Attachment::Attach(db_path_, test::kFixtureUser, test::kFixturePassword);
    ConsolidateMarkups(att, default_band, rs);
  }

  // A customer whose markup columns hold values of an earlier run.
  void AddCustomer(const std::string& codice, std::optional<int> tipoprezzo) {
    db_.AddCustomer({.codice = codice, .tipoprezzo = tipoprezzo, .info1 = "old", .info2 = 9});
  }

  Rows Customers() {
    return db_.QueryRows("SELECT CODICE, TIPOPREZZO, INFO1, INFO2 FROM CLIENTI ORDER BY CODICE");
  }

  test::TempDir dir_;
  std::string db_path_;
  test::BusinessDb db_;
};

TEST_F(MarkupConsolidationTest, WorkedExample) {
  db_.AddPriceBand({.id = 3, .listinoricarico = 17});
  db_.AddPriceBand({.id = 4});
  db_.AddPriceBand({.id = 5, .listinoricarico = 20});
  db_.AddPriceBand({.id = 6, .listinoricarico = 21});
  db_.AddDiscount({.idlistsc = 17, .sconto1 = 12.5});
  db_.AddDiscount({.idlistsc = 17, .sconto1 = 10, .datainiziovalidita = Day::Today(-5)});
  db_.AddDiscount({.idlistsc = 17, .sconto1 = 12.5, .datafinevalidita = Day::Today(5)});
  db_.AddDiscount({.idlistsc = 17, .sconto1 = 40, .datafinevalidita = Day::Today(-1)});
  db_.AddDiscount({.idlistsc = 20, .sconto1 = 8});
  db_.AddDiscount({.idlistsc = 20, .sconto1 = 8});
  db_.AddDiscount({.idlistsc = 21, .sconto1 = 30, .datafinevalidita = Day::Today(-1)});
  db_.AddDiscount({.idlistsc = 21, .sconto1 = 35, .datainiziovalidita = Day::Today(1)});
  AddCustomer("C0001", 3);
  AddCustomer("C0002", 5);
  AddCustomer("C0003", std::nullopt);
  AddCustomer("C0004", 4);
  AddCustomer("C0005", 6);

  Consolidate(5);

  EXPECT_EQ(Customers(), (Rows{
                             {"C0001", "3", "12,50", "2"},
                             {"C0002", "5", "8,00", kNullText},
                             {"C0003", kNullText, "0", kNullText},
                             {"C0004", "4", kNullText, "1"},
                             {"C0005", "6", kNullText, "1"},
                         }));
}

// One case per kind of customer, each on the same database emptied first.
struct ConsolidationCase {
  std::string name;
  std::int32_t default_band;
  std::vector<test::PriceBand> bands;
  std::vector<test::DiscountRow> discounts;
  std::optional<int> tipoprezzo;  // of the one customer
  std::string info1, info2;       // expected, as fixture texts
  RegionalSettings rs = RegionalSettings::Italian();
};

RegionalSettings WithPoint() {
  RegionalSettings rs;
  rs.decimal_separator = '.';
  return rs;
}

TEST_F(MarkupConsolidationTest, ConsolidationTable) {
  const std::vector<ConsolidationCase> cases = {
      ConsolidationCase{"default band without markup list", 5, {{.id = 5}}, {}, 5, "0", kNullText},
      ConsolidationCase{"no band, whatever the default", 5, {}, {}, std::nullopt, "0", kNullText},
      ConsolidationCase{"no band and no default", 0, {}, {}, std::nullopt, "0", kNullText},
      ConsolidationCase{
          "band 0 is the default when none is configured", 0, {{.id = 0}}, {}, 0, "0", kNullText},
      ConsolidationCase{"a negative default band", -2, {{.id = -2}}, {}, -2, "0", kNullText},
      ConsolidationCase{"band without markup list", 5, {{.id = 4}}, {}, 4, kNullText, "1"},
      ConsolidationCase{"band missing from FASCESC", 5, {}, {}, 9, kNullText, "1"},
      ConsolidationCase{"one distinct markup",
                        5,
                        {{.id = 3, .listinoricarico = 17}},
                        {{.idlistsc = 17, .sconto1 = 8}, {.idlistsc = 17, .sconto1 = 8}},
                        3,
                        "8,00",
                        kNullText},
      ConsolidationCase{"several distinct markups: the highest, kind 2",
                        5,
                        {{.id = 3, .listinoricarico = 17}},
                        {{.idlistsc = 17, .sconto1 = 12.5},
                         {.idlistsc = 17, .sconto1 = 10},
                         {.idlistsc = 17, .sconto1 = std::nullopt}},
                        3,
                        "12,50",
                        "2"},
      ConsolidationCase{"list valid only outside today",
                        5,
                        {{.id = 3, .listinoricarico = 17}},
                        {{.idlistsc = 17, .sconto1 = 8, .datafinevalidita = Day::Today(-1)},
                         {.idlistsc = 17, .sconto1 = 9, .datainiziovalidita = Day::Today(1)}},
                        3,
                        kNullText,
                        "1"},
      ConsolidationCase{"default band whose list is valid only outside today",
                        3,
                        {{.id = 3, .listinoricarico = 17}},
                        {{.idlistsc = 17, .sconto1 = 8, .datafinevalidita = Day::Today(-1)}},
                        3,
                        "0",
                        kNullText},
      ConsolidationCase{"default band with a valid list takes the computed values",
                        3,
                        {{.id = 3, .listinoricarico = 17}},
                        {{.idlistsc = 17, .sconto1 = 8}},
                        3,
                        "8,00",
                        kNullText},
      ConsolidationCase{"rows valid from today and until today count",
                        5,
                        {{.id = 3, .listinoricarico = 17}},
                        {{.idlistsc = 17, .sconto1 = 7, .datainiziovalidita = Day::Today()},
                         {.idlistsc = 17, .sconto1 = 6, .datafinevalidita = Day::Today()}},
                        3,
                        "7,00",
                        "2"},
      ConsolidationCase{"markups only NULL leave the band reset",
                        5,
                        {{.id = 3, .listinoricarico = 17}},
                        {{.idlistsc = 17, .sconto1 = std::nullopt}},
                        3,
                        kNullText,
                        "1"},
      ConsolidationCase{"half a cent rounds away from zero",
                        5,
                        {{.id = 3, .listinoricarico = 17}},
                        {{.idlistsc = 17, .sconto1 = 12.125}},
                        3,
                        "12,13",
                        kNullText},
      ConsolidationCase{"small markup keeps its integer digit",
                        5,
                        {{.id = 3, .listinoricarico = 17}},
                        {{.idlistsc = 17, .sconto1 = 0.125}},
                        3,
                        "0,13",
                        kNullText},
      ConsolidationCase{"a negative markup",
                        5,
                        {{.id = 3, .listinoricarico = 17}},
                        {{.idlistsc = 17, .sconto1 = -3.5}},
                        3,
                        "-3,50",
                        kNullText},
      ConsolidationCase{"the separator of the regional settings",
                        5,
                        {{.id = 3, .listinoricarico = 17}},
                        {{.idlistsc = 17, .sconto1 = 1234.567}},
                        3,
                        "1234.57",
                        kNullText,
                        WithPoint()},
  };
  for (const ConsolidationCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* table : {"CLIENTI", "FASCESC", "LISTSCDTSCO"}) {
      db_.Exec(std::string("DELETE FROM ") + table);
    }
    for (const test::PriceBand& b : c.bands) db_.AddPriceBand(b);
    for (const test::DiscountRow& d : c.discounts) db_.AddDiscount(d);
    AddCustomer("C1", c.tipoprezzo);

    Consolidate(c.default_band, c.rs);

    const Rows rows = Customers();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][2], c.info1);
    EXPECT_EQ(rows[0][3], c.info2);
  }
}

// A failure anywhere rolls everything back: every customer keeps the values
// it had, although statements before the failing one had run.
struct FailureCase {
  std::string name;
  std::string ddl;               // makes one statement fail
  std::string prefix;            // of the error, followed by CR; empty: no prefix
  std::string database_message;  // part of the engine's message
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class ConsolidationFailureTest : public MarkupConsolidationTest,
                                 public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ConsolidationFailureTest, RollsBackAndRaisesTheMessage) {
  const FailureCase& c = GetParam();
  db_.AddPriceBand({.id = 3, .listinoricarico = 17});
  db_.AddPriceBand({.id = 9, .listinoricarico = 19});
  db_.AddDiscount({.idlistsc = 17, .sconto1 = 12.5});
  db_.AddDiscount({.idlistsc = 19, .sconto1 = 66});
  AddCustomer("C1", 3);
  AddCustomer("C2", std::nullopt);
  AddCustomer("C3", 9);
  AddCustomer("C4", 4);
  db_.Exec(c.ddl);
  const Rows before = Customers();

  try {
    Consolidate(5);
    FAIL() << "no error";
  } catch (const Error& e) {
    const std::string message = e.what();
    if (c.prefix.empty()) {
      EXPECT_EQ(message.rfind("Fallito", 0), std::string::npos) << message;
    } else {
      EXPECT_EQ(message.rfind(c.prefix + "\r", 0), 0u) << message;
      EXPECT_GT(message.size(), c.prefix.size() + 1) << "no database message";
    }
    EXPECT_NE(message.find(c.database_message), std::string::npos) << message;
  }
  EXPECT_EQ(Customers(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, ConsolidationFailureTest,
    ::testing::Values(
        FailureCase{"reset", "ALTER TABLE CLIENTI ADD CONSTRAINT NO_RESET CHECK (INFO2 <> 1)",
                    "Fallito reset Info1-Info2 clienti ", "NO_RESET"},
        FailureCase{"preset", "ALTER TABLE CLIENTI ADD CONSTRAINT NO_PRESET CHECK (INFO1 <> '0')",
                    "Fallito preset Info1-Info2 clienti fascia default", "NO_PRESET"},
        // Band 3 is written before band 9 is refused.
        FailureCase{"update", "ALTER TABLE CLIENTI ADD CONSTRAINT NO_66 CHECK (INFO1 <> '66,00')",
                    "Fallito aggiornamento Info1-Info2 clienti ", "NO_66"},
        FailureCase{"markup_query", "DROP TABLE LISTSCDTSCO", "", "LISTSCDTSCO"}),
    [](const ::testing::TestParamInfo<FailureCase>& param_info) { return param_info.param.name; });

// A customer row that the business system holds locked makes the run fail at
// once instead of waiting, and nothing changes.
TEST_F(MarkupConsolidationTest, LockedCustomerFailsAtOnceAndChangesNothing) {
  db_.AddPriceBand({.id = 3, .listinoricarico = 17});
  db_.AddDiscount({.idlistsc = 17, .sconto1 = 12.5});
  AddCustomer("C1", 3);
  AddCustomer("C2", std::nullopt);
  const Rows before = Customers();

  fb::Attachment other =
      fb::Attachment::Attach(db_path_, test::kFixtureUser, test::kFixturePassword);
  fb::Transaction lock(
      other, {.isolation = fb::Isolation::kConcurrency, .lock = fb::LockResolution::kWait});
  fb::Statement(other, lock, "UPDATE CLIENTI SET RAGIONESOCIALE = 'in uso' WHERE CODICE = 'C2'")
      .Execute(lock);

  std::future<std::string> outcome = std::async(std::launch::async, [this] {
    try {
      Consolidate(5);
      return std::string("no error");
    } catch (const Error& e) {
      return std::string(e.what());
    }
  });
  // Only a guard against hanging the suite if the run waited for the lock.
  if (outcome.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    lock.Rollback();
    ADD_FAILURE() << "the consolidation waited for the lock";
    outcome.wait();
    return;
  }
  const std::string message = outcome.get();
  lock.Rollback();

  EXPECT_EQ(message.rfind("Fallito reset Info1-Info2 clienti \r", 0), 0u) << message;
  EXPECT_NE(message.find("update conflicts with concurrent update"), std::string::npos) << message;
  EXPECT_EQ(Customers(), before);
}

}  // namespace
}  // namespace et
