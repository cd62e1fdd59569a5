#include "support/sshd_server.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/servers.h"

namespace et::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kSshd = "/usr/sbin/sshd";
// Every component of a chroot must belong to root and be writable by no one
// else, which rules out /tmp.
constexpr const char* kJails = "/var/lib/exporttotale-sftp-tests";
// sshd's empty directory for its unprivileged child before log-in.
constexpr const char* kPrivsepDir = "/run/sshd";

// The local account of the server: no shell (it gets internal-sftp only),
// "/" as its home, which the chroot makes the login directory. Test programs
// running at the same time change /etc/passwd and /etc/shadow too: a lock
// refused, or the account made by another meanwhile, is tried again.
void EnsureAccount() {
  for (int attempt = 1;; ++attempt) {
    std::string error;
    if (::getpwnam(SshdServer::kUser) == nullptr)
      error = RunSetupTool("useradd", {"--no-create-home", "--home-dir", "/", "--shell",
                                       "/usr/sbin/nologin", SshdServer::kUser})
                  .err;
    if (::getpwnam(SshdServer::kUser) != nullptr) {
      const ProcessResult r = RunSetupTool(
          "chpasswd", {}, std::string(SshdServer::kUser) + ":" + SshdServer::kPassword + "\n");
      if (r.exit_status == 0) return;
      error = r.err;
    }
    if (attempt == 10) throw std::runtime_error("cannot make the account: " + error);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
}

const passwd& Account() {
  const passwd* account = ::getpwnam(SshdServer::kUser);
  if (account == nullptr) throw std::runtime_error(std::string("no account ") + SshdServer::kUser);
  return *account;
}

void Own(const std::string& path, uid_t uid, gid_t gid, mode_t mode) {
  if (::chown(path.c_str(), uid, gid) != 0 || ::chmod(path.c_str(), mode) != 0)
    throw std::runtime_error("cannot set the owner and mode of " + path);
}

// A key pair made by ssh-keygen at path (private) and path.pub.
void MakeKey(const std::string& path, const std::string& passphrase) {
  RunSetupToolOrThrow("ssh-keygen", {"-q", "-t", "ed25519", "-N", passphrase, "-C",
                                     "exporttotale-test", "-f", path});
}

// A process's /proc/PID/stat; empty when the process is gone. Reading the
// file of a process that ends meanwhile fails with ESRCH, which the stream
// buffer raises past the stream.
std::string ReadStat(const fs::path& path) {
  std::ifstream in(path);
  try {
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  } catch (const std::ios_base::failure&) {
    return {};
  }
}

// The state letter of /proc/PID/stat; 0 when the process is gone.
char State(pid_t pid) {
  const std::string stat = ReadStat("/proc/" + std::to_string(pid) + "/stat");
  const size_t comm_end = stat.rfind(')');
  if (comm_end == std::string::npos || comm_end + 2 >= stat.size()) return 0;
  return stat[comm_end + 2];
}

bool Running(pid_t pid) {
  const char state = State(pid);
  return state != 0 && state != 'Z';
}

// Every process below pid, children before their own children.
std::vector<pid_t> Descendants(pid_t pid) {
  std::vector<std::pair<pid_t, pid_t>> parents;  // (pid, parent)
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadStat(entry.path() / "stat");
    const size_t comm_end = stat.rfind(')');
    if (comm_end == std::string::npos) continue;
    std::istringstream fields(stat.substr(comm_end + 2));
    char state;
    pid_t parent;
    if (fields >> state >> parent) parents.emplace_back(std::stoi(name), parent);
  }
  std::vector<pid_t> found{pid};
  for (size_t i = 0; i < found.size(); ++i)
    for (const auto& [child, parent] : parents)
      if (parent == found[i]) found.push_back(child);
  found.erase(found.begin());
  return found;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  // A last line without its line end is still being written. sshd ends its
  // lines with CR LF.
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
    if (lines.back().ends_with('\r')) lines.back().pop_back();
  }
  return lines;
}

}  // namespace

SshdServer::SshdServer(const Options& options)
    : jail_(kJails), root_(jail_.File("root")), log_(dir_.File("sshd.log")) {
  if (!fs::exists(kSshd))
    throw std::runtime_error("sshd is not installed (scripts/install-deps: openssh-server)");
  EnsureAccount();
  fs::create_directories(kPrivsepDir);
  const mode_t kReadable = 0755;
  Own(kJails, 0, 0, kReadable);
  Own(jail_.Path(), 0, 0, kReadable);
  fs::create_directories(root_ + "/" + kDirectory);
  fs::create_directories(root_ + "/dev");
  Own(root_, 0, 0, kReadable);
  Own(root_ + "/dev", 0, 0, kReadable);
  Own(root_ + "/" + kDirectory, 0, Account().pw_gid, S_ISVTX | 0775);
  // internal-sftp runs chrooted and logs through syslog(3) to the chroot's
  // /dev/log; sshd itself writes its log file with -E. Both go to one file.
  sftp_log_ = std::make_unique<SyslogSocket>(root_ + "/dev/log", log_);

  const std::string host_key = dir_.File("host_key");
  MakeKey(host_key, "");
  MakeKey(ClientKeyFile(), "");
  MakeKey(EncryptedClientKeyFile(), kKeyPassphrase);
  MakeKey(UnauthorizedKeyFile(), "");
  std::istringstream listing(
      RunSetupToolOrThrow("ssh-keygen", {"-l", "-f", host_key + ".pub"}).out);
  std::string bits;
  listing >> bits >> fingerprint_;  // "256 SHA256:... comment (ED25519)"
  // The monitor reads the keys as the account, and only from a file no one
  // else can change (StrictModes).
  const std::string authorized_keys = jail_.File("authorized_keys");
  WriteFile(authorized_keys,
            ReadFile(ClientKeyFile() + ".pub") + ReadFile(EncryptedClientKeyFile() + ".pub"));
  Own(authorized_keys, 0, 0, 0644);

  std::string sftp = "internal-sftp -l VERBOSE";
  if (!options.denied_requests.empty()) sftp += " -P " + options.denied_requests;
  if (options.read_only) sftp += " -R";
  port_ = ClosedPort();
  const std::string conf =
      "Port " + std::to_string(port_) + "\nListenAddress 127.0.0.1\nHostKey " + host_key +
      "\nPidFile " + dir_.File("sshd.pid") +
      "\nLogLevel VERBOSE\nUsePAM no\nPermitRootLogin no\nAllowUsers " + kUser +
      "\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\nPubkeyAuthentication yes"
      "\nAuthorizedKeysFile " +
      authorized_keys +
      "\nAllowTcpForwarding no\nAllowAgentForwarding no\nX11Forwarding no\nPermitTTY no"
      "\nSubsystem sftp internal-sftp\nMatch User " +
      kUser + "\n  ChrootDirectory " + root_ + "\n  ForceCommand " + sftp + "\n";
  const std::string conf_path = dir_.File("sshd_config");
  WriteFile(conf_path, conf);
  process_ = std::make_unique<BackgroundProcess>(
      kSshd, std::vector<std::string>{"-D", "-E", log_, "-f", conf_path});
  const std::string listening = "Server listening on 127.0.0.1 port " + std::to_string(port_) + ".";
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  for (;;) {
    const auto lines = Lines(ReadFile(log_));
    if (std::find(lines.begin(), lines.end(), listening) != lines.end()) break;
    if (!Running(process_->Pid()) || Clock::now() > deadline)
      throw std::runtime_error("sshd did not listen on port " + std::to_string(port_) + ": " +
                               ReadFile(log_));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

SshdServer::~SshdServer() {
  StopSessions();
  process_.reset();
  sftp_log_.reset();
}

// sshd leaves its sessions running when it ends, and each runs in a process
// group of its own: they are found as the listener's descendants while it
// is held still, so that it starts no new one meanwhile.
void SshdServer::StopSessions() {
  if (!process_) return;
  const pid_t listener = process_->Pid();
  ::kill(listener, SIGSTOP);
  const std::vector<pid_t> sessions = Descendants(listener);
  for (const pid_t pid : sessions) ::kill(pid, SIGKILL);
  ::kill(listener, SIGCONT);
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (std::any_of(sessions.begin(), sessions.end(), Running) && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

std::string SshdServer::HostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }

std::string SshdServer::ClientKeyFile() const { return dir_.File("client_key"); }
std::string SshdServer::EncryptedClientKeyFile() const { return dir_.File("encrypted_key"); }
std::string SshdServer::UnauthorizedKeyFile() const { return dir_.File("unauthorized_key"); }

std::string SshdServer::ReadReceived(const std::string& name) const {
  return ReadFile(root_ + "/" + kDirectory + "/" + name);
}

bool SshdServer::HasFile(const std::string& name) const {
  return fs::is_regular_file(PathOf(name));
}

std::string SshdServer::PathOf(const std::string& name) const {
  return root_ + "/" + kDirectory + "/" + name;
}

void SshdServer::PutFile(const std::string& name, const std::string& bytes) const {
  const std::string path = root_ + "/" + kDirectory + "/" + name;
  WriteFile(path, bytes);
  Own(path, Account().pw_uid, Account().pw_gid, 0644);
}

void SshdServer::PutRootOwnedFile(const std::string& name, const std::string& bytes) const {
  const std::string path = root_ + "/" + kDirectory + "/" + name;
  WriteFile(path, bytes);
  Own(path, 0, 0, 0644);
}

std::vector<std::string> SshdServer::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root_ + "/" + kDirectory))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> SshdServer::LogLines() const {
  sftp_log_->Flush();
  return Lines(ReadFile(log_));
}

bool SshdServer::AnyAuthenticationAttempted() const {
  // "Failed none" is a client asking which methods there are; "Accepted
  // key ... found at" and "Postponed publickey" a key offered before its
  // signature.
  static const std::regex attempt(
      "^(Accepted|Failed|Postponed) "
      "(password|publickey|keyboard-interactive(/\\S+)?|hostbased|key) .*");
  const auto lines = LogLines();
  return std::any_of(lines.begin(), lines.end(),
                     [](const std::string& line) { return std::regex_match(line, attempt); });
}

}  // namespace et::test
