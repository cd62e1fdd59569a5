// The three runs of the built program against vsftpd as web hosts configure
// it: each refusal such a host makes (dot names, renames and deletions, a
// second connection from one address) and TLS, required by the server or
// required by the settings of a server that has none. Every case checks what
// arrived byte for byte, what is left in the server's folder, the exit
// status, the run log, the fallback lines on standard error, the history's
// word on each file and the commands the server received.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "support/servers.h"
#include "support/vsftpd_server.h"
#include "tests/e2e/e2e.h"

namespace et::test {
namespace {

namespace fs = std::filesystem;

// A run kind with the files it uploads and the triggers it requests, in order.
struct RunKind {
  const char* label;
  std::vector<std::string> args;
  std::vector<std::string> files;
  std::vector<std::string> trigger_paths;
};

const RunKind kStock{"Stock", {}, {"ESTRAZQ.CSV"}, {"/import/giacenze.php"}};
const RunKind kPriceLists{"PriceLists",
                          {"-p"},
                          {"listini.csv", "clienti.csv"},
                          {"/import/listini.php", "/import/clienti.php"}};
const RunKind kPromoStock{"PromoStock", {"-s"}, {"promostock.csv"}, {"/import/promostock.php"}};

// How the server is set up, and how the run asks for TLS.
enum class Mode {
  kDotNamesRefused,      // deny_file={.*}
  kRenameDeleteRefused,  // cmds_denied=RNFR,RNTO,DELE
  kOnePerAddress,        // max_per_ip=1
  // max_per_ip=1, and a folder on the server where the first file goes: its
  // upload fails at the last fallback and the next file must still get in.
  kOnePerAddressFirstRefused,
  // The server requires TLS; CAT_FTP_TLS=2 verifies its certificate.
  kTlsRequired,
  // CAT_FTP_TLS=2 against a server without TLS: nothing may go in clear.
  kTlsRequiredWithoutTls,
};

struct Case {
  const RunKind* run;
  Mode mode;
  const char* mode_label;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.run->label << "_" << c.mode_label; }

const Case kCases[] = {
    {&kStock, Mode::kDotNamesRefused, "DotNamesRefused"},
    {&kPriceLists, Mode::kDotNamesRefused, "DotNamesRefused"},
    {&kPromoStock, Mode::kDotNamesRefused, "DotNamesRefused"},
    {&kStock, Mode::kRenameDeleteRefused, "RenameDeleteRefused"},
    {&kPriceLists, Mode::kRenameDeleteRefused, "RenameDeleteRefused"},
    {&kPromoStock, Mode::kRenameDeleteRefused, "RenameDeleteRefused"},
    {&kStock, Mode::kOnePerAddress, "OnePerAddress"},
    {&kPriceLists, Mode::kOnePerAddress, "OnePerAddress"},
    {&kPromoStock, Mode::kOnePerAddress, "OnePerAddress"},
    // The only run with a file after the first.
    {&kPriceLists, Mode::kOnePerAddressFirstRefused, "OnePerAddressFirstRefused"},
    {&kStock, Mode::kTlsRequired, "TlsRequired"},
    {&kPriceLists, Mode::kTlsRequired, "TlsRequired"},
    {&kPromoStock, Mode::kTlsRequired, "TlsRequired"},
    {&kStock, Mode::kTlsRequiredWithoutTls, "TlsRequiredWithoutTls"},
    {&kPriceLists, Mode::kTlsRequiredWithoutTls, "TlsRequiredWithoutTls"},
    {&kPromoStock, Mode::kTlsRequiredWithoutTls, "TlsRequiredWithoutTls"},
};

VsftpdServer::Options ServerOptions(Mode mode) {
  switch (mode) {
    case Mode::kDotNamesRefused:
      return {.deny_dot_files = true};
    case Mode::kRenameDeleteRefused:
      return {.deny_rename_delete = true};
    case Mode::kOnePerAddress:
    case Mode::kOnePerAddressFirstRefused:
      return {.max_per_ip = 1};
    case Mode::kTlsRequired:
      return {.tls_required = true};
    case Mode::kTlsRequiredWithoutTls:
      break;
  }
  return {};
}

bool UsesTls(Mode mode) {
  return mode == Mode::kTlsRequired || mode == Mode::kTlsRequiredWithoutTls;
}

// What one file of the run should come to.
struct FileOutcome {
  bool arrives = true;
  std::vector<std::string> notices;  // standard error's fallback lines
  std::vector<std::string> left;     // names it leaves in the server's folder
  std::string log_reason;            // after "Esito upload ftp = "; empty: no line
};

FileOutcome Expected(Mode mode, const std::string& name, bool first) {
  const std::string notice = "Upload FTP di " + name + ": ";
  const std::string to_direct =
      "; caricamento diretto come " + name + " (CAT_FTP_CARICAMENTODIRETTO=1 lo fa subito)";
  FileOutcome outcome;
  outcome.left = {name};
  switch (mode) {
    case Mode::kDotNamesRefused:
      outcome.notices = {notice + "STOR ." + name +
                         ".part: 550 Permission denied.; nuovo tentativo come " + name + ".part"};
      break;
    case Mode::kRenameDeleteRefused:
      // Nothing may delete the temporary file.
      outcome.notices = {notice + "RNFR ." + name + ".part: 550 Permission denied." + to_direct};
      outcome.left = {"." + name + ".part", name};
      break;
    case Mode::kOnePerAddressFirstRefused:
      if (!first) break;
      // The rename onto the folder is refused, and so are deleting the
      // folder and the direct store over it; the temporary file is deleted.
      outcome.arrives = false;
      outcome.notices = {notice + "RNTO " + name + ": 550 Rename failed." + to_direct};
      outcome.log_reason =
          "Upload FTP non riuscito:\rSTOR " + name + ": 553 Could not create file.";
      break;
    case Mode::kTlsRequiredWithoutTls:
      outcome.arrives = false;
      // vsftpd refuses AUTH with a reply that alone would read as a
      // refused log-in.
      outcome.log_reason =
          "Connessione FTP non riuscita:\rTLS richiesto (CAT_FTP_TLS=2) ma non offerto dal server: "
          "AUTH rifiutato (530 Please login with USER and PASS.); nome utente e password non "
          "inviati";
      break;
    case Mode::kOnePerAddress:
    case Mode::kTlsRequired:
      break;
  }
  return outcome;
}

std::size_t CountOf(const std::vector<std::string>& commands, const std::string& command) {
  return static_cast<std::size_t>(std::count(commands.begin(), commands.end(), command));
}

std::size_t CountStartingWith(const std::vector<std::string>& commands, const std::string& prefix) {
  return static_cast<std::size_t>(
      std::count_if(commands.begin(), commands.end(),
                    [&](const std::string& c) { return c.starts_with(prefix); }));
}

std::vector<std::string> Lines(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t next = text.find(end, at);
    if (next == std::string::npos) next = text.size();
    lines.push_back(text.substr(at, next - at));
    at = next + end.size();
  }
  return lines;
}

// An installation with the sample data of every run, its FTP settings on a
// vsftpd started for the case and its triggers on an HTTP server.
class VsftpdRuns : public ::testing::TestWithParam<Case> {
 protected:
  VsftpdRuns() : server_(ServerOptions(GetParam().mode)) {}

  void SetUp() override {
    const Mode mode = GetParam().mode;
    BusinessDb db = install_.Business();
    AddSampleData(db);
    db.SetTabX("CAT_HOSTFTP", server_.HostAndPort());
    db.SetTabX("CAT_USERFTP", VsftpdServer::kUser);
    db.SetTabX("CAT_PWDFTP", VsftpdServer::kPassword);
    db.SetTabX("CAT_DIRFTP", VsftpdServer::kDirectory);
    db.SetTabX("CAT_SCRIPTGIACENZE", http_.BaseUrl() + "/import/giacenze.php");
    db.SetTabX("CAT_EXPPRVEN_SCRIPT", http_.BaseUrl() + "/import/listini.php");
    db.SetTabX("CAT_EXPPRVEN_SCRIPT2", http_.BaseUrl() + "/import/clienti.php");
    db.SetTabX("CAT_EXPPROMOSTOCK_SCRIPT", http_.BaseUrl() + "/import/promostock.php");
    if (mode == Mode::kTlsRequired) {
      db.SetTabX("CAT_FTP_TLS", "2");
      db.SetTabX("CAT_FTP_CERTIFICATO", server_.CertificateFile());
    } else if (mode == Mode::kTlsRequiredWithoutTls) {
      // Any certificate would do: the lack of TLS alone must fail the
      // connection.
      db.SetTabX("CAT_FTP_TLS", "2");
      db.SetTabX("CAT_FTP_CERTIFICATO", "*");
    }
  }

  std::string Previous(const std::string& name) const { return "previous;" + name + "\r\n"; }

  VsftpdServer server_;
  HttpServer http_;
  Installation install_{BuiltProgram()};
};

TEST_P(VsftpdRuns, EveryFileArrivesOrFailsWithItsReason) {
  const RunKind& run = *GetParam().run;
  const Mode mode = GetParam().mode;

  std::vector<FileOutcome> expected;
  std::vector<std::string> expected_notices;
  std::set<std::string> expected_left;
  std::vector<std::string> expected_log;
  for (const std::string& name : run.files) {
    const bool first = &name == &run.files.front();
    expected.push_back(Expected(mode, name, first));
    const FileOutcome& outcome = expected.back();
    expected_notices.insert(expected_notices.end(), outcome.notices.begin(), outcome.notices.end());
    expected_left.insert(outcome.left.begin(), outcome.left.end());
    if (!outcome.log_reason.empty())
      expected_log.push_back("Esito upload ftp = " + outcome.log_reason);
    // The web side's current file, which a failed upload must leave alone.
    if (mode == Mode::kOnePerAddressFirstRefused && first) {
      server_.MakeDirectory(name);
    } else {
      server_.PutFile(name, Previous(name));
    }
  }

  RunOptions options;
  options.env = {{"LANG", "C"}};
  options.unset_env = {"LC_ALL", "LC_NUMERIC", "LC_TIME", "EXPORTTOTALE_STATUS_DIR",
                       "EXPORTTOTALE_PUBBLICA_COMUNQUE"};
  // The time is printed for whoever compares FTPS with plain FTP; no limit
  // is checked.
  const auto started = std::chrono::steady_clock::now();
  const ProcessResult r = RunInstalled(install_, run.args, options);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  std::printf("[ timing ] %s_%s: the run took %lld ms\n", run.label, GetParam().mode_label,
              static_cast<long long>(elapsed.count()));
  SCOPED_TRACE(Describe(r));

  // A failed upload does not stop a run: every trigger is still requested.
  EXPECT_EQ(r.exit_status, kStatusCompleted);
  EXPECT_EQ(r.out, "");
  std::vector<std::string> requested;
  for (const HttpRequest& request : http_.Requests()) requested.push_back(request.path);
  EXPECT_EQ(requested, run.trigger_paths);

  for (std::size_t i = 0; i < run.files.size(); ++i) {
    const std::string& name = run.files[i];
    SCOPED_TRACE(name);
    const std::string written = ReadFile(install_.ExportDir() + name);
    ASSERT_FALSE(written.empty());
    if (expected[i].arrives) {
      EXPECT_EQ(server_.ReadReceived(name), written);
    } else if (mode == Mode::kOnePerAddressFirstRefused) {
      EXPECT_FALSE(server_.HasFile(name)) << "still the folder";
    } else {
      EXPECT_EQ(server_.ReadReceived(name), Previous(name));
    }
  }
  const std::vector<std::string> files = server_.Files();
  EXPECT_EQ(std::set<std::string>(files.begin(), files.end()), expected_left);

  // Standard error holds the fallback lines and nothing else.
  EXPECT_EQ(Lines(r.err, "\n"), expected_notices);

  // Each run log line: date, time, two blanks and the outcome.
  const std::string log_path = install_.ExportDir() + "logQuorvandelix.txt";
  std::vector<std::string> log;
  if (fs::exists(log_path)) {
    for (const std::string& line : Lines(ReadFile(log_path), "\r\n")) {
      const std::size_t outcome = line.find("  ");
      log.push_back(outcome == std::string::npos ? line : line.substr(outcome + 2));
    }
  }
  EXPECT_EQ(log, expected_log);

  // The history's word on each file.
  const std::vector<std::string> history =
      Lines(ReadFile(install_.ExportDir() + "exporttotale_runs.jsonl"), "\n");
  ASSERT_EQ(history.size(), 1u);
  const nlohmann::json last = nlohmann::json::parse(history.back());
  ASSERT_EQ(last["files"].size(), run.files.size()) << last.dump();
  for (std::size_t i = 0; i < run.files.size(); ++i) {
    EXPECT_EQ(last["files"][i]["name"], run.files[i]);
    EXPECT_EQ(last["files"][i]["uploaded"], expected[i].arrives) << last.dump();
  }

  const std::vector<std::string> commands = server_.Commands();
  std::string shown;
  for (const std::string& c : commands) shown += "  " + c + "\n";
  SCOPED_TRACE("commands:\n" + shown);
  const std::size_t connections = run.files.size();
  if (mode == Mode::kTlsRequiredWithoutTls) {
    // Each file tried its own connection, asked for TLS, and stopped there:
    // neither the user name nor the password went out in clear.
    EXPECT_EQ(CountOf(commands, "AUTH TLS"), connections);
    EXPECT_EQ(CountStartingWith(commands, "USER"), 0u);
    EXPECT_EQ(CountStartingWith(commands, "PASS"), 0u);
    EXPECT_EQ(CountStartingWith(commands, "STOR"), 0u);
  } else {
    // One log-in per file, each on its own connection.
    EXPECT_EQ(CountOf(commands, std::string("USER ") + VsftpdServer::kUser), connections);
    EXPECT_EQ(CountOf(commands, "QUIT"), connections);
  }
  if (mode == Mode::kTlsRequired) {
    // Encryption before the log-in, and the data connections protected.
    for (std::size_t i = 0; i < commands.size(); ++i) {
      if (commands[i].starts_with("USER")) {
        ASSERT_GT(i, 0u);
        EXPECT_EQ(commands[i - 1], "AUTH TLS");
      }
    }
    EXPECT_EQ(CountOf(commands, "PROT P"), connections);
    for (const std::string& name : run.files) {
      EXPECT_EQ(CountOf(commands, "STOR ." + name + ".part"), 1u);
      EXPECT_EQ(CountOf(commands, "RNTO " + name), 1u);
    }
  }
  if (!UsesTls(mode)) {
    EXPECT_EQ(CountOf(commands, "AUTH TLS"), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(VsftpdRuns, VsftpdRuns, ::testing::ValuesIn(kCases),
                         [](const auto& case_info) {
                           return std::string(case_info.param.run->label) + "_" +
                                  case_info.param.mode_label;
                         });

}  // namespace
}  // namespace et::test
