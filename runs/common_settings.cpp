#include "runs/common_settings.h"

#include <cstdint>

#include "platform/error.h"
#include "platform/regional.h"

namespace et {

FtpSettings ReadFtpSettings(SettingsTable& settings) {
  FtpSettings ftp;
  ftp.host = settings.Read("CAT_HOSTFTP");
  ftp.user = settings.Read("CAT_USERFTP");
  ftp.password = settings.Read("CAT_PWDFTP");
  ftp.directory = settings.Read("CAT_DIRFTP");
  ftp.direct_upload = settings.Read("CAT_FTP_CARICAMENTODIRETTO") == "1";
  const std::string tls = settings.Read("CAT_FTP_TLS");
  if (tls == "1" || tls == "2") {
    ftp.tls = tls[0] - '0';
  } else if (!tls.empty() && tls != "0") {
    throw Error("CAT_FTP_TLS " + tls + " non valido: serve 0 (FTP senza cifratura), 1 (TLS se il " +
                "server lo offre) o 2 (TLS obbligatorio, certificato verificato)");
  }
  ftp.certificate = settings.Read("CAT_FTP_CERTIFICATO");
  return ftp;
}

int ReadTriggerTimeout(SettingsTable& settings) {
  const std::string text = settings.Read("CAT_HTTP_TIMEOUT");
  if (text.empty()) return 0;
  std::int32_t seconds = 0;
  if (!TryParseInt32(text, seconds) || seconds < 0) {
    throw Error("Timeout HTTP " + text + " non valido: serve un numero intero di secondi");
  }
  return seconds;
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
