// The price-list run "-p": settings check, markup consolidation, the static
// price-list file, the customers-and-markups file, their uploads and the two
// trigger scripts, in that order.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "publish/ftp_settings.h"
#include "runs/configuration.h"
#include "runs/run_environment.h"
#include "runs/run_outcome.h"
#include "runs/run_report.h"
#include "runs/settings_declaration.h"

namespace et {

struct PriceListRunSettings {
  std::string price_list_file;     // CAT_EXPPRVEN_NOMEFILE
  std::string price_list_trigger;  // CAT_EXPPRVEN_SCRIPT
  std::int32_t price_band = 0;     // CAT_EXPPRVEN_FASCIA: the reference price band
  std::string customers_file;      // CAT_EXPPRVEN_NOMEFILE2
  std::string customers_trigger;   // CAT_EXPPRVEN_SCRIPT2
  std::int32_t default_band = 0;   // FasciaDefault; 0 when missing or invalid
  FtpSettings ftp;
  std::chrono::seconds trigger_timeout{0};
  int max_drop_percent = 0;  // CAT_CALO_MASSIMO; 0: no guard

  // The keys the run reads, in their order.
  static const SettingKeys& Keys();
  // Checks the values in the keys' order; raises Error with the message of
  // the first that is missing or invalid.
  static PriceListRunSettings Parse(const SettingValues& values);
  // Raises Error when the export directory, where the run's files go, is
  // missing: the first thing the run checks.
  static void CheckExportDirectory(const std::string& export_directory);
  // The export directory first: nothing else is read when it is missing.
  static PriceListRunSettings Read(SettingsTable& table, const std::string& export_directory);
};

// Each step's failure ends the run with its message as one line on standard
// output. Failed uploads are in the run log and the run goes on. A file the
// guard holds back is neither uploaded nor triggered, and the run fails
// after the rest of it.
RunOutcome RunPriceListExport(Configuration& configuration, const RunEnvironment& env,
                              RunReport& report);

}  // namespace et
