#include "runs/promo_stock_run.h"

#include <optional>

#include "exports/promo_stock_export.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/regional.h"
#include "publish/publisher.h"
#include "runs/common_settings.h"
#include "runs/run_steps.h"

namespace et {
namespace {

constexpr std::string_view kFileKey = "CAT_EXPPROMOSTOCK_NOMEFILE";
constexpr std::string_view kTriggerKey = "CAT_EXPPROMOSTOCK_SCRIPT";
constexpr std::string_view kPriceListKey = "ListinoStock";

// The run stops at its first failing step and reports it on standard output
// only: the scheduler reads the exit status, the operator the line.
constexpr OnFailure kAnyFailure = OnFailure::kFailRun;

constexpr int kHeaderLines = 1;

}  // namespace

const SettingKeys& PromoStockRunSettings::Keys() {
  static const SettingKeys keys = [] {
    SettingKeys k = {
        {kFileKey, true, SettingKind::kPlainFileName},
        {kTriggerKey, true, SettingKind::kUrl},
        {kPriceListKey, true, SettingKind::kWholeNumber},
    };
    Append(k, FtpSettingKeys());
    Append(k, TriggerTimeoutKeys());
    Append(k, MonitoringSettingKeys());
    return k;
  }();
  return keys;
}

PromoStockRunSettings PromoStockRunSettings::Parse(const SettingValues& values) {
  PromoStockRunSettings s;
  s.file_name = values.Of(kFileKey);
  if (s.file_name.empty()) throw Error("Nome file promo a stock non parametrizzato");
  CheckPlainFileName(s.file_name, "Nome file promo a stock");
  s.trigger_url = values.Of(kTriggerKey);
  if (s.trigger_url.empty()) throw Error("Script HTTP promo a stock non parametrizzato");
  if (!TryParseInt32(values.Of(kPriceListKey), s.price_list)) s.price_list = 0;
  if (s.price_list == 0) throw Error("Listino promo a stock non parametrizzato o non valido");
  s.ftp = ParseFtpSettings(values);
  s.trigger_timeout = ParseTriggerTimeout(values).Checked();
  s.max_drop_percent = ParseMaxDrop(values);
  return s;
}

RunOutcome RunPromoStockExport(Configuration& configuration, const RunEnvironment& env,
                               RunReport& report) {
  const RunLog log(configuration.export_directory, env.clock, env.regional);
  std::optional<PromoStockRunSettings> settings;
  std::optional<Publisher> publisher;
  std::string written;
  bool published = false;

  return report.WithHeldBackFiles(RunSteps(
      {
          {"settings", kAnyFailure,
           [&] {
             settings = PromoStockRunSettings::Parse(
                 report.ReadSettings(*configuration.settings, PromoStockRunSettings::Keys()));
             report.AddSecret(settings->ftp.password);
             report.SetMaxDrop(settings->max_drop_percent);
             publisher.emplace(settings->ftp, log,
                               static_cast<int>(settings->trigger_timeout.count()));
           }},
          {"export", kAnyFailure,
           [&] {
             written = WritePromoStockFile(
                 WithTrailingSeparator(configuration.export_directory) + settings->file_name,
                 configuration.business->Attachment(), settings->price_list, env.regional);
           }},
          // A failed upload is in the run log; the run goes on. A file the guard
          // holds back fails the run.
          {"upload", kAnyFailure,
           [&] { published = report.Publish(*publisher, log, written, kHeaderLines); }},
          {"trigger", kAnyFailure,
           [&] {
             if (!published) return;
             report.RequestTrigger(kTriggerKey, settings->trigger_url,
                                   [&] { publisher->RequestTrigger(settings->trigger_url); });
           }},
      },
      [&](const std::string& message) { report.SetMessage(message); }));
}

}  // namespace et
