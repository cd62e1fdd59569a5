#include "runs/stock_run.h"

#include <optional>

#include "exports/stock_export.h"
#include "fb/transaction.h"
#include "platform/paths.h"
#include "publish/publisher.h"
#include "runs/run_steps.h"

namespace et {
namespace {

constexpr std::string_view kExportTypeKey = "CAT_TIPOEXPPERGIACENZE";
constexpr std::string_view kTriggerKey = "CAT_SCRIPTGIACENZE";

// The stock run is the nightly one that must never lose its file: anything
// that goes wrong before the upload halts the run for the operator to see,
// while a failed trigger only costs the import, which the web side may do on
// its own schedule, so the run completes.
constexpr OnFailure kBeforeTheTrigger = OnFailure::kHalt;
constexpr OnFailure kTriggerFailure = OnFailure::kReportAndContinue;

}  // namespace

const SettingKeys& StockRunSettings::Keys() {
  static const SettingKeys keys = [] {
    SettingKeys k = {{kExportTypeKey, false, SettingKind::kFlag}};
    Append(k, FtpSettingKeys());
    k.push_back({kTriggerKey, true, SettingKind::kUrl});
    Append(k, TriggerTimeoutKeys());
    Append(k, MonitoringSettingKeys());
    return k;
  }();
  return keys;
}

StockRunSettings StockRunSettings::Parse(const SettingValues& values) {
  StockRunSettings s;
  s.export_quantities = values.Of(kExportTypeKey) == "1";
  s.ftp = ParseFtpSettings(values);
  s.trigger_url = values.Of(kTriggerKey);
  s.trigger_timeout = ParseTriggerTimeout(values);
  s.max_drop_percent = ParseMaxDrop(values);
  return s;
}

RunOutcome RunStockExport(Configuration& configuration, const RunEnvironment& env,
                          RunReport& report) {
  const StockRunSettings settings = StockRunSettings::Parse(
      report.ReadSettings(*configuration.settings, StockRunSettings::Keys()));
  report.AddSecret(settings.ftp.password);
  report.SetMaxDrop(settings.max_drop_percent);
  const RunLog log(configuration.export_directory, env.clock, env.regional);
  Publisher publisher(settings.ftp, log, static_cast<int>(settings.trigger_timeout.limit.count()));
  const std::string path = WithTrailingSeparator(configuration.export_directory) + kStockFileName;

  bool published = false;
  return report.WithHeldBackFiles(RunSteps({
      {"export", kBeforeTheTrigger,
       [&] {
         // The export reads in a transaction with the server's defaults.
         fb::Attachment& business = configuration.business->Attachment();
         fb::Transaction transaction(business, fb::TransactionOptions::ServerDefaults());
         WriteStockFile(path, business, transaction, settings.export_quantities, env.regional);
       }},
      // A failed upload is in the run log; the run goes on. A file the guard
      // holds back fails the run.
      {"upload", kBeforeTheTrigger,
       [&] { published = report.Publish(publisher, log, path, /*header_lines=*/0); }},
      {"trigger", kTriggerFailure,
       [&] {
         if (!published) return;  // nothing new to import
         report.RequestTrigger(kTriggerKey, settings.trigger_url, [&] {
           settings.trigger_timeout.Checked();
           publisher.RequestTrigger(settings.trigger_url);
         });
       }},
  }));
}

}  // namespace et
