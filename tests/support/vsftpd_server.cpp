#include "support/vsftpd_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "support/servers.h"
#include "support/test_certificate.h"

namespace et::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kVsftpd = "/usr/sbin/vsftpd";
// vsftpd changes into the account's home before its chroot: it must exist.
constexpr const char* kHome = "/var/lib/exporttotale-ftp";

// The local account of the server, with a shell listed in /etc/shells (PAM
// refuses others) and its password.
void EnsureAccount() {
  fs::create_directories(kHome);
  if (::getpwnam(VsftpdServer::kUser) == nullptr)
    RunSetupToolOrThrow("useradd", {"--no-create-home", "--home-dir", kHome, "--shell", "/bin/sh",
                                    VsftpdServer::kUser});
  RunSetupToolOrThrow("chpasswd", {},
                      std::string(VsftpdServer::kUser) + ":" + VsftpdServer::kPassword + "\n");
}

void ChownToAccount(const std::string& path) {
  const passwd* account = ::getpwnam(VsftpdServer::kUser);
  if (account == nullptr || ::chown(path.c_str(), account->pw_uid, account->pw_gid) != 0)
    throw std::runtime_error("cannot give " + path + " to " + VsftpdServer::kUser);
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return connected;
}

}  // namespace

VsftpdServer::VsftpdServer(const Options& options)
    : root_(dir_.File("root")), log_(dir_.File("vsftpd.log")) {
  if (!fs::exists(kVsftpd))
    throw std::runtime_error("vsftpd is not installed (scripts/install-deps)");
  EnsureAccount();
  fs::create_directories("/var/run/vsftpd/empty");
  // The account must reach its chroot; the chroot itself must not be
  // writable by it.
  fs::permissions(dir_.Path(), fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
  fs::create_directories(root_ + "/" + kDirectory);
  ChownToAccount(root_ + "/" + kDirectory);

  port_ = ClosedPort();
  std::string conf =
      "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(port_) +
      "\nbackground=NO\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
      "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\n"
      "pam_service_name=vsftpd\nchroot_local_user=YES\nlocal_root=" +
      root_ +
      "\nsecure_chroot_dir=/var/run/vsftpd/empty\n"
      "xferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\nvsftpd_log_file=" +
      log_ + "\n";
  if (options.deny_dot_files) conf += "deny_file={.*}\n";
  if (options.deny_rename_delete) conf += "cmds_denied=RNFR,RNTO,DELE\n";
  if (options.max_per_ip > 0) conf += "max_per_ip=" + std::to_string(options.max_per_ip) + "\n";
  if (options.tls_offered || options.tls_required || options.tls_implicit) {
    certificate_ = TestCertificate::Make(dir_);
    conf += "ssl_enable=YES\nrsa_cert_file=" + certificate_.certificate +
            "\nrsa_private_key_file=" + certificate_.key + "\nrequire_ssl_reuse=YES\n";
    const std::string forced = options.tls_offered ? "NO" : "YES";
    conf += "force_local_logins_ssl=" + forced + "\nforce_local_data_ssl=" + forced + "\n";
    if (options.tls_implicit) conf += "implicit_ssl=YES\n";
  }
  const std::string conf_path = dir_.File("vsftpd.conf");
  WriteFile(conf_path, conf);
  process_ = std::make_unique<BackgroundProcess>(kVsftpd, std::vector<std::string>{conf_path});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Accepts(port_)) {
    if (std::chrono::steady_clock::now() > deadline)
      throw std::runtime_error("vsftpd did not listen on port " + std::to_string(port_));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

VsftpdServer::~VsftpdServer() = default;

std::string VsftpdServer::HostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }

std::string VsftpdServer::ReadReceived(const std::string& name) const {
  return ReadFile(root_ + "/" + kDirectory + "/" + name);
}

bool VsftpdServer::HasFile(const std::string& name) const {
  return fs::is_regular_file(root_ + "/" + kDirectory + "/" + name);
}

void VsftpdServer::PutFile(const std::string& name, const std::string& bytes) const {
  const std::string path = root_ + "/" + kDirectory + "/" + name;
  WriteFile(path, bytes);
  ChownToAccount(path);
}

void VsftpdServer::MakeDirectory(const std::string& name) const {
  const std::string path = root_ + "/" + kDirectory + "/" + name;
  fs::create_directory(path);
  ChownToAccount(path);
}

std::vector<std::string> VsftpdServer::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root_ + "/" + kDirectory))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> VsftpdServer::Commands() const {
  // ... FTP command: Client "127.0.0.1", "STOR ESTRAZQ.CSV"
  std::vector<std::string> commands;
  std::ifstream in(log_, std::ios::binary);
  const std::string marker = "FTP command: Client \"";
  for (std::string line; std::getline(in, line);) {
    if (line.find(marker) == std::string::npos) continue;
    const size_t open = line.find("\", \"");
    if (open == std::string::npos || line.size() < open + 5 || line.back() != '"') continue;
    commands.push_back(line.substr(open + 4, line.size() - open - 5));
  }
  return commands;
}

}  // namespace et::test
