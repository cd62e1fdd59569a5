// Publishing one exported file: its upload to the web side's FTP server and
// the request of the trigger script that imports it.
#pragma once

#include <string>

#include "publish/ftp_settings.h"
#include "publish/run_log.h"

namespace et {

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

  // Uploads one file over a connection of its own, closed (QUIT) as soon as
  // the upload is over, failed or not. A failed connection or upload is
  // written to the run log, and the run goes on; each fallback that the
  // server forced is one line on standard error. A refused change of
  // directory and a run log that cannot be written raise.
  UploadResult Upload(const std::string& path);

  // Requests a trigger script. Raises HttpError or NetworkError.
  void RequestTrigger(const std::string& url) const;

 private:
  FtpSettings ftp_;
  const RunLog& log_;
  int trigger_timeout_seconds_;
};

}  // namespace et
