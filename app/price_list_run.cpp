#include "app/price_list_run.h"

#include <exception>

#include "app/common_settings.h"
#include "exports/customers_export.h"
#include "exports/markup_consolidation.h"
#include "exports/price_list_export.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/regional.h"
#include "platform/stop_signals.h"

namespace et {

PriceListRunSettings PriceListRunSettings::Read(SettingsTable& settings,
                                                const std::string& export_directory) {
  if (!DirectoryExists(export_directory)) {
    throw Error("Directory export \"" + export_directory + "\" non trovata");
  }
  PriceListRunSettings s;
  s.price_list_file = settings.Read("CAT_EXPPRVEN_NOMEFILE");
  if (s.price_list_file.empty()) throw Error("Nome file listini statici non parametrizzato");
  CheckPlainFileName(s.price_list_file, "Nome file listini statici");

  s.price_list_trigger = settings.Read("CAT_EXPPRVEN_SCRIPT");
  if (s.price_list_trigger.empty()) throw Error("Script HTTP listini statici non parametrizzato");

  const std::string band = settings.Read("CAT_EXPPRVEN_FASCIA");
  if (band.empty()) throw Error("Fascia listino di riferimento non parametrizzata");
  if (!TryParseInt32(band, s.price_band)) {
    throw Error("Fascia listino " + band + " di riferimento non valida");
  }

  s.customers_file = settings.Read("CAT_EXPPRVEN_NOMEFILE2");
  if (s.customers_file.empty()) throw Error("Nome file clienti e ricarichi non parametrizzato");
  CheckPlainFileName(s.customers_file, "Nome file clienti e ricarichi");

  s.customers_trigger = settings.Read("CAT_EXPPRVEN_SCRIPT2");
  if (s.customers_trigger.empty()) {
    throw Error("Script HTTP clienti e ricarichi non parametrizzato");
  }

  // An installation without a default band is normal: it reads as band 0.
  std::int32_t default_band = 0;
  if (TryParseInt32(settings.Read("FasciaDefault"), default_band)) s.default_band = default_band;

  s.ftp = ReadFtpSettings(settings);
  s.trigger_timeout_seconds = ReadTriggerTimeout(settings);
  return s;
}

RunOutcome RunPriceListExport(Configuration& configuration, const RunEnvironment& env) {
  try {
    const PriceListRunSettings settings =
        PriceListRunSettings::Read(*configuration.settings, configuration.export_directory);
    const std::string directory = WithTrailingSeparator(configuration.export_directory);
    const RunLog log(configuration.export_directory, env.clock, env.regional);
    Publisher publisher(settings.ftp, log, settings.trigger_timeout_seconds);
    fb::Attachment& business = configuration.business->Attachment();

    // Before either file, so the customers file carries the new markups.
    ConsolidateMarkups(business, settings.default_band, env.regional);
    ThrowIfStopRequested();
    const std::string price_list = WritePriceListFile(directory + settings.price_list_file,
                                                      business, settings.price_band, env.regional);
    ThrowIfStopRequested();
    publisher.Upload(price_list);
    ThrowIfStopRequested();
    const std::string customers =
        WriteCustomersFile(directory + settings.customers_file, business, env.regional);
    ThrowIfStopRequested();
    publisher.Upload(customers);
    ThrowIfStopRequested();
    publisher.RequestTrigger(settings.price_list_trigger);
    ThrowIfStopRequested();
    publisher.RequestTrigger(settings.customers_trigger);
  } catch (const std::exception& e) {
    // A stopped run is no failed run: main reports the stop.
    ThrowIfStopRequested();
    // A failure to write this line is not caught here: the run halts.
    WriteStdoutLine(e.what());
    return RunOutcome::kFailed;
  }
  return RunOutcome::kCompleted;
}

}  // namespace et
