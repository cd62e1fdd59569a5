// The FTP settings of the settings table, read once per run and handed to
// the uploader as one value.
#pragma once

#include <string>

namespace et {

struct FtpSettings {
  std::string host = {};       // CAT_HOSTFTP: name or address, optionally ":port"
  std::string user = {};       // CAT_USERFTP
  std::string password = {};   // CAT_PWDFTP
  std::string directory = {};  // CAT_DIRFTP: empty for the log-in directory
  bool direct_upload = false;  // CAT_FTP_CARICAMENTODIRETTO = 1
};

}  // namespace et
