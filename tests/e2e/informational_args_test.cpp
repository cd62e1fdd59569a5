// --help and --version of the built programs: they print and exit 0 without
// touching anything, while any other first argument still starts a stock run.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "programs/version.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "tests/e2e/e2e.h"

namespace et::test {
namespace {

namespace fs = std::filesystem;

// Every file under a directory: its contents and its modification time.
struct FileState {
  std::string bytes;
  fs::file_time_type modified;
  bool operator==(const FileState&) const = default;
};
using Tree = std::map<std::string, FileState>;

Tree Snapshot(const std::string& root) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    if (entry.is_directory()) {
      tree[relative + "/"] = {};
    } else {
      tree[relative] = {ReadFile(entry.path().string()), entry.last_write_time()};
    }
  }
  return tree;
}

std::vector<std::string> Names(const Tree& tree) {
  std::vector<std::string> names;
  for (const auto& [name, state] : tree) names.push_back(name);
  return names;
}

// An installation whose parameters file names a user database that does not
// exist: a run would create it (and so change the directory).
class InformationalArguments : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_.File("bin"));
    for (const std::string& program : {BuiltProgram(), BuiltAdmin()}) {
      fs::copy_file(program, root_.File("bin/") + fs::path(program).filename().string());
    }
    WriteFile(root_.File("bin/PARAMETRIQUORVANDELIX.INI"),
              "[CONFIG]\r\nUtente=1\r\nPercorsoDatabase=" + root_.File("utenti.fdb") + "\r\n");
  }

  ProcessResult Run(const std::string& program, const std::vector<std::string>& args) {
    RunOptions options;
    options.cwd = root_.Path();
    options.env = {{"LANG", "C"}};
    options.unset_env = {"LC_ALL"};
    return RunProcess(root_.File("bin/") + program, args, options);
  }

  TempDir root_;
};

struct Case {
  std::string program;
  std::vector<std::string> args;
  // Lines the output must hold (the version: the whole output).
  std::vector<std::string> expected;
  bool whole_output = false;
};

TEST_F(InformationalArguments, PrintAndExitZeroWithoutTouchingTheInstallation) {
  const std::vector<std::string> usage = {
      "Uso: exporttotale [-p | -s]",
      "  (nessuno)      giacenze: ESTRAZQ.CSV",
      "  -p             listini",
      "  -s             promo a stock",
      "PARAMETRIQUORVANDELIX.INI, sezione [CONFIG]",
      "EXPORTTOTALE_DIR",
      "  232  esecuzione completata (codice di uscita 1000)",
      "  233  esecuzione interrotta o non riuscita (codice di uscita 1001)",
      "logQuorvandelix.txt",
      "standard error",
      "standard output",
  };
  const std::string version = std::string("exporttotale ") + kVersion + "\n";
  const std::vector<Case> cases = {
      {"exporttotale", {"--help"}, usage},
      {"exporttotale", {"-h"}, usage},
      // Only the first argument counts.
      {"exporttotale", {"--help", "-p"}, usage},
      {"exporttotale", {"--version"}, {version}, true},
      {"exporttotale", {"-V"}, {version}, true},
      {"exporttotale-admin",
       {"--version"},
       {std::string("exporttotale-admin ") + kVersion + "\n"},
       true},
  };
  const Tree before = Snapshot(root_.Path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program + " " + c.args.front());
    const ProcessResult r = Run(c.program, c.args);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    if (c.whole_output) {
      EXPECT_EQ(r.out, c.expected.front());
    } else {
      for (const std::string& line : c.expected)
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
    }
    const Tree after = Snapshot(root_.Path());
    EXPECT_EQ(Names(after), Names(before));
    EXPECT_TRUE(after == before) << "a file changed";
  }
}

// The same installation reveals a run: any other first argument, even one
// that looks like an option, starts the stock run, which creates the missing
// user database and ends not completed.
TEST_F(InformationalArguments, OtherArgumentsStillStartTheStockRun) {
  for (const char* arg : {"--helpme", "-v", "help"}) {
    SCOPED_TRACE(arg);
    fs::remove(root_.File("utenti.fdb"));
    const ProcessResult r = Run("exporttotale", {arg});
    EXPECT_EQ(r.exit_status, kStatusNotCompleted) << r.err;
    EXPECT_EQ(r.out.find("Uso:"), std::string::npos);
    EXPECT_TRUE(fs::exists(root_.File("utenti.fdb"))) << r.err;
  }
}

}  // namespace
}  // namespace et::test
