// The declarations of the runs' settings keys and their parsing, without a
// database: every key a run parses is declared, nothing is declared twice,
// and the values become the run's typed settings.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/error.h"
#include "runs/price_list_run.h"
#include "runs/promo_stock_run.h"
#include "runs/run.h"
#include "runs/stock_run.h"

namespace et {
namespace {

// The values of every key of `kind`: "" unless `given` names it.
SettingValues ValuesOf(RunKind kind, const std::map<std::string, std::string>& given) {
  SettingKeys keys = SettingKeysOf(kind);
  std::vector<std::string> values;
  for (const SettingKey& key : keys) {
    const auto it = given.find(std::string(key.name));
    values.push_back(it == given.end() ? "" : it->second);
  }
  return SettingValues(std::move(keys), std::move(values));
}

const std::map<std::string, std::string> kFtp = {{"CAT_HOSTFTP", "ftp.example:2121"},
                                                 {"CAT_USERFTP", "utente"},
                                                 {"CAT_PWDFTP", "segreta"},
                                                 {"CAT_DIRFTP", "catalogo"},
                                                 {"CAT_FTP_CARICAMENTODIRETTO", "1"}};

std::map<std::string, std::string> With(std::map<std::string, std::string> values,
                                        const std::map<std::string, std::string>& more) {
  for (const auto& [k, v] : more) values[k] = v;
  return values;
}

TEST(SettingsDeclaration, EachRunDeclaresEveryKeyOnceAndTheExportDirectoryFirst) {
  for (const RunKind kind : {RunKind::kStock, RunKind::kPriceList, RunKind::kPromoStock}) {
    const SettingKeys keys = SettingKeysOf(kind);
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys.front().name, "DIRCATINTERNET");
    std::set<std::string_view> names;
    for (const SettingKey& key : keys) {
      EXPECT_TRUE(names.insert(key.name).second) << "declared twice: " << key.name;
    }
    // The password is never shown.
    for (const SettingKey& key : keys) {
      EXPECT_EQ(key.secret, key.name == "CAT_PWDFTP") << key.name;
    }
  }
}

TEST(SettingsDeclaration, AKeyNotDeclaredIsAProgrammingError) {
  const SettingValues values = ValuesOf(RunKind::kStock, {});
  EXPECT_EQ(values.Of("CAT_SCRIPTGIACENZE"), "");
  EXPECT_THROW(values.Of("CAT_EXPPRVEN_FASCIA"), std::logic_error);
  EXPECT_THROW(SettingValues({{"A", true, SettingKind::kText}}, {}), std::logic_error);
}

// Parsing reads every key through its declaration, so a key used but not
// declared would raise std::logic_error here.
TEST(SettingsDeclaration, ParsedValues) {
  const StockRunSettings stock = StockRunSettings::Parse(
      ValuesOf(RunKind::kStock, With(kFtp, {{"CAT_TIPOEXPPERGIACENZE", "1"},
                                            {"CAT_SCRIPTGIACENZE", "http://h/g.php"},
                                            {"CAT_HTTP_TIMEOUT", "30"}})));
  EXPECT_TRUE(stock.export_quantities);
  EXPECT_EQ(stock.trigger_url, "http://h/g.php");
  EXPECT_EQ(stock.trigger_timeout.Checked(), std::chrono::seconds(30));
  EXPECT_EQ(stock.ftp.host, "ftp.example:2121");
  EXPECT_EQ(stock.ftp.user, "utente");
  EXPECT_EQ(stock.ftp.password, "segreta");
  EXPECT_EQ(stock.ftp.directory, "catalogo");
  EXPECT_TRUE(stock.ftp.direct_upload);

  const PriceListRunSettings prices = PriceListRunSettings::Parse(
      ValuesOf(RunKind::kPriceList, With(kFtp, {{"CAT_EXPPRVEN_NOMEFILE", "listini.csv"},
                                                {"CAT_EXPPRVEN_SCRIPT", "http://h/l.php"},
                                                {"CAT_EXPPRVEN_FASCIA", "-12"},
                                                {"CAT_EXPPRVEN_NOMEFILE2", "clienti.csv"},
                                                {"CAT_EXPPRVEN_SCRIPT2", "http://h/c.php"},
                                                {"FasciaDefault", "4"}})));
  EXPECT_EQ(prices.price_band, -12);
  EXPECT_EQ(prices.default_band, 4);
  EXPECT_EQ(prices.customers_file, "clienti.csv");
  EXPECT_EQ(prices.trigger_timeout, std::chrono::seconds(0));

  const PromoStockRunSettings promo = PromoStockRunSettings::Parse(
      ValuesOf(RunKind::kPromoStock, With(kFtp, {{"CAT_EXPPROMOSTOCK_NOMEFILE", "promo.csv"},
                                                 {"CAT_EXPPROMOSTOCK_SCRIPT", "http://h/p.php"},
                                                 {"ListinoStock", "7"}})));
  EXPECT_EQ(promo.price_list, 7);
  EXPECT_EQ(promo.file_name, "promo.csv");
}

// The stock run keeps an invalid bound for its trigger step; the other runs
// refuse it with their settings.
TEST(SettingsDeclaration, InvalidTriggerTimeout) {
  const std::string message = "Timeout HTTP abc non valido: serve un numero intero di secondi";
  const StockRunSettings stock =
      StockRunSettings::Parse(ValuesOf(RunKind::kStock, {{"CAT_HTTP_TIMEOUT", "abc"}}));
  EXPECT_EQ(stock.trigger_timeout.limit, std::chrono::seconds(0));
  try {
    stock.trigger_timeout.Checked();
    ADD_FAILURE() << "no error";
  } catch (const ConvertError& e) {
    EXPECT_EQ(std::string(e.what()), message);
  }
  const auto promo = With(kFtp, {{"CAT_EXPPROMOSTOCK_NOMEFILE", "promo.csv"},
                                 {"CAT_EXPPROMOSTOCK_SCRIPT", "http://h/p.php"},
                                 {"ListinoStock", "7"},
                                 {"CAT_HTTP_TIMEOUT", "abc"}});
  EXPECT_THROW(PromoStockRunSettings::Parse(ValuesOf(RunKind::kPromoStock, promo)), ConvertError);
}

}  // namespace
}  // namespace et
