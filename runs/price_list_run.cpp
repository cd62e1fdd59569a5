#include "runs/price_list_run.h"

#include <optional>

#include "exports/customers_export.h"
#include "exports/markup_consolidation.h"
#include "exports/price_list_export.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/regional.h"
#include "publish/publisher.h"
#include "runs/common_settings.h"
#include "runs/run_steps.h"

namespace et {
namespace {

constexpr std::string_view kPriceListFileKey = "CAT_EXPPRVEN_NOMEFILE";
constexpr std::string_view kPriceListTriggerKey = "CAT_EXPPRVEN_SCRIPT";
constexpr std::string_view kPriceBandKey = "CAT_EXPPRVEN_FASCIA";
constexpr std::string_view kCustomersFileKey = "CAT_EXPPRVEN_NOMEFILE2";
constexpr std::string_view kCustomersTriggerKey = "CAT_EXPPRVEN_SCRIPT2";
constexpr std::string_view kDefaultBandKey = "FasciaDefault";

// Every failure of this run is one line on standard output and a failed
// run: the price lists are published whole or not at all.
constexpr OnFailure kAnyFailure = OnFailure::kFailRun;

// Both files start with a header line.
constexpr int kHeaderLines = 1;

}  // namespace

const SettingKeys& PriceListRunSettings::Keys() {
  static const SettingKeys keys = [] {
    SettingKeys k = {
        {kPriceListFileKey, true, SettingKind::kPlainFileName},
        {kPriceListTriggerKey, true, SettingKind::kUrl},
        {kPriceBandKey, true, SettingKind::kWholeNumber},
        {kCustomersFileKey, true, SettingKind::kPlainFileName},
        {kCustomersTriggerKey, true, SettingKind::kUrl},
        {kDefaultBandKey, false, SettingKind::kWholeNumber},
    };
    Append(k, FtpSettingKeys());
    Append(k, TriggerTimeoutKeys());
    Append(k, MonitoringSettingKeys());
    return k;
  }();
  return keys;
}

PriceListRunSettings PriceListRunSettings::Parse(const SettingValues& values) {
  PriceListRunSettings s;
  s.price_list_file = values.Of(kPriceListFileKey);
  if (s.price_list_file.empty()) throw Error("Nome file listini statici non parametrizzato");
  CheckPlainFileName(s.price_list_file, "Nome file listini statici");

  s.price_list_trigger = values.Of(kPriceListTriggerKey);
  if (s.price_list_trigger.empty()) throw Error("Script HTTP listini statici non parametrizzato");

  const std::string& band = values.Of(kPriceBandKey);
  if (band.empty()) throw Error("Fascia listino di riferimento non parametrizzata");
  if (!TryParseInt32(band, s.price_band)) {
    throw Error("Fascia listino " + band + " di riferimento non valida");
  }

  s.customers_file = values.Of(kCustomersFileKey);
  if (s.customers_file.empty()) throw Error("Nome file clienti e ricarichi non parametrizzato");
  CheckPlainFileName(s.customers_file, "Nome file clienti e ricarichi");

  s.customers_trigger = values.Of(kCustomersTriggerKey);
  if (s.customers_trigger.empty()) {
    throw Error("Script HTTP clienti e ricarichi non parametrizzato");
  }

  // An installation without a default band is normal: it reads as band 0.
  std::int32_t default_band = 0;
  if (TryParseInt32(values.Of(kDefaultBandKey), default_band)) s.default_band = default_band;

  s.ftp = ParseFtpSettings(values);
  s.trigger_timeout = ParseTriggerTimeout(values).Checked();
  s.max_drop_percent = ParseMaxDrop(values);
  return s;
}

void PriceListRunSettings::CheckExportDirectory(const std::string& export_directory) {
  if (!DirectoryExists(export_directory)) {
    throw Error("Directory export \"" + export_directory + "\" non trovata");
  }
}

PriceListRunSettings PriceListRunSettings::Read(SettingsTable& table,
                                                const std::string& export_directory) {
  CheckExportDirectory(export_directory);
  return Parse(SettingValues::Read(table, Keys()));
}

RunOutcome RunPriceListExport(Configuration& configuration, const RunEnvironment& env,
                              RunReport& report) {
  const std::string directory = WithTrailingSeparator(configuration.export_directory);
  fb::Attachment& business = configuration.business->Attachment();
  const RunLog log(configuration.export_directory, env.clock, env.regional);
  std::optional<PriceListRunSettings> settings;
  std::optional<Publisher> publisher;
  std::string price_list;
  std::string customers;
  // A file the guard holds back goes without its trigger; the other one is
  // published, and the run fails.
  bool price_list_published = false;
  bool customers_published = false;

  return report.WithHeldBackFiles(RunSteps(
      {
          {"settings", kAnyFailure,
           [&] {
             PriceListRunSettings::CheckExportDirectory(configuration.export_directory);
             settings = PriceListRunSettings::Parse(
                 report.ReadSettings(*configuration.settings, PriceListRunSettings::Keys()));
             report.AddSecret(settings->ftp.password);
             report.SetMaxDrop(settings->max_drop_percent);
             publisher.emplace(settings->ftp, log,
                               static_cast<int>(settings->trigger_timeout.count()));
           }},
          // Before either file, so the customers file carries the new markups.
          {"markup consolidation", kAnyFailure,
           [&] { ConsolidateMarkups(business, settings->default_band, env.regional); }},
          {"price-list export", kAnyFailure,
           [&] {
             price_list = WritePriceListFile(directory + settings->price_list_file, business,
                                             settings->price_band, env.regional);
           }},
          {"price-list upload", kAnyFailure,
           [&] {
             price_list_published = report.Publish(*publisher, log, price_list, kHeaderLines);
           }},
          {"customers export", kAnyFailure,
           [&] {
             customers =
                 WriteCustomersFile(directory + settings->customers_file, business, env.regional);
           }},
          {"customers upload", kAnyFailure,
           [&] { customers_published = report.Publish(*publisher, log, customers, kHeaderLines); }},
          {"price-list trigger", kAnyFailure,
           [&] {
             if (!price_list_published) return;
             report.RequestTrigger(kPriceListTriggerKey, settings->price_list_trigger, [&] {
               publisher->RequestTrigger(settings->price_list_trigger);
             });
           }},
          {"customers trigger", kAnyFailure,
           [&] {
             if (!customers_published) return;
             report.RequestTrigger(kCustomersTriggerKey, settings->customers_trigger,
                                   [&] { publisher->RequestTrigger(settings->customers_trigger); });
           }},
      },
      [&](const std::string& message) { report.SetMessage(message); }));
}

}  // namespace et
