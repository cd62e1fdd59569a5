// The price-list run "-p": settings check, markup consolidation, the static
// price-list file, the customers-and-markups file, their uploads and the two
// trigger scripts, in that order.
#pragma once

#include <cstdint>
#include <string>

#include "publish/ftp_settings.h"
#include "runs/configuration.h"
#include "runs/run_environment.h"
#include "runs/run_outcome.h"

namespace et {

struct PriceListRunSettings {
  std::string price_list_file;     // CAT_EXPPRVEN_NOMEFILE
  std::string price_list_trigger;  // CAT_EXPPRVEN_SCRIPT
  // CAT_EXPPRVEN_FASCIA: the reference price band, checked to be a whole
  // number and pasted into the statements as written.
  std::string price_band;
  std::string customers_file;     // CAT_EXPPRVEN_NOMEFILE2
  std::string customers_trigger;  // CAT_EXPPRVEN_SCRIPT2
  std::int32_t default_band = 0;  // FasciaDefault; 0 when missing or invalid
  FtpSettings ftp;
  int trigger_timeout_seconds = 0;

  // Reads and checks the settings in order; raises Error with the message of
  // the first that is missing or invalid.
  static PriceListRunSettings Read(SettingsTable& settings, const std::string& export_directory);
};

// Each step's failure ends the run with its message as one line on standard
// output. Failed uploads are in the run log and the run goes on.
RunOutcome RunPriceListExport(Configuration& configuration, const RunEnvironment& env);

}  // namespace et
