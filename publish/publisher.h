// Publishing one exported file: its upload to the web side's FTP server and
// the request of the trigger script that imports it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "publish/run_log.h"

namespace et {

class FtpUploader;

// The FTP settings of the settings table, read once per run.
struct FtpSettings {
  std::string host;            // CAT_HOSTFTP: name or address, optionally ":port"
  std::string user;            // CAT_USERFTP
  std::string password;        // CAT_PWDFTP
  std::string directory;       // CAT_DIRFTP: empty for the log-in directory
  bool direct_upload = false;  // CAT_FTP_CARICAMENTODIRETTO = 1
};

// What became of one upload.
struct UploadResult {
  bool uploaded = false;
  std::string error;  // the run log's reason when not uploaded
};

class Publisher {
 public:
  // `trigger_timeout_seconds` bounds each trigger request (0: no bound).
  Publisher(FtpSettings ftp, const RunLog& log, int trigger_timeout_seconds = 0);
  ~Publisher();
  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;

  // Uploads one file over a connection of its own. A failed connection or
  // upload is written to the run log, and the run goes on. A refused change
  // of directory and a run log that cannot be written raise.
  UploadResult Upload(const std::string& path);

  // Requests a trigger script. Raises HttpError or NetworkError.
  void RequestTrigger(const std::string& url) const;

 private:
  FtpSettings ftp_;
  const RunLog& log_;
  int trigger_timeout_seconds_;
  // Connections whose upload failed stay open until the run ends, when they
  // are closed (QUIT) with the publisher.
  std::vector<std::unique_ptr<FtpUploader>> failed_uploads_;
};

}  // namespace et
