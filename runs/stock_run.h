// The stock availability run (no argument): the stock file ESTRAZQ.CSV, its
// upload and the stock trigger script.
#pragma once

#include <string>

#include "publish/ftp_settings.h"
#include "runs/common_settings.h"
#include "runs/configuration.h"
#include "runs/run_environment.h"
#include "runs/run_outcome.h"
#include "runs/run_report.h"
#include "runs/settings_declaration.h"

namespace et {

struct StockRunSettings {
  bool export_quantities = false;  // CAT_TIPOEXPPERGIACENZE = 1
  FtpSettings ftp;
  std::string trigger_url;  // CAT_SCRIPTGIACENZE
  // Checked only by the trigger step, whose failure alone it is.
  TriggerTimeout trigger_timeout;
  int max_drop_percent = 0;  // CAT_CALO_MASSIMO; 0: no guard

  // The keys the run reads, in their order.
  static const SettingKeys& Keys();
  // The run's settings from the values of its keys; only a CAT_CALO_MASSIMO
  // that is no percentage fails (Error), which halts the run before its
  // export.
  static StockRunSettings Parse(const SettingValues& values);
  static StockRunSettings Read(SettingsTable& table) {
    return Parse(SettingValues::Read(table, Keys()));
  }
};

// Writes, uploads and triggers. A failed upload is in the run log and a
// failed trigger (or an invalid CAT_HTTP_TIMEOUT) one line on standard
// output: the run still completes. Raises the errors of the settings and of
// the export (and of a refused change of FTP directory or an unwritable run
// log or standard output), which halt the run.
// A file the guard holds back is neither uploaded nor triggered, and the run
// fails.
RunOutcome RunStockExport(Configuration& configuration, const RunEnvironment& env,
                          RunReport& report);

}  // namespace et
