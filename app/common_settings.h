// Settings that more than one run reads from the settings table.
#pragma once

#include "app/publisher.h"
#include "dbconfig/settings_table.h"

namespace et {

// CAT_HOSTFTP, CAT_USERFTP, CAT_PWDFTP, CAT_DIRFTP and
// CAT_FTP_CARICAMENTODIRETTO.
FtpSettings ReadFtpSettings(SettingsTable& settings);

// CAT_HTTP_TIMEOUT in whole seconds; 0 (no bound) when missing. Raises Error
// for a value that is not a whole number of seconds from 0 up.
int ReadTriggerTimeout(SettingsTable& settings);

}  // namespace et
