// The price-list run "-p": settings check, markup consolidation, the static
// price-list file, the customers-and-markups file, their uploads and the two
// trigger scripts, in that order.
#pragma once

#include <cstdint>
#include <string>

#include "app/configuration.h"
#include "app/publisher.h"
#include "app/run_environment.h"
#include "app/run_outcome.h"

namespace et {

struct PriceListRunSettings {
  std::string price_list_file;     // CAT_EXPPRVEN_NOMEFILE
  std::string price_list_trigger;  // CAT_EXPPRVEN_SCRIPT
  std::int32_t price_band = 0;     // CAT_EXPPRVEN_FASCIA: the reference price band
  std::string customers_file;      // CAT_EXPPRVEN_NOMEFILE2
  std::string customers_trigger;   // CAT_EXPPRVEN_SCRIPT2
  std::int32_t default_band = 0;   // FasciaDefault; 0 when missing or invalid
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
