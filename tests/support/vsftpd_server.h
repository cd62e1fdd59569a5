// vsftpd, the FTP server many web hosts run, started for one test on a free
// port of 127.0.0.1 with a configuration file of its own and stopped by the
// destructor. Its one user is a local account that logs in through PAM and
// is chrooted into a fresh root owned by root; uploads go into the writable
// folder kDirectory below it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "support/test_certificate.h"

namespace et::test {

class VsftpdServer {
 public:
  // The local account, made on first use when missing (the tests run as
  // root, as the server must).
  static constexpr const char* kUser = "exporttotale-ftp";
  static constexpr const char* kPassword = "Vsftpd-Prova1";
  // The writable folder below the chroot, where the files go.
  static constexpr const char* kDirectory = "catalogo";

  // Refusals of real hosts, each one line of vsftpd's configuration.
  struct Options {
    bool deny_dot_files = false;      // deny_file={.*}: 550 Permission denied.
    bool deny_rename_delete = false;  // cmds_denied=RNFR,RNTO,DELE
    int max_per_ip = 0;               // max_per_ip=N (0: no limit)
    // ssl_enable with a certificate made for the test, and both the log-in
    // and the data required over TLS.
    bool tls_required = false;
    // ssl_enable with that certificate, TLS left to the client's choice.
    bool tls_offered = false;
    // TLS from the first byte (implicit_ssl, "ftps://"), required.
    bool tls_implicit = false;
  };

  VsftpdServer() : VsftpdServer(Options{}) {}
  explicit VsftpdServer(const Options& options);
  ~VsftpdServer();
  VsftpdServer(const VsftpdServer&) = delete;
  VsftpdServer& operator=(const VsftpdServer&) = delete;

  int Port() const { return port_; }
  // "127.0.0.1:port".
  std::string HostAndPort() const;
  // The certificate (PEM) the server presents when TLS is on.
  const std::string& CertificateFile() const { return certificate_.certificate; }
  // The certificate's public key pin, "sha256//BASE64".
  std::string PublicKeyPin() const { return certificate_.PublicKeyPin(); }

  // A file in kDirectory, as bytes; empty when it does not exist.
  std::string ReadReceived(const std::string& name) const;
  bool HasFile(const std::string& name) const;
  // Places a file in kDirectory, owned by the account as an upload would be.
  void PutFile(const std::string& name, const std::string& bytes) const;
  // Makes a folder in kDirectory, owned by the account: a name the server can
  // neither store a file under nor rename one onto.
  void MakeDirectory(const std::string& name) const;
  // The names in kDirectory, sorted.
  std::vector<std::string> Files() const;

  // Every command the server received, in order, as its log shows them
  // ("STOR ESTRAZQ.CSV"; "PASS <password>" for the password).
  std::vector<std::string> Commands() const;

 private:
  TempDir dir_;
  std::string root_;
  std::string log_;
  TestCertificate certificate_;
  std::unique_ptr<BackgroundProcess> process_;
  int port_ = 0;
};

}  // namespace et::test
