#include "publish/upload_probe.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "publish/errors.h"

namespace et {
namespace {

constexpr const char* kProbeText =
    "File di prova di exporttotale-admin check: viene cancellato subito.\r\n";

// A private directory holding the probe under its own name, removed with
// the object.
class LocalProbe {
 public:
  LocalProbe() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/exporttotale-check-XXXXXX";
    if (!::mkdtemp(pattern.data()))
      throw FtpError("file di prova non creato in " + pattern + ": " + std::strerror(errno));
    directory_ = pattern;
    path_ = directory_ + "/" + kUploadProbeName;
    std::ofstream out(path_, std::ios::binary);
    out << kProbeText;
    out.close();
    if (!out) throw FtpError("file di prova " + path_ + " non scritto");
  }
  ~LocalProbe() {
    ::unlink(path_.c_str());
    ::rmdir(directory_.c_str());
  }
  LocalProbe(const LocalProbe&) = delete;
  LocalProbe& operator=(const LocalProbe&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string directory_;
  std::string path_;
};

}  // namespace

UploadProbeOutcome ProbeUpload(FtpUploader& uploader) {
  const LocalProbe probe;
  uploader.Upload(probe.Path());
  UploadProbeOutcome outcome;
  outcome.method = uploader.Upload(probe.Path());
  try {
    uploader.Delete(kUploadProbeName);
  } catch (const FtpError& e) {
    outcome.not_deleted = e.what();
  }
  return outcome;
}

std::string DescribeUploadMethod(FtpUploader::UploadMethod method) {
  switch (method) {
    case FtpUploader::UploadMethod::kHiddenTemporary:
      return "un'esecuzione carica ogni file come .NOME.part e poi lo rinomina in NOME";
    case FtpUploader::UploadMethod::kTemporary:
      return "un'esecuzione carica ogni file come NOME.part e poi lo rinomina in NOME";
    case FtpUploader::UploadMethod::kDirect:
      break;
  }
  return "un'esecuzione carica ogni file direttamente come NOME: un trasferimento interrotto "
         "può lasciarlo incompleto";
}

}  // namespace et
