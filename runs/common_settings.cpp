#include "runs/common_settings.h"

#include <cstdint>

#include "platform/error.h"
#include "platform/regional.h"

namespace et {
namespace {

constexpr std::string_view kHostKey = "CAT_HOSTFTP";
constexpr std::string_view kUserKey = "CAT_USERFTP";
constexpr std::string_view kPasswordKey = "CAT_PWDFTP";
constexpr std::string_view kDirectoryKey = "CAT_DIRFTP";
constexpr std::string_view kDirectUploadKey = "CAT_FTP_CARICAMENTODIRETTO";
constexpr std::string_view kTlsKey = "CAT_FTP_TLS";
constexpr std::string_view kCertificateKey = "CAT_FTP_CERTIFICATO";
constexpr std::string_view kSshKeyKey = "CAT_SFTP_CHIAVE";
constexpr std::string_view kHostFingerprintKey = "CAT_SFTP_IMPRONTA";
constexpr std::string_view kTriggerTimeoutKey = "CAT_HTTP_TIMEOUT";
constexpr std::string_view kMonitoringUrlKey = "CAT_URL_MONITORAGGIO";
constexpr std::string_view kMaxDropKey = "CAT_CALO_MASSIMO";

}  // namespace

const SettingKeys& FtpSettingKeys() {
  // The password is not required: an SFTP key file logs in without one.
  static const SettingKeys keys = {
      {kHostKey, true, SettingKind::kServer},           {kUserKey, true, SettingKind::kText},
      {kPasswordKey, false, SettingKind::kText, true},  {kDirectoryKey, false, SettingKind::kText},
      {kDirectUploadKey, false, SettingKind::kFlag},    {kTlsKey, false, SettingKind::kWholeNumber},
      {kCertificateKey, false, SettingKind::kText},     {kSshKeyKey, false, SettingKind::kText},
      {kHostFingerprintKey, false, SettingKind::kText},
  };
  return keys;
}

FtpSettings ParseFtpSettings(const SettingValues& values) {
  FtpSettings ftp;
  ftp.host = values.Of(kHostKey);
  ftp.user = values.Of(kUserKey);
  ftp.password = values.Of(kPasswordKey);
  ftp.directory = values.Of(kDirectoryKey);
  ftp.direct_upload = values.Of(kDirectUploadKey) == "1";
  const std::string& tls = values.Of(kTlsKey);
  if (tls == "1" || tls == "2") {
    ftp.tls = tls[0] - '0';
  } else if (!tls.empty() && tls != "0") {
    throw Error("CAT_FTP_TLS " + tls + " non valido: serve 0 (FTP senza cifratura), 1 (TLS se il " +
                "server lo offre) o 2 (TLS obbligatorio, certificato verificato)");
  }
  ftp.certificate = values.Of(kCertificateKey);
  ftp.ssh_key = values.Of(kSshKeyKey);
  ftp.host_fingerprint = values.Of(kHostFingerprintKey);
  return ftp;
}

std::chrono::seconds TriggerTimeout::Checked() const {
  if (error) throw ConvertError(*error);
  return limit;
}

const SettingKeys& TriggerTimeoutKeys() {
  static const SettingKeys keys = {{kTriggerTimeoutKey, false, SettingKind::kWholeNumber}};
  return keys;
}

TriggerTimeout ParseTriggerTimeout(const SettingValues& values) {
  const std::string& text = values.Of(kTriggerTimeoutKey);
  TriggerTimeout timeout;
  if (text.empty()) return timeout;
  std::int32_t seconds = 0;
  if (!TryParseInt32(text, seconds) || seconds < 0) {
    timeout.error = "Timeout HTTP " + text + " non valido: serve un numero intero di secondi";
  } else {
    timeout.limit = std::chrono::seconds(seconds);
  }
  return timeout;
}

const SettingKeys& MonitoringSettingKeys() {
  static const SettingKeys keys = {
      {kMonitoringUrlKey, false, SettingKind::kUrl},
      {kMaxDropKey, false, SettingKind::kWholeNumber},
  };
  return keys;
}

std::string ParseMonitoringUrl(const SettingValues& values) { return values.Of(kMonitoringUrlKey); }

int ParseMaxDrop(const SettingValues& values) {
  const std::string& text = values.Of(kMaxDropKey);
  if (text.empty()) return 0;
  std::int32_t percent = 0;
  if (!TryParseInt32(text, percent) || percent < 1 || percent > 100) {
    throw Error(std::string(kMaxDropKey) + " " + text +
                " non valido: serve un numero intero di percento da 1 a 100");
  }
  return percent;
}

void CheckPlainFileName(const std::string& name, const std::string& what) {
  bool plain = name != "." && name != "..";
  std::string shown;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    const bool control = byte < 0x20 || byte == 0x7F;
    if (control || c == '/' || c == '\\') plain = false;
    shown += control ? '?' : c;  // the message is one line whatever the name holds
  }
  if (!plain) {
    throw Error(what + " " + shown +
                " non valido: serve un nome di file senza percorso e senza caratteri di "
                "controllo");
  }
}

}  // namespace et
