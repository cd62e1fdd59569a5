// Settings that more than one run reads from the settings table.
#pragma once

#include "dbconfig/settings_table.h"
#include "publish/ftp_settings.h"

namespace et {

// CAT_HOSTFTP, CAT_USERFTP, CAT_PWDFTP, CAT_DIRFTP,
// CAT_FTP_CARICAMENTODIRETTO, CAT_FTP_TLS and CAT_FTP_CERTIFICATO. Raises
// Error for a CAT_FTP_TLS other than empty, 0, 1 or 2.
FtpSettings ReadFtpSettings(SettingsTable& settings);

// CAT_HTTP_TIMEOUT in whole seconds; 0 (no bound) when missing. Raises Error
// for a value that is not a whole number of seconds from 0 up.
int ReadTriggerTimeout(SettingsTable& settings);

// Raises Error "<what> <name> non valido: ..." unless `name` is a plain file
// name: no '/' or '\\', no control character, neither "." nor "..". The
// files are written into the export directory and uploaded under that name,
// so a name must not reach anywhere else.
void CheckPlainFileName(const std::string& name, const std::string& what);

}  // namespace et
