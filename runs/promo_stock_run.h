// The promo-at-stock run "-s": the quantities still available at the
// promotional price of one price list, their upload and trigger script.
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

struct PromoStockRunSettings {
  std::string file_name;        // CAT_EXPPROMOSTOCK_NOMEFILE
  std::string trigger_url;      // CAT_EXPPROMOSTOCK_SCRIPT
  std::int32_t price_list = 0;  // ListinoStock; never 0
  FtpSettings ftp;
  std::chrono::seconds trigger_timeout{0};
  int max_drop_percent = 0;  // CAT_CALO_MASSIMO; 0: no guard

  // The keys the run reads, in their order.
  static const SettingKeys& Keys();
  // Checks the values in the keys' order; raises Error with the message of
  // the first that is missing or invalid.
  static PromoStockRunSettings Parse(const SettingValues& values);
  static PromoStockRunSettings Read(SettingsTable& table) {
    return Parse(SettingValues::Read(table, Keys()));
  }
};

// The run stops at the first failing step and reports it on standard output
// only: the scheduler reads the exit status, the operator the line. A failed
// upload is in the run log and the run goes on. A file the guard holds back
// is neither uploaded nor triggered, and the run fails.
RunOutcome RunPromoStockExport(Configuration& configuration, const RunEnvironment& env,
                               RunReport& report);

}  // namespace et
