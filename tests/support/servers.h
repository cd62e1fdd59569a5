// Real FTP, HTTP and HTTPS servers on the loopback interface, one per test,
// started by the constructor on a free port and stopped by the destructor.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "support/test_certificate.h"

namespace et::test {

// Bracketed when it is an IPv6 address, for URLs and "host:port" texts.
std::string HostForUrl(const std::string& host);

// An FTP server (pyftpdlib) serving a fresh temporary root directory. It
// knows two users whose home is the root: one with full rights and one that
// may only list and read. Entry to DeniedDir() is refused to both (550).
// Uploads are stored byte for byte, also in ASCII mode.
class FtpServer {
 public:
  static constexpr const char* kUser = "catalogo";
  static constexpr const char* kPassword = "segreta";
  static constexpr const char* kReadOnlyUser = "lettore";
  static constexpr const char* kReadOnlyPassword = "sololettura";

  // Ways the server may misbehave, as some real servers do.
  struct Options {
    // The address to listen on, "127.0.0.1" or "::1".
    std::string host = "127.0.0.1";
    // An upload's data connection is broken by the server after this many
    // bytes (kept in the file), and the transfer answered 426; -1: never.
    long drop_data_after = -1;
    // Every RNFR is refused (550).
    bool refuse_rnfr = false;
    // RNTO onto an existing file is refused (550 File exists.).
    bool refuse_rename_over = false;
    // An upload keeps only this many bytes, drops the rest and still answers
    // "226 Transfer complete."; -1: all.
    long keep_only = -1;
    // SIZE is an unknown command (500).
    bool no_size = false;
    // CR LF becomes LF on an ASCII upload (proftpd, pure-ftpd).
    bool convert_line_ends = false;
    // STOR of a dot name: "553 Prohibited file name: NAME" (pure-ftpd -x).
    bool refuse_dot_names = false;
    // STOR onto an existing file: "550 NAME: Overwrite permission denied"
    // (proftpd's AllowOverwrite off).
    bool refuse_overwrite = false;
    // RNFR, RNTO and DELE: "550 Permission denied." (vsftpd's cmds_denied).
    bool refuse_rename_delete = false;
    // Control connections allowed at once from one address; 0: any. The
    // next one is answered 421 and closed.
    int max_per_ip = 0;
    // An upload's first bytes are stored, then its session waits this many
    // seconds (other connections are still served); 0: no wait.
    int stall_data_seconds = 0;
  };

  // host: the address to listen on, "127.0.0.1" or "::1".
  explicit FtpServer(const std::string& host = "127.0.0.1");
  explicit FtpServer(const Options& options);
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  int Port() const { return port_; }
  const std::string& Host() const { return host_; }
  // "127.0.0.1:port" or "[::1]:port".
  std::string HostAndPort() const;
  // The served root directory, the home of both users.
  const std::string& Root() const;
  // Name (relative to the root) of an existing directory that refuses CWD.
  static constexpr const char* kDeniedDir = "riservata";

  // A file below the root, as bytes; empty when it does not exist.
  std::string ReadReceived(const std::string& relative_path) const;
  bool HasFile(const std::string& relative_path) const;
  // Places a file below the root (creating its directories).
  void PutFile(const std::string& relative_path, const std::string& bytes) const;
  void MakeDirectory(const std::string& relative_path) const;

  // Every command received so far, in order, one per entry as sent ("TYPE A",
  // "STOR ESTRAZQ.CSV"); passwords read "PASS ******".
  std::vector<std::string> Commands() const;
  // Control connections accepted so far, also those that sent no command.
  int Connections() const;

 private:
  std::string host_;
  TempDir dir_;
  std::string root_;
  std::string log_;
  std::unique_ptr<BackgroundProcess> process_;
  int port_ = 0;
};

// One request as the HTTP server saw it.
struct HttpRequest {
  std::string method;
  std::string path;  // with the query
  std::string version;
  std::string user_agent;
};

// An HTTP or HTTPS server. HTTPS uses a self-signed certificate made for the
// test with the openssl command. "/status/NNN" answers NNN (3xx with
// "Location: /redirected"), every other path 200.
class HttpServer {
 public:
  enum class Scheme { kHttp, kHttps };
  struct Options {
    Scheme scheme = Scheme::kHttp;
    std::string host = "127.0.0.1";
    // HTTPS only: the highest TLS version offered ("1.0", "1.1", "1.2",
    // "1.3"); empty for the defaults of a current server.
    std::string tls_max;
  };

  HttpServer() : HttpServer(Options{}) {}
  explicit HttpServer(Scheme scheme) : HttpServer(Options{scheme, "127.0.0.1", ""}) {}
  explicit HttpServer(const Options& options);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:port" or "https://...", without a trailing '/'.
  std::string BaseUrl() const;
  // Every request received so far, in order.
  std::vector<HttpRequest> Requests() const;

 private:
  Options options_;
  TempDir dir_;
  std::string log_;
  std::unique_ptr<BackgroundProcess> process_;
  int port_ = 0;
};

// A port on 127.0.0.1 that nothing listens on at the time of the call.
int ClosedPort();

}  // namespace et::test
