// The stock availability run (no argument): the stock file ESTRAZQ.CSV, its
// upload and the stock trigger script.
#pragma once

#include <string>

#include "publish/ftp_settings.h"
#include "runs/configuration.h"
#include "runs/run_environment.h"
#include "runs/run_outcome.h"

namespace et {

struct StockRunSettings {
  std::string export_type;  // CAT_TIPOEXPPERGIACENZE: "1" exports quantities
  FtpSettings ftp;
  std::string trigger_url;  // CAT_SCRIPTGIACENZE
  int trigger_timeout_seconds = 0;

  static StockRunSettings Read(SettingsTable& settings);
};

// Writes, uploads and triggers. A failed upload is in the run log and a
// failed trigger one line on standard output: the run still completes.
// Raises the errors of the export (and of a refused change of FTP directory
// or an unwritable run log or standard output), which halt the run.
RunOutcome RunStockExport(Configuration& configuration, const RunEnvironment& env);

}  // namespace et
