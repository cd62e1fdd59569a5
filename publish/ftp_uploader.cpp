#include "publish/ftp_uploader.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "platform/file_handle.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "publish/curl_global.h"
#include "publish/curl_handles.h"
#include "publish/errors.h"
#include "publish/ftp_host.h"

namespace et {

// The local file as it goes over the data connection, with what was sent.
struct detail::UploadSource {
  std::FILE* file = nullptr;
  curl_off_t size = 0;       // of the file when opened
  curl_off_t sent = 0;       // bytes handed to the network library
  curl_off_t line_ends = 0;  // CR LF pairs among them
  bool after_cr = false;
};

namespace {

using detail::UploadSource;

// Each reply of the server is awaited at most this long, and so is the
// connection; a data transfer that moves no byte for this long is broken off.
constexpr long kWaitSeconds = 60;

// A host setting "ftps://host[:port]": implicit TLS, port 990 unless given.
constexpr const char* kImplicitTlsScheme = "ftps://";
constexpr int kImplicitTlsPort = 990;

// Connections refused with 421 (too many from this address) are tried again
// this often, this far apart.
constexpr int kAttemptsOn421 = 5;
constexpr std::chrono::milliseconds kPauseOn421(200);

// The clean-up after a stop during a transfer is given this long, well
// within the stop's grace time.
constexpr std::chrono::milliseconds kCleanupAfterStop(1000);

using detail::CurlEasy;
using detail::CurlSlist;
using detail::CurlUrl;

template <typename Value>
void SetOption(CURL* handle, CURLoption option, Value value) {
  detail::SetOption<FtpError>(handle, option, value);
}

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
std::string BuildBaseUrl(const FtpEndpoint& endpoint, const char* scheme) {
  CurlUrl u(curl_url());
  if (!u) throw FtpError("Out of memory");
  const std::string host =
      endpoint.host.find(':') != std::string::npos ? "[" + endpoint.host + "]" : endpoint.host;
  const std::string port = std::to_string(endpoint.port);
  CURLUcode rc = curl_url_set(u.get(), CURLUPART_SCHEME, scheme, 0);
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

// The TLS of the connection, as the settings ask for it.
void SetTls(CURL* h, const FtpSettings& settings, bool implicit_tls) {
  if (!implicit_tls && settings.tls == 0) return;
  // Explicit TLS starts with "AUTH TLS"; the data connections are protected
  // too, and reuse the control connection's TLS session (libcurl's default).
  SetOption(h, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
  SetOption(h, CURLOPT_USE_SSL,
            static_cast<long>(implicit_tls || settings.tls >= 2 ? CURLUSESSL_ALL : CURLUSESSL_TRY));
  const bool verify = implicit_tls || settings.tls >= 2;
  const std::string& accepted = settings.certificate;
  const bool pinned = accepted.starts_with("sha256//");
  const bool check_authority = verify && !pinned && accepted != "*";
  SetOption(h, CURLOPT_SSL_VERIFYPEER, check_authority ? 1L : 0L);
  SetOption(h, CURLOPT_SSL_VERIFYHOST, check_authority ? 2L : 0L);
  if (verify && pinned) SetOption(h, CURLOPT_PINNEDPUBLICKEY, accepted.c_str());
  if (check_authority && !accepted.empty()) SetOption(h, CURLOPT_CAINFO, accepted.c_str());
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
    command_.clear();
  }

  // A command as sent, so that a refusal can name it; the password never
  // goes further than this.
  void Sent(std::string_view data) {
    while (!data.empty() && (data.back() == '\n' || data.back() == '\r')) data.remove_suffix(1);
    command_ = data.starts_with("PASS ") ? "PASS ***" : std::string(data);
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
  // The last command sent since Clear ("STOR .ESTRAZQ.CSV.part").
  const std::string& LastCommand() const { return command_; }

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
  std::string command_;
};

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* capture) {
  if (type == CURLINFO_HEADER_IN)
    static_cast<ReplyCapture*>(capture)->Feed(std::string_view(data, size));
  if (type == CURLINFO_HEADER_OUT)
    static_cast<ReplyCapture*>(capture)->Sent(std::string_view(data, size));
  return 0;
}

size_t ReadFromFile(char* buffer, size_t size, size_t count, void* data) {
  auto* source = static_cast<UploadSource*>(data);
  const size_t n = std::fread(buffer, size, count, source->file);
  if (n == 0 && std::ferror(source->file)) return CURL_READFUNC_ABORT;
  for (size_t i = 0; i < n; ++i) {
    if (buffer[i] == '\n' && source->after_cr) ++source->line_ends;
    source->after_cr = buffer[i] == '\r';
  }
  source->sent += static_cast<curl_off_t>(n);
  return n;
}

// "213 N", the reply to SIZE; nullopt for any other.
std::optional<curl_off_t> SizeFromReply(int code, const std::string& reply) {
  if (code != 213 || reply.size() < 5) return std::nullopt;
  curl_off_t size = 0;
  for (size_t i = 4; i < reply.size(); ++i) {
    if (reply[i] < '0' || reply[i] > '9') return std::nullopt;
    size = size * 10 + (reply[i] - '0');
  }
  return size;
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

  // abort_on_stop: a stop request ends every transfer within about a second;
  // off only for the short clean-up after a stop.
  bool Open(const FtpSettings& settings, bool implicit_tls, bool abort_on_stop = true) {
    const std::string& username = settings.user;
    const std::string& password = settings.password;
    handle.reset(curl_easy_init());
    if (!handle) return false;
    CURL* h = handle.get();
    SetOption(h, CURLOPT_USERNAME, username.c_str());
    SetOption(h, CURLOPT_PASSWORD, password.c_str());
    SetOption(h, CURLOPT_PROTOCOLS_STR, implicit_tls ? "ftps" : "ftp");
    SetTls(h, settings, implicit_tls);
    SetOption(h, CURLOPT_PROXY, "");  // no proxy from the environment
    SetOption(h, CURLOPT_NOSIGNAL, 1L);
    SetOption(h, CURLOPT_CONNECTTIMEOUT, kWaitSeconds);
    SetOption(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, kWaitSeconds);
    SetOption(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    SetOption(h, CURLOPT_LOW_SPEED_TIME, kWaitSeconds);
    SetOption(h, CURLOPT_FTP_USE_EPSV, 1L);  // passive: EPSV, then PASV
    SetOption(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    SetOption(h, CURLOPT_ERRORBUFFER, error_buffer);
    // The debug callback only runs in verbose mode; it swallows the output.
    SetOption(h, CURLOPT_VERBOSE, 1L);
    SetOption(h, CURLOPT_DEBUGFUNCTION, OnDebug);
    SetOption(h, CURLOPT_DEBUGDATA, &replies);
    SetOption(h, CURLOPT_TRANSFERTEXT, 0L);
    SetOption(h, CURLOPT_READFUNCTION, ReadFromFile);
    if (abort_on_stop) detail::AbortTransfersOnStop<FtpError>(h);
    return true;
  }

  // What one transfer on the connection does. Every transfer sets all of
  // it, so no list or file of an earlier one is ever used again.
  struct Transfer {
    UploadSource* source = nullptr;  // the file to store; none: no data transfer
    curl_slist* before = nullptr;    // commands right before the STOR
    curl_slist* after = nullptr;     // commands after it, or after the CWD
  };

  CURLcode Perform(const std::string& path, const Transfer& transfer) {
    CURL* h = handle.get();
    const std::string url = base_url + "/" + path;
    SetOption(h, CURLOPT_URL, url.c_str());
    SetOption(h, CURLOPT_NOBODY, transfer.source ? 0L : 1L);
    SetOption(h, CURLOPT_UPLOAD, transfer.source ? 1L : 0L);
    SetOption(h, CURLOPT_READDATA, transfer.source);
    SetOption(h, CURLOPT_INFILESIZE_LARGE, transfer.source ? transfer.source->size : 0);
    SetOption(h, CURLOPT_PREQUOTE, transfer.before);
    SetOption(h, CURLOPT_POSTQUOTE, transfer.after);
    replies.Clear();
    error_buffer[0] = '\0';
    const CURLcode code = curl_easy_perform(h);
    // A transfer cut short by a stop is no failure of the server: it raises
    // StopRequestedError, which no caller takes for an FtpError.
    if (code != CURLE_OK) ThrowIfStopRequested();
    return code;
  }

  // A transfer without a body: on the directory URL it logs in (when not
  // yet connected) and changes directory, and transfers no file.
  CURLcode PerformWithoutBody(const std::string& path) { return Perform(path, Transfer{}); }

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
    return Perform(directory.empty() ? "" : EncodePath(directory + "/"),
                   Transfer{.after = list.get()});
  }

  // Stores the file from its start as remote_name in the current remote
  // directory, then asks for the size the server stored. delete_first: a
  // file of that name is deleted first, when the server lets it ('*': a
  // refused DELE is no failure), as servers that refuse to overwrite need.
  CURLcode Store(UploadSource& source, const std::string& remote_name, bool delete_first = false) {
    // libcurl's own ASCII mode would turn every LF into CR LF, doubling the
    // CR of the CR LF line ends the exports write. The file therefore goes as
    // binary data for libcurl, and "TYPE A" is sent right before the STOR.
    CurlSlist before =
        delete_first ? MakeList({"*DELE " + remote_name, "TYPE A"}) : MakeList({"TYPE A"});
    // Servers answer SIZE in binary type only, if at all ('*': a refusal is
    // no failure of the store).
    CurlSlist after = MakeList({"TYPE I", "*SIZE " + remote_name});
    std::rewind(source.file);
    source.sent = source.line_ends = 0;
    source.after_cr = false;
    return Perform(PathOf(remote_name),
                   Transfer{.source = &source, .before = before.get(), .after = after.get()});
  }

  // After a store that the server called complete: a description of the
  // shortfall when the file stored is not the file sent. The server's SIZE
  // is compared with the bytes sent (or, on a server that converts line
  // ends, with them less one byte per CR LF); without SIZE, the count that
  // the transfer reports.
  std::optional<std::string> Shortfall(const std::string& remote_name, const UploadSource& source) {
    if (const std::optional<curl_off_t> stored =
            SizeFromReply(replies.LastCode(), replies.Last())) {
      if (source.sent == source.size &&
          (*stored == source.sent || *stored == source.sent - source.line_ends))
        return std::nullopt;
      return "SIZE " + remote_name + ": " + replies.Last() + " (inviati " +
             std::to_string(source.sent) + " di " + std::to_string(source.size) +
             " byte: file incompleto sul server)";
    }
    curl_off_t uploaded = 0;
    detail::GetInfo<FtpError>(handle.get(), CURLINFO_SIZE_UPLOAD_T, &uploaded);
    if (uploaded == source.size && source.sent == source.size) return std::nullopt;
    return "STOR " + remote_name + ": trasferiti " + std::to_string(uploaded) + " di " +
           std::to_string(source.size) + " byte: file incompleto sul server";
  }

  // The server's refusal when there is one, otherwise libcurl's description.
  std::string Describe(CURLcode code) const {
    if (replies.LastCode() >= 400) return replies.Last();
    if (error_buffer[0]) return error_buffer;
    return curl_easy_strerror(code);
  }

  // A refusal as the run log tells it: the command and the server's reply
  // ("STOR .ESTRAZQ.CSV.part: 553 Prohibited file name"), or the network
  // library's description when the server said nothing.
  std::string Refusal(CURLcode code) const {
    if (replies.LastCode() >= 400 && !replies.LastCommand().empty())
      return replies.LastCommand() + ": " + replies.Last();
    return Describe(code);
  }

  // The server refused the STOR of remote_name for good (5xx), as servers
  // that forbid some names do.
  bool StoreRefused(const std::string& remote_name) const {
    return replies.LastCommand() == "STOR " + remote_name && replies.LastCode() >= 500 &&
           replies.LastCode() <= 599;
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

FtpUploader::FtpUploader(FtpSettings settings, std::function<void(const std::string&)> notice)
    : settings_(std::move(settings)), notice_(std::move(notice)) {}

FtpUploader::~FtpUploader() { Disconnect(); }

bool FtpUploader::IsConnected() const { return connection_ && connection_->Alive(); }

void FtpUploader::Connect() {
  // Independent checks: the last one that fails names the missing setting.
  std::string missing;
  if (settings_.user.empty()) missing = "Username mancante";
  if (settings_.password.empty()) missing = "Password mancante";
  if (settings_.host.empty()) missing = "Server mancante";
  if (!missing.empty()) throw FtpError(missing);
  // libcurl sends both as they are, inside the USER and PASS commands.
  if (HasCommandBreak(settings_.user))
    throw FtpError("nome utente contiene caratteri di controllo");
  if (HasCommandBreak(settings_.password))
    throw FtpError("password contiene caratteri di controllo");

  Disconnect();
  const std::optional<FtpEndpoint> endpoint = Endpoint();
  // The message reaches the run log: the host goes without credentials or
  // line breaks.
  if (!endpoint) throw FtpError("Server FTP non valido: " + FtpHostForLog(settings_.host));
  detail::EnsureCurlInitialized();
  const std::string base_url = BuildBaseUrl(*endpoint, ImplicitTls() ? "ftps" : "ftp");
  for (int attempt = 1;; ++attempt) {
    auto connection = std::make_unique<Connection>();
    connection->base_url = base_url;
    if (!connection->Open(settings_, ImplicitTls())) throw FtpError("Cannot create the FTP client");
    const CURLcode code = connection->PerformWithoutBody("");
    if (code == CURLE_OK) {
      connection_ = std::move(connection);
      return;
    }
    // A host that limits the connections per address counts the previous
    // file's connection until its session has ended on the server's side,
    // a moment after our QUIT: the greeting 421 is worth a few more tries.
    if (connection->replies.LastCode() != 421 || attempt == kAttemptsOn421)
      throw FtpError(connection->Describe(code));
    std::this_thread::sleep_for(kPauseOn421);
    ThrowIfStopRequested();
  }
}

bool FtpUploader::ImplicitTls() const { return settings_.host.starts_with(kImplicitTlsScheme); }

std::optional<FtpEndpoint> FtpUploader::Endpoint() const {
  if (!ImplicitTls()) return ParseFtpHost(settings_.host);
  std::optional<FtpEndpoint> endpoint =
      ParseFtpHost(std::string_view(settings_.host).substr(std::strlen(kImplicitTlsScheme)));
  if (endpoint && !endpoint->port_given) endpoint->port = kImplicitTlsPort;
  return endpoint;
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

// The local file, open for reading, with its size.
struct LocalFile {
  FileHandle file;
  UploadSource source;
};

std::unique_ptr<LocalFile> OpenLocal(const std::string& path) {
  auto local = std::make_unique<LocalFile>();
  local->file.reset(std::fopen(path.c_str(), "rb"));
  struct stat st {};
  if (local->file && ::fstat(::fileno(local->file.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
    local->file.reset();
    errno = EISDIR;
  }
  if (!local->file) throw FtpError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  local->source.file = local->file.get();
  local->source.size = static_cast<curl_off_t>(st.st_size);
  return local;
}

}  // namespace

FtpUploader::UploadMethod FtpUploader::Upload(const std::string& local_path) {
  if (!connection_) throw FtpError("Not connected.");
  const std::string name = FileNamePart(local_path);
  // The name goes into the rename commands as it is; libcurl refuses such a
  // name in a transfer's path with the same words.
  if (HasCommandBreak(name)) throw FtpError("path contains control characters");
  const auto local = OpenLocal(local_path);
  try {
    if (settings_.direct_upload) {
      StoreDirect(local->source, name, "");
      return UploadMethod::kDirect;
    }
    return StoreWithFallbacks(local->source, name);
  } catch (const FtpError&) {
    // A host that limits the connections per address must let the next
    // file of the run in.
    Disconnect();
    throw;
  }
}

std::string FtpUploader::TemporaryName(UploadMethod method, const std::string& name) {
  switch (method) {
    case UploadMethod::kHiddenTemporary:
      return "." + name + ".part";
    case UploadMethod::kTemporary:
      return name + ".part";
    case UploadMethod::kDirect:
      break;
  }
  return name;
}

void FtpUploader::Notice(const std::string& text) const {
  if (notice_) notice_(text);
}

FtpUploader::UploadMethod FtpUploader::StoreWithFallbacks(UploadSource& source,
                                                          const std::string& name) {
  std::string stored_temporary;  // a temporary name the server accepted
  for (const UploadMethod method : {UploadMethod::kHiddenTemporary, UploadMethod::kTemporary}) {
    const std::string temporary = TemporaryName(method, name);
    const std::optional<std::string> refusal = StoreTemporary(source, name, temporary);
    if (!refusal) return method;
    if (method == UploadMethod::kHiddenTemporary && !connection_->StoreRefused(temporary)) {
      // The rename was refused: another temporary name would not help.
      Notice("Upload FTP di " + name + ": " + *refusal + "; caricamento diretto come " + name +
             " (CAT_FTP_CARICAMENTODIRETTO=1 lo fa subito)");
      stored_temporary = temporary;
      break;
    }
    if (method == UploadMethod::kHiddenTemporary) {
      Notice("Upload FTP di " + name + ": " + *refusal + "; nuovo tentativo come " +
             TemporaryName(UploadMethod::kTemporary, name));
    } else {
      if (!connection_->StoreRefused(temporary)) stored_temporary = temporary;
      Notice("Upload FTP di " + name + ": " + *refusal + "; caricamento diretto come " + name +
             " (CAT_FTP_CARICAMENTODIRETTO=1 lo fa subito)");
    }
  }
  StoreDirect(source, name, stored_temporary);
  return UploadMethod::kDirect;
}

std::optional<std::string> FtpUploader::StoreTemporary(UploadSource& source,
                                                       const std::string& name,
                                                       const std::string& temporary) {
  Connection& c = *connection_;
  try {
    // A leftover of an earlier run goes first: some servers refuse to
    // overwrite it.
    CURLcode code = c.Store(source, temporary, /*delete_first=*/true);
    if (code != CURLE_OK) {
      const std::string refusal = c.Refusal(code);
      if (c.StoreRefused(temporary) && c.Alive()) return refusal;
      // The temporary file of a broken transfer is useless; a later upload
      // of the same name would replace it anyway.
      if (c.Alive()) c.RunCommands({"DELE " + temporary});
      throw FtpError(refusal);
    }
    // A server may call a transfer complete that it cut short: such a file
    // never takes the real name.
    if (const std::optional<std::string> shortfall = c.Shortfall(temporary, source)) {
      c.RunCommands({"DELE " + temporary});
      throw FtpError(*shortfall);
    }
    code = c.RunCommands({"RNFR " + temporary, "RNTO " + name});
    if (code == CURLE_OK) return std::nullopt;
    const std::string refusal = c.Refusal(code);
    // Some servers refuse to rename onto an existing file: the previous file
    // goes first, and the complete new one takes its name.
    if (c.RenameTargetRefused() && c.Alive() &&
        c.RunCommands({"DELE " + name, "RNFR " + temporary, "RNTO " + name}) == CURLE_OK)
      return std::nullopt;
    if (!c.Alive()) throw FtpError(refusal);
    return refusal;
  } catch (const StopRequestedError&) {
    DeleteAfterStop(temporary);
    throw;
  }
}

void FtpUploader::StoreDirect(UploadSource& source, const std::string& name,
                              const std::string& stored_temporary) {
  Connection& c = *connection_;
  const CURLcode code = c.Store(source, name);
  std::optional<std::string> failure;
  if (code != CURLE_OK) {
    failure = c.Refusal(code);
  } else {
    // Too late to keep the previous file, but the run log says the truth.
    failure = c.Shortfall(name, source);
  }
  // A temporary file that could not be renamed is of no use; the server may
  // refuse its deletion too.
  if (!stored_temporary.empty() && c.Alive()) c.RunCommands({"DELE " + stored_temporary});
  if (failure) throw FtpError(*failure);
}

void FtpUploader::DeleteAfterStop(const std::string& temporary) {
  // The stopped transfer has closed its connection: a fresh one, bounded so
  // that the process still ends within its grace time.
  try {
    if (!connection_) return;
    Connection cleanup;
    cleanup.base_url = connection_->base_url;
    if (!cleanup.Open(settings_, ImplicitTls(), /*abort_on_stop=*/false)) return;
    SetOption(cleanup.handle.get(), CURLOPT_TIMEOUT_MS, kCleanupAfterStop.count());
    SetOption(cleanup.handle.get(), CURLOPT_CONNECTTIMEOUT_MS, kCleanupAfterStop.count());
    cleanup.directory = connection_->directory;
    cleanup.RunCommands({"DELE " + temporary});
  } catch (const std::exception&) {
    // The stop goes on whatever the server did.
  }
}

void FtpUploader::Disconnect() {
  // Cleaning the handle up sends QUIT on a connection that is still open.
  connection_.reset();
}

}  // namespace et
