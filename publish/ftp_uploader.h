// FtpUploader: the uploader of exported files. It connects and logs in to
// the web side's server (FTP, FTP inside TLS, or SFTP), optionally changes
// the remote directory, stores each file (over FTP in ASCII mode over a
// passive data connection), and disconnects (QUIT) when told to or when it
// dies.
//
// A file is stored under a temporary name beside its real one (".NAME.part")
// and renamed to NAME only once the transfer is complete and the server
// holds every byte, so the web side never imports a file cut short: a
// broken transfer leaves the previous complete file in place.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "publish/ftp_host.h"
#include "publish/ftp_settings.h"

namespace et {

namespace detail {
struct UploadSource;
class RemoteConnection;
}  // namespace detail

class FtpUploader {
 public:
  // The host is a name or an address, optionally followed by ":port"
  // ("[v6addr]:port" for IPv6), and optionally preceded by "ftps://"
  // (implicit TLS, port 990) or "sftp://" (SFTP, port 22); the port is 21
  // otherwise. With
  // direct_upload, Upload stores the file directly under its real name, as
  // servers that cannot rename need; a broken transfer then leaves a partial
  // file. The directory is not used by the uploader itself: its caller
  // decides what a refused ChangeDirectory means.
  // notice: told one line for each fallback that a server forces (the file,
  // the refused command, the server's reply and what is tried next).
  explicit FtpUploader(FtpSettings settings,
                       std::function<void(const std::string&)> notice = nullptr);
  // Disconnects when still connected.
  ~FtpUploader();
  FtpUploader(const FtpUploader&) = delete;
  FtpUploader& operator=(const FtpUploader&) = delete;

  const FtpSettings& Settings() const { return settings_; }

  // True while a logged-in control connection is open.
  bool IsConnected() const;

  // Closes an earlier connection, then connects and logs in. Raises FtpError
  // without touching the network when a setting is missing ("Username
  // mancante", "Password mancante" unless an SFTP key file is given,
  // "Server mancante": the last missing one in this order), when the user name or password holds
  // CR, LF or NUL
  // ("nome utente contiene caratteri di controllo", "password contiene
  // caratteri di controllo") or when the host cannot be read
  // ("Server FTP non valido: HOST..."). Raises FtpError with the server's
  // reply (such as "530 Login incorrect.") or the network error's
  // description when the server cannot be reached or refuses the log-in.
  void Connect();

  // Changes the remote working directory (an absolute one, or one relative to
  // the current directory). Raises FtpError carrying the server's reply when
  // it refuses, or "Not connected." when not connected. An empty text
  // changes nothing.
  void ChangeDirectory(const std::string& dir);

  // How a file reached its real name.
  enum class UploadMethod {
    kHiddenTemporary,  // stored as ".NAME.part", then renamed
    kTemporary,        // stored as "NAME.part", then renamed
    kDirect,           // stored under NAME itself
  };

  // Stores the local file, from its start, under its own name (the part
  // after the last '/', '\' or ':') in the current remote directory,
  // replacing a remote file of that name, and returns how. Unless direct
  // upload is set, the file goes under ".NAME.part" (a leftover of that name
  // deleted first), then is renamed; the server forces fallbacks on the same
  // connection: a permanent refusal (FTP 5xx, SFTP permission denied) of that
  // name tries "NAME.part", and
  // a refusal of that too, or of the rename, stores NAME directly (and
  // deletes the temporary file when the server allows it). Before a rename
  // the size the server stored is compared with the bytes sent.
  //
  // Raises FtpError when not connected ("Not connected."), when the file
  // cannot be read ("Cannot open file "PATH". REASON"), with the refused
  // command and the server's reply ("STOR ESTRAZQ.CSV: 550 ...") or the
  // network error's description when the last way fails or a transfer
  // breaks off, and with the sizes when the server stored less than was sent.
  // A failed upload deletes its temporary file while the control connection
  // is still open, then ends the connection (QUIT). A stop during the
  // transfer deletes the temporary file over a fresh connection, when the
  // server answers within a second, before StopRequestedError goes on.
  UploadMethod Upload(const std::string& local_path);

  // The temporary name of a method; NAME itself for kDirect.
  static std::string TemporaryName(UploadMethod method, const std::string& name);

  // Deletes a file of the current remote directory. Raises FtpError with
  // the refusal, or "Not connected.".
  void Delete(const std::string& name);

  // How the connection is protected: the TLS protocol and cipher
  // ("TLSv1.2, ECDHE-RSA-AES256-GCM-SHA384") or the SSH host key's
  // fingerprint ("SSH, chiave host SHA256:..."); empty over plain FTP or
  // when not connected.
  std::string Protection() const;

  // Sends QUIT and closes the connection when connected; otherwise nothing.
  void Disconnect();

 private:
  // A refusal that a further way may get past.
  struct Refusal {
    std::string text;  // the command and the server's reply
    bool of_name;      // the server refused the temporary name itself
  };

  UploadMethod StoreWithFallbacks(detail::UploadSource& source, const std::string& name);
  // nullopt once renamed; the refusal when the server refused the name or
  // the rename for good. Raises FtpError for any other failure.
  std::optional<Refusal> StoreTemporary(detail::UploadSource& source, const std::string& name,
                                        const std::string& temporary);
  // Deletes stored_temporary (when not empty) once the store is over.
  void StoreDirect(detail::UploadSource& source, const std::string& name,
                   const std::string& stored_temporary);
  void DeleteAfterStop(const std::string& temporary);
  void Notice(const std::string& text) const;

  FtpSettings settings_;
  std::function<void(const std::string&)> notice_;
  std::unique_ptr<detail::RemoteConnection> connection_;
};

}  // namespace et
