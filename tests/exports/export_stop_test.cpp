// A stop request is honoured inside every export's loop: the export ends
// with StopRequestedError at the row where the stop arrives, the file of the
// previous run stays as it was, its temporary file is gone, and the markup
// consolidation changes no customer. The stop arrives through the stop
// mechanism's test hook, just before the last row's check, so an export that
// checked only before or after its loop would complete instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "exports/customers_export.h"
#include "exports/markup_consolidation.h"
#include "exports/price_list_export.h"
#include "exports/promo_stock_export.h"
#include "exports/stock_export.h"
#include "fb/attachment.h"
#include "fb/transaction.h"
#include "fixture/fixture.h"
#include "platform/regional.h"
#include "platform/stop_signals.h"
#include "support/temp_dir.h"

namespace et {
namespace {

constexpr int kRows = 3;  // rows of every export's outer loop
constexpr int kPromoList = 7;
const std::string kPrevious = "file della corsa precedente\r\n";

// Forgets the stop a test requested, whatever the test's outcome.
struct StopRequestGuard {
  StopRequestGuard(int signal, int passing_checks) {
    RequestStopForTesting(signal, passing_checks);
  }
  ~StopRequestGuard() { ClearStopForTesting(); }
  StopRequestGuard(const StopRequestGuard&) = delete;
  StopRequestGuard& operator=(const StopRequestGuard&) = delete;
};

struct ExportCase {
  const char* name;
  const char* file_name;  // empty for the consolidation, which writes no file
  std::function<void(const std::string& path, fb::Attachment&)> run;
};

void PrintTo(const ExportCase& c, std::ostream* os) { *os << c.name; }

class ExportStopTest : public ::testing::TestWithParam<ExportCase> {
 protected:
  static void SetUpTestSuite() {
    template_dir_ = new test::TempDir;
    template_path_ = new std::string(template_dir_->File("modello.fdb"));
    test::CreateBusinessDatabase(*template_path_);
    test::BusinessDb db(*template_path_);
    for (int i = 1; i <= kRows; ++i) {
      // Appended, not "A" + text: GCC 12 warns wrongly (-Wrestrict) on that.
      const std::string number = std::to_string(i);
      const std::string code = std::string("A").append(number);
      db.AddStock({.codice = code, .quantitapresente = 5});
      db.AddPreparedPrice(
          {.fascia = 3, .articolo = code, .descrizione = "Articolo", .prezzonetto = 1});
      db.AddNetPrice(
          {.idlistsc = kPromoList, .codicearticolo = code, .quantitascaglione = 4, .prezzo = 2});
      db.AddPriceBand({.id = i, .listinoricarico = 20 + i});
      db.AddDiscount({.idlistsc = 20 + i, .sconto1 = 10});
      db.AddCustomer({.codice = std::string("C").append(number), .tipoprezzo = i, .info1 = "old"});
    }
  }
  static void TearDownTestSuite() {
    delete template_path_;
    delete template_dir_;
  }

  ExportStopTest() { std::filesystem::copy_file(*template_path_, db_path_); }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::vector<std::vector<std::string>> Customers() {
    return test::BusinessDb(db_path_).QueryRows(
        "SELECT CODICE, INFO1, INFO2 FROM CLIENTI ORDER BY CODICE");
  }

  static test::TempDir* template_dir_;
  static std::string* template_path_;
  test::TempDir dir_;
  const std::string db_path_ = dir_.File("archivio.fdb");
};

test::TempDir* ExportStopTest::template_dir_ = nullptr;
std::string* ExportStopTest::template_path_ = nullptr;

TEST_P(ExportStopTest, EndsAtTheRowWhereTheStopArrives) {
  const ExportCase& c = GetParam();
  const std::string file_name = c.file_name;
  const std::string path = dir_.File(file_name.empty() ? "nessuno" : file_name);
  if (!file_name.empty()) test::WriteFile(path, kPrevious);
  const auto customers = Customers();
  fb::Attachment attachment =
      fb::Attachment::Attach(db_path_, test::kFixtureUser, test::kFixturePassword);
  {
    const StopRequestGuard stop(SIGTERM, kRows - 1);
    try {
      c.run(path, attachment);
      ADD_FAILURE() << "the export ran to its end";
    } catch (const StopRequestedError& e) {
      EXPECT_STREQ(e.what(), "Esecuzione interrotta dal segnale SIGTERM");
    }
  }
  attachment.Detach();
  EXPECT_EQ(Customers(), customers);
  if (file_name.empty()) {
    EXPECT_EQ(Names(), std::vector<std::string>{"archivio.fdb"});
    return;
  }
  EXPECT_EQ(test::ReadFile(path), kPrevious);
  std::vector<std::string> expected = {"archivio.fdb", file_name};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Names(), expected);
}

const RegionalSettings kItalian = RegionalSettings::Italian();

INSTANTIATE_TEST_SUITE_P(
    Exports, ExportStopTest,
    ::testing::Values(ExportCase{"stock", "ESTRAZQ.CSV",
                                 [](const std::string& path, fb::Attachment& attachment) {
                                   fb::Transaction transaction(
                                       attachment, fb::TransactionOptions::ServerDefaults());
                                   WriteStockFile(path, attachment, transaction, true, kItalian);
                                 }},
                      ExportCase{"price_list", "listini.csv",
                                 [](const std::string& path, fb::Attachment& attachment) {
                                   WritePriceListFile(path, attachment, 3, kItalian);
                                 }},
                      ExportCase{"customers", "clienti.csv",
                                 [](const std::string& path, fb::Attachment& attachment) {
                                   WriteCustomersFile(path, attachment, kItalian);
                                 }},
                      ExportCase{"promo_stock", "promostock.csv",
                                 [](const std::string& path, fb::Attachment& attachment) {
                                   WritePromoStockFile(path, attachment, kPromoList, kItalian);
                                 }},
                      ExportCase{"markup_consolidation", "",
                                 [](const std::string&, fb::Attachment& attachment) {
                                   ConsolidateMarkups(attachment, 1, kItalian);
                                 }}),
    [](const ::testing::TestParamInfo<ExportCase>& tested) { return tested.param.name; });

}  // namespace
}  // namespace et
