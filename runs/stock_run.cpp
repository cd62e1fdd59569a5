#include "runs/stock_run.h"

#include "exports/stock_export.h"
#include "fb/transaction.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/stop_signals.h"
#include "runs/common_settings.h"

namespace et {
namespace {

constexpr const char* kTriggerKey = "CAT_SCRIPTGIACENZE";

}  // namespace

StockRunSettings StockRunSettings::Read(SettingsTable& settings) {
  StockRunSettings s;
  s.export_type = settings.Read("CAT_TIPOEXPPERGIACENZE");
  s.ftp = ReadFtpSettings(settings);
  s.trigger_url = settings.Read(kTriggerKey);
  s.trigger_timeout_seconds = ReadTriggerTimeout(settings);
  s.max_drop_percent = ReadMaxDrop(settings);
  return s;
}

RunOutcome RunStockExport(Configuration& configuration, const RunEnvironment& env,
                          RunReport& report) {
  const StockRunSettings settings = StockRunSettings::Read(*configuration.settings);
  report.AddSecret(settings.ftp.password);
  report.SetMaxDrop(settings.max_drop_percent);
  const RunLog log(configuration.export_directory, env.clock, env.regional);
  Publisher publisher(settings.ftp, log, settings.trigger_timeout_seconds);

  const std::string path = WithTrailingSeparator(configuration.export_directory) + kStockFileName;
  {
    // The export reads in a transaction with the server's defaults.
    fb::Transaction transaction(configuration.business->Attachment(),
                                fb::TransactionOptions::ServerDefaults());
    WriteStockFile(path, transaction, settings.export_type == "1", env.regional);
  }

  ThrowIfStopRequested();
  // A failed upload is in the run log; the run goes on.
  if (!report.Publish(publisher, log, path, /*header_lines=*/0)) return RunOutcome::kFailed;

  ThrowIfStopRequested();
  try {
    report.RequestTrigger(publisher, kTriggerKey, settings.trigger_url);
  } catch (const std::exception& e) {
    // A request cut short by a stop is no failure of the web side.
    ThrowIfStopRequested();
    // The web side may still import the file on its own schedule: the run
    // completes, and the failure is one line for whoever reads the output.
    WriteStdoutLine(std::string(ErrorTypeName(e)) + ": " + e.what());
  }
  return RunOutcome::kCompleted;
}

}  // namespace et
