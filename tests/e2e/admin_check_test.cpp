// "exporttotale-admin check" run as a subprocess on installations made by the
// fixture, against the suite's FTP and HTTP servers: what it says for a
// complete installation of each run kind, which step it names for each kind
// of fault, and that it creates nothing. Also "--stdin" for set and user-set.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "support/subprocess.h"
#include "support/temp_dir.h"
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
          "accesso FTP a " + ftp_.HostAndPort() + " come catalogo",
          "cartella FTP catalogo",
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
    // Nothing was requested, uploaded or left behind.
    EXPECT_TRUE(http_.Requests().empty());
    const std::vector<std::string> commands = ftp_.Commands();
    for (const std::string& command : commands) EXPECT_NE(command.rfind("STOR", 0), 0u) << command;
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "QUIT");
    EXPECT_TRUE(fs::is_empty(install.ExportDir()));
  }
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
