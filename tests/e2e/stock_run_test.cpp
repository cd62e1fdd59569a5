// The stock availability run from end to end: the built program against a
// real embedded business database, a real FTP server and real HTTP and HTTPS
// trigger servers on the loopback interface.
#include <gtest/gtest.h>

#include <filesystem>

#include "publish/http_trigger.h"
#include "support/crlf_lines.h"
#include "support/servers.h"
#include "tests/e2e/e2e.h"

namespace et {
namespace {

namespace fs = std::filesystem;
using test::FtpServer;
using test::HttpServer;
using test::Installation;
using test::kStatusCompleted;
using test::kStatusNotCompleted;
using test::RunInstalled;

bool ItalianLocaleAvailable() {
  return std::system("locale -a 2>/dev/null | grep -qi '^it_IT\\.utf-\\?8$'") == 0;
}

class StockRun : public ::testing::Test {
 protected:
  void SetUp() override {
    install_ = std::make_unique<Installation>(test::BuiltProgram());
    auto db = install_->Business();
    test::SetStockRunSettings(db, ftp_, http_);
    // A1: 5 in warehouse 1 (opening 3) and 2 in warehouse 2 (opening 0).
    // A2: 12.5 over warehouses 1 and 3, a negative row of warehouse 2 left out.
    // A3: rows that do not count (wrong opening, warehouse 4, nothing available).
    db.AddStock(std::vector<test::StockRow>{
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
        {.magazzino = 2, .codice = "A2", .idapertura = 0, .quantitapresente = 0, .ordinicli = 3},
        {.magazzino = 1, .codice = "A3", .idapertura = 0, .quantitapresente = 9},
        {.magazzino = 2, .codice = "A3", .idapertura = 3, .quantitapresente = 9},
        {.magazzino = 4, .codice = "A3", .idapertura = 0, .quantitapresente = 9},
        {.magazzino = 3, .codice = "A3", .idapertura = 0, .quantitapresente = 1, .ordinicli = 1},
    });
  }

  std::string Log() const { return test::ReadFile(install_->ExportDir() + "logQuorvandelix.txt"); }
  std::string Csv() const { return test::ReadFile(install_->ExportDir() + "ESTRAZQ.CSV"); }

  FtpServer ftp_;
  HttpServer http_;
  std::unique_ptr<Installation> install_;
};

TEST_F(StockRun, WritesUploadsAndTriggersUnderTheCLocale) {
  const auto result = RunInstalled(*install_);

  EXPECT_EQ(result.exit_status, kStatusCompleted) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(test::CrLfLines(Csv()), (std::multiset<std::string>{"1;A1;7", "1;A2;12.5"}));
  EXPECT_EQ(ftp_.ReadReceived("catalogo/ESTRAZQ.CSV"), Csv());
  const auto requests = http_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].path, "/import/giacenze.php?ditta=1");
  EXPECT_EQ(requests[0].user_agent, kTriggerUserAgent);
  EXPECT_FALSE(fs::exists(install_->ExportDir() + "logQuorvandelix.txt"));
  const auto commands = ftp_.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "TYPE A"), commands.end());
  // Stored under a temporary name, then renamed over the previous file: the
  // web side never sees a file cut short under the real name.
  const auto store = std::find(commands.begin(), commands.end(), "STOR .ESTRAZQ.CSV.part");
  ASSERT_NE(store, commands.end());
  EXPECT_EQ(std::find(commands.begin(), commands.end(), "STOR ESTRAZQ.CSV"), commands.end());
  const auto rename_from = std::find(store, commands.end(), "RNFR .ESTRAZQ.CSV.part");
  ASSERT_NE(rename_from, commands.end());
  ASSERT_NE(std::next(rename_from), commands.end());
  EXPECT_EQ(*std::next(rename_from), "RNTO ESTRAZQ.CSV");
  EXPECT_EQ(commands.back(), "QUIT");
}

TEST_F(StockRun, ItalianDecimalSeparator) {
  if (!ItalianLocaleAvailable())
    GTEST_SKIP() << "it_IT.UTF-8 not generated (scripts/install-deps does it)";
  const auto result = RunInstalled(*install_, {}, "it_IT.UTF-8");
  EXPECT_EQ(result.exit_status, kStatusCompleted) << result.err;
  EXPECT_EQ(test::CrLfLines(Csv()), (std::multiset<std::string>{"1;A1;7", "1;A2;12,5"}));
}

TEST_F(StockRun, ExportDirectoryWithoutFinalSeparatorStillWritesInside) {
  std::string dir = install_->ExportDir();
  dir.pop_back();
  install_->SetTabX("DIRCATINTERNET", dir);
  const auto result = RunInstalled(*install_);
  EXPECT_EQ(result.exit_status, kStatusCompleted) << result.err;
  EXPECT_EQ(test::CrLfLines(Csv()).size(), 2u);
  EXPECT_TRUE(ftp_.HasFile("catalogo/ESTRAZQ.CSV"));
}

TEST_F(StockRun, PreviousFileIsReplaced) {
  test::WriteFile(install_->ExportDir() + "ESTRAZQ.CSV", "vecchio contenuto molto lungo\r\n");
  ASSERT_EQ(RunInstalled(*install_).exit_status, kStatusCompleted);
  EXPECT_EQ(test::CrLfLines(Csv()).size(), 2u);
}

TEST_F(StockRun, OtherExportTypesWriteAnEmptyFileStillUploadedAndAnnounced) {
  for (const std::optional<std::string>& tipo :
       {std::optional<std::string>{}, std::optional<std::string>{""},
        std::optional<std::string>{"0"}, std::optional<std::string>{"2"},
        std::optional<std::string>{" 1"}, std::optional<std::string>{"01"}}) {
    ftp_.PutFile("catalogo/ESTRAZQ.CSV", "remote from before\r\n");
    if (tipo)
      install_->SetTabX("CAT_TIPOEXPPERGIACENZE", *tipo);
    else
      install_->Business().RemoveTabX("CAT_TIPOEXPPERGIACENZE");
    const auto result = RunInstalled(*install_);
    EXPECT_EQ(result.exit_status, kStatusCompleted) << result.err;
    EXPECT_TRUE(fs::exists(install_->ExportDir() + "ESTRAZQ.CSV"));
    EXPECT_EQ(Csv(), "");
    EXPECT_TRUE(ftp_.HasFile("catalogo/ESTRAZQ.CSV"));
    EXPECT_EQ(ftp_.ReadReceived("catalogo/ESTRAZQ.CSV"), "");
  }
  EXPECT_EQ(http_.Requests().size(), 6u);
}

TEST_F(StockRun, EmptyRemoteDirectoryStoresInTheLoginDirectory) {
  install_->SetTabX("CAT_DIRFTP", "");
  ASSERT_EQ(RunInstalled(*install_).exit_status, kStatusCompleted);
  EXPECT_TRUE(ftp_.HasFile("ESTRAZQ.CSV"));
}

// FTP failures: logged, and the run still completes.
TEST_F(StockRun, ConnectionFailuresAreLogged) {
  struct Case {
    std::string host, user, password;
    std::string ends_with;  // the error text after the CR
  } cases[] = {
      {"", "", "", "Server mancante"},
      {ftp_.HostAndPort(), "", "", "Password mancante"},
      {ftp_.HostAndPort(), "", "x", "Username mancante"},
      {"", "u", "", "Server mancante"},
  };
  for (const auto& c : cases) {
    fs::remove(install_->ExportDir() + "logQuorvandelix.txt");
    {
      auto db = install_->Business();
      db.SetTabX("CAT_HOSTFTP", c.host);
      db.SetTabX("CAT_USERFTP", c.user);
      db.SetTabX("CAT_PWDFTP", c.password);
    }
    const auto result = RunInstalled(*install_);
    EXPECT_EQ(result.exit_status, kStatusCompleted) << result.err;
    const std::string log = Log();
    const std::string expected =
        "  Esito upload ftp = Connessione FTP non riuscita:\r" + c.ends_with + "\r\n";
    ASSERT_GE(log.size(), expected.size()) << log;
    EXPECT_EQ(log.substr(log.size() - expected.size()), expected) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
  }
  EXPECT_FALSE(ftp_.HasFile("catalogo/ESTRAZQ.CSV"));
  EXPECT_EQ(http_.Requests().size(), 4u);  // the trigger is still requested
}

TEST_F(StockRun, RefusedLoginIsLoggedWithTheServersReply) {
  install_->SetTabX("CAT_PWDFTP", "sbagliata");
  const auto result = RunInstalled(*install_);
  EXPECT_EQ(result.exit_status, kStatusCompleted) << result.err;
  EXPECT_NE(Log().find("Esito upload ftp = Connessione FTP non riuscita:\r530"), std::string::npos)
      << Log();
}

TEST_F(StockRun, UnreachableHostIsLogged) {
  install_->SetTabX("CAT_HOSTFTP", "127.0.0.1:" + std::to_string(test::ClosedPort()));
  const auto result = RunInstalled(*install_);
  EXPECT_EQ(result.exit_status, kStatusCompleted) << result.err;
  EXPECT_NE(Log().find("Esito upload ftp = Connessione FTP non riuscita:\r"), std::string::npos)
      << Log();
}

TEST_F(StockRun, RefusedStoreIsLogged) {
  {
    auto db = install_->Business();
    db.SetTabX("CAT_USERFTP", FtpServer::kReadOnlyUser);
    db.SetTabX("CAT_PWDFTP", FtpServer::kReadOnlyPassword);
  }
  const auto result = RunInstalled(*install_);
  EXPECT_EQ(result.exit_status, kStatusCompleted) << result.err;
  // The line names the refused command: the last of the fallbacks.
  EXPECT_NE(Log().find("Esito upload ftp = Upload FTP non riuscito:\rSTOR ESTRAZQ.CSV: 550"),
            std::string::npos)
      << Log();
  EXPECT_FALSE(ftp_.HasFile("catalogo/ESTRAZQ.CSV"));
  EXPECT_EQ(http_.Requests().size(), 1u);
}

TEST_F(StockRun, UploadCutShortBehindAReportOfSuccessIsLoggedAndNeverRenamed) {
  FtpServer liar(FtpServer::Options{.keep_only = 5});
  liar.MakeDirectory("catalogo");
  liar.PutFile("catalogo/ESTRAZQ.CSV", "previous;file\r\n");
  install_->Business().SetTabX("CAT_HOSTFTP", liar.HostAndPort());

  const auto result = RunInstalled(*install_);

  EXPECT_EQ(result.exit_status, kStatusCompleted) << result.err;
  const std::string size = std::to_string(Csv().size());
  EXPECT_NE(
      Log().find("  Esito upload ftp = Upload FTP non riuscito:\rSIZE .ESTRAZQ.CSV.part: 213 5 "
                 "(inviati " +
                 size + " di " + size + " byte: file incompleto sul server)\r\n"),
      std::string::npos)
      << Log();
  EXPECT_EQ(liar.ReadReceived("catalogo/ESTRAZQ.CSV"), "previous;file\r\n");
  EXPECT_FALSE(liar.HasFile("catalogo/.ESTRAZQ.CSV.part"));
  for (const std::string& command : liar.Commands()) EXPECT_NE(command.rfind("RNFR", 0), 0u);
}

TEST_F(StockRun, RefusedDirectoryHaltsTheRun) {
  install_->SetTabX("CAT_DIRFTP", FtpServer::kDeniedDir);
  const auto result = RunInstalled(*install_);
  EXPECT_EQ(result.exit_status, kStatusNotCompleted);
  EXPECT_NE(result.err.find("[arresto]"), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(install_->ExportDir() + "logQuorvandelix.txt"));
  EXPECT_TRUE(http_.Requests().empty());
}

TEST_F(StockRun, RunLogThatCannotBeWrittenHaltsTheRun) {
  install_->SetTabX("CAT_PWDFTP", "");
  fs::create_directory(install_->ExportDir() + "logQuorvandelix.txt");  // not a file
  const auto result = RunInstalled(*install_);
  EXPECT_EQ(result.exit_status, kStatusNotCompleted);
  EXPECT_NE(result.err.find("logQuorvandelix.txt"), std::string::npos) << result.err;
}

// Trigger failures: one line on standard output, and the run still completes.
TEST_F(StockRun, TriggerFailuresPrintOneLine) {
  struct Case {
    std::string url;
    std::string line_starts;  // of the standard-output line
  } cases[] = {
      {http_.BaseUrl() + "/status/404", "EHTTPProtocolError: HTTP/1.1 404 "},
      {http_.BaseUrl() + "/status/500", "EHTTPProtocolError: HTTP/1.1 500 "},
      {http_.BaseUrl() + "/status/302", "EHTTPProtocolError: HTTP/1.1 302 "},
      {"", ""},
      {"http://127.0.0.1:" + std::to_string(test::ClosedPort()) + "/x", "ESocketError: "},
      // A TLS handshake with a server that speaks plain HTTP fails.
      {"https://127.0.0.1:" + std::to_string(http_.Port()) + "/x", "ESocketError: "},
  };
  for (const auto& c : cases) {
    install_->SetTabX("CAT_SCRIPTGIACENZE", c.url);
    const auto result = RunInstalled(*install_);
    EXPECT_EQ(result.exit_status, kStatusCompleted) << c.url << "\n" << result.err;
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
    EXPECT_EQ(result.out.substr(result.out.size() - 2), "\r\n");
    EXPECT_EQ(result.out.rfind(c.line_starts, 0), 0u) << result.out;
    EXPECT_NE(result.out.find(": "), std::string::npos) << result.out;
  }
  for (const auto& r : http_.Requests()) EXPECT_NE(r.path, "/redirected");
}

TEST_F(StockRun, TriggerFailureWithoutAUsableStandardOutputHaltsTheRun) {
  install_->SetTabX("CAT_SCRIPTGIACENZE", http_.BaseUrl() + "/status/500");
  test::RunOptions options;
  options.env = {{"LANG", "C"}};
  options.close_stdout = true;
  const auto result = RunInstalled(*install_, {}, options);
  EXPECT_EQ(result.exit_status, kStatusNotCompleted);
  EXPECT_NE(result.err.find("[arresto]"), std::string::npos) << result.err;
  EXPECT_TRUE(ftp_.HasFile("catalogo/ESTRAZQ.CSV"));
}

TEST_F(StockRun, MissingTriggerSettingPrintsOneLine) {
  install_->Business().RemoveTabX("CAT_SCRIPTGIACENZE");
  const auto result = RunInstalled(*install_);
  EXPECT_EQ(result.exit_status, kStatusCompleted);
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
}

TEST_F(StockRun, HttpsTriggerWithASelfSignedCertificate) {
  HttpServer https(HttpServer::Scheme::kHttps);
  install_->SetTabX("CAT_SCRIPTGIACENZE", https.BaseUrl() + "/giacenze");
  const auto result = RunInstalled(*install_);
  EXPECT_EQ(result.exit_status, kStatusCompleted);
  EXPECT_EQ(result.out, "");
  const auto requests = https.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].user_agent, kTriggerUserAgent);
}

}  // namespace
}  // namespace et
