// exporttotale-admin run as a subprocess: an installation configured with it
// alone, then a real run of exporttotale, and each command's outcome and
// exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fixture/fixture.h"
#include "support/servers.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "tests/e2e/e2e.h"

namespace et::test {
namespace {

namespace fs = std::filesystem;

// What a new administrator starts from: both programs copied into bin/
// (each looks for the parameters file beside its real path), a parameters
// file naming a user database that does not exist yet, and the business
// database of the business-management system with some stock, holding no
// settings key.
class AdminTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Bin());
    fs::create_directories(root_.File("utenti"));
    fs::create_directories(root_.File("dati"));
    fs::create_directories(ExportDir());
    for (const std::string& program : {BuiltAdmin(), BuiltProgram()}) {
      fs::copy_file(program, Bin() + fs::path(program).filename().string());
    }
    WriteFile(Bin() + "PARAMETRIQUORVANDELIX.INI",
              "[CONFIG]\r\nUtente=1\r\nPercorsoDatabase=" + UsersFile() + "\r\n");
    CreateBusinessDatabase(BusinessFile());
    BusinessDb db(BusinessFile());
    StockRow a;
    a.codice = "A1";
    a.quantitapresente = 5;
    StockRow b;
    b.codice = "B'2";
    b.quantitapresente = 7;
    b.ordinicli = 2;
    db.AddStock({a, b});
  }

  std::string Bin() const { return root_.File("bin/"); }
  std::string ExportDir() const { return root_.File("export/"); }
  std::string UsersFile() const { return root_.File("utenti/utenti.fdb"); }
  std::string BusinessFile() const { return root_.File("dati/archivio.fdb"); }

  // The installed copy, which finds the parameters file beside itself.
  ProcessResult Admin(const std::vector<std::string>& args,
                      std::optional<std::string> input = std::nullopt) {
    RunOptions options;
    options.stdin_bytes = std::move(input);
    return RunProcess(Bin() + "exporttotale-admin", args, options);
  }

  // init, so that the business database is reachable.
  void Init() {
    const ProcessResult r = Admin({"init", BusinessFile()});
    ASSERT_EQ(r.exit_status, 0) << r.err;
  }

  TempDir root_;
};

TEST_F(AdminTest, FreshInstallationConfiguredOnlyWithAdminRunsTheStockRun) {
  FtpServer ftp;
  ftp.MakeDirectory("catalogo");
  HttpServer http;

  const ProcessResult init = Admin({"init", BusinessFile()});
  ASSERT_EQ(init.exit_status, 0) << Describe(init);
  EXPECT_NE(init.out.find("Archivio=" + BusinessFile()), std::string::npos) << init.out;
  EXPECT_NE(init.err.find("Effettuata creazione data base"), std::string::npos) << init.err;
  EXPECT_TRUE(fs::exists(UsersFile()));

  const std::vector<std::pair<std::string, std::string>> keys = {
      {"DIRCATINTERNET", ExportDir()},
      {"CAT_TIPOEXPPERGIACENZE", "1"},
      {"CAT_HOSTFTP", ftp.HostAndPort()},
      {"CAT_USERFTP", FtpServer::kUser},
      {"CAT_PWDFTP", FtpServer::kPassword},
      {"CAT_DIRFTP", "catalogo"},
      {"CAT_SCRIPTGIACENZE", http.BaseUrl() + "/import/giacenze.php?lotto=1"},
  };
  for (const auto& [key, value] : keys) {
    SCOPED_TRACE(key);
    const ProcessResult set = Admin({"set", key, value});
    ASSERT_EQ(set.exit_status, 0) << Describe(set);
    const ProcessResult get = Admin({"get", key});
    ASSERT_EQ(get.exit_status, 0) << Describe(get);
    EXPECT_EQ(get.out, value + "\n");
  }

  const ProcessResult run = RunProcess(Bin() + "exporttotale", {});
  ASSERT_EQ(run.exit_status, kStatusCompleted) << Describe(run);

  const std::string written = ReadFile(ExportDir() + "ESTRAZQ.CSV");
  EXPECT_NE(written.find("1;A1;5\r\n"), std::string::npos) << written;
  EXPECT_NE(written.find("1;B'2;5\r\n"), std::string::npos) << written;
  EXPECT_EQ(ftp.ReadReceived("catalogo/ESTRAZQ.CSV"), written);
  const std::vector<HttpRequest> requests = http.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].path, "/import/giacenze.php?lotto=1");
}

TEST_F(AdminTest, SettingsKeysSharedAndPerUser) {
  Init();
  struct Step {
    std::vector<std::string> args;
    int status;
    std::string out;
  };
  const std::vector<Step> steps = {
      {{"get", "NUOVA"}, 0, "\n"},
      {{"set", "K", "comune"}, 0, ""},
      {{"set", "K", "mio", "--user", "5"}, 0, ""},
      {{"get", "K"}, 0, "comune\n"},
      {{"get", "--user", "5", "K"}, 0, "mio\n"},
      {{"get", "K", "-u", "7"}, 0, "\n"},
      {{"set", "K", "di tutti", "--user", "0"}, 0, ""},
      {{"get", "K"}, 0, "di tutti\n"},
      {{"get", "K", "--user", "5"}, 0, "mio\n"},
      // Apostrophes are stored as the acute accent, in values; key names as given.
      {{"set", "L'ANNO", "dell'anno"}, 0, ""},
      {{"get", "L'ANNO"}, 0, "dell´anno\n"},
      // A value that begins with '-' after "--".
      {{"set", "--", "NEG", "-1"}, 0, ""},
      {{"get", "NEG"}, 0, "-1\n"},
      {{"set", "VUOTA", ""}, 0, ""},
      {{"get", "VUOTA"}, 0, "\n"},
  };
  for (const Step& step : steps) {
    const ProcessResult r = Admin(step.args);
    SCOPED_TRACE(step.args[0] + " " + step.args[1] + "\n" + Describe(r));
    EXPECT_EQ(r.exit_status, step.status);
    EXPECT_EQ(r.out, step.out);
  }
  FixtureDb db(BusinessFile());
  EXPECT_EQ(db.QueryRows("SELECT UTENTE, TESTO FROM TABX WHERE NOME = 'K' "
                         "ORDER BY UTENTE NULLS FIRST"),
            (std::vector<std::vector<std::string>>{{kNullText, "di tutti"}, {"5", "mio"}}));
  EXPECT_EQ(db.QueryText("SELECT TESTO FROM TABX WHERE NOME = 'VUOTA'"), kNullText);
}

TEST_F(AdminTest, WritesThatDoNotHappenFailWithAReason) {
  // Before init the user database has no table: nothing to follow.
  const ProcessResult before = Admin({"set", "K", "v"});
  EXPECT_EQ(before.exit_status, 1) << Describe(before);
  EXPECT_NE(before.err.find("UTENTI"), std::string::npos) << before.err;

  Init();
  struct Case {
    std::vector<std::string> args;
    std::string reason;  // part of the message on standard error
  };
  const std::vector<Case> cases = {
      {{"set", "K", std::string(1025, 'v')}, "scrittura della chiave K non riuscita"},
      {{"generator", "NON_ESISTE"}, "NON_ESISTE"},
      {{"generator", "X,1) FROM RDB$DATABASE --"}, "Nome del generatore non valido"},
      {{"set-company", "1", std::string(65, 'D')}, "truncation"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = Admin(c.args);
    SCOPED_TRACE(c.args[0] + "\n" + Describe(r));
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.reason), std::string::npos);
  }

  // A user settings write for a user without a row is reported.
  WriteFile(Bin() + "PARAMETRIQUORVANDELIX.INI",
            "[CONFIG]\r\nUtente=2\r\nPercorsoDatabase=" + UsersFile() + "\r\n");
  const ProcessResult user_set = Admin({"user-set", "K", "v"});
  EXPECT_EQ(user_set.exit_status, 1) << Describe(user_set);
  EXPECT_NE(user_set.err.find("non riuscita"), std::string::npos) << user_set.err;
}

TEST_F(AdminTest, UserSettingsCompaniesAndGenerators) {
  Init();
  struct Step {
    std::vector<std::string> args;
    std::string out;
  };
  const std::vector<Step> steps = {
      {{"user-get", "Archivio"}, BusinessFile() + "\n"},
      {{"user-set", "Nota", "dell'anno \"nuovo\""}, ""},
      {{"user-get", "nota"}, "dell'anno \"nuovo\"\n"},
      {{"user-get", "Archivio"}, BusinessFile() + "\n"},
      {{"companies", "1"}, "query_esterno\n"},
      {{"companies", "9"}, ""},
      {{"set-company", "1", "Ditta d'Italia"}, ""},
      {{"generator", "CODICETABXCOUNTER"}, "1\n"},
      {{"generator", "codicetabxcounter"}, "2\n"},
  };
  for (const Step& step : steps) {
    const ProcessResult r = Admin(step.args);
    SCOPED_TRACE(step.args[0] + "\n" + Describe(r));
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, step.out);
  }
  FixtureDb users(UsersFile());
  EXPECT_EQ(
      users.QueryRows("SELECT CODICE, DITTA, SOFTDES FROM UTENTI"),
      (std::vector<std::vector<std::string>>{{"1", "Ditta d'Italia",
                                              "[query_esterno]\r\nArchivio=" + BusinessFile() +
                                                  "\r\nNota=dell'anno \"nuovo\"\r\n\r\n"}}));
}

TEST_F(AdminTest, InitKeepsAnExistingUserRowAndSaysSo) {
  Init();
  const ProcessResult again = Admin({"init", BusinessFile()});
  EXPECT_EQ(again.exit_status, 0) << Describe(again);

  const ProcessResult other = Admin({"init", "/altrove/archivio.fdb"});
  EXPECT_EQ(other.exit_status, 1) << Describe(other);
  EXPECT_NE(other.err.find("user-set Archivio /altrove/archivio.fdb"), std::string::npos)
      << other.err;
  const ProcessResult business_database = Admin({"user-get", "Archivio"});
  EXPECT_EQ(business_database.out, BusinessFile() + "\n");
}

TEST_F(AdminTest, LoginReadsThePasswordFromStandardInput) {
  Init();
  {
    FixtureDb users(UsersFile());
    users.Exec(
        "INSERT INTO UTENTI (CODICE, NOMEUTENTE, PWDUTENTE, DITTA) "
        "VALUES (2, 'D''Amico', 'pa''ss', 'ACME')");
  }
  struct Case {
    std::string key;
    std::optional<std::string> input;
    int status;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"d'amico", "pa'ss\n", 0, "Id=2\nNome=D'Amico\nDitta=ACME\n"},
      {"D'AMICO", "pa'ss\r\n", 0, "Id=2\nNome=D'Amico\nDitta=ACME\n"},
      {"d'amico", "PA'SS\n", 1, ""},
      {"x' OR '1'='1", "x' OR '1'='1\n", 1, ""},
      {"d'amico", "' OR '1'='1\n", 1, ""},
      // The row init makes has no password: nobody logs in as it.
      {"query_esterno", "\n", 1, ""},
      {"d'amico", std::nullopt, 1, ""},  // no standard input at all
  };
  for (const Case& c : cases) {
    const ProcessResult r = Admin({"login", c.key}, c.input);
    SCOPED_TRACE(c.key + " / " + c.input.value_or("<none>") + "\n" + Describe(r));
    EXPECT_EQ(r.exit_status, c.status);
    EXPECT_EQ(r.out, c.out);
    if (c.status != 0) {
      EXPECT_FALSE(r.err.empty());
    }
  }
}

TEST_F(AdminTest, CommandLineUsageAndHelp) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string in_out;  // expected in standard output
    std::string in_err;  // expected in standard error
  };
  const std::vector<Case> cases = {
      {{"--help"}, 0, "generator NAME", ""},
      {{"help"}, 0, "set-company USER_ID COMPANY", ""},
      {{"--help", "set"}, 0, "set KEY VALUE [--user N]", ""},
      {{"login", "-h"}, 0, "senza mostrarla", ""},
      {{}, 2, "", "Manca il comando"},
      {{"sposta", "K"}, 2, "", "Comando sconosciuto: sposta"},
      {{"get"}, 2, "", "Numero di argomenti errato per get"},
      {{"set", "K"}, 2, "", "set KEY VALUE"},
      {{"user-get", "K", "--user", "3"}, 2, "", "--user non si applica a user-get"},
      {{"get", "K", "--user", "tre"}, 2, "", "non valido"},
      {{"get", "K", "--user"}, 2, "", "Manca il valore dell'opzione"},
      {{"get", "K", "--verbose"}, 2, "", "Opzione non riconosciuta: --verbose"},
      {{"companies", "uno"}, 2, "", "Numero utente non valido"},
      {{"user-set", "A=B", "v"}, 2, "", "Nome di chiave non valido"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = Admin(c.args);
    SCOPED_TRACE((c.args.empty() ? std::string("<none>") : c.args[0]) + "\n" + Describe(r));
    EXPECT_EQ(r.exit_status, c.status);
    EXPECT_NE(r.out.find(c.in_out), std::string::npos);
    EXPECT_NE(r.err.find(c.in_err), std::string::npos);
    if (c.status == 2) {
      EXPECT_EQ(r.out, "");
    }
  }
  // Every command is in the list.
  const std::string help = Admin({"--help"}).out;
  for (const char* command : {"init", "get", "set", "user-get", "user-set", "companies",
                              "set-company", "login", "generator", "check"}) {
    EXPECT_NE(help.find(std::string("  ") + command + " "), std::string::npos) << command;
  }
}

TEST_F(AdminTest, ParametersFileFromDirOrBesideTheProgram) {
  // The program built in the build directory has no parameters file beside it.
  TempDir empty;
  const ProcessResult missing = RunProcess(BuiltAdmin(), {"--dir", empty.Path(), "get", "K"});
  EXPECT_EQ(missing.exit_status, 1) << Describe(missing);
  EXPECT_NE(
      missing.err.find("File parametri mancante: " + empty.Path() + "/PARAMETRIQUORVANDELIX.INI"),
      std::string::npos)
      << missing.err;

  const ProcessResult init = RunProcess(BuiltAdmin(), {"init", BusinessFile(), "--dir", Bin()});
  ASSERT_EQ(init.exit_status, 0) << Describe(init);
  ASSERT_EQ(RunProcess(BuiltAdmin(), {"-d", Bin(), "set", "K", "v"}).exit_status, 0);
  // The installed copy reads the same configuration without --dir.
  EXPECT_EQ(Admin({"get", "K"}).out, "v\n");
}

}  // namespace
}  // namespace et::test
