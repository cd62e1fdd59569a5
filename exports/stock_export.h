// The stock availability file ESTRAZQ.CSV: one line per article with the
// quantity available for sale over the three selling warehouses.
#pragma once

#include <string>

#include "fb/attachment.h"
#include "fb/transaction.h"
#include "platform/regional.h"

namespace et {

inline constexpr const char* kStockFileName = "ESTRAZQ.CSV";

// Writes the file at `path` (created anew) and returns the path. Only an
// installation that exports quantities (`with_quantities`, export type "1")
// has a statement; any other gets an empty file. The statement is prepared on
// `attachment` and runs in `transaction`. A stop request ends it at the next
// row with StopRequestedError, the file at `path` as it was before.
std::string WriteStockFile(const std::string& path, fb::Attachment& attachment,
                           fb::Transaction& transaction, bool with_quantities,
                           const RegionalSettings& rs);

}  // namespace et
