// The price-list run "-p" of the built executable, run as a subprocess on a
// real installation (embedded business database) with real FTP and HTTP
// servers on the loopback interface, under Italian regional settings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fixture/fixture.h"
#include "support/servers.h"
#include "support/subprocess.h"
#include "tests/e2e/e2e.h"

namespace et::test {
namespace {

namespace fs = std::filesystem;

const std::string kExpectedPriceList =
    "ARTICOLO;DESCRIZIONE;COD. CATEGORIA SCONTO;CATEGORIA SCONTO;COD. CATEGORIA ARTICOLO;"
    "CATEGORIA ARTICOLO;PREZZO NETTO;SCONTO 1;SCONTO 2;SCONTO 3;PROMO\r\n"
    "VT100;Cacciavite d\xB4"
    "acciaio;S1;Sconto rivenditori;UT;Utensili;12,50;10,00;0,00;0,00;\"1-9 12,00\r\n"
    "10-49 11,50\r\n"
    "50-999 10,90\";\r\n"
    "VT102;Punta da 3 mm;S1;Sconto rivenditori;UT;Utensili;0,13;5,00;2,50;0,00;;\r\n";

const std::string kExpectedCustomers =
    "CODICE;INFO1;INFO2\r\n"
    "C0001;12,50;2\r\n"
    "C0002;8,00;\r\n"
    "C0003;0;\r\n"
    "C0004;;1\r\n"
    "C0005;;1\r\n";

using Rows = std::vector<std::vector<std::string>>;

// An installation with the price lists and customers of the examples, every
// setting of the price-list run and the servers' addresses.
class PriceListRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ftp_.MakeDirectory("import");
    BusinessDb db = install_.Business();

    db.AddClassification1({.descrizione = "S1", .descrizione1 = "Sconto rivenditori"});
    db.AddClassification2({.descrizione = "UT", .descrizione1 = "Utensili"});
    db.AddArticle({.codice = "VT100", .classificazione1 = "S1", .classificazione2 = "UT"});
    db.AddArticle({.codice = "VT102", .classificazione1 = "S1", .classificazione2 = "UT"});
    db.AddPreparedPrice({.fascia = 3,
                         .articolo = "VT100",
                         .descrizione = "Cacciavite d'acciaio",
                         .prezzonetto = 12.5,
                         .scontouno = 10,
                         .listino_app = 17});
    db.AddPreparedPrice({.fascia = 3,
                         .articolo = "VT102",
                         .descrizione = "Punta\r\nda 3 mm",
                         .prezzonetto = 0.125,
                         .scontouno = 5,
                         .scontodue = 2.5,
                         .listino_app = 17});
    db.AddPreparedPrice({.fascia = 4, .articolo = "ALTRA", .prezzonetto = 1});
    db.AddPriceList({.id = 17, .tipo = "N"});
    db.LinkBandToList(3, 17);
    db.AddNetPrice(
        {.idlistsc = 17, .codicearticolo = "VT100", .quantitascaglione = 1, .prezzo = 12});
    db.AddNetPrice(
        {.idlistsc = 17, .codicearticolo = "VT100", .quantitascaglione = 10, .prezzo = 11.5});
    db.AddNetPrice({.idlistsc = 17,
                    .codicearticolo = "VT100",
                    .quantitascaglione = 50,
                    .prezzo = 10.9,
                    .datainiziovalidita = Day::Today(-1),
                    .datafinevalidita = Day::Today(1)});
    db.AddNetPrice({.idlistsc = 17,
                    .codicearticolo = "VT100",
                    .quantitascaglione = 100,
                    .prezzo = 9,
                    .datafinevalidita = Day::Today(-1)});

    db.AddPriceBand({.id = 3, .listinoricarico = 27});
    db.AddPriceBand({.id = 4});
    db.AddPriceBand({.id = 5, .listinoricarico = 20});
    db.AddPriceBand({.id = 6, .listinoricarico = 21});
    db.AddDiscount({.idlistsc = 27, .sconto1 = 12.5});
    db.AddDiscount({.idlistsc = 27, .sconto1 = 10});
    db.AddDiscount({.idlistsc = 27, .sconto1 = 12.5});
    db.AddDiscount({.idlistsc = 20, .sconto1 = 8});
    db.AddDiscount({.idlistsc = 20, .sconto1 = 8});
    db.AddDiscount({.idlistsc = 21, .sconto1 = 9, .datafinevalidita = Day::Today(-1)});
    db.AddCustomer({.codice = "C0001", .tipoprezzo = 3});
    db.AddCustomer({.codice = "C0002", .tipoprezzo = 5, .info1 = "vecchio", .info2 = 7});
    db.AddCustomer({.codice = "C0003"});
    db.AddCustomer({.codice = "C0004", .tipoprezzo = 4, .info1 = "0", .info2 = 2});
    db.AddCustomer({.codice = "C0005", .tipoprezzo = 6});

    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"DIRCATINTERNET", install_.ExportDir()},
             {"CAT_HOSTFTP", ftp_.HostAndPort()},
             {"CAT_USERFTP", FtpServer::kUser},
             {"CAT_PWDFTP", FtpServer::kPassword},
             {"CAT_DIRFTP", "import"},
             {"CAT_EXPPRVEN_NOMEFILE", "listini.csv"},
             {"CAT_EXPPRVEN_SCRIPT", http_.BaseUrl() + "/import/listini.php?lotto=1"},
             {"CAT_EXPPRVEN_FASCIA", "3"},
             {"CAT_EXPPRVEN_NOMEFILE2", "clienti.csv"},
             {"CAT_EXPPRVEN_SCRIPT2", http_.BaseUrl() + "/import/clienti.php"},
             {"FasciaDefault", "5"},
         }) {
      db.SetTabX(key, value);
    }
  }

  void Set(const std::string& key, const std::string& value) { install_.SetTabX(key, value); }

  // The business database must be closed while the program holds it.
  ProcessResult Run(bool close_stdout = false) {
    RunOptions options;
    options.env = {{"LC_ALL", "it_IT.UTF-8"}};
    options.close_stdout = close_stdout;
    return RunInstalled(install_, {"-p"}, options);
  }

  std::string Exported(const std::string& name) const {
    return ReadFile(install_.ExportDir() + name);
  }
  bool ExportedExists(const std::string& name) const {
    return fs::exists(install_.ExportDir() + name);
  }

  Rows Customers() const {
    return install_.Business().QueryRows(
        "SELECT CODICE, TIPOPREZZO, INFO1, INFO2 FROM CLIENTI ORDER BY CODICE");
  }

  std::vector<std::string> RequestedPaths() const {
    std::vector<std::string> paths;
    for (const HttpRequest& r : http_.Requests()) paths.push_back(r.path);
    return paths;
  }

  FtpServer ftp_;
  HttpServer http_;
  Installation install_{BuiltProgram()};
};

TEST_F(PriceListRunTest, WritesUploadsAndTriggersBothFiles) {
  const ProcessResult r = Run();

  ASSERT_EQ(r.exit_status, kStatusCompleted) << Describe(r);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Exported("listini.csv"), kExpectedPriceList);
  EXPECT_EQ(Exported("clienti.csv"), kExpectedCustomers);
  EXPECT_EQ(ftp_.ReadReceived("import/listini.csv"), kExpectedPriceList);
  EXPECT_EQ(ftp_.ReadReceived("import/clienti.csv"), kExpectedCustomers);
  EXPECT_EQ(RequestedPaths(),
            (std::vector<std::string>{"/import/listini.php?lotto=1", "/import/clienti.php"}));
  // The consolidation is committed.
  EXPECT_EQ(Customers(), (Rows{{"C0001", "3", "12,50", "2"},
                               {"C0002", "5", "8,00", kNullText},
                               {"C0003", kNullText, "0", kNullText},
                               {"C0004", "4", kNullText, "1"},
                               {"C0005", "6", kNullText, "1"}}));
}

// A file name setting is a plain name: one that would reach outside the
// export directory (or into another line) stops the run before anything is
// written, uploaded or triggered.
TEST_F(PriceListRunTest, FileNamesOutsideTheExportDirectoryAreRefused) {
  const std::string escape = "et-escape-" + std::to_string(::getpid()) + ".csv";
  struct Case {
    std::string key;
    std::string value;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"CAT_EXPPRVEN_NOMEFILE", "../../" + escape,
       "Nome file listini statici ../../" + escape + " non valido"},
      {"CAT_EXPPRVEN_NOMEFILE", "../" + escape, "Nome file listini statici ../" + escape},
      {"CAT_EXPPRVEN_NOMEFILE", "..", "Nome file listini statici .. non valido"},
      {"CAT_EXPPRVEN_NOMEFILE", "sub\\x.csv", "Nome file listini statici sub\\x.csv"},
      {"CAT_EXPPRVEN_NOMEFILE", "a\r\nb.csv", "Nome file listini statici a??b.csv non valido"},
      {"CAT_EXPPRVEN_NOMEFILE2", "/tmp/" + escape,
       "Nome file clienti e ricarichi /tmp/" + escape + " non valido"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key + "=" + c.value);
    Set("CAT_EXPPRVEN_NOMEFILE", "listini.csv");
    Set("CAT_EXPPRVEN_NOMEFILE2", "clienti.csv");
    Set(c.key, c.value);
    const ProcessResult r = Run();
    EXPECT_EQ(r.exit_status, kStatusNotCompleted) << Describe(r);
    EXPECT_NE(r.out.find(c.message), std::string::npos) << Describe(r);
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one line: " << r.out;
    EXPECT_FALSE(fs::exists(install_.Root() + "/" + escape));
    EXPECT_FALSE(fs::exists(fs::path(install_.Root()).parent_path() / escape));
    EXPECT_FALSE(fs::exists("/tmp/" + escape));
    EXPECT_FALSE(ExportedExists("listini.csv"));
    EXPECT_TRUE(RequestedPaths().empty());
  }
  EXPECT_FALSE(ftp_.HasFile("import/listini.csv"));
}

// Uploads that fail are logged and the run goes on to both triggers.
TEST_F(PriceListRunTest, FtpRefusingTheLoginStillCompletesTheRun) {
  Set("CAT_PWDFTP", "sbagliata");

  const ProcessResult r = Run();

  ASSERT_EQ(r.exit_status, kStatusCompleted) << Describe(r);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Exported("listini.csv"), kExpectedPriceList);
  EXPECT_EQ(Exported("clienti.csv"), kExpectedCustomers);
  EXPECT_FALSE(ftp_.HasFile("import/listini.csv"));
  EXPECT_FALSE(ftp_.HasFile("import/clienti.csv"));
  EXPECT_EQ(RequestedPaths(),
            (std::vector<std::string>{"/import/listini.php?lotto=1", "/import/clienti.php"}));
  const std::string log = Exported("logQuorvandelix.txt");
  std::size_t failures = 0;
  for (std::size_t p = log.find("Esito upload ftp"); p != std::string::npos;
       p = log.find("Esito upload ftp", p + 1)) {
    ++failures;
  }
  EXPECT_EQ(failures, 2u) << log;
}

TEST_F(PriceListRunTest, FailedFirstTriggerSkipsTheSecond) {
  Set("CAT_EXPPRVEN_SCRIPT", http_.BaseUrl() + "/status/500");

  const ProcessResult r = Run();

  ASSERT_EQ(r.exit_status, kStatusNotCompleted) << Describe(r);
  EXPECT_EQ(RequestedPaths(), (std::vector<std::string>{"/status/500"}));
  // The run failure line: the error's message, one line.
  ASSERT_GE(r.out.size(), 2u);
  EXPECT_EQ(r.out.find("\r\n"), r.out.size() - 2) << r.out;
  EXPECT_NE(r.out.find("500"), std::string::npos) << r.out;
  // Both files were written and uploaded before.
  EXPECT_EQ(ftp_.ReadReceived("import/listini.csv"), kExpectedPriceList);
  EXPECT_EQ(ftp_.ReadReceived("import/clienti.csv"), kExpectedCustomers);
}

TEST_F(PriceListRunTest, FailedSecondTriggerFailsTheRun) {
  Set("CAT_EXPPRVEN_SCRIPT2", http_.BaseUrl() + "/status/404");

  const ProcessResult r = Run();

  ASSERT_EQ(r.exit_status, kStatusNotCompleted) << Describe(r);
  EXPECT_EQ(RequestedPaths(),
            (std::vector<std::string>{"/import/listini.php?lotto=1", "/status/404"}));
  EXPECT_NE(r.out.find("404"), std::string::npos) << r.out;
}

// A failed check ends the run before anything changes.
TEST_F(PriceListRunTest, MissingExportDirectoryEndsTheRunBeforeAnyChange) {
  const std::string nodir = install_.Root() + "/nodir";
  Set("DIRCATINTERNET", nodir);
  const Rows before = Customers();

  const ProcessResult r = Run();

  ASSERT_EQ(r.exit_status, kStatusNotCompleted) << Describe(r);
  EXPECT_EQ(r.out, "Directory export \"" + nodir + "\" non trovata\r\n");
  EXPECT_EQ(Customers(), before);
  EXPECT_FALSE(ExportedExists("listini.csv"));
  EXPECT_TRUE(http_.Requests().empty());
}

TEST_F(PriceListRunTest, InvalidBandIsReported) {
  Set("CAT_EXPPRVEN_FASCIA", "abc");
  const ProcessResult r = Run();
  ASSERT_EQ(r.exit_status, kStatusNotCompleted) << Describe(r);
  EXPECT_EQ(r.out, "Fascia listino abc di riferimento non valida\r\n");
}

// A consolidation that fails leaves every customer as it was, writes no file
// and reports its prefix, a CR and the database's message.
TEST_F(PriceListRunTest, FailedConsolidationChangesNothing) {
  install_.Business().Exec("ALTER TABLE CLIENTI ADD CONSTRAINT SOLO_FASCE CHECK (INFO1 <> '8,00')");
  const Rows before = Customers();

  const ProcessResult r = Run();

  ASSERT_EQ(r.exit_status, kStatusNotCompleted) << Describe(r);
  EXPECT_EQ(r.out.rfind("Fallito aggiornamento Info1-Info2 clienti \r", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("SOLO_FASCE"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - 2), "\r\n");
  EXPECT_EQ(Customers(), before);
  EXPECT_FALSE(ExportedExists("listini.csv"));
  EXPECT_FALSE(ExportedExists("clienti.csv"));
  EXPECT_TRUE(http_.Requests().empty());
}

// Without a usable standard output the failure line cannot be written: the
// run halts with its message.
TEST_F(PriceListRunTest, UnwritableFailureLineHaltsTheRun) {
  Set("CAT_EXPPRVEN_NOMEFILE", "");
  const ProcessResult r = Run(/*close_stdout=*/true);
  ASSERT_EQ(r.exit_status, kStatusNotCompleted) << Describe(r);
  EXPECT_NE(r.err.find("standard output"), std::string::npos) << Describe(r);
}

}  // namespace
}  // namespace et::test
