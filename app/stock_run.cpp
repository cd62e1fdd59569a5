#include "app/stock_run.h"

#include "app/common_settings.h"
#include "exports/stock_export.h"
#include "fb/transaction.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/stop_signals.h"

namespace et {

StockRunSettings StockRunSettings::Read(SettingsTable& settings) {
  StockRunSettings s;
  s.export_type = settings.Read("CAT_TIPOEXPPERGIACENZE");
  s.ftp = ReadFtpSettings(settings);
  s.trigger_url = settings.Read("CAT_SCRIPTGIACENZE");
  s.trigger_timeout_seconds = ReadTriggerTimeout(settings);
  return s;
}

RunOutcome RunStockExport(Configuration& configuration, const RunEnvironment& env) {
  const StockRunSettings settings = StockRunSettings::Read(*configuration.settings);
  const RunLog log(configuration.export_directory, env.clock, env.regional);
  Publisher publisher(settings.ftp, log, settings.trigger_timeout_seconds);

  const std::string path = WithTrailingSeparator(configuration.export_directory) + kStockFileName;
  {
    // The export reads in a transaction with the server's defaults.
    fb::Attachment& business = configuration.business->Attachment();
    fb::Transaction transaction(business, fb::TransactionOptions::ServerDefaults());
    WriteStockFile(path, business, transaction, settings.export_type == "1", env.regional);
  }

  ThrowIfStopRequested();
  publisher.Upload(path);  // a failure is in the run log; the run goes on

  ThrowIfStopRequested();
  try {
    publisher.RequestTrigger(settings.trigger_url);
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
