#include "runs/configuration.h"

#include <cstdint>
#include <cstdlib>

#include "dbconfig/business_database.h"
#include "dbconfig/opening_policy.h"
#include "dbconfig/parameters_file.h"
#include "dbconfig/user_database.h"
#include "fb/error.h"
#include "platform/paths.h"
#include "platform/regional.h"
#include "platform/stop_signals.h"
#include "platform/text_file.h"

namespace et {
namespace {

constexpr std::string_view kExportDirectoryKeyName = "DIRCATINTERNET";

constexpr const char* kNoBusinessDatabase =
    "Database gestionale non connesso: impossibile avviare la transazione";

// The business database named by "Archivio" of the user's settings, attached.
std::unique_ptr<DatabaseConnection> OpenBusinessDatabaseFor(const Parameters& parameters,
                                                            UserInterface& ui) {
  const OpeningPolicy policy = OpeningPolicy::AttachOrCreate(LockWait());
  // The user database is needed only for this one text.
  const std::string name =
      UserDatabase::Open(parameters, policy, ui).ReadSettings().BusinessDatabaseName();
  if (name.empty()) throw fb::DatabaseError(kNoBusinessDatabase);
  try {
    return OpenBusinessDatabase(name, policy, ui);
  } catch (Error& e) {
    // The opener has shown its own messages; the halt says what it means for
    // the run, then the engine's reason.
    e.AddContext(kNoBusinessDatabase);
    throw;
  }
}

std::string DescribeWait(std::chrono::seconds wait) {
  const auto seconds = wait.count();
  if (seconds >= 60 && seconds % 60 == 0) {
    const auto minutes = seconds / 60;
    return std::to_string(minutes) + (minutes == 1 ? " minuto" : " minuti");
  }
  return std::to_string(seconds) + (seconds == 1 ? " secondo" : " secondi");
}

// Waits until no other run writes into the export directory, and keeps it
// so until the lock dies.
FileLock LockExportDirectory(const std::string& export_directory) {
  const std::chrono::seconds wait = LockWait();
  std::optional<FileLock> lock =
      FileLock::Acquire(WithTrailingSeparator(export_directory) + kExportLockFileName, wait);
  if (!lock) {
    throw Error("Un'altra esecuzione sta già scrivendo nella directory export " + export_directory +
                ": attesa di " + DescribeWait(wait) + " scaduta");
  }
  return std::move(*lock);
}

}  // namespace

const SettingKey& ExportDirectoryKey() {
  static const SettingKey key{kExportDirectoryKeyName, true, SettingKind::kText};
  return key;
}

std::chrono::seconds LockWait() {
  const char* text = std::getenv(kLockWaitVariable);
  std::int32_t seconds = 0;
  if (text && TryParseInt32(text, seconds) && seconds >= 0) return std::chrono::seconds(seconds);
  return std::chrono::seconds(kDefaultLockWaitSeconds);
}

std::optional<Configuration> LoadConfiguration(const RunEnvironment& env) {
  const std::optional<Parameters> parameters =
      Parameters::Read(env.installation_directory + kParametersFileName);
  if (!parameters) {
    env.ui.ShowErrorMessage(std::string("File ") + kParametersFileName + " non esistente!");
    return std::nullopt;
  }

  Configuration configuration;
  configuration.business = OpenBusinessDatabaseFor(*parameters, env.ui);
  configuration.settings = std::make_unique<SettingsTable>(configuration.business->Attachment());

  configuration.export_directory =
      configuration.settings->Read(std::string(kExportDirectoryKeyName));
  if (configuration.export_directory.empty()) {
    env.ui.ShowMessage("DIRCATINTERNET mancante");
    return std::nullopt;
  }
  ThrowIfStopRequested();
  // A missing export directory is each run's own error to report.
  if (DirectoryExists(configuration.export_directory)) {
    configuration.export_lock = LockExportDirectory(configuration.export_directory);
    // With the lock held no other run writes here: what a killed run left
    // half written is of nobody.
    RemoveAbandonedTemporaryFiles(configuration.export_directory);
  }
  return configuration;
}

}  // namespace et
