#include "publish/sftp_connection.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/stop_signals.h"
#include "publish/curl_global.h"
#include "publish/errors.h"
#include "publish/remote_paths.h"
#include "publish/ssh_fingerprint.h"

namespace et::detail {
namespace {

// Each step of the session is awaited at most this long; a transfer that
// moves no byte for this long is broken off.
constexpr std::chrono::seconds kWait(60);

template <typename Value>
void SetOption(CURL* handle, CURLoption option, Value value) {
  detail::SetOption<FtpError>(handle, option, value);
}

size_t DiscardListing(char*, size_t size, size_t count, void*) { return size * count; }

}  // namespace

SftpConnection::SftpConnection(const FtpSettings& settings, const UploadAddress& address,
                               std::string base_url)
    : settings_(settings), address_(address), base_url_(std::move(base_url)) {}

std::unique_ptr<SftpConnection> SftpConnection::Connect(const FtpSettings& settings,
                                                        const UploadAddress& address) {
  if (!settings.ssh_key.empty() && ::access(settings.ssh_key.c_str(), R_OK) != 0)
    throw FtpError("CAT_SFTP_CHIAVE " + settings.ssh_key +
                   ": file della chiave non leggibile: " + std::strerror(errno));
  EnsureCurlInitialized();
  std::unique_ptr<SftpConnection> connection(
      new SftpConnection(settings, address, BaseUrl(address.endpoint, "sftp")));
  connection->Open(/*abort_on_stop=*/true);
  // No transfer on the log-in directory: it connects and logs in.
  const CURLcode code = connection->RunCommands({});
  if (code != CURLE_OK) {
    const std::string& presented = connection->presented_fingerprint_;
    if (!presented.empty() && settings.host_fingerprint.empty())
      throw FtpError("CAT_SFTP_IMPRONTA mancante: il server presenta la chiave host " + presented +
                     " (confrontarla con quella del fornitore e scriverla in CAT_SFTP_IMPRONTA)");
    if (!presented.empty() && !FingerprintMatches(settings.host_fingerprint, presented))
      throw FtpError("chiave host diversa da CAT_SFTP_IMPRONTA " + settings.host_fingerprint +
                     ": il server presenta " + presented + ", nessun dato inviato");
    throw FtpError(connection->Describe(code));
  }
  return connection;
}

int SftpConnection::OnHostKey(void* data, int, const char* key, size_t key_length) {
  auto* connection = static_cast<SftpConnection*>(data);
  connection->presented_fingerprint_ = SshFingerprint(std::string_view(key, key_length));
  return FingerprintMatches(connection->settings_.host_fingerprint,
                            connection->presented_fingerprint_)
             ? CURLKHMATCH_OK
             : CURLKHMATCH_MISMATCH;
}

void SftpConnection::Open(bool abort_on_stop) {
  handle_.reset(curl_easy_init());
  if (!handle_) throw FtpError("Cannot create the SFTP client");
  CURL* h = handle_.get();
  SetOption(h, CURLOPT_PROTOCOLS_STR, "sftp");
  SetOption(h, CURLOPT_USERNAME, settings_.user.c_str());
  if (settings_.ssh_key.empty()) {
    SetOption(h, CURLOPT_PASSWORD, settings_.password.c_str());
    SetOption(h, CURLOPT_SSH_AUTH_TYPES,
              static_cast<long>(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
  } else {
    SetOption(h, CURLOPT_SSH_AUTH_TYPES, static_cast<long>(CURLSSH_AUTH_PUBLICKEY));
    SetOption(h, CURLOPT_SSH_PRIVATE_KEYFILE, settings_.ssh_key.c_str());
    // Empty: the public key is derived from the private one, not looked for
    // in the home directory.
    SetOption(h, CURLOPT_SSH_PUBLIC_KEYFILE, "");
    if (!settings_.password.empty()) SetOption(h, CURLOPT_KEYPASSWD, settings_.password.c_str());
  }
  // The host key decides before the log-in: no known_hosts file is read.
  SetOption(h, CURLOPT_SSH_HOSTKEYFUNCTION, OnHostKey);
  SetOption(h, CURLOPT_SSH_HOSTKEYDATA, this);
  SetUploadLimits<FtpError>(h, kWait);
  SetOption(h, CURLOPT_ERRORBUFFER, error_buffer_);
  SetOption(h, CURLOPT_READFUNCTION, ReadUploadSource);
  SetOption(h, CURLOPT_WRITEFUNCTION, DiscardListing);
  if (abort_on_stop) AbortTransfersOnStop<FtpError>(h);
}

CURLcode SftpConnection::Perform(const std::string& url_path) {
  const std::string url = base_url_ + url_path;
  SetOption(handle_.get(), CURLOPT_URL, url.c_str());
  error_buffer_[0] = '\0';
  const CURLcode code = curl_easy_perform(handle_.get());
  if (code != CURLE_OK) ThrowIfStopRequested();
  return code;
}

CURLcode SftpConnection::RunCommands(const std::vector<std::string>& commands) {
  CURL* h = handle_.get();
  CurlSlist list = MakeCommandList(commands);
  SetOption(h, CURLOPT_NOBODY, 1L);
  SetOption(h, CURLOPT_UPLOAD, 0L);
  SetOption(h, CURLOPT_QUOTE, list.get());
  const CURLcode code = Perform("/~/");
  SetOption(h, CURLOPT_QUOTE, static_cast<curl_slist*>(nullptr));
  return code;
}

std::string SftpConnection::RemotePath(const std::string& name) const {
  return directory_.empty() ? name : directory_ + "/" + name;
}

std::string SftpConnection::UrlPath(const std::string& path) const {
  if (!path.empty() && path.front() == '/') return "/" + EncodeUrlPath(path.substr(1));
  return "/~/" + EncodeUrlPath(path);
}

std::string SftpConnection::QuotedPath(const std::string& path) {
  // Inside double quotes libcurl takes the path as written, with '"' and '\'
  // escaped by a backslash.
  std::string quoted = "\"";
  for (const char c : path) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

void SftpConnection::ChangeDirectory(const std::string& dir) {
  const std::string target = JoinRemote(directory_, dir);
  CURL* h = handle_.get();
  SetOption(h, CURLOPT_NOBODY, 0L);
  SetOption(h, CURLOPT_UPLOAD, 0L);
  const CURLcode code = Perform(UrlPath(target + "/"));
  if (code != CURLE_OK) throw FtpError(Describe(code));
  directory_ = target;
}

RemoteOutcome SftpConnection::Store(UploadSource& source, const std::string& name,
                                    bool delete_first) {
  CURL* h = handle_.get();
  const std::string path = RemotePath(name);
  // '*': a refused removal is no failure of the store.
  CurlSlist before =
      MakeCommandList(delete_first ? std::vector<std::string>{"*rm " + QuotedPath(path)}
                                   : std::vector<std::string>{});
  source.Rewind();
  SetOption(h, CURLOPT_NOBODY, 0L);
  SetOption(h, CURLOPT_UPLOAD, 1L);
  SetOption(h, CURLOPT_READDATA, &source);
  SetOption(h, CURLOPT_INFILESIZE_LARGE, source.size);
  SetOption(h, CURLOPT_QUOTE, before.get());
  const CURLcode code = Perform(UrlPath(path));
  SetOption(h, CURLOPT_QUOTE, static_cast<curl_slist*>(nullptr));
  SetOption(h, CURLOPT_UPLOAD, 0L);
  if (code != CURLE_OK) {
    RemoteOutcome outcome = RemoteOutcome::Failed("put " + name + ": " + Describe(code));
    // The server would not open the file for writing: another name may do.
    outcome.name_refused = (code == CURLE_REMOTE_ACCESS_DENIED || code == CURLE_UPLOAD_FAILED) &&
                           source.sent == 0 && Alive();
    return outcome;
  }
  curl_off_t uploaded = 0;
  GetInfo<FtpError>(h, CURLINFO_SIZE_UPLOAD_T, &uploaded);
  if (uploaded != source.size || source.sent != source.size)
    return RemoteOutcome::Failed("put " + name + ": trasferiti " + std::to_string(uploaded) +
                                 " di " + std::to_string(source.size) +
                                 " byte: file incompleto sul server");
  return {};
}

RemoteOutcome SftpConnection::Rename(const std::string& from, const std::string& to) {
  const CURLcode code =
      RunCommands({"rename " + QuotedPath(RemotePath(from)) + " " + QuotedPath(RemotePath(to))});
  if (code == CURLE_OK) return {};
  RemoteOutcome outcome =
      RemoteOutcome::Failed("rename " + from + " " + to + ": " + Describe(code));
  // The SFTP rename of OpenSSH's servers never replaces a file, and its
  // refusal does not say why.
  outcome.target_may_exist = Alive();
  return outcome;
}

RemoteOutcome SftpConnection::Delete(const std::string& name) {
  const CURLcode code = RunCommands({"rm " + QuotedPath(RemotePath(name))});
  if (code == CURLE_OK) return {};
  return RemoteOutcome::Failed("rm " + name + ": " + Describe(code));
}

std::string SftpConnection::Describe(CURLcode code) const {
  if (error_buffer_[0]) return error_buffer_;
  return curl_easy_strerror(code);
}

bool SftpConnection::Alive() const { return HasOpenConnection(handle_.get()); }

std::string SftpConnection::Protection() const {
  return presented_fingerprint_.empty() ? "" : "SSH, chiave host " + presented_fingerprint_;
}

std::unique_ptr<RemoteConnection> SftpConnection::ForCleanup(
    std::chrono::milliseconds limit) const {
  std::unique_ptr<SftpConnection> cleanup(new SftpConnection(settings_, address_, base_url_));
  cleanup->Open(/*abort_on_stop=*/false);
  BoundEveryTransfer<FtpError>(cleanup->handle_.get(), limit);
  cleanup->directory_ = directory_;
  return cleanup;
}

}  // namespace et::detail
