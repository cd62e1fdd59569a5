// The settings checks of the price-list and promo runs, against a real
// business database.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dbconfig/database_connection.h"
#include "dbconfig/settings_table.h"
#include "fb/attachment.h"
#include "fixture/fixture.h"
#include "platform/error.h"
#include "runs/price_list_run.h"
#include "runs/promo_stock_run.h"

namespace et {
namespace {

using Keys = std::vector<std::pair<std::string, std::optional<std::string>>>;

class RunSettingsTest : public ::testing::Test {
 protected:
  // Sets the keys; a missing value removes the key.
  void Settings(const Keys& keys) {
    for (const auto& [key, text] : keys) {
      if (text) {
        db_.SetTabX(key, text);
      } else {
        db_.RemoveTabX(key);
      }
    }
  }
  void RemoveAll(const std::vector<std::string>& keys) {
    Keys none;
    for (const std::string& k : keys) none.push_back({k, std::nullopt});
    Settings(none);
  }

  // The message of the check's error, or "" when it passes.
  template <typename Check>
  std::string ErrorOf(Check check) {
    try {
      check(table_);
      return "";
    } catch (const Error& e) {
      return e.what();
    }
  }
  std::string PriceListCheck(const std::string& dir) {
    return ErrorOf([&](SettingsTable& t) { PriceListRunSettings::Read(t, dir); });
  }
  PriceListRunSettings PriceListSettings() {
    return PriceListRunSettings::Read(table_, install_.ExportDir());
  }

  test::Installation install_;
  // One connection writes the keys, another reads them as a run does.
  test::BusinessDb db_ = install_.Business();
  fb::Attachment business_ = fb::Attachment::Attach(install_.BusinessDbName(), kDefaultDatabaseUser,
                                                    kDefaultDatabasePassword);
  SettingsTable table_{business_};
};

const std::vector<std::string> kPriceListKeys = {"CAT_EXPPRVEN_NOMEFILE", "CAT_EXPPRVEN_SCRIPT",
                                                 "CAT_EXPPRVEN_FASCIA", "CAT_EXPPRVEN_NOMEFILE2",
                                                 "CAT_EXPPRVEN_SCRIPT2"};

const Keys kCompletePriceList = {{"CAT_EXPPRVEN_NOMEFILE", "listini.csv"},
                                 {"CAT_EXPPRVEN_SCRIPT", "http://127.0.0.1/listini.php"},
                                 {"CAT_EXPPRVEN_FASCIA", "3"},
                                 {"CAT_EXPPRVEN_NOMEFILE2", "clienti.csv"},
                                 {"CAT_EXPPRVEN_SCRIPT2", "http://127.0.0.1/clienti.php"}};

// Each case breaks one setting and leaves every later one missing: only the
// first failing check is reported.
TEST_F(RunSettingsTest, PriceListMessagesInTheirOrder) {
  struct Case {
    std::string name;
    Keys keys;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"file name missing", {}, "Nome file listini statici non parametrizzato"},
      {"file name empty",
       {{"CAT_EXPPRVEN_NOMEFILE", ""}},
       "Nome file listini statici non parametrizzato"},
      {"script missing",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"}},
       "Script HTTP listini statici non parametrizzato"},
      {"band missing",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"}, {"CAT_EXPPRVEN_SCRIPT", "http://h/l"}},
       "Fascia listino di riferimento non parametrizzata"},
      {"band not a number",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"},
        {"CAT_EXPPRVEN_SCRIPT", "http://h/l"},
        {"CAT_EXPPRVEN_FASCIA", "abc"}},
       "Fascia listino abc di riferimento non valida"},
      {"band beyond 32 bits",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"},
        {"CAT_EXPPRVEN_SCRIPT", "http://h/l"},
        {"CAT_EXPPRVEN_FASCIA", "2147483648"}},
       "Fascia listino 2147483648 di riferimento non valida"},
      {"band with decimals",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"},
        {"CAT_EXPPRVEN_SCRIPT", "http://h/l"},
        {"CAT_EXPPRVEN_FASCIA", "3,5"}},
       "Fascia listino 3,5 di riferimento non valida"},
      {"customers file name missing",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"},
        {"CAT_EXPPRVEN_SCRIPT", "http://h/l"},
        {"CAT_EXPPRVEN_FASCIA", "12"}},
       "Nome file clienti e ricarichi non parametrizzato"},
      {"customers script missing",
       {{"CAT_EXPPRVEN_NOMEFILE", "l.csv"},
        {"CAT_EXPPRVEN_SCRIPT", "http://h/l"},
        {"CAT_EXPPRVEN_FASCIA", "-1"},
        {"CAT_EXPPRVEN_NOMEFILE2", "c.csv"}},
       "Script HTTP clienti e ricarichi non parametrizzato"},
      {"a blank is a value",
       {{"CAT_EXPPRVEN_NOMEFILE", " "},
        {"CAT_EXPPRVEN_SCRIPT", " "},
        {"CAT_EXPPRVEN_FASCIA", "0"},
        {"CAT_EXPPRVEN_NOMEFILE2", " "},
        {"CAT_EXPPRVEN_SCRIPT2", " "}},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveAll(kPriceListKeys);
    Settings(c.keys);
    EXPECT_EQ(PriceListCheck(install_.ExportDir()), c.message);
  }
}

// The directory comes first: nothing else is read when it is missing.
TEST_F(RunSettingsTest, PriceListMissingExportDirectoryComesFirst) {
  EXPECT_EQ(PriceListCheck(install_.Root() + "/nodir"),
            "Directory export \"" + install_.Root() + "/nodir\" non trovata");
  // An existing regular file is no directory either.
  Settings(kCompletePriceList);
  EXPECT_EQ(PriceListCheck(install_.ParametersFile()),
            "Directory export \"" + install_.ParametersFile() + "\" non trovata");
}

// A value kept only for a particular user does not count.
TEST_F(RunSettingsTest, PriceListUserOnlyKeyReadsAsEmpty) {
  Settings(kCompletePriceList);
  Settings({{"CAT_EXPPRVEN_SCRIPT", std::nullopt}});
  db_.SetUserTabX("CAT_EXPPRVEN_SCRIPT", "http://h/personale", 1);
  EXPECT_EQ(PriceListCheck(install_.ExportDir()), "Script HTTP listini statici non parametrizzato");
}

TEST_F(RunSettingsTest, PriceListValuesAndTheDefaultBand) {
  struct Case {
    std::optional<std::string> default_band;  // nullopt: no key
    std::int32_t expected;
  };
  const std::vector<Case> cases = {
      {std::nullopt, 0}, {"", 0}, {"abc", 0}, {"7x", 0}, {"7", 7}, {"-2", -2}, {"99999999999", 0},
  };
  Settings(kCompletePriceList);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.default_band.value_or("<no key>"));
    Settings({{"FasciaDefault", c.default_band}});
    EXPECT_EQ(PriceListSettings().default_band, c.expected);
  }
  const PriceListRunSettings s = PriceListSettings();
  EXPECT_EQ(s.price_list_file, "listini.csv");
  EXPECT_EQ(s.price_list_trigger, "http://127.0.0.1/listini.php");
  EXPECT_EQ(s.price_band, 3);
  EXPECT_EQ(s.customers_file, "clienti.csv");
  EXPECT_EQ(s.customers_trigger, "http://127.0.0.1/clienti.php");
}

TEST_F(RunSettingsTest, PromoStockMessagesInTheirOrder) {
  struct Case {
    std::string name;
    Keys keys;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"file name missing", {}, "Nome file promo a stock non parametrizzato"},
      {"script missing",
       {{"CAT_EXPPROMOSTOCK_NOMEFILE", "promo.csv"}},
       "Script HTTP promo a stock non parametrizzato"},
      {"list missing",
       {{"CAT_EXPPROMOSTOCK_NOMEFILE", "promo.csv"}, {"CAT_EXPPROMOSTOCK_SCRIPT", "http://h/p"}},
       "Listino promo a stock non parametrizzato o non valido"},
      {"list zero",
       {{"CAT_EXPPROMOSTOCK_NOMEFILE", "promo.csv"},
        {"CAT_EXPPROMOSTOCK_SCRIPT", "http://h/p"},
        {"ListinoStock", "0"}},
       "Listino promo a stock non parametrizzato o non valido"},
      {"list not a number",
       {{"CAT_EXPPROMOSTOCK_NOMEFILE", "promo.csv"},
        {"CAT_EXPPROMOSTOCK_SCRIPT", "http://h/p"},
        {"ListinoStock", "7a"}},
       "Listino promo a stock non parametrizzato o non valido"},
      {"negative list accepted",
       {{"CAT_EXPPROMOSTOCK_NOMEFILE", "promo.csv"},
        {"CAT_EXPPROMOSTOCK_SCRIPT", "http://h/p"},
        {"ListinoStock", "-7"}},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveAll({"CAT_EXPPROMOSTOCK_NOMEFILE", "CAT_EXPPROMOSTOCK_SCRIPT", "ListinoStock"});
    Settings(c.keys);
    EXPECT_EQ(ErrorOf([](SettingsTable& t) { PromoStockRunSettings::Read(t); }), c.message);
  }
}

TEST_F(RunSettingsTest, FileNamesArePlainNames) {
  struct Case {
    std::string value;
    bool plain;
  };
  const std::vector<Case> cases = {
      {"listini.csv", true},
      {"listini 2026.CSV", true},
      {".nascosto", true},
      {"...", true},
      {"a..b", true},
      {"../escape.csv", false},
      {"sub/x.csv", false},
      {"/tmp/x.csv", false},
      {"sub\\x.csv", false},
      {".", false},
      {"..", false},
      {"a\rb", false},
      {"a\nb", false},
      {"a\tb", false},
      {std::string("a\x7F", 2), false},
  };
  Settings(kCompletePriceList);
  Settings({{"CAT_EXPPROMOSTOCK_SCRIPT", "http://h/p"}, {"ListinoStock", "7"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    for (const std::string key : {"CAT_EXPPRVEN_NOMEFILE", "CAT_EXPPRVEN_NOMEFILE2"}) {
      Settings(kCompletePriceList);
      Settings({{key, c.value}});
      const std::string error = PriceListCheck(install_.ExportDir());
      EXPECT_EQ(error.empty(), c.plain) << key << ": " << error;
      if (!c.plain) {
        EXPECT_NE(error.find(" non valido: "), std::string::npos) << error;
      }
    }
    Settings({{"CAT_EXPPROMOSTOCK_NOMEFILE", c.value}});
    const std::string error = ErrorOf([](SettingsTable& t) { PromoStockRunSettings::Read(t); });
    EXPECT_EQ(error.empty(), c.plain) << error;
    if (!c.plain) {
      EXPECT_EQ(error.rfind("Nome file promo a stock ", 0), 0u) << error;
    }
  }
}

TEST_F(RunSettingsTest, TriggerTimeoutAndDirectUpload) {
  struct Case {
    std::optional<std::string> timeout;
    std::optional<std::string> direct;
    int seconds;
    bool direct_upload;
    std::string message;
  };
  const std::vector<Case> cases = {
      {std::nullopt, std::nullopt, 0, false, ""},
      {"30", "1", 30, true, ""},
      {"0", "0", 0, false, ""},
      {"", "si", 0, false, ""},
      {"-5", std::nullopt, 0, false,
       "Timeout HTTP -5 non valido: serve un numero intero di secondi"},
      {"10s", std::nullopt, 0, false,
       "Timeout HTTP 10s non valido: serve un numero intero di secondi"},
  };
  Settings({{"CAT_EXPPROMOSTOCK_NOMEFILE", "promo.csv"},
            {"CAT_EXPPROMOSTOCK_SCRIPT", "http://h/p"},
            {"ListinoStock", "7"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.timeout.value_or("<no key>"));
    Settings({{"CAT_HTTP_TIMEOUT", c.timeout}, {"CAT_FTP_CARICAMENTODIRETTO", c.direct}});
    PromoStockRunSettings read;
    EXPECT_EQ(ErrorOf([&](SettingsTable& t) { read = PromoStockRunSettings::Read(t); }), c.message);
    if (c.message.empty()) {
      EXPECT_EQ(read.trigger_timeout.count(), c.seconds);
      EXPECT_EQ(read.ftp.direct_upload, c.direct_upload);
    }
  }
}

TEST_F(RunSettingsTest, FtpTlsAndCertificate) {
  const std::string kBad =
      " non valido: serve 0 (FTP senza cifratura), 1 (TLS se il server lo offre) o 2 (TLS "
      "obbligatorio, certificato verificato)";
  struct Case {
    std::optional<std::string> tls;
    int read;
    std::string message;
  };
  const std::vector<Case> cases = {
      {std::nullopt, 0, ""},
      {"", 0, ""},
      {"0", 0, ""},
      {"1", 1, ""},
      {"2", 2, ""},
      {"3", 0, "CAT_FTP_TLS 3" + kBad},
      {"si", 0, "CAT_FTP_TLS si" + kBad},
  };
  Settings({{"CAT_EXPPROMOSTOCK_NOMEFILE", "promo.csv"},
            {"CAT_EXPPROMOSTOCK_SCRIPT", "http://h/p"},
            {"ListinoStock", "7"},
            {"CAT_FTP_CERTIFICATO", "sha256//abc="},
            {"CAT_SFTP_CHIAVE", "/etc/exporttotale/id_ed25519"},
            {"CAT_SFTP_IMPRONTA", "SHA256:abc"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tls.value_or("<no key>"));
    Settings({{"CAT_FTP_TLS", c.tls}});
    PromoStockRunSettings read;
    EXPECT_EQ(ErrorOf([&](SettingsTable& t) { read = PromoStockRunSettings::Read(t); }), c.message);
    if (c.message.empty()) {
      EXPECT_EQ(read.ftp.tls, c.read);
      EXPECT_EQ(read.ftp.certificate, "sha256//abc=");
      EXPECT_EQ(read.ftp.ssh_key, "/etc/exporttotale/id_ed25519");
      EXPECT_EQ(read.ftp.host_fingerprint, "SHA256:abc");
    }
  }
}

}  // namespace
}  // namespace et
