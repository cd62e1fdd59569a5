#include "publish/publisher.h"

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

void Publisher::Upload(const std::string& path) {
  auto uploader = std::make_unique<FtpUploader>(ftp_);

  try {
    uploader->Connect();
  } catch (const FtpError& e) {
    failed_uploads_.push_back(std::move(uploader));
    log_.Append(std::string(kUploadOutcome) + "Connessione FTP non riuscita:" + "\r" + e.what());
    return;
  }

  if (!ftp_.directory.empty()) uploader->ChangeDirectory(ftp_.directory);

  try {
    uploader->Upload(path);
  } catch (const FtpError& e) {
    failed_uploads_.push_back(std::move(uploader));
    log_.Append(std::string(kUploadOutcome) + "Upload FTP non riuscito:" + "\r" + e.what());
    return;
  }
  // The uploader dies here: QUIT.
}

void Publisher::RequestTrigger(const std::string& url) const {
  et::RequestTrigger(url, std::chrono::seconds(trigger_timeout_seconds_));
}

}  // namespace et
