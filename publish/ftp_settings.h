// The FTP settings of the settings table, read once per run and handed to
// the uploader as one value.
#pragma once

#include <string>

namespace et {

struct FtpSettings {
  std::string host = {};       // CAT_HOSTFTP: [ftps:// or sftp://]name or address[:port]
  std::string user = {};       // CAT_USERFTP
  std::string password = {};   // CAT_PWDFTP
  std::string directory = {};  // CAT_DIRFTP: empty for the log-in directory
  bool direct_upload = false;  // CAT_FTP_CARICAMENTODIRETTO = 1
  // CAT_FTP_TLS: 0 plain FTP; 1 TLS when the server offers it, certificate
  // not verified; 2 TLS required and verified. A host "ftps://..." is
  // implicit TLS, verified as with 2.
  int tls = 0;
  // CAT_FTP_CERTIFICATO: what verification accepts. Empty: the system's
  // certificate authorities and the host name; "sha256//BASE64": that public
  // key only; "*": any certificate; otherwise a file of PEM authorities.
  std::string certificate = {};
  // CAT_SFTP_CHIAVE: with a host "sftp://...", the private key file to log
  // in with; the password is then its passphrase and may be empty.
  std::string ssh_key = {};
  // CAT_SFTP_IMPRONTA: the SSH host key's fingerprint, "SHA256:..." as
  // ssh-keygen -l prints it; an SFTP server presenting another key is not
  // logged in to.
  std::string host_fingerprint = {};
};

}  // namespace et
