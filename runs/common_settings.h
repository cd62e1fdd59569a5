// Settings that every run reads from the settings table: the FTP server, the
// bound on trigger requests and the monitoring of the run, with their
// declarations and parsing.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "publish/ftp_settings.h"
#include "runs/settings_declaration.h"

namespace et {

// CAT_HOSTFTP, CAT_USERFTP, CAT_PWDFTP, CAT_DIRFTP,
// CAT_FTP_CARICAMENTODIRETTO, CAT_FTP_TLS, CAT_FTP_CERTIFICATO,
// CAT_SFTP_CHIAVE and CAT_SFTP_IMPRONTA, in the
// order the runs read them. The parse raises Error for a CAT_FTP_TLS other
// than empty, 0, 1 or 2.
const SettingKeys& FtpSettingKeys();
FtpSettings ParseFtpSettings(const SettingValues& values);

// CAT_HTTP_TIMEOUT: the bound of each trigger request, or the reason the
// value is not one. The runs differ in when an invalid value counts.
struct TriggerTimeout {
  std::chrono::seconds limit{0};     // 0: no bound (also for an invalid value)
  std::optional<std::string> error;  // the message for a value that is no bound

  // The limit. Raises ConvertError with the message of an invalid value.
  std::chrono::seconds Checked() const;
};
const SettingKeys& TriggerTimeoutKeys();
TriggerTimeout ParseTriggerTimeout(const SettingValues& values);

// CAT_URL_MONITORAGGIO, the base URL of the monitoring pings (empty: no
// pings), and CAT_CALO_MASSIMO, the largest drop in data lines, in percent,
// that a file may show against its last successful upload (empty: no guard).
const SettingKeys& MonitoringSettingKeys();
std::string ParseMonitoringUrl(const SettingValues& values);
// 0 when empty; raises Error for anything but a whole number from 1 to 100.
int ParseMaxDrop(const SettingValues& values);

// Raises Error "<what> <name> non valido: ..." unless `name` is a plain file
// name: no '/' or '\\', no control character, neither "." nor "..". The
// files are written into the export directory and uploaded under that name,
// so a name must not reach anywhere else.
void CheckPlainFileName(const std::string& name, const std::string& what);

}  // namespace et
