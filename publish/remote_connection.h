// One logged-in connection to the web side's file server, whatever its
// protocol: the few operations an upload is made of, each telling what the
// server said instead of raising, so that the uploader can decide which way
// to try next.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "publish/upload_source.h"

namespace et::detail {

// What became of one operation.
struct RemoteOutcome {
  bool ok = true;
  // The refused command and the server's words ("STOR .ESTRAZQ.CSV.part:
  // 553 Prohibited file name"), or the network library's description.
  std::string refusal = {};
  // The server refused the name for good: another name may get through.
  bool name_refused = false;
  // A refused rename that may have failed only because the target exists.
  bool target_may_exist = false;

  static RemoteOutcome Failed(std::string refusal) { return {false, std::move(refusal)}; }
};

class RemoteConnection {
 public:
  virtual ~RemoteConnection() = default;

  // Changes the working directory (absolute, or relative to the current
  // one). Raises FtpError with the refusal.
  virtual void ChangeDirectory(const std::string& dir) = 0;

  // Stores the source, from its start, as name in the working directory,
  // replacing a file of that name; delete_first deletes such a file first
  // (a refusal of that is no failure). A store that the server calls
  // complete but that holds fewer bytes than were sent is a failure.
  virtual RemoteOutcome Store(UploadSource& source, const std::string& name, bool delete_first) = 0;
  virtual RemoteOutcome Rename(const std::string& from, const std::string& to) = 0;
  virtual RemoteOutcome Delete(const std::string& name) = 0;

  // True while the server still answers on the connection.
  virtual bool Alive() const = 0;

  // How the connection is protected, for the people who check it ("TLSv1.2,
  // ECDHE-RSA-AES256-GCM-SHA384"); empty when it is not.
  virtual std::string Protection() const = 0;

  // A fresh connection in the same working directory for the clean-up after
  // a stop: it does not abort on the stop, and each wait is bounded by
  // limit. nullptr when it cannot be made.
  virtual std::unique_ptr<RemoteConnection> ForCleanup(std::chrono::milliseconds limit) const = 0;
};

}  // namespace et::detail
