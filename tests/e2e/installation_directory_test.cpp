// EXPORTTOTALE_DIR: one copy of the built programs serves several
// installations, each found by the directory that holds its parameters file.
// Two installations side by side, the programs in the first one's bin/.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/e2e.h"

namespace et::test {
namespace {

namespace fs = std::filesystem;

const std::string kBuiltAdmin = test::BuiltAdmin();

class InstallationDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(kBuiltAdmin, first_.BinDir() + "exporttotale-admin");
    // Each installation exports one article of its own.
    for (const auto& [install, article] :
         {std::pair{&first_, "PRIMA"}, std::pair{&second_, "SECONDA"}}) {
      BusinessDb db = install->Business();
      db.SetTabX("CAT_TIPOEXPPERGIACENZE", "1");
      db.AddStock(StockRow{.codice = article, .quantitapresente = 4});
    }
  }

  // The program of the first installation; EXPORTTOTALE_DIR set to `dir`,
  // or removed from the environment when there is none.
  ProcessResult Run(const std::string& program, const std::vector<std::string>& args,
                    const std::optional<std::string>& dir) {
    RunOptions options;
    options.env = {{"LANG", "C"}};
    options.unset_env = {"LC_ALL"};
    if (dir) {
      options.env["EXPORTTOTALE_DIR"] = *dir;
    } else {
      options.unset_env.push_back("EXPORTTOTALE_DIR");
    }
    options.cwd = first_.Root();
    return RunProcess(first_.BinDir() + program, args, options);
  }

  std::string Stock(const Installation& install) const {
    const std::string path = install.ExportDir() + "ESTRAZQ.CSV";
    return fs::exists(path) ? ReadFile(path) : "(none)";
  }

  Installation first_{BuiltProgram()};
  Installation second_{InstallationOptions{}};  // bin/ holds the parameters file only
};

TEST_F(InstallationDirectory, StockRunReadsTheNamedInstallation) {
  struct Case {
    std::string name;
    std::optional<std::string> dir;
    const Installation* exported;  // whose ESTRAZQ.CSV the run writes
    std::string line;
  };
  const std::vector<Case> cases = {
      {"unset: beside the program", std::nullopt, &first_, "1;PRIMA;4\r\n"},
      {"empty: beside the program", "", &first_, "1;PRIMA;4\r\n"},
      {"the second installation", second_.BinDir(), &second_, "1;SECONDA;4\r\n"},
      {"without the trailing separator", second_.Root() + "/bin", &second_, "1;SECONDA;4\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const Installation* install : {&first_, &second_}) {
      fs::remove(install->ExportDir() + "ESTRAZQ.CSV");
    }
    const ProcessResult r = Run("exporttotale", {}, c.dir);
    EXPECT_EQ(r.exit_status, kStatusCompleted) << r.err;
    EXPECT_EQ(Stock(*c.exported), c.line);
    const Installation& other = c.exported == &first_ ? second_ : first_;
    EXPECT_EQ(Stock(other), "(none)");
  }
}

// A named directory without a parameters file is a missing parameters file:
// nothing falls back to the one beside the program.
TEST_F(InstallationDirectory, NamedDirectoryWithoutParametersFileDoesNotFallBack) {
  TempDir empty;
  const ProcessResult run = Run("exporttotale", {}, empty.Path());
  EXPECT_EQ(run.exit_status, kStatusNotCompleted);
  EXPECT_NE(run.err.find("File PARAMETRIQUORVANDELIX.INI non esistente!"), std::string::npos)
      << run.err;
  EXPECT_EQ(Stock(first_), "(none)");

  const ProcessResult check = Run("exporttotale-admin", {"check"}, empty.Path());
  EXPECT_EQ(check.exit_status, 1);
  EXPECT_NE(check.out.find("file parametri " + empty.Path() +
                           "/PARAMETRIQUORVANDELIX.INI ... ERRORE: file non trovato"),
            std::string::npos)
      << check.out;
  EXPECT_TRUE(fs::is_empty(empty.Path()));
}

// The administration command follows the same rule, and --dir comes first.
TEST_F(InstallationDirectory, AdminReadsTheNamedInstallationUnlessDirIsGiven) {
  struct Case {
    std::string name;
    std::vector<std::string> args;
    std::optional<std::string> dir;
    std::string export_directory;  // what "get DIRCATINTERNET" prints
  };
  const std::vector<Case> cases = {
      {"unset", {"get", "DIRCATINTERNET"}, std::nullopt, first_.ExportDir()},
      {"empty", {"get", "DIRCATINTERNET"}, "", first_.ExportDir()},
      {"named", {"get", "DIRCATINTERNET"}, second_.BinDir(), second_.ExportDir()},
      {"--dir over the variable",
       {"--dir", first_.BinDir(), "get", "DIRCATINTERNET"},
       second_.BinDir(),
       first_.ExportDir()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ProcessResult r = Run("exporttotale-admin", c.args, c.dir);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out, c.export_directory + "\n");
  }

  const ProcessResult check = Run("exporttotale-admin", {"check"}, second_.BinDir());
  EXPECT_NE(check.out.find("file parametri " + second_.ParametersFile() + " ... ok"),
            std::string::npos)
      << check.out;
  EXPECT_NE(check.out.find("database gestionale " + second_.BusinessDbName() + " ... ok"),
            std::string::npos)
      << check.out;
}

}  // namespace
}  // namespace et::test
