// A logged-in FTP control connection, plain or inside TLS: a libcurl handle
// keeps it open between transfers, and every transfer on it names the full
// remote path, so that libcurl's own directory bookkeeping lands where this
// connection believes it is.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "publish/curl_handles.h"
#include "publish/ftp_host.h"
#include "publish/ftp_replies.h"
#include "publish/ftp_settings.h"
#include "publish/remote_connection.h"

namespace et::detail {

class FtpConnection final : public RemoteConnection {
 public:
  // Connects and logs in. Raises FtpError with the server's reply (such as
  // "530 Login incorrect.") or the network error's description. A greeting
  // 421 (too many connections from this address) is tried again a few
  // times: the previous file's session may still be ending on the server.
  static std::unique_ptr<FtpConnection> Connect(const FtpSettings& settings,
                                                const UploadAddress& address);
  // Sends QUIT when the connection is still open.
  ~FtpConnection() override;

  void ChangeDirectory(const std::string& dir) override;
  RemoteOutcome Store(UploadSource& source, const std::string& name, bool delete_first) override;
  RemoteOutcome Rename(const std::string& from, const std::string& to) override;
  RemoteOutcome Delete(const std::string& name) override;
  bool Alive() const override;
  std::string Protection() const override;
  std::unique_ptr<RemoteConnection> ForCleanup(std::chrono::milliseconds limit) const override;

 private:
  // What one transfer on the connection does. Every transfer sets all of
  // it, so no list or file of an earlier one is ever used again.
  struct Transfer {
    UploadSource* source = nullptr;  // the file to store; none: no data transfer
    curl_slist* before = nullptr;    // commands right before the STOR
    curl_slist* after = nullptr;     // commands after it, or after the CWD
  };

  FtpConnection(const FtpSettings& settings, const UploadAddress& address, std::string base_url);
  // abort_on_stop: a stop request ends every transfer within about a second;
  // off only for the short clean-up after a stop.
  void Open(bool abort_on_stop);
  CURLcode Perform(const std::string& path, const Transfer& transfer);
  // curl_easy_perform through the multi handle, in a loop that wakes up
  // every few milliseconds.
  CURLcode Run();
  std::string PathOf(const std::string& name) const;
  CURLcode RunCommands(const std::vector<std::string>& commands);
  std::optional<std::string> Shortfall(const std::string& remote_name, const UploadSource& source);
  std::string Describe(CURLcode code) const;
  std::string Refusal(CURLcode code) const;
  bool StoreRefused(const std::string& remote_name) const;
  bool RenameTargetRefused() const;
  // The debug callback: every reply and command, and the TLS in use.
  static int OnDebug(CURL* handle, curl_infotype type, char* data, size_t size, void* connection);

  FtpSettings settings_;
  UploadAddress address_;
  // The handle runs in a multi handle of its own, which keeps the
  // connection between transfers; the handle stays added after a transfer,
  // so that Alive can still find its connection.
  CurlMulti multi_;
  CurlEasy handle_;
  bool added_ = false;
  std::string base_url_;   // "ftp://host:port"
  std::string directory_;  // current remote directory; empty: the log-in one
  FtpReplies replies_;
  std::string protection_;  // the TLS protocol and cipher; empty in clear
  char error_buffer_[CURL_ERROR_SIZE] = {};
};

}  // namespace et::detail
