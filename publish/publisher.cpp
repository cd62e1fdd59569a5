#include "publish/publisher.h"

#include <iostream>

#include "publish/errors.h"
#include "publish/ftp_uploader.h"
#include "publish/http_trigger.h"

namespace et {
namespace {

constexpr const char* kUploadOutcome = "Esito upload ftp = ";

}  // namespace

Publisher::Publisher(FtpSettings ftp, const RunLog& log, int trigger_timeout_seconds)
    : ftp_(std::move(ftp)), log_(log), trigger_timeout_seconds_(trigger_timeout_seconds) {}

Publisher::~Publisher() = default;

UploadResult Publisher::Upload(const std::string& path) {
  // The fallbacks a server forces are no failure: one line each on
  // standard error, for whoever reads the output.
  FtpUploader uploader(ftp_, [](const std::string& line) { std::cerr << line << std::endl; });

  try {
    uploader.Connect();
  } catch (const FtpError& e) {
    const std::string reason = std::string("Connessione FTP non riuscita:") + "\r" + e.what();
    log_.Append(kUploadOutcome + reason);
    return {false, reason};
  }

  if (!ftp_.directory.empty()) uploader.ChangeDirectory(ftp_.directory);

  try {
    uploader.Upload(path);
  } catch (const FtpError& e) {
    // The uploader has ended its connection already.
    const std::string reason = std::string("Upload FTP non riuscito:") + "\r" + e.what();
    log_.Append(kUploadOutcome + reason);
    return {false, reason};
  }
  // The uploader dies here: QUIT.
  return {true, {}};
}

void Publisher::RequestTrigger(const std::string& url) const {
  et::RequestTrigger(url, std::chrono::seconds(trigger_timeout_seconds_));
}

}  // namespace et
