#include "app/run.h"

#include "app/configuration.h"
#include "app/price_list_run.h"
#include "app/promo_stock_run.h"
#include "app/stock_run.h"

namespace et {

RunKind RunKindFromArguments(const std::vector<std::string>& args) {
  if (args.empty()) return RunKind::kStock;
  if (args.front() == "-p") return RunKind::kPriceList;
  if (args.front() == "-s") return RunKind::kPromoStock;
  return RunKind::kStock;
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
