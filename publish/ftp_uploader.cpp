#include "publish/ftp_uploader.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/paths.h"
#include "publish/curl_global.h"
#include "publish/errors.h"
#include "publish/ftp_host.h"

namespace et {
namespace {

// Each reply of the server is awaited at most this long, and so is the
// connection; a data transfer that moves no byte for this long is broken off.
constexpr long kWaitSeconds = 60;

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlUrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Percent-encodes every byte except the unreserved characters, '/' included:
// the URL path is decoded again by libcurl before it splits off the
// directory, so an absolute directory keeps its leading '/' and names with
// blanks, '#', '%' or ';' reach the server unchanged.
std::string EncodePath(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// "ftp://host:port" for the endpoint; the host is checked by libcurl, so a
// setting with '/', '@' or blanks cannot point the URL elsewhere.
bool BuildBaseUrl(const FtpEndpoint& endpoint, std::string& url, std::string& error) {
  std::unique_ptr<CURLU, CurlUrlDeleter> u(curl_url());
  if (!u) {
    error = "Out of memory";
    return false;
  }
  const std::string host =
      endpoint.host.find(':') != std::string::npos ? "[" + endpoint.host + "]" : endpoint.host;
  const std::string port = std::to_string(endpoint.port);
  CURLUcode rc = curl_url_set(u.get(), CURLUPART_SCHEME, "ftp", 0);
  if (!rc) rc = curl_url_set(u.get(), CURLUPART_HOST, host.c_str(), 0);
  if (!rc) rc = curl_url_set(u.get(), CURLUPART_PORT, port.c_str(), 0);
  char* text = nullptr;
  if (!rc) rc = curl_url_get(u.get(), CURLUPART_URL, &text, 0);
  if (rc) {
    error = "Server FTP non valido: " + endpoint.host + " (" + curl_url_strerror(rc) + ")";
    return false;
  }
  url = text;
  curl_free(text);
  while (!url.empty() && url.back() == '/') url.pop_back();
  return true;
}

// The server's replies, rebuilt from the protocol lines libcurl reports, so
// that a refusal can be told to the user in the server's own words.
class ReplyCapture {
 public:
  void Clear() {
    partial_.clear();
    pending_.clear();
    last_.clear();
    last_code_ = 0;
  }

  void Feed(std::string_view data) {
    partial_.append(data);
    size_t eol;
    while ((eol = partial_.find('\n')) != std::string::npos) {
      std::string line = partial_.substr(0, eol);
      partial_.erase(0, eol + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      AddLine(line);
    }
  }

  // The last complete reply (the lines of a multi-line reply joined by
  // blanks) and its code; 0 when none.
  const std::string& Last() const { return last_; }
  int LastCode() const { return last_code_; }

 private:
  static int CodeOf(const std::string& line) {
    if (line.size() < 3) return 0;
    for (int i = 0; i < 3; ++i)
      if (line[i] < '0' || line[i] > '9') return 0;
    return std::stoi(line.substr(0, 3));
  }

  void AddLine(const std::string& line) {
    const int code = CodeOf(line);
    const bool final_line = code != 0 && (line.size() == 3 || line[3] == ' ');
    if (pending_.empty()) {
      if (final_line) {
        Complete(line, code);
      } else if (code != 0 && line[3] == '-') {
        pending_ = line;
        pending_code_ = code;
      }
      return;
    }
    pending_ += " " + line;
    if (final_line && code == pending_code_) {
      Complete(pending_, code);
      pending_.clear();
    }
  }

  void Complete(const std::string& text, int code) {
    last_ = text;
    last_code_ = code;
  }

  std::string partial_;
  std::string pending_;
  int pending_code_ = 0;
  std::string last_;
  int last_code_ = 0;
};

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* capture) {
  if (type == CURLINFO_HEADER_IN)
    static_cast<ReplyCapture*>(capture)->Feed(std::string_view(data, size));
  return 0;
}

size_t ReadFromFile(char* buffer, size_t size, size_t count, void* file) {
  auto* f = static_cast<std::FILE*>(file);
  const size_t n = std::fread(buffer, size, count, f);
  if (n == 0 && std::ferror(f)) return CURL_READFUNC_ABORT;
  return n;
}

// Remote directory after a change to dir from current.
std::string JoinRemote(const std::string& current, const std::string& dir) {
  if (current.empty() || dir.front() == '/') return dir;
  if (current.back() == '/') return current + dir;
  return current + "/" + dir;
}

}  // namespace

// One logged-in control connection: a libcurl handle keeps it open between
// transfers, and every transfer on it names the full remote path so that
// libcurl's own directory bookkeeping lands where this uploader believes it is.
struct TFTPCarica::Connection {
  std::unique_ptr<CURL, CurlEasyDeleter> handle;
  std::string base_url;   // "ftp://host:port"
  std::string directory;  // current remote directory; empty: the log-in one
  ReplyCapture replies;
  char error_buffer[CURL_ERROR_SIZE] = {};

  bool Open(const std::string& username, const std::string& password) {
    handle.reset(curl_easy_init());
    if (!handle) return false;
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_USERNAME, username.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(h, CURLOPT_PROXY, "");  // no proxy from the environment
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kWaitSeconds);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, kWaitSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kWaitSeconds);
    curl_easy_setopt(h, CURLOPT_FTP_USE_EPSV, 1L);  // passive: EPSV, then PASV
    curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_buffer);
    // The debug callback only runs in verbose mode; it swallows the output.
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, OnDebug);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &replies);
    return true;
  }

  CURLcode Perform(const std::string& path) {
    const std::string url = base_url + "/" + path;
    curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
    replies.Clear();
    error_buffer[0] = '\0';
    return curl_easy_perform(handle.get());
  }

  // A transfer without a body: on the directory URL it logs in (when not
  // yet connected) and changes directory, and transfers no file.
  CURLcode PerformWithoutBody(const std::string& path) {
    curl_easy_setopt(handle.get(), CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(handle.get(), CURLOPT_NOBODY, 1L);
    return Perform(path);
  }

  // The server's refusal when there is one, otherwise libcurl's description.
  std::string Describe(CURLcode code) const {
    if (replies.LastCode() >= 400) return replies.Last();
    if (error_buffer[0]) return error_buffer;
    return curl_easy_strerror(code);
  }

  bool Alive() const {
    curl_socket_t socket = CURL_SOCKET_BAD;
    return curl_easy_getinfo(handle.get(), CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
           socket != CURL_SOCKET_BAD;
  }
};

TFTPCarica::TFTPCarica() = default;

TFTPCarica::~TFTPCarica() { Disconnetti(); }

bool TFTPCarica::Connesso() const { return connection_ && connection_->Alive(); }

bool TFTPCarica::Connetti(std::string& Errore) {
  Errore.clear();
  // Independent checks: the last one that fails names the missing setting.
  if (username_.empty()) Errore = "Username mancante";
  if (password_.empty()) Errore = "Password mancante";
  if (host_.empty()) Errore = "Server mancante";
  if (!Errore.empty()) return false;

  Disconnetti();
  const std::optional<FtpEndpoint> endpoint = ParseFtpHost(host_);
  if (!endpoint) {
    Errore = "Server FTP non valido: " + host_;
    return false;
  }
  detail::EnsureCurlInitialized();
  auto connection = std::make_unique<Connection>();
  if (!BuildBaseUrl(*endpoint, connection->base_url, Errore)) return false;
  if (!connection->Open(username_, password_)) {
    Errore = "Cannot create the FTP client";
    return false;
  }
  const CURLcode code = connection->PerformWithoutBody("");
  if (code != CURLE_OK) {
    Errore = connection->Describe(code);
    return false;
  }
  connection_ = std::move(connection);
  return true;
}

void TFTPCarica::CambiaDirectory(const std::string& dir) {
  if (dir.empty()) return;
  if (!connection_) throw FtpError("Not connected.");
  const std::string target = JoinRemote(connection_->directory, dir);
  // With the single-CWD method the whole directory before the last '/' goes
  // into one "CWD" command.
  const CURLcode code = connection_->PerformWithoutBody(EncodePath(target + "/"));
  if (code != CURLE_OK) throw FtpError(connection_->Describe(code));
  connection_->directory = target;
}

bool TFTPCarica::CaricaFile(const std::string& NomeFile, std::string& Errore) {
  Errore.clear();
  if (!connection_) {
    Errore = "Not connected.";
    return false;
  }
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(NomeFile.c_str(), "rb"));
  struct stat st {};
  if (file && ::fstat(::fileno(file.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
    file.reset();
    errno = EISDIR;
  }
  if (!file) {
    Errore = "Cannot open file \"" + NomeFile + "\". " + std::strerror(errno);
    return false;
  }

  const std::string name = FileNamePart(NomeFile);
  const std::string& dir = connection_->directory;
  const std::string remote = dir.empty() ? name : dir + "/" + name;

  // libcurl's own ASCII mode would turn every LF into CR LF, doubling the CR
  // of the CR LF line ends the exports write. The file therefore goes as
  // binary data for libcurl, and "TYPE A" is sent right before the STOR.
  std::unique_ptr<curl_slist, SlistDeleter> before_store(curl_slist_append(nullptr, "TYPE A"));
  CURL* h = connection_->handle.get();
  curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
  curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L);
  curl_easy_setopt(h, CURLOPT_PREQUOTE, before_store.get());
  curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadFromFile);
  curl_easy_setopt(h, CURLOPT_READDATA, file.get());
  curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(st.st_size));
  const CURLcode code = connection_->Perform(EncodePath(remote));
  curl_easy_setopt(h, CURLOPT_PREQUOTE, nullptr);
  curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
  curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
  if (code != CURLE_OK) {
    Errore = connection_->Describe(code);
    return false;
  }
  return true;
}

void TFTPCarica::Disconnetti() {
  // Cleaning the handle up sends QUIT on a connection that is still open.
  connection_.reset();
}

}  // namespace et
