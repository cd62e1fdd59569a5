// "exporttotale-admin check" run as a subprocess on installations made by the
// fixture, against the suite's FTP and HTTP servers: what it says for a
// complete installation of each run kind, which step it names for each kind
// of fault, and that it creates nothing. Also "--stdin" for set and user-set.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fixture/fixture.h"
#include "support/servers.h"
#include "support/sshd_server.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "support/vsftpd_server.h"
#include "tests/e2e/e2e.h"

namespace et::test {
namespace {

namespace fs = std::filesystem;

// The line of the output that starts with `step`; empty when none does.
std::string LineOf(const std::string& out, const std::string& step) {
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(step, 0) == 0) return line;
  }
  return {};
}

// An installation with the admin in bin/ and every settings key of the three
// runs, pointing at an FTP and an HTTP server of the test.
class AdminCheckTest : public ::testing::Test {
 protected:
  void SetUp() override { ftp_.MakeDirectory("catalogo"); }

  void Configure(const Installation& install) {
    const std::string trigger = http_.BaseUrl() + "/import/";
    const std::vector<std::pair<std::string, std::string>> keys = {
        {"CAT_TIPOEXPPERGIACENZE", "1"},
        {"CAT_HOSTFTP", ftp_.HostAndPort()},
        {"CAT_USERFTP", FtpServer::kUser},
        {"CAT_PWDFTP", FtpServer::kPassword},
        {"CAT_DIRFTP", "catalogo"},
        {"CAT_SCRIPTGIACENZE", trigger + "giacenze.php"},
        {"CAT_EXPPRVEN_NOMEFILE", "LISTINI.CSV"},
        {"CAT_EXPPRVEN_SCRIPT", trigger + "listini.php"},
        {"CAT_EXPPRVEN_FASCIA", "3"},
        {"CAT_EXPPRVEN_NOMEFILE2", "CLIENTI.CSV"},
        {"CAT_EXPPRVEN_SCRIPT2", trigger + "clienti.php"},
        {"CAT_EXPPROMOSTOCK_NOMEFILE", "PROMO.CSV"},
        {"CAT_EXPPROMOSTOCK_SCRIPT", trigger + "promo.php"},
        {"ListinoStock", "7"},
    };
    BusinessDb db = install.Business();
    for (const auto& [key, value] : keys) db.SetTabX(key, value);
  }

  ProcessResult Check(const Installation& install, const std::vector<std::string>& args = {}) {
    std::vector<std::string> all = {"check"};
    all.insert(all.end(), args.begin(), args.end());
    return RunInstalled(install, all);
  }

  FtpServer ftp_;
  HttpServer http_;
};

TEST_F(AdminCheckTest, CompleteInstallationPassesForEachRunKind) {
  // Through the Firebird server too when the suite has one.
  std::vector<std::string> servers = {""};
  if (const char* server = std::getenv("EXPORTTOTALE_FB_SERVER"); server && *server) {
    servers.push_back(server);
  }
  struct Kind {
    std::vector<std::string> args;
    std::vector<std::string> keys_shown;  // beyond the common ones
  };
  const std::vector<Kind> kinds = {
      {{}, {"CAT_TIPOEXPPERGIACENZE = 1", "indirizzo CAT_SCRIPTGIACENZE"}},
      {{"-p"},
       {"CAT_EXPPRVEN_FASCIA = 3", "FasciaDefault = (vuota)", "indirizzo CAT_EXPPRVEN_SCRIPT ",
        "indirizzo CAT_EXPPRVEN_SCRIPT2"}},
      {{"-s"}, {"ListinoStock = 7", "indirizzo CAT_EXPPROMOSTOCK_SCRIPT"}},
  };
  for (const std::string& server : servers) {
    Installation install(InstallationOptions{.executable = BuiltAdmin(), .server = server});
    Configure(install);
    for (const Kind& kind : kinds) {
      const ProcessResult r = Check(install, kind.args);
      SCOPED_TRACE("server \"" + server + "\" " + (kind.args.empty() ? "" : kind.args[0]) + "\n" +
                   Describe(r));
      EXPECT_EQ(r.exit_status, 0);
      EXPECT_EQ(r.out.find("ERRORE"), std::string::npos);
      std::vector<std::string> shown = {
          "file parametri " + install.ParametersFile(),
          "database utenti " + install.UserDbName(),
          "utente 1, ditta query_esterno",
          "Archivio = " + install.BusinessDbName(),
          "dati.ini ",
          "database gestionale " + install.BusinessDbName(),
          "DIRCATINTERNET = " + install.ExportDir(),
          "CAT_HOSTFTP = " + ftp_.HostAndPort(),
          "CAT_PWDFTP = ***",
          "impostazioni dell'esecuzione",
          "cartella export " + install.ExportDir() + " scrivibile",
          "accesso FTP a " + ftp_.HostAndPort() + " come catalogo ... ok (senza cifratura)",
          "cartella FTP catalogo",
          "caricamento di prova exporttotale-prova.txt ... ok (un'esecuzione carica ogni file "
          "come .NOME.part e poi lo rinomina in NOME)",
      };
      shown.insert(shown.end(), kind.keys_shown.begin(), kind.keys_shown.end());
      for (const std::string& step : shown) {
        const std::string line = LineOf(r.out, step);
        EXPECT_TRUE(line.find(" ... ok") != std::string::npos) << step << ": \"" << line << "\"";
      }
      EXPECT_EQ(r.out.find(FtpServer::kPassword), std::string::npos);
      EXPECT_NE(r.out.find("Controllo riuscito"), std::string::npos);
      // A plain path opens the business database with the engine inside the
      // process: a warning, not a failed step; through a server, nothing.
      const std::string engine = LineOf(r.out, "motore del database gestionale");
      if (server.empty()) {
        EXPECT_NE(engine.find(" ... ATTENZIONE: Firebird incorporato nel processo"),
                  std::string::npos)
            << engine;
        EXPECT_NE(engine.find("Archivio=localhost:" + install.BusinessDbFile()), std::string::npos)
            << engine;
      } else {
        EXPECT_EQ(engine, "");
        EXPECT_EQ(r.out.find("ATTENZIONE"), std::string::npos);
      }
    }
    // Nothing was requested or left behind; only the probe was uploaded,
    // as a run uploads its files, and deleted.
    EXPECT_TRUE(http_.Requests().empty());
    std::vector<std::string> commands = ftp_.Commands();
    for (const std::string& command : commands) {
      if (command.rfind("STOR", 0) == 0) {
        EXPECT_EQ(command, "STOR .exporttotale-prova.txt.part");
      }
    }
    EXPECT_NE(std::find(commands.begin(), commands.end(), "DELE exporttotale-prova.txt"),
              commands.end());
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "QUIT");
    EXPECT_TRUE(fs::is_empty(ftp_.Root() + "/catalogo"));
    EXPECT_TRUE(fs::is_empty(install.ExportDir()));

    // Without the upload, the server sees the log-in and the change of
    // directory only.
    const size_t before = commands.size();
    const ProcessResult bare = Check(install, {"--senza-upload"});
    EXPECT_EQ(bare.exit_status, 0) << Describe(bare);
    EXPECT_EQ(bare.out.find("caricamento di prova"), std::string::npos) << bare.out;
    commands = ftp_.Commands();
    ASSERT_GT(commands.size(), before);
    for (size_t i = before; i < commands.size(); ++i)
      EXPECT_EQ(commands[i].find("STOR"), std::string::npos) << commands[i];
    EXPECT_EQ(commands.back(), "QUIT");
  }
}

// The probe meets what a run meets: whatever the server forces on a run's
// upload, the check says before the first run does.
TEST_F(AdminCheckTest, ProbeUploadSaysHowARunWillStoreItsFiles) {
  struct Case {
    const char* name;
    bool refuse_dot_names;
    bool refuse_overwrite;
    bool refuse_rename_delete;
    bool direct_upload;  // CAT_FTP_CARICAMENTODIRETTO=1
    const char* user;
    const char* password;
    int status;
    std::string probe_line;             // the probe's last line
    std::vector<std::string> warnings;  // lines of the probe step saying ATTENZIONE
    std::vector<std::string> left;      // files in catalogo afterwards
  };
  const std::string step = "caricamento di prova exporttotale-prova.txt ... ";
  const Case cases[] = {
      {"dot names refused (pure-ftpd -x)",
       true,
       false,
       false,
       false,
       FtpServer::kUser,
       FtpServer::kPassword,
       0,
       step + "ok (un'esecuzione carica ogni file come NOME.part e poi lo rinomina in NOME)",
       {"STOR .exporttotale-prova.txt.part: 553 Prohibited file name: "
        ".exporttotale-prova.txt.part; nuovo tentativo come exporttotale-prova.txt.part"},
       {}},
      {"overwrite refused (proftpd AllowOverwrite off)",
       false,
       true,
       false,
       false,
       FtpServer::kUser,
       FtpServer::kPassword,
       0,
       step + "ok (un'esecuzione carica ogni file come .NOME.part e poi lo rinomina in NOME)",
       {},
       {}},
      {"rename and delete refused (vsftpd cmds_denied)",
       false,
       false,
       true,
       false,
       FtpServer::kUser,
       FtpServer::kPassword,
       0,
       step + "ATTENZIONE: exporttotale-prova.txt resta sul server: DELE exporttotale-prova.txt: "
              "550 Permission denied. (cancellarlo a mano)",
       {"RNFR .exporttotale-prova.txt.part: 550 Permission denied.; caricamento diretto",
        "ok (un'esecuzione carica ogni file direttamente come NOME"},
       {".exporttotale-prova.txt.part", "exporttotale-prova.txt"}},
      {"read-only user",
       false,
       false,
       false,
       false,
       FtpServer::kReadOnlyUser,
       FtpServer::kReadOnlyPassword,
       1,
       step + "ERRORE: STOR exporttotale-prova.txt: 550 Not enough privileges.",
       {},
       {}},
      // The first store gets through, the replacing one does not: the
      // probe goes over a fresh connection.
      {"direct upload to a server refusing to overwrite",
       false,
       true,
       false,
       true,
       FtpServer::kUser,
       FtpServer::kPassword,
       1,
       step + "ERRORE: STOR exporttotale-prova.txt: 550 exporttotale-prova.txt: Overwrite "
              "permission denied",
       {},
       {}},
  };
  for (const Case& c : cases) {
    FtpServer::Options options;
    options.refuse_dot_names = c.refuse_dot_names;
    options.refuse_overwrite = c.refuse_overwrite;
    options.refuse_rename_delete = c.refuse_rename_delete;
    FtpServer server(options);
    server.MakeDirectory("catalogo");
    Installation install(InstallationOptions{.executable = BuiltAdmin()});
    Configure(install);
    {
      BusinessDb db = install.Business();
      db.SetTabX("CAT_HOSTFTP", server.HostAndPort());
      db.SetTabX("CAT_USERFTP", c.user);
      db.SetTabX("CAT_PWDFTP", c.password);
      db.SetTabX("CAT_FTP_CARICAMENTODIRETTO", c.direct_upload ? "1" : "");
    }
    const ProcessResult r = Check(install);
    SCOPED_TRACE(std::string(c.name) + "\n" + Describe(r));
    EXPECT_EQ(r.exit_status, c.status);
    std::vector<std::string> probe_lines;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
      if (line.rfind("caricamento di prova", 0) == 0) probe_lines.push_back(line);
    ASSERT_FALSE(probe_lines.empty());
    EXPECT_EQ(probe_lines.back(), c.probe_line);
    for (const std::string& warning : c.warnings) {
      EXPECT_TRUE(std::any_of(probe_lines.begin(), probe_lines.end(), [&](const std::string& l) {
        return l.find(warning) != std::string::npos;
      })) << warning;
    }
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(server.Root() + "/catalogo"))
      left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, c.left);
  }
}

// The log-in line says what protects the connection: the SSH host key to
// pin (read off the first check, before anything is sent), or the TLS in
// use; the probe then goes over the protected connection.
TEST_F(AdminCheckTest, SaysTheHostKeyToPinAndTheTlsInUse) {
  SshdServer sshd;
  VsftpdServer::Options tls_required;
  tls_required.tls_required = true;
  VsftpdServer vsftpd(tls_required);
  const std::string probe_ok =
      "caricamento di prova exporttotale-prova.txt ... ok (un'esecuzione carica ogni file come "
      ".NOME.part e poi lo rinomina in NOME)";
  struct Case {
    const char* label;
    std::vector<std::pair<std::string, std::string>> keys;
    int status;
    std::string login_line;
    std::string probe_line;  // empty: no probe
  };
  const std::string sftp_login =
      "accesso FTP a sftp://" + sshd.HostAndPort() + " come " + SshdServer::kUser + " ... ";
  const std::string ftps_login =
      "accesso FTP a " + vsftpd.HostAndPort() + " come " + VsftpdServer::kUser + " ... ";
  const Case cases[] = {
      {"SFTP, fingerprint not yet pinned",
       {{"CAT_HOSTFTP", "sftp://" + sshd.HostAndPort()},
        {"CAT_USERFTP", SshdServer::kUser},
        {"CAT_PWDFTP", SshdServer::kPassword},
        {"CAT_SFTP_IMPRONTA", ""}},
       1,
       sftp_login + "ERRORE: CAT_SFTP_IMPRONTA mancante: il server presenta la chiave host " +
           sshd.Fingerprint() +
           " (confrontarla con quella del fornitore e scriverla in CAT_SFTP_IMPRONTA)",
       ""},
      {"SFTP, fingerprint pinned",
       {{"CAT_HOSTFTP", "sftp://" + sshd.HostAndPort()},
        {"CAT_USERFTP", SshdServer::kUser},
        {"CAT_PWDFTP", SshdServer::kPassword},
        {"CAT_SFTP_IMPRONTA", sshd.Fingerprint()}},
       0,
       sftp_login + "ok (SSH, chiave host " + sshd.Fingerprint() + ")",
       probe_ok},
      {"FTP in clear to a server that requires TLS",
       {{"CAT_HOSTFTP", vsftpd.HostAndPort()},
        {"CAT_USERFTP", VsftpdServer::kUser},
        {"CAT_PWDFTP", VsftpdServer::kPassword}},
       1,
       ftps_login + "ERRORE: 530 Non-anonymous sessions must use encryption. (il server chiede la "
                    "cifratura: CAT_FTP_TLS=1 o 2)",
       ""},
      {"TLS required, the certificate not among the authorities",
       {{"CAT_HOSTFTP", vsftpd.HostAndPort()},
        {"CAT_USERFTP", VsftpdServer::kUser},
        {"CAT_PWDFTP", VsftpdServer::kPassword},
        {"CAT_FTP_TLS", "2"}},
       1,
       ftps_login +
           "ERRORE: SSL certificate problem: self-signed certificate (CAT_FTP_CERTIFICATO: "
           "un file di autorità PEM, sha256//CHIAVE o *)",
       ""},
      {"TLS required, the server's certificate as authority",
       {{"CAT_HOSTFTP", vsftpd.HostAndPort()},
        {"CAT_USERFTP", VsftpdServer::kUser},
        {"CAT_PWDFTP", VsftpdServer::kPassword},
        {"CAT_FTP_TLS", "2"},
        {"CAT_FTP_CERTIFICATO", vsftpd.CertificateFile()}},
       0,
       ftps_login + "ok (TLSv1.",
       probe_ok},
  };
  for (const Case& c : cases) {
    Installation install(InstallationOptions{.executable = BuiltAdmin()});
    Configure(install);
    {
      BusinessDb db = install.Business();
      for (const auto& [key, value] : c.keys) db.SetTabX(key, value);
      db.SetTabX("CAT_DIRFTP", "catalogo");
    }
    const ProcessResult r = Check(install);
    SCOPED_TRACE(std::string(c.label) + "\n" + Describe(r));
    EXPECT_EQ(r.exit_status, c.status);
    const std::string login = LineOf(r.out, "accesso FTP a ");
    EXPECT_EQ(login.substr(0, c.login_line.size()), c.login_line);
    EXPECT_EQ(LineOf(r.out, "caricamento di prova"), c.probe_line);
    EXPECT_EQ(sshd.Files(), std::vector<std::string>{});
    EXPECT_EQ(vsftpd.Files(), std::vector<std::string>{});
  }
  // The certificate that failed verification got no password: every log-in
  // came after AUTH TLS.
  const std::vector<std::string> commands = vsftpd.Commands();
  bool encrypted = false;
  int logins_after_tls = 0;
  for (const std::string& command : commands) {
    if (command == "AUTH TLS") encrypted = true;
    if (command.rfind("PASS", 0) == 0 && encrypted) ++logins_after_tls;
  }
  EXPECT_GE(logins_after_tls, 1);
}

TEST_F(AdminCheckTest, CredentialsInTheServerAndTheUrlsAreMasked) {
  Installation install(InstallationOptions{.executable = test::BuiltAdmin()});
  Configure(install);
  const std::string host = "127.0.0.1:" + std::to_string(ftp_.Port());
  const std::string web = http_.BaseUrl().substr(std::string("http://").size());
  {
    BusinessDb db = install.Business();
    db.SetTabX("CAT_HOSTFTP", "catalogo:ftp-s3greta@" + host);
    db.SetTabX("CAT_SCRIPTGIACENZE", "http://web:url-s3greta@" + web + "/import/giacenze.php");
    db.SetTabX("CAT_EXPPRVEN_SCRIPT", "http://url-s3greta@" + web + "/import/listini.php?m=a@b");
  }
  struct Kind {
    std::vector<std::string> args;
    std::vector<std::string> lines;
  };
  const Kind kinds[] = {
      {{},
       {"CAT_HOSTFTP = ***@" + host + " ... ok",
        "CAT_SCRIPTGIACENZE = http://***@" + web + "/import/giacenze.php ... ok"}},
      {{"-p"},
       {"CAT_HOSTFTP = ***@" + host + " ... ok",
        "CAT_EXPPRVEN_SCRIPT = http://***@" + web + "/import/listini.php?m=a@b ... ok"}},
  };
  for (const Kind& kind : kinds) {
    const ProcessResult r = Check(install, kind.args);
    SCOPED_TRACE(Describe(r));
    for (const std::string& line : kind.lines)
      EXPECT_NE(r.out.find(line + "\n"), std::string::npos) << line;
    EXPECT_EQ(r.out.find("s3greta"), std::string::npos);
    EXPECT_EQ(r.err.find("s3greta"), std::string::npos);
  }
  EXPECT_TRUE(http_.Requests().empty());
}

TEST_F(AdminCheckTest, NamesTheFailingStepAndStillTriesTheIndependentOnes) {
  struct Case {
    std::string name;
    std::vector<std::string> args;
    std::function<void(const Installation&, BusinessDb&)> fault;
    std::vector<std::string> failing;  // beginnings of the lines that fail
    std::string still_ok;              // a step that does not depend on the fault
  };
  const std::vector<Case> cases = {
      {"wrong FTP password",
       {},
       [](const Installation&, BusinessDb& db) { db.SetTabX("CAT_PWDFTP", "sbagliata"); },
       {"accesso FTP a "},
       "indirizzo CAT_SCRIPTGIACENZE"},
      // The password is optional for the key file of SFTP; over FTP the
      // log-in fails as a run's would.
      {"missing FTP password",
       {"-p"},
       [](const Installation&, BusinessDb& db) { db.SetTabX("CAT_PWDFTP", ""); },
       {"accesso FTP a 127.0.0.1"},
       "indirizzo CAT_EXPPRVEN_SCRIPT "},
      {"FTP directory refused",
       {"-s"},
       [](const Installation&, BusinessDb& db) { db.SetTabX("CAT_DIRFTP", FtpServer::kDeniedDir); },
       {std::string("cartella FTP ") + FtpServer::kDeniedDir},
       "cartella export "},
      {"missing export directory",
       {},
       [](const Installation& install, BusinessDb& db) {
         db.SetTabX("DIRCATINTERNET", install.Root() + "/non-esiste/");
       },
       {"cartella export "},
       "accesso FTP a "},
      // The price-list run checks the directory first; the check says it in
      // the run's words as well.
      {"missing export directory, price list",
       {"-p"},
       [](const Installation& install, BusinessDb& db) {
         db.SetTabX("DIRCATINTERNET", install.Root() + "/non-esiste/");
       },
       {"cartella export ",
        "impostazioni dell'esecuzione listini (-p) ... ERRORE: Directory export"},
       "cartella FTP catalogo"},
      {"missing trigger key",
       {},
       [](const Installation&, BusinessDb& db) { db.RemoveTabX("CAT_SCRIPTGIACENZE"); },
       {"CAT_SCRIPTGIACENZE ... ERRORE: chiave mancante"},
       "accesso FTP a "},
      {"missing price band",
       {"-p"},
       [](const Installation&, BusinessDb& db) { db.RemoveTabX("CAT_EXPPRVEN_FASCIA"); },
       {"CAT_EXPPRVEN_FASCIA ... ERRORE",
        "impostazioni dell'esecuzione listini (-p) ... ERRORE: Fascia listino di riferimento non "
        "parametrizzata"},
       "indirizzo CAT_EXPPRVEN_SCRIPT2"},
      {"price list that is not a number",
       {"-s"},
       [](const Installation&, BusinessDb& db) { db.SetTabX("ListinoStock", "sette"); },
       {"impostazioni dell'esecuzione promo a stock (-s) ... ERRORE: Listino promo a stock non "
        "parametrizzato o non valido"},
       "ListinoStock = sette ... ok"},
      {"timeout that is not a number",
       {},
       [](const Installation&, BusinessDb& db) { db.SetTabX("CAT_HTTP_TIMEOUT", "10s"); },
       {"impostazioni dell'esecuzione giacenze ... ERRORE: Timeout HTTP 10s non valido"},
       "accesso FTP a "},
      {"trigger URL of another scheme",
       {"-s"},
       [](const Installation&, BusinessDb& db) {
         db.SetTabX("CAT_EXPPROMOSTOCK_SCRIPT", "ftp://127.0.0.1/promo.php");
       },
       {"indirizzo CAT_EXPPROMOSTOCK_SCRIPT"},
       "accesso FTP a "},
      {"trigger URL without a host",
       {"-p"},
       [](const Installation&, BusinessDb& db) {
         db.SetTabX("CAT_EXPPRVEN_SCRIPT2", "http:///clienti.php");
       },
       {"indirizzo CAT_EXPPRVEN_SCRIPT2"},
       "indirizzo CAT_EXPPRVEN_SCRIPT "},
  };
  for (const Case& c : cases) {
    Installation install(BuiltAdmin());
    Configure(install);
    {
      BusinessDb db = install.Business();
      c.fault(install, db);
    }
    const ProcessResult r = Check(install, c.args);
    SCOPED_TRACE(c.name + "\n" + Describe(r));
    EXPECT_EQ(r.exit_status, 1);
    for (const std::string& step : c.failing) {
      EXPECT_NE(LineOf(r.out, step).find(" ... ERRORE: "), std::string::npos) << step;
    }
    EXPECT_NE(LineOf(r.out, c.still_ok).find(" ... ok"), std::string::npos) << c.still_ok;
    EXPECT_NE(r.out.find("Controllo non riuscito: " + std::to_string(c.failing.size())),
              std::string::npos);
    EXPECT_TRUE(http_.Requests().empty());
  }
}

// A database that cannot be attached is a failed step that ends the chain,
// and check creates neither the database nor a dati.ini beside it.
TEST_F(AdminCheckTest, DatabasesThatCannotBeAttachedAreNeverCreated) {
  struct Case {
    std::string name;
    // Breaks the installation; returns the database file that must not appear.
    std::function<std::string(const Installation&)> fault;
    std::string failing;
  };
  const std::vector<Case> cases = {
      {"Archivio names a missing file",
       [](const Installation& install) {
         const std::string missing = install.Root() + "/dati/mancante.fdb";
         FixtureDb users = install.Users();
         users.Exec("DELETE FROM UTENTI");
         AddUserRow(users, 1, "query_esterno", missing);
         return missing;
       },
       "database gestionale "},
      {"user database missing",
       [](const Installation& install) {
         const std::string missing = install.Root() + "/utenti/altro.fdb";
         WriteFile(install.ParametersFile(),
                   "[CONFIG]\r\nUtente=1\r\nPercorsoDatabase=" + missing + "\r\n");
         return missing;
       },
       "database utenti "},
  };
  for (const Case& c : cases) {
    Installation install(BuiltAdmin());
    Configure(install);
    const std::string missing = c.fault(install);
    const ProcessResult r = Check(install);
    SCOPED_TRACE(c.name + "\n" + Describe(r));
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(LineOf(r.out, c.failing).find(" ... ERRORE: "), std::string::npos);
    EXPECT_EQ(r.out.find("CAT_"), std::string::npos);  // the chain stopped there
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(fs::exists(fs::path(missing).parent_path() / "dati.ini"));
    EXPECT_EQ(r.err.find("creazione"), std::string::npos);
  }
}

TEST_F(AdminCheckTest, ChainStopsEarlyWithoutParametersOrUserRow) {
  Installation install(BuiltAdmin());
  {
    FixtureDb users = install.Users();
    users.Exec("DELETE FROM UTENTI");
  }
  const ProcessResult no_row = Check(install);
  EXPECT_EQ(no_row.exit_status, 1) << Describe(no_row);
  EXPECT_NE(LineOf(no_row.out, "utente 1, ditta query_esterno").find("ERRORE: nessuna riga"),
            std::string::npos)
      << no_row.out;
  EXPECT_EQ(no_row.out.find("Archivio"), std::string::npos) << no_row.out;

  fs::remove(install.ParametersFile());
  const ProcessResult no_file = Check(install);
  EXPECT_EQ(no_file.exit_status, 1) << Describe(no_file);
  EXPECT_NE(LineOf(no_file.out, "file parametri " + install.ParametersFile())
                .find("ERRORE: file non trovato"),
            std::string::npos)
      << no_file.out;
  EXPECT_EQ(no_file.out.find("database utenti"), std::string::npos) << no_file.out;
}

TEST(AdminCheckUsage, RunKindSwitchesBelongToCheck) {
  struct Case {
    std::vector<std::string> args;
    std::string in_err;
  };
  const std::vector<Case> cases = {
      {{"check", "-p", "-s"}, "-p e -s non vanno insieme"},
      {{"check", "extra"}, "Numero di argomenti errato per check"},
      {{"get", "K", "-p"}, "-p e -s non si applicano a get"},
      {{"get", "K", "--stdin"}, "--stdin non si applica a get"},
      {{"stato", "--senza-upload"}, "--senza-upload non si applica a stato"},
      {{"set", "K", "v", "--stdin"}, "Numero di argomenti errato per set"},
  };
  TempDir empty;
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--dir", empty.Path()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProcessResult r = RunProcess(BuiltAdmin(), args);
    SCOPED_TRACE(c.in_err + "\n" + Describe(r));
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_NE(r.err.find(c.in_err), std::string::npos);
  }
}

// The program's argument list as the system shows it (ps), NUL-separated.
std::string CommandLineOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the admin with its standard input on a pipe, reads its argument list
// while it waits for the value, then writes `input` and waits for its end.
// Returns the argument list seen and the exit status.
std::pair<std::string, int> RunReadingCommandLine(const std::string& program,
                                                  const std::vector<std::string>& args,
                                                  const std::string& input) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) ADD_FAILURE() << "pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipe_fds[0], STDIN_FILENO);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipe_fds[0]);
  // After exec the argument list names the program.
  std::string command_line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    command_line = CommandLineOf(pid);
    if (command_line.find("--stdin") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const ssize_t written = write(pipe_fds[1], input.data(), input.size());
  EXPECT_EQ(written, static_cast<ssize_t>(input.size()));
  close(pipe_fds[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  return {command_line, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(AdminStdin, SecretsGoThroughStandardInputNotTheArgumentList) {
  Installation install(BuiltAdmin());
  const std::string secret = "pw con spazi #1";
  struct Case {
    std::vector<std::string> set;
    std::vector<std::string> get;
  };
  const std::vector<Case> cases = {
      {{"set", "CAT_PWDFTP", "--stdin"}, {"get", "CAT_PWDFTP"}},
      {{"set", "--stdin", "CAT_PWDFTP", "--user", "4"}, {"get", "CAT_PWDFTP", "--user", "4"}},
      {{"user-set", "PasswordPosta", "--stdin"}, {"user-get", "PasswordPosta"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set[0] + " " + c.set[1]);
    const auto [command_line, status] =
        RunReadingCommandLine(install.Program(), c.set, secret + "\r\n");
    EXPECT_EQ(status, 0);
    EXPECT_NE(command_line.find("--stdin"), std::string::npos) << command_line;
    EXPECT_EQ(command_line.find(secret), std::string::npos) << command_line;
    const ProcessResult get = RunInstalled(install, c.get);
    EXPECT_EQ(get.out, secret + "\n") << Describe(get);
  }

  // No line at all on standard input writes nothing.
  const ProcessResult empty = RunInstalled(install, {"set", "CAT_PWDFTP", "--stdin"}, "C", "");
  EXPECT_EQ(empty.exit_status, 1) << Describe(empty);
  EXPECT_NE(empty.err.find("Valore non letto"), std::string::npos) << empty.err;
  EXPECT_EQ(RunInstalled(install, {"get", "CAT_PWDFTP"}).out, secret + "\n");
}

}  // namespace
}  // namespace et::test
