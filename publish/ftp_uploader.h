// TFTPCarica: the uploader of one exported file. It connects and logs in to
// the web side's FTP server, optionally changes the remote directory, stores
// the file under its own name in ASCII mode over a passive data connection,
// and disconnects (QUIT) when told to or when it dies.
#pragma once

#include <memory>
#include <string>

namespace et {

class TFTPCarica {
 public:
  TFTPCarica();
  // Disconnects when still connected.
  ~TFTPCarica();
  TFTPCarica(const TFTPCarica&) = delete;
  TFTPCarica& operator=(const TFTPCarica&) = delete;

  // Connection settings, used by the next Connetti. The host is a name or an
  // address, optionally followed by ":port" ("[v6addr]:port" for IPv6); the
  // port is 21 otherwise.
  void SetHost(std::string host) { host_ = std::move(host); }
  void SetUsername(std::string username) { username_ = std::move(username); }
  void SetPassword(std::string password) { password_ = std::move(password); }
  const std::string& Host() const { return host_; }
  const std::string& Username() const { return username_; }
  const std::string& Password() const { return password_; }

  // True while a logged-in control connection is open.
  bool Connesso() const;

  // Connects and logs in. False, with the reason in Errore, when a setting is
  // missing ("Username mancante", "Password mancante", "Server mancante",
  // without touching the network) or when the server cannot be reached or
  // refuses the log-in (the server's reply, such as "530 Login incorrect.",
  // or the network error's description). Errore is empty after success.
  bool Connetti(std::string& Errore);

  // Changes the remote working directory (an absolute one, or one relative to
  // the current directory). Raises FtpError carrying the server's reply when
  // it refuses, or when not connected. An empty text changes nothing.
  void CambiaDirectory(const std::string& dir);

  // Stores the local file, from its start, under its own name (the part after
  // the last '/', '\' or ':') in the current remote directory, replacing a
  // remote file of that name. False with the reason in Errore when the file
  // cannot be read or the server refuses or breaks off the transfer.
  bool CaricaFile(const std::string& NomeFile, std::string& Errore);

  // Sends QUIT and closes the connection when connected; otherwise nothing.
  void Disconnetti();

 private:
  struct Connection;

  std::string host_;
  std::string username_;
  std::string password_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace et
