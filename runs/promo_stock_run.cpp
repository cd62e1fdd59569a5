#include "runs/promo_stock_run.h"

#include <exception>

#include "exports/promo_stock_export.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/regional.h"
#include "platform/stop_signals.h"
#include "publish/publisher.h"
#include "runs/common_settings.h"

namespace et {

PromoStockRunSettings PromoStockRunSettings::Read(SettingsTable& settings) {
  PromoStockRunSettings s;
  s.file_name = settings.Read("CAT_EXPPROMOSTOCK_NOMEFILE");
  if (s.file_name.empty()) throw Error("Nome file promo a stock non parametrizzato");
  CheckPlainFileName(s.file_name, "Nome file promo a stock");
  s.trigger_url = settings.Read("CAT_EXPPROMOSTOCK_SCRIPT");
  if (s.trigger_url.empty()) throw Error("Script HTTP promo a stock non parametrizzato");
  if (!TryParseInt32(settings.Read("ListinoStock"), s.price_list)) s.price_list = 0;
  if (s.price_list == 0) throw Error("Listino promo a stock non parametrizzato o non valido");
  s.ftp = ReadFtpSettings(settings);
  s.trigger_timeout_seconds = ReadTriggerTimeout(settings);
  return s;
}

RunOutcome RunPromoStockExport(Configuration& configuration, const RunEnvironment& env) {
  try {
    const PromoStockRunSettings settings = PromoStockRunSettings::Read(*configuration.settings);
    const RunLog log(configuration.export_directory, env.clock, env.regional);
    Publisher publisher(settings.ftp, log, settings.trigger_timeout_seconds);
    const std::string path =
        WithTrailingSeparator(configuration.export_directory) + settings.file_name;
    const std::string written = WritePromoStockFile(path, configuration.business->Attachment(),
                                                    settings.price_list, env.regional);
    ThrowIfStopRequested();
    publisher.Upload(written);
    ThrowIfStopRequested();
    publisher.RequestTrigger(settings.trigger_url);
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
