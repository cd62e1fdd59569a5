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

RunOutcome Run(RunKind kind, const RunEnvironment& env) {
  std::optional<Configuration> configuration = LoadConfiguration(env);
  if (!configuration) return RunOutcome::kHalted;
  switch (kind) {
    case RunKind::kPriceList:
      return RunPriceListExport(*configuration, env);
    case RunKind::kPromoStock:
      return RunPromoStockExport(*configuration, env);
    case RunKind::kStock:
      break;
  }
  return RunStockExport(*configuration, env);
}

}  // namespace et
