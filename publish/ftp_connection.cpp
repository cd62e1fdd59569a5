#include "publish/ftp_connection.h"

#include <openssl/ssl.h>

#include <chrono>
#include <thread>

#include "platform/stop_signals.h"
#include "publish/curl_global.h"
#include "publish/errors.h"
#include "publish/remote_paths.h"

namespace et::detail {
namespace {

// Each reply of the server is awaited at most this long, and so is the
// connection; a data transfer that moves no byte for this long is broken off.
constexpr std::chrono::seconds kWait(60);

// Connections refused with 421 (too many from this address) are tried again
// this often, this far apart.
constexpr int kAttemptsOn421 = 5;
constexpr std::chrono::milliseconds kPauseOn421(200);

// A transfer's loop wakes up at least this often to read what the server
// sent (see FtpConnection::Run).
constexpr int kPollMilliseconds = 10;

template <typename Value>
void SetOption(CURL* handle, CURLoption option, Value value) {
  detail::SetOption<FtpError>(handle, option, value);
}

bool ImplicitTls(const UploadAddress& address) { return address.protocol == UploadProtocol::kFtps; }

// The TLS of the connection, as the settings ask for it.
void SetTls(CURL* h, const FtpSettings& settings, bool implicit_tls) {
  if (!implicit_tls && settings.tls == 0) return;
  // Explicit TLS starts with "AUTH TLS"; the data connections are protected
  // too, and reuse the control connection's TLS session (libcurl's default).
  SetOption(h, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
  SetOption(h, CURLOPT_USE_SSL,
            static_cast<long>(implicit_tls || settings.tls >= 2 ? CURLUSESSL_ALL : CURLUSESSL_TRY));
  // TLS 1.2 at most: over TLS 1.3 the session ticket comes after the
  // handshake, and a data connection opened before libcurl has read it
  // cannot reuse the session, which servers that require reuse (vsftpd's
  // default) refuse with "522 SSL connection failed: session reuse
  // required".
  const long lowest = CURL_SSLVERSION_TLSv1_2;
  const long highest = CURL_SSLVERSION_MAX_TLSv1_2;
  SetOption(h, CURLOPT_SSLVERSION, lowest | highest);
  const bool verify = implicit_tls || settings.tls >= 2;
  const std::string& accepted = settings.certificate;
  const bool pinned = accepted.starts_with("sha256//");
  const bool check_authority = verify && !pinned && accepted != "*";
  SetOption(h, CURLOPT_SSL_VERIFYPEER, check_authority ? 1L : 0L);
  SetOption(h, CURLOPT_SSL_VERIFYHOST, check_authority ? 2L : 0L);
  if (verify && pinned) SetOption(h, CURLOPT_PINNEDPUBLICKEY, accepted.c_str());
  if (check_authority && !accepted.empty()) SetOption(h, CURLOPT_CAINFO, accepted.c_str());
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

}  // namespace

FtpConnection::FtpConnection(const FtpSettings& settings, const UploadAddress& address,
                             std::string base_url)
    : settings_(settings), address_(address), base_url_(std::move(base_url)) {}

std::unique_ptr<FtpConnection> FtpConnection::Connect(const FtpSettings& settings,
                                                      const UploadAddress& address) {
  EnsureCurlInitialized();
  const std::string base_url = BaseUrl(address.endpoint, ImplicitTls(address) ? "ftps" : "ftp");
  for (int attempt = 1;; ++attempt) {
    std::unique_ptr<FtpConnection> connection(new FtpConnection(settings, address, base_url));
    connection->Open(/*abort_on_stop=*/true);
    // A transfer without a body on the log-in directory: it logs in.
    const CURLcode code = connection->Perform("", Transfer{});
    if (code == CURLE_OK) return connection;
    // A server without TLS refuses AUTH, vsftpd with "530 Please login with
    // USER and PASS.", which alone would read as a refused log-in although
    // neither the user name nor the password went out.
    if (code == CURLE_USE_SSL_FAILED && connection->replies_.LastCommand().starts_with("AUTH "))
      throw FtpError("TLS richiesto (CAT_FTP_TLS=2) ma non offerto dal server: AUTH rifiutato (" +
                     connection->Describe(code) + "); nome utente e password non inviati");
    // A host that limits the connections per address counts the previous
    // file's connection until its session has ended on the server's side,
    // a moment after our QUIT: the greeting 421 is worth a few more tries.
    if (connection->replies_.LastCode() != 421 || attempt == kAttemptsOn421)
      throw FtpError(connection->Describe(code));
    std::this_thread::sleep_for(kPauseOn421);
    ThrowIfStopRequested();
  }
}

FtpConnection::~FtpConnection() {
  // The handle leaves the multi handle before either is cleaned up; the
  // multi handle's clean-up sends QUIT on a connection that is still open.
  if (added_) curl_multi_remove_handle(multi_.get(), handle_.get());
  handle_.reset();
  multi_.reset();
}

void FtpConnection::Open(bool abort_on_stop) {
  multi_.reset(curl_multi_init());
  handle_.reset(curl_easy_init());
  if (!multi_ || !handle_) throw FtpError("Cannot create the FTP client");
  CURL* h = handle_.get();
  const bool implicit_tls = ImplicitTls(address_);
  SetOption(h, CURLOPT_USERNAME, settings_.user.c_str());
  SetOption(h, CURLOPT_PASSWORD, settings_.password.c_str());
  SetOption(h, CURLOPT_PROTOCOLS_STR, implicit_tls ? "ftps" : "ftp");
  SetTls(h, settings_, implicit_tls);
  SetUploadLimits<FtpError>(h, kWait);
  SetOption(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(kWait.count()));
  SetOption(h, CURLOPT_FTP_USE_EPSV, 1L);  // passive: EPSV, then PASV
  SetOption(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
  SetOption(h, CURLOPT_ERRORBUFFER, error_buffer_);
  // The debug callback only runs in verbose mode; it swallows the output.
  SetOption(h, CURLOPT_VERBOSE, 1L);
  SetOption(h, CURLOPT_DEBUGFUNCTION, OnDebug);
  SetOption(h, CURLOPT_DEBUGDATA, this);
  SetOption(h, CURLOPT_TRANSFERTEXT, 0L);
  SetOption(h, CURLOPT_READFUNCTION, ReadUploadSource);
  if (abort_on_stop) AbortTransfersOnStop<FtpError>(h);
}

CURLcode FtpConnection::Perform(const std::string& path, const Transfer& transfer) {
  CURL* h = handle_.get();
  const std::string url = base_url_ + "/" + path;
  SetOption(h, CURLOPT_URL, url.c_str());
  SetOption(h, CURLOPT_NOBODY, transfer.source ? 0L : 1L);
  SetOption(h, CURLOPT_UPLOAD, transfer.source ? 1L : 0L);
  SetOption(h, CURLOPT_READDATA, transfer.source);
  SetOption(h, CURLOPT_INFILESIZE_LARGE, transfer.source ? transfer.source->size : 0);
  SetOption(h, CURLOPT_PREQUOTE, transfer.before);
  SetOption(h, CURLOPT_POSTQUOTE, transfer.after);
  replies_.Clear();
  error_buffer_[0] = '\0';
  const CURLcode code = Run();
  // A transfer cut short by a stop is no failure of the server: it raises
  // StopRequestedError, which no caller takes for an FtpError.
  if (code != CURLE_OK) ThrowIfStopRequested();
  return code;
}

// libcurl 7.88 watches only the data connection while its TLS handshake is
// unfinished, and the server finishes it only once STOR has come: with
// curl_easy_perform, whose wait lasts a second, the reply to each command
// sent between EPSV and STOR (TYPE I, DELE, TYPE A) was read only when that
// second ran out, which made every FTPS upload about two seconds longer.
CURLcode FtpConnection::Run() {
  CURLM* m = multi_.get();
  CURL* h = handle_.get();
  if (added_) curl_multi_remove_handle(m, h);
  added_ = curl_multi_add_handle(m, h) == CURLM_OK;
  if (!added_) return CURLE_OUT_OF_MEMORY;
  int running = 1;
  CURLMcode mcode = CURLM_OK;
  while (mcode == CURLM_OK) {
    mcode = curl_multi_perform(m, &running);
    if (mcode != CURLM_OK || running == 0) break;
    mcode = curl_multi_poll(m, nullptr, 0, kPollMilliseconds, nullptr);
  }
  if (mcode != CURLM_OK)
    return mcode == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_BAD_FUNCTION_ARGUMENT;
  CURLcode result = CURLE_OK;
  int left = 0;
  while (const CURLMsg* message = curl_multi_info_read(m, &left)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == h) result = message->data.result;
  }
  return result;
}

std::string FtpConnection::PathOf(const std::string& name) const {
  return EncodeUrlPath(directory_.empty() ? name : directory_ + "/" + name);
}

CURLcode FtpConnection::RunCommands(const std::vector<std::string>& commands) {
  CurlSlist list = MakeCommandList(commands);
  // Commands after the transfer are the ones libcurl sends once it has
  // changed into the URL's directory.
  return Perform(directory_.empty() ? "" : EncodeUrlPath(directory_ + "/"),
                 Transfer{.after = list.get()});
}

void FtpConnection::ChangeDirectory(const std::string& dir) {
  const std::string target = JoinRemote(directory_, dir);
  // With the single-CWD method the whole directory before the last '/' goes
  // into one "CWD" command.
  const CURLcode code = Perform(EncodeUrlPath(target + "/"), Transfer{});
  if (code != CURLE_OK) throw FtpError(Describe(code));
  directory_ = target;
}

RemoteOutcome FtpConnection::Store(UploadSource& source, const std::string& name,
                                   bool delete_first) {
  // libcurl's own ASCII mode would turn every LF into CR LF, doubling the
  // CR of the CR LF line ends the exports write. The file therefore goes as
  // binary data for libcurl, and "TYPE A" is sent right before the STOR.
  // A file to be replaced is deleted first when asked ('*': a refused DELE
  // is no failure), as servers that refuse to overwrite need.
  CurlSlist before =
      delete_first ? MakeCommandList({"*DELE " + name, "TYPE A"}) : MakeCommandList({"TYPE A"});
  // Servers answer SIZE in binary type only, if at all ('*': a refusal is
  // no failure of the store).
  CurlSlist after = MakeCommandList({"TYPE I", "*SIZE " + name});
  source.Rewind();
  const CURLcode code = Perform(
      PathOf(name), Transfer{.source = &source, .before = before.get(), .after = after.get()});
  if (code != CURLE_OK) {
    RemoteOutcome outcome = RemoteOutcome::Failed(Refusal(code));
    outcome.name_refused = StoreRefused(name);
    return outcome;
  }
  // A server may call a transfer complete that it cut short.
  if (std::optional<std::string> shortfall = Shortfall(name, source))
    return RemoteOutcome::Failed(std::move(*shortfall));
  return {};
}

RemoteOutcome FtpConnection::Rename(const std::string& from, const std::string& to) {
  const CURLcode code = RunCommands({"RNFR " + from, "RNTO " + to});
  if (code == CURLE_OK) return {};
  RemoteOutcome outcome = RemoteOutcome::Failed(Refusal(code));
  outcome.target_may_exist = RenameTargetRefused();
  return outcome;
}

RemoteOutcome FtpConnection::Delete(const std::string& name) {
  const CURLcode code = RunCommands({"DELE " + name});
  if (code == CURLE_OK) return {};
  return RemoteOutcome::Failed(Refusal(code));
}

// After a store that the server called complete: a description of the
// shortfall when the file stored is not the file sent. The server's SIZE is
// compared with the bytes sent (or, on a server that converts line ends,
// with them less one byte per CR LF); without SIZE, the count that the
// transfer reports.
std::optional<std::string> FtpConnection::Shortfall(const std::string& remote_name,
                                                    const UploadSource& source) {
  if (const std::optional<curl_off_t> stored =
          SizeFromReply(replies_.LastCode(), replies_.Last())) {
    if (source.sent == source.size &&
        (*stored == source.sent || *stored == source.sent - source.line_ends))
      return std::nullopt;
    return "SIZE " + remote_name + ": " + replies_.Last() + " (inviati " +
           std::to_string(source.sent) + " di " + std::to_string(source.size) +
           " byte: file incompleto sul server)";
  }
  curl_off_t uploaded = 0;
  GetInfo<FtpError>(handle_.get(), CURLINFO_SIZE_UPLOAD_T, &uploaded);
  if (uploaded == source.size && source.sent == source.size) return std::nullopt;
  return "STOR " + remote_name + ": trasferiti " + std::to_string(uploaded) + " di " +
         std::to_string(source.size) + " byte: file incompleto sul server";
}

// The server's refusal when there is one, otherwise libcurl's description.
std::string FtpConnection::Describe(CURLcode code) const {
  if (replies_.LastCode() >= 400) return replies_.Last();
  if (error_buffer_[0]) return error_buffer_;
  return curl_easy_strerror(code);
}

// A refusal as the run log tells it: the command and the server's reply
// ("STOR .ESTRAZQ.CSV.part: 553 Prohibited file name"), or the network
// library's description when the server said nothing.
std::string FtpConnection::Refusal(CURLcode code) const {
  if (replies_.LastCode() >= 400 && !replies_.LastCommand().empty())
    return replies_.LastCommand() + ": " + replies_.Last();
  return Describe(code);
}

// The server refused the STOR of remote_name for good (5xx), as servers that
// forbid some names do, and still answers.
bool FtpConnection::StoreRefused(const std::string& remote_name) const {
  return replies_.LastCommand() == "STOR " + remote_name && replies_.LastCode() >= 500 &&
         replies_.LastCode() <= 599 && Alive();
}

// After a failed rename: the server accepted RNFR (350) and then refused the
// RNTO that followed.
bool FtpConnection::RenameTargetRefused() const {
  const std::vector<int>& codes = replies_.Codes();
  return codes.size() >= 2 && codes[codes.size() - 2] == 350 && codes.back() >= 400;
}

bool FtpConnection::Alive() const { return HasOpenConnection(handle_.get()); }

int FtpConnection::OnDebug(CURL* handle, curl_infotype type, char* data, size_t size,
                           void* connection) {
  auto* self = static_cast<FtpConnection*>(connection);
  if (type == CURLINFO_HEADER_IN) self->replies_.Feed(std::string_view(data, size));
  if (type == CURLINFO_HEADER_OUT) self->replies_.Sent(std::string_view(data, size));
  // libcurl shows the TLS session only while a transfer runs: it is read
  // at the first reply that comes through it.
  if (type == CURLINFO_HEADER_IN && self->protection_.empty()) {
    curl_tlssessioninfo* info = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_TLS_SSL_PTR, &info) == CURLE_OK && info &&
        info->backend == CURLSSLBACKEND_OPENSSL && info->internals) {
      const auto* ssl = static_cast<const SSL*>(info->internals);
      self->protection_ = std::string(SSL_get_version(ssl)) + ", " + SSL_get_cipher_name(ssl);
    }
  }
  return 0;
}

std::string FtpConnection::Protection() const { return protection_; }

std::unique_ptr<RemoteConnection> FtpConnection::ForCleanup(std::chrono::milliseconds limit) const {
  std::unique_ptr<FtpConnection> cleanup(new FtpConnection(settings_, address_, base_url_));
  cleanup->Open(/*abort_on_stop=*/false);
  BoundEveryTransfer<FtpError>(cleanup->handle_.get(), limit);
  cleanup->directory_ = directory_;
  return cleanup;
}

}  // namespace et::detail
