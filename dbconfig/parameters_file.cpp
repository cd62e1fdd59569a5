#include "dbconfig/parameters_file.h"

#include "platform/error.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/regional.h"

namespace et {
namespace {

constexpr const char* kConfigSection = "CONFIG";

}  // namespace

std::int32_t Parameters::UserNumber() const {
  std::int32_t n = 0;
  if (!TryParseInt32(user, n)) {
    throw ConvertError("Valore \"" + user +
                       "\" della chiave \"Utente\" del file parametri non valido: serve un numero "
                       "intero");
  }
  return n;
}

std::optional<Parameters> Parameters::Read(const std::string& path) {
  if (!FileExists(path)) return std::nullopt;
  const IniText ini = IniFile(path).Load();  // read once
  Parameters p;
  p.path = path;
  p.user = ini.Read(kConfigSection, "Utente", "0");
  p.company = ini.Read(kConfigSection, "Ditta", kDefaultCompany);
  p.user_database.database_path = ini.Read(kConfigSection, "PercorsoDatabase");
  p.user_database.server = ini.Read(kConfigSection, "Nome Server");
  p.user_database.alias = ini.Read(kConfigSection, "Alias");
  p.user_database.drive_letter = ini.Read(kConfigSection, "Lettera Disco Server");
  return p;
}

}  // namespace et
