// The upload that "exporttotale-admin check" tries: a small probe file
// stored exactly as a run stores its files, so that whatever the server
// refuses to a run it refuses to the check first.
#pragma once

#include <optional>
#include <string>

#include "publish/ftp_uploader.h"

namespace et {

inline constexpr const char* kUploadProbeName = "exporttotale-prova.txt";

struct UploadProbeOutcome {
  // How a run's file reaches its real name where one is there already.
  FtpUploader::UploadMethod method = FtpUploader::UploadMethod::kDirect;
  // Why the probe is still on the server, when it is.
  std::optional<std::string> not_deleted;
};

// Stores the probe in the uploader's current remote directory, stores it
// again over itself (so that a refused overwrite or rename shows, as for
// every run after the first), then deletes it. The uploader's notices tell
// each fallback taken. Raises FtpError when a store fails (the uploader has
// then disconnected) or the probe cannot be written locally.
UploadProbeOutcome ProbeUpload(FtpUploader& uploader);

// How a method stores NAME, in the check's words.
std::string DescribeUploadMethod(FtpUploader::UploadMethod method);

}  // namespace et
