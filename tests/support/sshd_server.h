// OpenSSH's sshd serving SFTP, as hosts offer it, started for one test on a
// free port of 127.0.0.1 with a configuration file and host key of its own
// and stopped by the destructor. Its one user is a local account that logs
// in with its password (checked against /etc/shadow, no PAM) or with a key,
// and gets only internal-sftp, chrooted into a fresh root owned by root whose
// "/" is the login directory; files go into kDirectory below it
// ("catalogo/NAME" or "/catalogo/NAME"). Beside kDirectory the chroot holds
// only dev/log, the socket through which internal-sftp logs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/subprocess.h"
#include "support/syslog_socket.h"
#include "support/temp_dir.h"

namespace et::test {

class SshdServer {
 public:
  // The local account, made on first use when missing (the tests run as
  // root, as the server must).
  static constexpr const char* kUser = "exporttotale-sftp";
  static constexpr const char* kPassword = "Sftp-Prova1";
  // The folder below the chroot where the files go. It belongs to root and
  // the account's group (mode 1775): the account creates files there and
  // overwrites, renames and removes its own, while the sticky bit keeps it
  // from removing, renaming or replacing by a rename those of others.
  static constexpr const char* kDirectory = "catalogo";
  // The passphrase of EncryptedClientKeyFile().
  static constexpr const char* kKeyPassphrase = "frase-segreta";

  // Refusals of real hosts, each an option of internal-sftp.
  struct Options {
    // -P: the requests refused with "Permission denied", comma-separated
    // ("rename,posix-rename,remove"); empty: none.
    std::string denied_requests;
    // -R: every request that would change a file is refused.
    bool read_only = false;
  };

  SshdServer() : SshdServer(Options{}) {}
  explicit SshdServer(const Options& options);
  // Ends every session first, then sshd, and removes the chroot.
  ~SshdServer();
  SshdServer(const SshdServer&) = delete;
  SshdServer& operator=(const SshdServer&) = delete;

  int Port() const { return port_; }
  // "127.0.0.1:port".
  std::string HostAndPort() const;
  // The host key's fingerprint as ssh-keygen -l prints it ("SHA256:...").
  const std::string& Fingerprint() const { return fingerprint_; }

  // Private keys (ed25519, OpenSSH format) for logging in as kUser: one
  // without a passphrase, one encrypted with kKeyPassphrase, and one the
  // server does not accept.
  std::string ClientKeyFile() const;
  std::string EncryptedClientKeyFile() const;
  std::string UnauthorizedKeyFile() const;

  // A file in kDirectory, as bytes; empty when it does not exist.
  std::string ReadReceived(const std::string& name) const;
  bool HasFile(const std::string& name) const;
  // Where a file of kDirectory is on this machine.
  std::string PathOf(const std::string& name) const;
  // Places a file in kDirectory owned by the account, as an upload would be.
  void PutFile(const std::string& name, const std::string& bytes) const;
  // Places a file in kDirectory owned by root (mode 644): the account can
  // read it but neither overwrite, remove, rename nor replace it.
  void PutRootOwnedFile(const std::string& name, const std::string& bytes) const;
  // The names in kDirectory, sorted.
  std::vector<std::string> Files() const;

  // sshd's log (LogLevel VERBOSE) and internal-sftp's (-l VERBOSE) in the
  // order written, one message a line: authentication ("Accepted password
  // for exporttotale-sftp from 127.0.0.1 port N ssh2", "Failed password for
  // ...", "Accepted publickey for ...: ED25519 SHA256:...", "Failed publickey
  // for ...") and the requests of the sessions ("open \"/catalogo/A\" flags
  // WRITE,CREATE,TRUNCATE mode 0644", "posix-rename old \"/catalogo/A\" new
  // \"/catalogo/B\"", "remove name \"/catalogo/B\"", "sent status Permission
  // denied").
  std::vector<std::string> LogLines() const;
  // True when a client offered a password or a key, accepted or not: a
  // client that rejected the host key sent none.
  bool AnyAuthenticationAttempted() const;

 private:
  void StopSessions();

  TempDir dir_;
  // Below /var/lib: sshd refuses a chroot below the world-writable /tmp.
  TempDir jail_;
  std::string root_;
  std::string log_;
  std::string fingerprint_;
  std::unique_ptr<SyslogSocket> sftp_log_;
  std::unique_ptr<BackgroundProcess> process_;
  int port_ = 0;
};

}  // namespace et::test
