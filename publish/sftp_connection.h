// A logged-in SFTP session over SSH, kept open by a libcurl handle between
// transfers. The server's host key is checked against the pinned
// fingerprint before anything else is sent: neither the user name nor the
// password nor a key reaches a server that presents another key.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>
#include <vector>

#include "publish/curl_handles.h"
#include "publish/ftp_host.h"
#include "publish/ftp_settings.h"
#include "publish/remote_connection.h"

namespace et::detail {

class SftpConnection final : public RemoteConnection {
 public:
  // Connects, checks the host key and logs in with the password or the key
  // file. Raises FtpError: a missing or different fingerprint names the one
  // the server presented; a refused log-in or an unreachable server gives
  // the network library's description.
  static std::unique_ptr<SftpConnection> Connect(const FtpSettings& settings,
                                                 const UploadAddress& address);
  ~SftpConnection() override = default;

  // A directory is entered when it can be listed.
  void ChangeDirectory(const std::string& dir) override;
  RemoteOutcome Store(UploadSource& source, const std::string& name, bool delete_first) override;
  RemoteOutcome Rename(const std::string& from, const std::string& to) override;
  RemoteOutcome Delete(const std::string& name) override;
  bool Alive() const override;
  std::string Protection() const override;
  std::unique_ptr<RemoteConnection> ForCleanup(std::chrono::milliseconds limit) const override;

  // The host key's fingerprint as the server presented it; empty before.
  const std::string& PresentedFingerprint() const { return presented_fingerprint_; }

 private:
  SftpConnection(const FtpSettings& settings, const UploadAddress& address, std::string base_url);
  void Open(bool abort_on_stop);
  // Runs the commands (libcurl's SFTP quote commands: "rm", "rename"), in
  // order, without a transfer; the first one refused ends the list.
  CURLcode RunCommands(const std::vector<std::string>& commands);
  CURLcode Perform(const std::string& url_path);
  // The path of a name in the working directory, as the server reads it:
  // relative to the log-in directory unless the directory is absolute.
  std::string RemotePath(const std::string& name) const;
  // The same path in a URL: "/~/" in front of a relative one.
  std::string UrlPath(const std::string& path) const;
  // A path as one argument of a quote command.
  static std::string QuotedPath(const std::string& path);
  std::string Describe(CURLcode code) const;
  static int OnHostKey(void* connection, int key_type, const char* key, size_t key_length);

  FtpSettings settings_;
  UploadAddress address_;
  CurlEasy handle_;
  std::string base_url_;   // "sftp://host:port"
  std::string directory_;  // working directory; empty: the log-in one
  std::string presented_fingerprint_;
  char error_buffer_[CURL_ERROR_SIZE] = {};
};

}  // namespace et::detail
