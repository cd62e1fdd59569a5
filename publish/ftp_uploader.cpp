#include "publish/ftp_uploader.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/file_handle.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "publish/curl_global.h"
#include "publish/curl_handles.h"
#include "publish/errors.h"
#include "publish/ftp_host.h"

namespace et {
namespace {

// Each reply of the server is awaited at most this long, and so is the
// connection; a data transfer that moves no byte for this long is broken off.
constexpr long kWaitSeconds = 60;

using detail::CurlEasy;
using detail::CurlSlist;
using detail::CurlUrl;

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
// Raises FtpError when it cannot be built.
std::string BuildBaseUrl(const FtpEndpoint& endpoint) {
  CurlUrl u(curl_url());
  if (!u) throw FtpError("Out of memory");
  const std::string host =
      endpoint.host.find(':') != std::string::npos ? "[" + endpoint.host + "]" : endpoint.host;
  const std::string port = std::to_string(endpoint.port);
  CURLUcode rc = curl_url_set(u.get(), CURLUPART_SCHEME, "ftp", 0);
  if (!rc) rc = curl_url_set(u.get(), CURLUPART_HOST, host.c_str(), 0);
  if (!rc) rc = curl_url_set(u.get(), CURLUPART_PORT, port.c_str(), 0);
  char* text = nullptr;
  if (!rc) rc = curl_url_get(u.get(), CURLUPART_URL, &text, 0);
  if (rc)
    throw FtpError("Server FTP non valido: " + FtpHostForLog(endpoint.host) + " (" +
                   curl_url_strerror(rc) + ")");
  std::string url = text;
  curl_free(text);
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

// CR or LF would end an FTP command early and start another; NUL would cut
// it short.
bool HasCommandBreak(std::string_view text) { return HasLineBreakOrNul(text); }

CurlSlist MakeList(const std::vector<std::string>& texts) {
  CurlSlist list;
  for (const auto& text : texts) {
    curl_slist* longer = curl_slist_append(list.get(), text.c_str());
    if (!longer) throw FtpError("Out of memory");
    list.release();
    list.reset(longer);
  }
  return list;
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
    codes_.clear();
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
  // The codes of every complete reply since Clear, in order.
  const std::vector<int>& Codes() const { return codes_; }

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
    codes_.push_back(code);
  }

  std::string partial_;
  std::string pending_;
  int pending_code_ = 0;
  std::string last_;
  int last_code_ = 0;
  std::vector<int> codes_;
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
struct FtpUploader::Connection {
  CurlEasy handle;
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
    detail::AbortTransfersOnStop(h);
    return true;
  }

  CURLcode Perform(const std::string& path) {
    const std::string url = base_url + "/" + path;
    curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
    replies.Clear();
    error_buffer[0] = '\0';
    const CURLcode code = curl_easy_perform(handle.get());
    // A transfer cut short by a stop is no failure of the server: it raises
    // StopRequestedError, which no caller takes for an FtpError.
    if (code != CURLE_OK) ThrowIfStopRequested();
    return code;
  }

  // A transfer without a body: on the directory URL it logs in (when not
  // yet connected) and changes directory, and transfers no file.
  CURLcode PerformWithoutBody(const std::string& path) {
    curl_easy_setopt(handle.get(), CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(handle.get(), CURLOPT_NOBODY, 1L);
    return Perform(path);
  }

  // The URL path of a file in the current remote directory.
  std::string PathOf(const std::string& name) const {
    return EncodePath(directory.empty() ? name : directory + "/" + name);
  }

  // Sends the commands, in order, in the current remote directory; the first
  // one refused ends the list.
  CURLcode RunCommands(const std::vector<std::string>& commands) {
    CurlSlist list = MakeList(commands);
    // Commands after the transfer are the ones libcurl sends once it has
    // changed into the URL's directory.
    curl_easy_setopt(handle.get(), CURLOPT_POSTQUOTE, list.get());
    struct Forget {
      CURL* h;
      ~Forget() { curl_easy_setopt(h, CURLOPT_POSTQUOTE, nullptr); }
    } forget{handle.get()};
    return PerformWithoutBody(directory.empty() ? "" : EncodePath(directory + "/"));
  }

  // Stores the open file as remote_name in the current remote directory,
  // then sends the commands of after_store when the transfer was complete.
  CURLcode Store(std::FILE* file, curl_off_t size, const std::string& remote_name,
                 const std::vector<std::string>& after_store) {
    // libcurl's own ASCII mode would turn every LF into CR LF, doubling the
    // CR of the CR LF line ends the exports write. The file therefore goes as
    // binary data for libcurl, and "TYPE A" is sent right before the STOR.
    CurlSlist before = MakeList({"TYPE A"});
    CurlSlist after = after_store.empty() ? nullptr : MakeList(after_store);
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(h, CURLOPT_PREQUOTE, before.get());
    curl_easy_setopt(h, CURLOPT_POSTQUOTE, after.get());
    curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadFromFile);
    curl_easy_setopt(h, CURLOPT_READDATA, file);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, size);
    // The handle forgets the lists and the file also when a stop ends the
    // transfer with an exception.
    struct Forget {
      CURL* h;
      ~Forget() {
        curl_easy_setopt(h, CURLOPT_PREQUOTE, nullptr);
        curl_easy_setopt(h, CURLOPT_POSTQUOTE, nullptr);
        curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
        curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
      }
    } forget{h};
    return Perform(PathOf(remote_name));
  }

  // The server's refusal when there is one, otherwise libcurl's description.
  std::string Describe(CURLcode code) const {
    if (replies.LastCode() >= 400) return replies.Last();
    if (error_buffer[0]) return error_buffer;
    return curl_easy_strerror(code);
  }

  // After a failed store with a rename: the server accepted RNFR (350) and
  // then refused the RNTO that followed.
  bool RenameTargetRefused() const {
    const std::vector<int>& codes = replies.Codes();
    return codes.size() >= 2 && codes[codes.size() - 2] == 350 && codes.back() >= 400;
  }

  bool Alive() const {
    curl_socket_t socket = CURL_SOCKET_BAD;
    return curl_easy_getinfo(handle.get(), CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
           socket != CURL_SOCKET_BAD;
  }
};

FtpUploader::FtpUploader() = default;

FtpUploader::~FtpUploader() { Disconnect(); }

bool FtpUploader::IsConnected() const { return connection_ && connection_->Alive(); }

void FtpUploader::Connect() {
  // Independent checks: the last one that fails names the missing setting.
  std::string missing;
  if (username_.empty()) missing = "Username mancante";
  if (password_.empty()) missing = "Password mancante";
  if (host_.empty()) missing = "Server mancante";
  if (!missing.empty()) throw FtpError(missing);
  // libcurl sends both as they are, inside the USER and PASS commands.
  if (HasCommandBreak(username_)) throw FtpError("nome utente contiene caratteri di controllo");
  if (HasCommandBreak(password_)) throw FtpError("password contiene caratteri di controllo");

  Disconnect();
  const std::optional<FtpEndpoint> endpoint = ParseFtpHost(host_);
  // The message reaches the run log: the host goes without credentials or
  // line breaks.
  if (!endpoint) throw FtpError("Server FTP non valido: " + FtpHostForLog(host_));
  detail::EnsureCurlInitialized();
  auto connection = std::make_unique<Connection>();
  connection->base_url = BuildBaseUrl(*endpoint);
  if (!connection->Open(username_, password_)) throw FtpError("Cannot create the FTP client");
  const CURLcode code = connection->PerformWithoutBody("");
  if (code != CURLE_OK) throw FtpError(connection->Describe(code));
  connection_ = std::move(connection);
}

void FtpUploader::ChangeDirectory(const std::string& dir) {
  if (dir.empty()) return;
  if (!connection_) throw FtpError("Not connected.");
  const std::string target = JoinRemote(connection_->directory, dir);
  // With the single-CWD method the whole directory before the last '/' goes
  // into one "CWD" command.
  const CURLcode code = connection_->PerformWithoutBody(EncodePath(target + "/"));
  if (code != CURLE_OK) throw FtpError(connection_->Describe(code));
  connection_->directory = target;
}

namespace {

// The local file, open for reading from its start, with its size.
struct LocalFile {
  FileHandle file;
  curl_off_t size = 0;
};

LocalFile OpenLocal(const std::string& path) {
  LocalFile local{FileHandle(std::fopen(path.c_str(), "rb"))};
  struct stat st {};
  if (local.file && ::fstat(::fileno(local.file.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
    local.file.reset();
    errno = EISDIR;
  }
  if (!local.file) throw FtpError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  local.size = static_cast<curl_off_t>(st.st_size);
  return local;
}

}  // namespace

void FtpUploader::Upload(const std::string& local_path) {
  if (!connection_) throw FtpError("Not connected.");
  const std::string name = FileNamePart(local_path);
  // The name goes into the rename commands as it is; libcurl refuses such a
  // name in a transfer's path with the same words.
  if (HasCommandBreak(name)) throw FtpError("path contains control characters");
  if (direct_upload_)
    StoreDirect(local_path, name);
  else
    StoreAndRename(local_path, name);
}

void FtpUploader::StoreDirect(const std::string& local_path, const std::string& name) {
  LocalFile local = OpenLocal(local_path);
  const CURLcode code = connection_->Store(local.file.get(), local.size, name, {});
  if (code != CURLE_OK) throw FtpError(connection_->Describe(code));
}

void FtpUploader::StoreAndRename(const std::string& local_path, const std::string& name) {
  LocalFile local = OpenLocal(local_path);
  Connection& c = *connection_;
  const std::string temporary = "." + name + ".part";
  CURLcode code =
      c.Store(local.file.get(), local.size, temporary, {"RNFR " + temporary, "RNTO " + name});
  if (code == CURLE_OK) return;
  const std::string message = c.Describe(code);
  // Some servers refuse to rename onto an existing file: the previous file
  // goes first, and the complete new one takes its name.
  if (c.RenameTargetRefused() && c.Alive() &&
      c.RunCommands({"DELE " + name, "RNFR " + temporary, "RNTO " + name}) == CURLE_OK)
    return;
  // The temporary file of a broken transfer or refused rename is useless; a
  // later upload of the same name would replace it anyway.
  if (c.Alive()) c.RunCommands({"DELE " + temporary});
  throw FtpError(message);
}

void FtpUploader::Disconnect() {
  // Cleaning the handle up sends QUIT on a connection that is still open.
  connection_.reset();
}

}  // namespace et
