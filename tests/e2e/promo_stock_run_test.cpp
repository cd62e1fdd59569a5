// The promo-at-stock run "exporttotale -s" as the scheduler starts it: the
// built program in an installation with an embedded business database, a
// real FTP server and a real HTTP server for the trigger script.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fixture/fixture.h"
#include "support/servers.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "tests/e2e/e2e.h"

namespace et::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHeader = "Codice;Estensione;QStockUtile;PrezzoStock\r\n";
constexpr const char* kFileName = "promostock.csv";
constexpr const char* kScriptPath = "/import/promostock.php?listino=7";
constexpr const char* kUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/52.0.2743.116 Safari/537.36";

NetPriceRow Price(int price_list, std::string code, std::string extension, double quantity,
                  double price, Day inizio = Day::Open(), Day fine = Day::Open()) {
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

PromoLogRow Order(std::string code, std::optional<std::string> extension, Day data, double quantity,
                  std::string status) {
  PromoLogRow row;
  row.codicearticolo = std::move(code);
  row.estensione = std::move(extension);
  row.datapromo = data;
  row.status = std::move(status);
  row.quantitaordine = quantity;
  return row;
}

// An installation configured for the run: the file name, the trigger URL on
// the HTTP server, list 7, and the FTP server's "catalogo" directory.
class PromoStockRunTest : public ::testing::Test {
 protected:
  PromoStockRunTest() : installation_(BuiltProgram()) {}

  void SetUp() override {
    ftp_.MakeDirectory("catalogo");
    BusinessDb db = installation_.Business();
    db.SetTabX("CAT_HOSTFTP", ftp_.HostAndPort());
    db.SetTabX("CAT_USERFTP", FtpServer::kUser);
    db.SetTabX("CAT_PWDFTP", FtpServer::kPassword);
    db.SetTabX("CAT_DIRFTP", "catalogo");
    db.SetTabX("CAT_EXPPROMOSTOCK_NOMEFILE", kFileName);
    db.SetTabX("CAT_EXPPROMOSTOCK_SCRIPT", http_.BaseUrl() + kScriptPath);
    db.SetTabX("ListinoStock", "7");
  }

  // The program holds the embedded database alone: every fixture attachment
  // is closed before this.
  ProcessResult Run() {
    RunOptions options;
    options.env = {{"LC_ALL", "it_IT.UTF-8"}};
    return RunInstalled(installation_, {"-s"}, options);
  }

  std::string ExportFile() const { return installation_.ExportDir() + kFileName; }
  std::string Uploaded() const { return ftp_.ReadReceived(std::string("catalogo/") + kFileName); }
  bool StoreSent() const {
    for (const std::string& c : ftp_.Commands()) {
      if (c.rfind("STOR", 0) == 0) return true;
    }
    return false;
  }
  std::string RunLog() const { return ReadFile(installation_.ExportDir() + "logQuorvandelix.txt"); }

  Installation installation_;
  FtpServer ftp_;
  HttpServer http_;
};

TEST_F(PromoStockRunTest, WorkedExampleIsWrittenUploadedAndAnnounced) {
  {
    BusinessDb db = installation_.Business();
    // Today plays 15 March: the promotion in force runs from 1 to 31 March,
    // an older one from 1 to 10 March.
    db.AddNetPrice(Price(7, "ART100", "0", 20, 9.9, Day::Today(-14), Day::Today(16)));
    db.AddNetPrice(Price(7, "ART100", "0", 50, 7.5, Day::Today(-14), Day::Today(-5)));
    db.AddPromoLog(Order("ART100", std::nullopt, Day::Today(-14), 3, "ATTIVO"));
    db.AddPromoLog(Order("ART100", std::nullopt, Day::Today(-14), 2, "ATTIVO"));
    db.AddPromoLog(Order("ART100", std::nullopt, Day::Today(-14), 4, "EVASO"));
  }

  const ProcessResult r = Run();

  ASSERT_EQ(r.exit_status, kStatusCompleted) << Describe(r);
  EXPECT_EQ(r.out, "");
  const std::string expected = std::string(kHeader) + "ART100;;15;9,90\r\n";
  EXPECT_EQ(ReadFile(ExportFile()), expected);
  EXPECT_EQ(Uploaded(), expected);
  const std::vector<HttpRequest> requests = http_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].path, kScriptPath);
  EXPECT_EQ(requests[0].user_agent, kUserAgent);
  EXPECT_EQ(RunLog(), "");  // a successful upload leaves no line
}

// Each check stops the run before anything is written, uploaded or
// requested, with its message as the only line on standard output. The
// checks run in order: a later key's fault is not reported while an earlier
// one is missing.
TEST_F(PromoStockRunTest, SettingsChecksStopTheRunWithTheirMessage) {
  const std::string no_file_name = "Nome file promo a stock non parametrizzato";
  const std::string no_script = "Script HTTP promo a stock non parametrizzato";
  const std::string bad_list = "Listino promo a stock non parametrizzato o non valido";
  const std::optional<std::string> missing;  // no TABX row
  struct Case {
    std::optional<std::string> file_name, script, price_list;
    std::string message;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {missing, missing, missing, no_file_name},
      {"", "", "abc", no_file_name},
      {kFileName, missing, "0", no_script},
      {kFileName, "", "7", no_script},
      {kFileName, "x", missing, bad_list},
      {kFileName, "x", "", bad_list},
      {kFileName, "x", "abc", bad_list},
      {kFileName, "x", "0", bad_list},
      {kFileName, "x", "7.0", bad_list},
      {kFileName, "x", "2147483648", bad_list},
  };  // clang-format on

  for (const Case& c : cases) {
    {
      BusinessDb db = installation_.Business();
      const std::pair<const char*, const std::optional<std::string>*> keys[] = {
          {"CAT_EXPPROMOSTOCK_NOMEFILE", &c.file_name},
          {"CAT_EXPPROMOSTOCK_SCRIPT", &c.script},
          {"ListinoStock", &c.price_list}};
      for (const auto& [key, value] : keys) {
        if (value->has_value()) {
          db.SetTabX(key, **value);
        } else {
          db.RemoveTabX(key);
        }
      }
    }
    const ProcessResult r = Run();
    SCOPED_TRACE(c.message + " / " + c.price_list.value_or("<missing>") + "\n" + Describe(r));
    EXPECT_EQ(r.exit_status, kStatusNotCompleted);
    EXPECT_EQ(r.out, c.message + "\r\n");
    // No file but the run's status.
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(installation_.ExportDir())) {
      names.insert(e.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"exporttotale_promo.prom", "exporttotale_runs.jsonl"}));
    EXPECT_FALSE(StoreSent());
    EXPECT_TRUE(http_.Requests().empty());
  }
}

TEST_F(PromoStockRunTest, NegativeListNumberIsAccepted) {
  {
    BusinessDb db = installation_.Business();
    db.SetTabX("ListinoStock", "-7");
    db.AddNetPrice(Price(-7, "NEG", "1", 5, 2.5));
    db.AddNetPrice(Price(7, "POS", "1", 5, 2.5));
  }
  const ProcessResult r = Run();
  ASSERT_EQ(r.exit_status, kStatusCompleted) << Describe(r);
  EXPECT_EQ(ReadFile(ExportFile()), std::string(kHeader) + "NEG;1;5;2,50\r\n");
}

// A list without rows, and one whose rows are all out of their validity
// today, still make a complete run with the header alone.
TEST_F(PromoStockRunTest, ListWithNothingInForceGivesTheHeaderAlone) {
  {
    BusinessDb db = installation_.Business();
    db.AddNetPrice(Price(9, "SCADUTO", "0", 5, 1, Day::Today(-10), Day::Today(-1)));
    db.AddNetPrice(Price(9, "FUTURO", "0", 5, 1, Day::Today(1), Day::Open()));
  }
  for (const char* price_list : {"8", "9"}) {
    installation_.SetTabX("ListinoStock", price_list);
    const ProcessResult r = Run();
    SCOPED_TRACE(std::string("list ") + price_list + "\n" + Describe(r));
    EXPECT_EQ(r.exit_status, kStatusCompleted);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFile(ExportFile()), kHeader);
    EXPECT_EQ(Uploaded(), kHeader);
    ftp_.PutFile(std::string("catalogo/") + kFileName, "");
  }
  EXPECT_EQ(http_.Requests().size(), 2u);
}

TEST_F(PromoStockRunTest, MissingExportDirectoryFailsWithTheFileError) {
  const std::string directory = installation_.ExportDir() + "manca/";
  installation_.SetTabX("DIRCATINTERNET", directory);

  const ProcessResult r = Run();

  EXPECT_EQ(r.exit_status, kStatusNotCompleted) << Describe(r);
  // One line carrying the file layer's message, which names the file.
  ASSERT_GE(r.out.size(), 2u);
  EXPECT_EQ(r.out.find("\r\n"), r.out.size() - 2) << r.out;
  EXPECT_NE(r.out.find(directory + kFileName), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(directory));
  EXPECT_FALSE(StoreSent());
  EXPECT_TRUE(http_.Requests().empty());
}

TEST_F(PromoStockRunTest, TriggerAnswering404FailsTheRunAfterTheUpload) {
  installation_.SetTabX("CAT_EXPPROMOSTOCK_SCRIPT", http_.BaseUrl() + "/status/404");

  const ProcessResult r = Run();

  EXPECT_EQ(r.exit_status, kStatusNotCompleted) << Describe(r);
  // The status line of the reply.
  EXPECT_EQ(r.out.rfind("HTTP/1.", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(" 404"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("\r\n"), r.out.size() - 2) << r.out;
  EXPECT_EQ(ReadFile(ExportFile()), kHeader);
  EXPECT_EQ(Uploaded(), kHeader);
  ASSERT_EQ(http_.Requests().size(), 1u);
  EXPECT_EQ(http_.Requests()[0].path, "/status/404");
}

// A failed log-in is the upload step's own affair: it is logged and the
// trigger is still requested. A refused directory is raised and ends the run
// before the trigger.
TEST_F(PromoStockRunTest, UploadFailuresLoggedOrRaised) {
  installation_.SetTabX("CAT_PWDFTP", "sbagliata");
  const ProcessResult logged = Run();
  EXPECT_EQ(logged.exit_status, kStatusCompleted) << Describe(logged);
  EXPECT_EQ(logged.out, "");
  EXPECT_EQ(ReadFile(ExportFile()), kHeader);
  EXPECT_FALSE(StoreSent());
  EXPECT_NE(RunLog().find("Esito upload ftp = Connessione FTP non riuscita:\r"), std::string::npos)
      << RunLog();
  EXPECT_EQ(http_.Requests().size(), 1u);

  installation_.SetTabX("CAT_PWDFTP", FtpServer::kPassword);
  installation_.SetTabX("CAT_DIRFTP", FtpServer::kDeniedDir);
  const std::string log_before = RunLog();
  const ProcessResult raised = Run();
  EXPECT_EQ(raised.exit_status, kStatusNotCompleted) << Describe(raised);
  EXPECT_NE(raised.out, "");
  EXPECT_EQ(raised.out.find("\r\n"), raised.out.size() - 2) << raised.out;
  EXPECT_FALSE(StoreSent());
  EXPECT_EQ(RunLog(), log_before);
  EXPECT_EQ(http_.Requests().size(), 1u);
}

// An error in the middle of the pairs keeps the previous complete file (a
// file cut short is of no use to the web side); nothing is uploaded nor
// announced.
TEST_F(PromoStockRunTest, ErrorAmidTheRowsKeepsThePreviousFile) {
  WriteFile(ExportFile(), std::string(kHeader) + "OLD;;1;2,00\r\n");
  {
    BusinessDb db = installation_.Business();
    db.AddNetPrice(Price(7, "A", "0", 4, 1));
    // Beyond 32 bits: it cannot be taken as an integer. Groups come sorted.
    db.AddNetPrice(Price(7, "Z", "0", 3000000000.0, 1));
  }
  const ProcessResult r = Run();
  EXPECT_EQ(r.exit_status, kStatusNotCompleted) << Describe(r);
  EXPECT_NE(r.out, "");
  EXPECT_EQ(r.out.find("\r\n"), r.out.size() - 2) << r.out;
  EXPECT_EQ(ReadFile(ExportFile()), std::string(kHeader) + "OLD;;1;2,00\r\n");
  EXPECT_FALSE(StoreSent());
  EXPECT_TRUE(http_.Requests().empty());
}

// Without a usable standard output the failure line cannot be written: that
// error halts the run, which shows it as the halt message.
TEST_F(PromoStockRunTest, FailureLineThatCannotBeWrittenReachesTheErrorBox) {
  installation_.SetTabX("CAT_EXPPROMOSTOCK_NOMEFILE", "");
  RunOptions options;
  options.close_stdout = true;
  const ProcessResult r = RunInstalled(installation_, {"-s"}, options);
  EXPECT_EQ(r.exit_status, kStatusNotCompleted) << Describe(r);
  EXPECT_NE(r.err.find("standard output"), std::string::npos) << Describe(r);
}

}  // namespace
}  // namespace et::test
