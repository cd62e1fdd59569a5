// FtpUploader: the uploader of exported files. It connects and logs in to
// the web side's FTP server, optionally changes the remote directory, stores
// each file in ASCII mode over a passive data connection, and disconnects
// (QUIT) when told to or when it dies.
//
// A file is stored under a temporary name beside its real one (".NAME.part")
// and renamed to NAME only once the transfer is complete, so the web side
// never imports a file cut short: a broken transfer leaves the previous
// complete file in place.
#pragma once

#include <memory>
#include <string>

#include "publish/ftp_settings.h"

namespace et {

class FtpUploader {
 public:
  // The host is a name or an address, optionally followed by ":port"
  // ("[v6addr]:port" for IPv6); the port is 21 otherwise. With
  // direct_upload, Upload stores the file directly under its real name, as
  // servers that cannot rename need; a broken transfer then leaves a partial
  // file. The directory is not used by the uploader itself: its caller
  // decides what a refused ChangeDirectory means.
  explicit FtpUploader(FtpSettings settings);
  // Disconnects when still connected.
  ~FtpUploader();
  FtpUploader(const FtpUploader&) = delete;
  FtpUploader& operator=(const FtpUploader&) = delete;

  const FtpSettings& Settings() const { return settings_; }

  // True while a logged-in control connection is open.
  bool IsConnected() const;

  // Closes an earlier connection, then connects and logs in. Raises FtpError
  // without touching the network when a setting is missing ("Username
  // mancante", "Password mancante", "Server mancante": the last missing one
  // in this order), when the user name or password holds CR, LF or NUL
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

  // Stores the local file, from its start, under its own name (the part
  // after the last '/', '\' or ':') in the current remote directory,
  // replacing a remote file of that name. Raises FtpError when not connected
  // ("Not connected."), when the file cannot be read ("Cannot open file
  // "PATH". REASON"), and with the server's reply or the network error's
  // description when the server refuses or breaks off the transfer or the
  // rename. After a failure the temporary file is deleted while the control
  // connection is still open.
  void Upload(const std::string& local_path);

  // Sends QUIT and closes the connection when connected; otherwise nothing.
  void Disconnect();

 private:
  struct Connection;

  void StoreDirect(const std::string& local_path, const std::string& name);
  void StoreAndRename(const std::string& local_path, const std::string& name);

  FtpSettings settings_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace et
