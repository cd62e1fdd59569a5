#include "dbconfig/location_file.h"

#include "platform/ini.h"
#include "platform/paths.h"

namespace et {
namespace {

constexpr const char* kLocationFile = "dati.ini";
constexpr const char* kSection = "CONFIG";
constexpr const char* kServer = "Nome Server";
constexpr const char* kAlias = "Alias";
constexpr const char* kDatabasePath = "PercorsoDatabase";
constexpr const char* kPathOnServer = "Percorso Nel Server";
constexpr const char* kDriveLetter = "Lettera Disco Server";

}  // namespace

DatabaseLocation ReadDatabaseLocation(const std::string& directory) {
  const IniText text = IniFile(directory + kLocationFile).Load();
  return {text.Read(kSection, kServer), text.Read(kSection, kAlias),
          text.Read(kSection, kDatabasePath), text.Read(kSection, kPathOnServer),
          text.Read(kSection, kDriveLetter)};
}

void WriteServerAndDrive(const std::string& directory, const std::string& server,
                         const std::string& drive_letter) {
  const IniFile location(directory + kLocationFile);
  location.Write(kSection, kServer, server);
  if (!drive_letter.empty()) location.Write(kSection, kDriveLetter, drive_letter);
}

LocationFileSummary SummariseLocationFile(const std::string& database_name) {
  LocationFileSummary summary;
  summary.path = SplitDatabasePath(database_name).directory + kLocationFile;
  summary.exists = FileExists(summary.path);
  if (!summary.exists) return summary;
  const IniText text = IniFile(summary.path).Load();
  for (const char* key : {kServer, kAlias, kDatabasePath, kDriveLetter}) {
    const std::string value = text.Read(kSection, key);
    if (!value.empty()) summary.entries.push_back(std::string(key) + "=" + value);
  }
  return summary;
}

}  // namespace et
