// The subprocess helpers every end-to-end test relies on, and the sshd
// fixture the SFTP tests rely on; they live in the test support library, and
// are checked here beside the servers they start.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "support/sshd_server.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

namespace et::test {
namespace {

ProcessResult Shell(const std::string& script, const RunOptions& options = {}) {
  return RunProcess("/bin/sh", {"-c", script}, options);
}

TEST(RunProcess, CapturesOutputErrorAndExitStatus) {
  const ProcessResult r = Shell("printf 'uno\\r\\n\\200\\377'; printf 'errore' >&2; exit 3");
  EXPECT_EQ(r.exit_status, 3);
  EXPECT_EQ(r.out, "uno\r\n\x80\xFF");
  EXPECT_EQ(r.err, "errore");
  EXPECT_FALSE(r.timed_out);
}

TEST(RunProcess, ExitStatusKeepsOnlyTheLowEightBits) {
  EXPECT_EQ(Shell("exit 0").exit_status, 0);
  const ProcessResult r = RunProcess("/usr/bin/python3", {"-c", "import sys; sys.exit(1000)"});
  EXPECT_EQ(r.exit_status, 1000 % 256);
}

TEST(RunProcess, ReportsTheSignalThatEndedTheChild) {
  const ProcessResult r = Shell("kill -TERM $$");
  EXPECT_EQ(r.signal, SIGTERM);
  EXPECT_EQ(r.exit_status, 128 + SIGTERM);
}

TEST(RunProcess, FeedsStandardInputOrGivesAnEmptyOne) {
  RunOptions with_input;
  with_input.stdin_bytes = std::string(200000, 'x') + "\r\nfine";
  EXPECT_EQ(Shell("cat", with_input).out, *with_input.stdin_bytes);
  EXPECT_EQ(Shell("cat").out, "");
  RunOptions empty_input;
  empty_input.stdin_bytes = "";
  EXPECT_EQ(Shell("cat; echo fine", empty_input).out, "fine\n");
}

TEST(RunProcess, LargeOutputOnBothStreamsDoesNotBlock) {
  const ProcessResult r = Shell("head -c 300000 /dev/zero; head -c 300000 /dev/zero >&2");
  EXPECT_EQ(r.out.size(), 300000u);
  EXPECT_EQ(r.err.size(), 300000u);
}

TEST(RunProcess, EnvironmentAndWorkingDirectory) {
  TempDir dir;
  setenv("ET_TEST_TO_REMOVE", "present", 1);
  RunOptions options;
  options.env["ET_TEST_ADDED"] = "aggiunta con spazi";
  options.env["HOME"] = "/altrove";
  options.unset_env.push_back("ET_TEST_TO_REMOVE");
  options.cwd = dir.Path();
  const ProcessResult r = Shell(
      "printf '%s|%s|%s|' \"$ET_TEST_ADDED\" \"$HOME\" \"${ET_TEST_TO_REMOVE-unset}\"; pwd -P",
      options);
  unsetenv("ET_TEST_TO_REMOVE");
  EXPECT_EQ(r.out, "aggiunta con spazi|/altrove|unset|" +
                       std::filesystem::canonical(dir.Path()).string() + "\n");
}

TEST(RunProcess, ClosedStandardOutputMakesWritesFail) {
  RunOptions options;
  options.close_stdout = true;
  const ProcessResult r = Shell("echo lost || echo 'write failed' >&2", options);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("write failed"), std::string::npos) << r.err;
}

TEST(RunProcess, WatchdogKillsAChildThatHangsAndFailsTheTest) {
  RunOptions options;
  options.timeout = std::chrono::seconds(1);
  ProcessResult r;
  EXPECT_NONFATAL_FAILURE(r = Shell("sleep 30 & sleep 30", options), "killed after 1 s");
  EXPECT_TRUE(r.timed_out);
  EXPECT_EQ(r.exit_status, -1);
}

TEST(RunProcess, MissingProgramFailsTheTest) {
  ProcessResult r;
  EXPECT_NONFATAL_FAILURE(r = RunProcess("/nonexistent/program", {}), "cannot run");
  EXPECT_EQ(r.exit_status, -1);
}

TEST(BackgroundProcess, ReadsTheFirstLineAndStopsTheChild) {
  pid_t pid;
  {
    BackgroundProcess process("/bin/sh", {"-c", "echo 4242; exec sleep 60"});
    EXPECT_EQ(process.ReadLine(), "4242");
    pid = process.Pid();
    EXPECT_EQ(::kill(pid, 0), 0);
  }
  // Reaped by the destructor: the process id no longer names a child.
  EXPECT_NE(::kill(pid, 0), 0);
}

TEST(BackgroundProcess, ChildThatEndsWithoutALineIsAnError) {
  BackgroundProcess process("/bin/sh", {"-c", "printf 'partial'"});
  EXPECT_THROW(process.ReadLine(), std::runtime_error);
}

// The sftp command-line client in batch mode, as kUser, with no settings,
// keys or agent of the machine; the log-in options come first, so they win
// over the defaults here. A passphrase or password, when given, is answered
// through SSH_ASKPASS.
std::vector<std::string> SftpArgs(const SshdServer& server, const std::vector<std::string>& login) {
  std::vector<std::string> args{"-F", "/dev/null"};
  args.insert(args.end(), login.begin(), login.end());
  for (const char* option : {"StrictHostKeyChecking=no", "UserKnownHostsFile=/dev/null",
                             "IdentitiesOnly=yes", "LogLevel=ERROR"})
    args.insert(args.end(), {"-o", option});
  args.insert(args.end(), {"-P", std::to_string(server.Port()), "-b", "-",
                           std::string(SshdServer::kUser) + "@127.0.0.1"});
  return args;
}

ProcessResult Sftp(const SshdServer& server, std::vector<std::string> login,
                   const std::string& batch, const std::string& askpass_answer = {}) {
  TempDir dir;
  RunOptions options;
  options.stdin_bytes = batch;
  options.unset_env = {"SSH_AUTH_SOCK", "DISPLAY"};
  options.timeout = std::chrono::seconds(60);
  if (!askpass_answer.empty()) {
    // -b turns on BatchMode, which asks for nothing: the first value wins.
    login.insert(login.begin(), {"-o", "BatchMode=no"});
    const std::string askpass = dir.File("askpass");
    WriteFile(askpass, "#!/bin/sh\nprintf '%s\\n' '" + askpass_answer + "'\n");
    std::filesystem::permissions(askpass, std::filesystem::perms::owner_all);
    options.env = {{"SSH_ASKPASS", askpass}, {"SSH_ASKPASS_REQUIRE", "force"}};
  }
  return RunProcess("sftp", SftpArgs(server, login), options);
}

std::vector<std::string> KeyLogin(const std::string& key) {
  return {"-i", key, "-o", "PasswordAuthentication=no"};
}

const std::vector<std::string> kPasswordLogin{"-o", "PubkeyAuthentication=no", "-o",
                                              "NumberOfPasswordPrompts=1"};

bool HasLineStarting(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.starts_with(prefix); });
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

// A process that exists and has not ended (a zombie has).
bool Alive(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t comm_end = stat.rfind(')');
  return comm_end != std::string::npos && comm_end + 2 < stat.size() && stat[comm_end + 2] != 'Z';
}

const std::string kBytes("A001;Caff\xE8;12,50\r\nA002;\0;\xFF\n", 26);

TEST(SshdServer, KeyLogInUploadsRenamesAndRemovesBelowTheChroot) {
  SshdServer server;
  EXPECT_FALSE(server.AnyAuthenticationAttempted());
  TempDir local;
  const std::string path = local.File("ESTRAZQ.CSV");
  WriteFile(path, kBytes);
  const ProcessResult r = Sftp(server, KeyLogin(server.ClientKeyFile()),
                               "pwd\nput " + path + " catalogo/A.CSV\nput " + path +
                                   " /catalogo/B.CSV\nrename catalogo/A.CSV catalogo/C.CSV\n"
                                   "rm /catalogo/B.CSV\n");
  ASSERT_EQ(r.exit_status, 0) << r.err;
  EXPECT_NE(r.out.find("Remote working directory: /\n"), std::string::npos) << r.out;
  EXPECT_EQ(server.Files(), std::vector<std::string>{"C.CSV"});
  EXPECT_EQ(server.ReadReceived("C.CSV"), kBytes);
  EXPECT_TRUE(server.HasFile("C.CSV"));
  EXPECT_FALSE(server.HasFile("B.CSV"));
  const auto lines = server.LogLines();
  EXPECT_TRUE(HasLineStarting(lines, "Accepted publickey for exporttotale-sftp from 127.0.0.1 "))
      << Joined(lines);
  for (const char* request : {"open \"/catalogo/A.CSV\" flags WRITE,CREATE,TRUNCATE mode 0644",
                              "open \"/catalogo/B.CSV\" flags WRITE,CREATE,TRUNCATE mode 0644",
                              "posix-rename old \"/catalogo/A.CSV\" new \"/catalogo/C.CSV\"",
                              "remove name \"/catalogo/B.CSV\""})
    EXPECT_NE(std::find(lines.begin(), lines.end(), request), lines.end()) << request << "\n"
                                                                           << Joined(lines);
  EXPECT_TRUE(server.AnyAuthenticationAttempted());
}

TEST(SshdServer, EachWayOfLoggingInIsAcceptedOrRefusedAndLogged) {
  SshdServer server;
  struct Case {
    const char* label;
    std::vector<std::string> login;
    std::string askpass_answer;
    bool accepted;
    std::string logged;  // the start of a line of the attempt
  };
  const std::string from = " for exporttotale-sftp from 127.0.0.1 port ";
  const Case cases[] = {
      {"key", KeyLogin(server.ClientKeyFile()), "", true, "Accepted publickey" + from},
      {"encrypted key", KeyLogin(server.EncryptedClientKeyFile()), SshdServer::kKeyPassphrase, true,
       "Accepted publickey" + from},
      // The key is offered, but never signed with.
      {"encrypted key, wrong passphrase", KeyLogin(server.EncryptedClientKeyFile()),
       "frase-sbagliata", false, "Postponed publickey" + from},
      {"unauthorized key", KeyLogin(server.UnauthorizedKeyFile()), "", false,
       "Failed publickey" + from},
      {"password", kPasswordLogin, SshdServer::kPassword, true, "Accepted password" + from},
      {"wrong password", kPasswordLogin, "Sftp-Prova2", false, "Failed password" + from},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const size_t before = server.LogLines().size();
    const ProcessResult r = Sftp(server, c.login, "ls catalogo\n", c.askpass_answer);
    EXPECT_EQ(r.exit_status, c.accepted ? 0 : 255) << r.err;
    auto lines = server.LogLines();
    lines.erase(lines.begin(), lines.begin() + static_cast<long>(before));
    EXPECT_TRUE(HasLineStarting(lines, c.logged)) << Joined(lines);
    EXPECT_EQ(HasLineStarting(lines, "Accepted publickey for ") ||
                  HasLineStarting(lines, "Accepted password for "),
              c.accepted)
        << Joined(lines);
  }
}

TEST(SshdServer, FingerprintIsTheHostKeysAndARejectedKeySendsNoCredentials) {
  SshdServer server;
  const ProcessResult scan =
      RunProcess("/bin/sh", {"-c", "ssh-keyscan -t ed25519 -p " + std::to_string(server.Port()) +
                                       " 127.0.0.1 | ssh-keygen -lf -"});
  ASSERT_EQ(scan.exit_status, 0) << scan.err;
  std::istringstream fields(scan.out);  // "256 SHA256:... [127.0.0.1]:PORT (ED25519)"
  std::string bits, fingerprint;
  fields >> bits >> fingerprint;
  EXPECT_TRUE(server.Fingerprint().starts_with("SHA256:")) << server.Fingerprint();
  EXPECT_EQ(server.Fingerprint(), fingerprint) << scan.out;

  TempDir dir;
  const std::string known_hosts = dir.File("known_hosts");
  WriteFile(known_hosts, "");
  const ProcessResult rejected =
      Sftp(server,
           {"-o", "StrictHostKeyChecking=yes", "-o", "UserKnownHostsFile=" + known_hosts, "-i",
            server.ClientKeyFile()},
           "ls\n");
  EXPECT_EQ(rejected.exit_status, 255);
  EXPECT_NE(rejected.err.find("Host key verification failed"), std::string::npos) << rejected.err;
  EXPECT_FALSE(server.AnyAuthenticationAttempted()) << Joined(server.LogLines());
  EXPECT_EQ(Sftp(server, kPasswordLogin, "ls\n", "Sftp-Prova2").exit_status, 255);
  EXPECT_TRUE(server.AnyAuthenticationAttempted()) << Joined(server.LogLines());
}

TEST(SshdServer, RefusalsOfTheHost) {
  TempDir local;
  const std::string path = local.File("ESTRAZQ.CSV");
  WriteFile(path, kBytes);
  struct Case {
    const char* label;
    std::string denied_requests;  // the server's Options
    bool read_only;
    bool root_owned_file;               // R.CSV, "root\n", placed by PutRootOwnedFile
    std::string batch;                  // "-": the failure of the command is not the batch's
    std::vector<std::string> refusals;  // in sftp's error output
    std::vector<std::string> logged;    // lines of the server's log
    std::vector<std::string> files;
  };
  const Case cases[] = {
      {"-P rename,posix-rename,remove",
       "rename,posix-rename,remove",
       false,
       false,
       "put " + path +
           " catalogo/A.CSV\n-rename catalogo/A.CSV catalogo/B.CSV\n"
           "-rm catalogo/A.CSV\n",
       {"remote rename \"/catalogo/A.CSV\" to \"/catalogo/B.CSV\": Permission denied",
        "remote delete /catalogo/A.CSV: Permission denied"},
       {"Refusing denylisted rename request", "Refusing denylisted remove request"},
       {"A.CSV"}},
      {"-R",
       "",
       true,
       false,
       "-put " + path + " catalogo/A.CSV\n",
       {"dest open \"/catalogo/A.CSV\": Permission denied"},
       {"Refusing open request in read-only mode"},
       {}},
      // The account's own file comes and goes; root's stays as it was.
      {"root's file",
       "",
       false,
       true,
       "put " + path + " catalogo/A.CSV\n-rm catalogo/R.CSV\n-put " + path +
           " catalogo/R.CSV\n-rename catalogo/A.CSV catalogo/R.CSV\n"
           "rename catalogo/A.CSV catalogo/B.CSV\nrm catalogo/B.CSV\n",
       {"remote delete /catalogo/R.CSV: Permission denied",
        "dest open \"/catalogo/R.CSV\": Permission denied",
        "remote rename \"/catalogo/A.CSV\" to \"/catalogo/R.CSV\": Permission denied"},
       {"remove name \"/catalogo/R.CSV\"", "remove name \"/catalogo/B.CSV\""},
       {"R.CSV"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    SshdServer server({.denied_requests = c.denied_requests, .read_only = c.read_only});
    if (c.root_owned_file) server.PutRootOwnedFile("R.CSV", "root\n");
    const ProcessResult r = Sftp(server, KeyLogin(server.ClientKeyFile()), c.batch);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    for (const auto& refusal : c.refusals)
      EXPECT_NE(r.err.find(refusal), std::string::npos) << refusal << "\n" << r.err;
    EXPECT_EQ(server.Files(), c.files);
    const auto lines = server.LogLines();
    for (const auto& line : c.logged)
      EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line << "\n"
                                                                          << Joined(lines);
    if (c.root_owned_file) {
      EXPECT_EQ(server.ReadReceived("R.CSV"), "root\n");
    }
    if (server.HasFile("A.CSV")) {
      EXPECT_EQ(server.ReadReceived("A.CSV"), kBytes);
    }
  }
}

TEST(SshdServer, DestructorEndsOpenSessionsAndRemovesTheChroot) {
  std::unique_ptr<BackgroundProcess> client;
  pid_t session = 0;
  std::string chroot;
  {
    SshdServer server;
    // The client's batch stays open as long as sleep runs.
    std::string command = "sleep 600 | exec sftp";
    for (const auto& arg : SftpArgs(server, KeyLogin(server.ClientKeyFile())))
      command += " '" + arg + "'";
    client =
        std::make_unique<BackgroundProcess>("/bin/sh", std::vector<std::string>{"-c", command});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::vector<std::string> lines;
    while (!HasLineStarting(lines = server.LogLines(), "Starting session: ")) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << Joined(lines);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (const auto& line : lines) {
      if (line.starts_with("User child is on pid ")) session = std::stoi(line.substr(21));
      if (line.starts_with("Changed root directory to \""))
        chroot = line.substr(27, line.size() - 28);
    }
    ASSERT_GT(session, 0) << Joined(lines);
    ASSERT_TRUE(Alive(session));
    ASSERT_TRUE(std::filesystem::is_directory(chroot + "/catalogo")) << chroot;
  }
  EXPECT_FALSE(Alive(session));
  EXPECT_FALSE(std::filesystem::exists(chroot)) << chroot;
}

}  // namespace
}  // namespace et::test
