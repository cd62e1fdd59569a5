// The three runs uploading over SFTP to OpenSSH's sshd, as the scheduler
// starts them: every file arrives under its real name with the bytes the
// run wrote, and a server presenting another host key gets nothing at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "fixture/fixture.h"
#include "support/servers.h"
#include "support/sshd_server.h"
#include "support/subprocess.h"
#include "tests/e2e/e2e.h"

namespace et::test {
namespace {

using Settings = std::vector<std::pair<std::string, std::string>>;

struct RunKind {
  const char* label;
  std::vector<std::string> args;
  std::vector<std::string> files;  // uploaded, in the export directory too
  Settings settings;               // the run's own keys; "URL" stands for the trigger server
};

std::vector<RunKind> RunKinds() {
  return {
      {"stock",
       {},
       {"ESTRAZQ.CSV"},
       {{"CAT_TIPOEXPPERGIACENZE", "1"}, {"CAT_SCRIPTGIACENZE", "URL/giacenze.php"}}},
      {"price lists",
       {"-p"},
       {"listini.csv", "clienti.csv"},
       {{"CAT_EXPPRVEN_NOMEFILE", "listini.csv"},
        {"CAT_EXPPRVEN_SCRIPT", "URL/listini.php"},
        {"CAT_EXPPRVEN_FASCIA", "3"},
        {"CAT_EXPPRVEN_NOMEFILE2", "clienti.csv"},
        {"CAT_EXPPRVEN_SCRIPT2", "URL/clienti.php"}}},
      {"promo at stock",
       {"-s"},
       {"promostock.csv"},
       {{"CAT_EXPPROMOSTOCK_NOMEFILE", "promostock.csv"},
        {"CAT_EXPPROMOSTOCK_SCRIPT", "URL/promostock.php"},
        {"ListinoStock", "7"}}},
  };
}

// An installation with sample data and the run's keys, uploading to the
// sshd of the test with the given log-in keys.
void Configure(const Installation& install, const RunKind& kind, const HttpServer& http,
               const Settings& login) {
  BusinessDb db = install.Business();
  AddSampleData(db);
  for (auto [key, value] : kind.settings) {
    if (value.rfind("URL", 0) == 0) value = http.BaseUrl() + value.substr(3);
    db.SetTabX(key, value);
  }
  for (const auto& [key, value] : login) db.SetTabX(key, value);
}

ProcessResult RunOf(const Installation& install, const RunKind& kind) {
  RunOptions options;
  options.env = {{"LC_ALL", "it_IT.UTF-8"}};
  return RunInstalled(install, kind.args, options);
}

std::string RunLog(const Installation& install) {
  return ReadFile(install.ExportDir() + "logQuorvandelix.txt");
}

TEST(SftpRuns, EveryFileArrivesUnderItsRealName) {
  struct Login {
    const char* label;
    bool with_key;
    std::string directory;
  };
  const Login logins[] = {{"password, relative directory", false, "catalogo"},
                          {"key file, absolute directory", true, "/catalogo"}};
  for (const RunKind& kind : RunKinds()) {
    for (const Login& login : logins) {
      SCOPED_TRACE(std::string(kind.label) + ", " + login.label);
      SshdServer sshd;
      HttpServer http;
      Installation install(BuiltProgram());
      // The previous night's files are there already.
      for (const std::string& file : kind.files) sshd.PutFile(file, "previous\r\n");
      Configure(install, kind, http,
                {{"CAT_HOSTFTP", "sftp://" + sshd.HostAndPort()},
                 {"CAT_USERFTP", SshdServer::kUser},
                 {"CAT_PWDFTP", login.with_key ? "" : SshdServer::kPassword},
                 {"CAT_SFTP_CHIAVE", login.with_key ? sshd.ClientKeyFile() : ""},
                 {"CAT_SFTP_IMPRONTA", sshd.Fingerprint()},
                 {"CAT_DIRFTP", login.directory}});
      const ProcessResult r = RunOf(install, kind);
      SCOPED_TRACE(Describe(r));
      EXPECT_EQ(r.exit_status, kStatusCompleted);
      EXPECT_EQ(r.err, "");
      std::vector<std::string> expected_files = kind.files;
      std::sort(expected_files.begin(), expected_files.end());
      EXPECT_EQ(sshd.Files(), expected_files);
      for (const std::string& file : kind.files) {
        const std::string written = ReadFile(install.ExportDir() + file);
        EXPECT_FALSE(written.empty()) << file;
        EXPECT_EQ(sshd.ReadReceived(file), written) << file;
      }
      EXPECT_EQ(RunLog(install).find("Esito upload ftp"), std::string::npos) << RunLog(install);
      EXPECT_EQ(http.Requests().size(), kind.files.size());
    }
  }
}

// Another host key: not even the user name reaches the server; the run
// logs the failed connection with the key the server presented, and goes
// on as after any failed connection.
TEST(SftpRuns, AnotherHostKeyGetsNothing) {
  const std::string pinned = "SHA256:GhRJOB8l5358Zu5g1ya0ZdU0UPm6kWfXZWYGdbDXIlk";
  for (const RunKind& kind : RunKinds()) {
    SCOPED_TRACE(kind.label);
    SshdServer sshd;
    HttpServer http;
    Installation install(BuiltProgram());
    Configure(install, kind, http,
              {{"CAT_HOSTFTP", "sftp://" + sshd.HostAndPort()},
               {"CAT_USERFTP", SshdServer::kUser},
               {"CAT_PWDFTP", SshdServer::kPassword},
               {"CAT_SFTP_IMPRONTA", pinned},
               {"CAT_DIRFTP", "catalogo"}});
    const ProcessResult r = RunOf(install, kind);
    SCOPED_TRACE(Describe(r));
    EXPECT_EQ(r.exit_status, kStatusCompleted);
    EXPECT_EQ(sshd.Files(), std::vector<std::string>{});
    EXPECT_FALSE(sshd.AnyAuthenticationAttempted());
    const std::string log = RunLog(install);
    const std::string line =
        "Esito upload ftp = Connessione FTP non riuscita:\rchiave host diversa "
        "da CAT_SFTP_IMPRONTA " +
        pinned + ": il server presenta " + sshd.Fingerprint();
    size_t count = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++count;
    EXPECT_EQ(count, kind.files.size()) << log;
    EXPECT_EQ(log.find(SshdServer::kPassword), std::string::npos);
  }
}

}  // namespace
}  // namespace et::test
