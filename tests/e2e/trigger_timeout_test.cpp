// Bounded waits on the trigger scripts: a slow script is waited for, and
// CAT_HTTP_TIMEOUT ends the wait on one that never answers with each run's
// usual failure outcome.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/servers.h"
#include "tests/e2e/e2e.h"

namespace et {
namespace {

using test::FtpServer;
using test::HttpServer;
using test::Installation;
using test::ProcessResult;

// An installation whose three runs all have their settings, every trigger
// on `trigger_path` of the HTTP server.
class TriggerWait : public ::testing::Test {
 protected:
  void Configure(const std::string& trigger_path, const std::string& timeout) {
    test::BusinessDb db = install_.Business();
    const std::string url = http_.BaseUrl() + trigger_path;
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"CAT_HOSTFTP", ftp_.HostAndPort()},
             {"CAT_USERFTP", FtpServer::kUser},
             {"CAT_PWDFTP", FtpServer::kPassword},
             {"CAT_SCRIPTGIACENZE", url},
             {"CAT_EXPPRVEN_NOMEFILE", "listini.csv"},
             {"CAT_EXPPRVEN_SCRIPT", url},
             {"CAT_EXPPRVEN_FASCIA", "3"},
             {"CAT_EXPPRVEN_NOMEFILE2", "clienti.csv"},
             {"CAT_EXPPRVEN_SCRIPT2", url},
             {"CAT_EXPPROMOSTOCK_NOMEFILE", "promo.csv"},
             {"CAT_EXPPROMOSTOCK_SCRIPT", url},
             {"ListinoStock", "7"},
         }) {
      db.SetTabX(key, value);
    }
    if (!timeout.empty()) db.SetTabX("CAT_HTTP_TIMEOUT", timeout);
  }

  ProcessResult Run(const std::vector<std::string>& args) {
    return test::RunInstalled(install_, args);
  }

  FtpServer ftp_;
  HttpServer http_;
  Installation install_{test::BuiltProgram()};
};

TEST_F(TriggerWait, SlowScriptIsWaitedFor) {
  Configure("/delay/3", "");
  const ProcessResult r = Run({});
  EXPECT_EQ(r.exit_status, test::kStatusCompleted) << r.out << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(http_.Requests().size(), 1u);
}

TEST_F(TriggerWait, TimeoutEndsTheWaitWithEachRunsFailureOutcome) {
  Configure("/silent", "2");
  const struct {
    std::vector<std::string> args;
    int status;
    std::string line_start;
  } cases[] = {
      // The stock run completes: the failure is one diagnostic line.
      {{}, test::kStatusCompleted, "ESocketError: "},
      // The price-list and promo runs fail with the network's description.
      {{"-p"}, test::kStatusNotCompleted, ""},
      {{"-s"}, test::kStatusNotCompleted, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "stock" : c.args[0]);
    const ProcessResult r = Run(c.args);
    EXPECT_EQ(r.exit_status, c.status) << r.out << r.err;
    // One line, with the library's words for the time limit.
    ASSERT_FALSE(r.out.empty()) << r.err;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
    EXPECT_EQ(r.out.rfind(c.line_start, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("imed out"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("interrotta"), std::string::npos) << r.err;
  }
}

// An invalid bound is a failure of the trigger step alone in the stock run:
// the file is written and uploaded, the trigger is not requested, one line
// says why and the run completes. The other runs refuse it with their
// settings, before anything is written.
TEST_F(TriggerWait, InvalidTimeoutCostsTheStockRunOnlyItsTrigger) {
  Configure("/import", "abc");
  const std::string message = "Timeout HTTP abc non valido: serve un numero intero di secondi\r\n";

  const ProcessResult stock = Run({});
  EXPECT_EQ(stock.exit_status, test::kStatusCompleted) << stock.out << stock.err;
  EXPECT_EQ(stock.out, "EConvertError: " + message);
  EXPECT_TRUE(ftp_.HasFile("ESTRAZQ.CSV"));
  EXPECT_EQ(ftp_.ReadReceived("ESTRAZQ.CSV"), test::ReadFile(install_.ExportDir() + "ESTRAZQ.CSV"));
  EXPECT_TRUE(http_.Requests().empty());

  for (const std::string run : {"-p", "-s"}) {
    SCOPED_TRACE(run);
    const ProcessResult r = Run({run});
    EXPECT_EQ(r.exit_status, test::kStatusNotCompleted) << r.out << r.err;
    EXPECT_EQ(r.out, message);
  }
  EXPECT_FALSE(ftp_.HasFile("listini.csv"));
  EXPECT_FALSE(ftp_.HasFile("promo.csv"));
  EXPECT_TRUE(http_.Requests().empty());
}

}  // namespace
}  // namespace et
