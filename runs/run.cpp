#include "runs/run.h"

#include "runs/configuration.h"
#include "runs/price_list_run.h"
#include "runs/promo_stock_run.h"
#include "runs/stock_run.h"

namespace et {

RunKind RunKindFromArguments(const std::vector<std::string>& args) {
  if (args.empty()) return RunKind::kStock;
  if (args.front() == "-p") return RunKind::kPriceList;
  if (args.front() == "-s") return RunKind::kPromoStock;
  return RunKind::kStock;
}

SettingKeys SettingKeysOf(RunKind kind) {
  SettingKeys keys = {ExportDirectoryKey()};
  switch (kind) {
    case RunKind::kPriceList:
      Append(keys, PriceListRunSettings::Keys());
      return keys;
    case RunKind::kPromoStock:
      Append(keys, PromoStockRunSettings::Keys());
      return keys;
    case RunKind::kStock:
      break;
  }
  Append(keys, StockRunSettings::Keys());
  return keys;
}

const char* RunStatusName(RunKind kind) {
  switch (kind) {
    case RunKind::kPriceList:
      return kPriceListRunName;
    case RunKind::kPromoStock:
      return kPromoStockRunName;
    case RunKind::kStock:
      break;
  }
  return kStockRunName;
}

RunOutcome Run(RunKind kind, const RunEnvironment& env, RunReport& report) {
  std::optional<Configuration> configuration = LoadConfiguration(env);
  if (!configuration) return RunOutcome::kHalted;
  report.SetExportDirectory(configuration->export_directory);
  switch (kind) {
    case RunKind::kPriceList:
      return RunPriceListExport(*configuration, env, report);
    case RunKind::kPromoStock:
      return RunPromoStockExport(*configuration, env, report);
    case RunKind::kStock:
      break;
  }
  return RunStockExport(*configuration, env, report);
}

}  // namespace et
