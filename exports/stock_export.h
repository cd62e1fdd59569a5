// The stock availability file ESTRAZQ.CSV: one line per article with the
// quantity available for sale over the three selling warehouses.
#pragma once

#include <memory>
#include <string>

#include "dbconfig/nuvini22.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/regional.h"

namespace et {

inline constexpr const char* kFileGiacenze = "ESTRAZQ.CSV";

// Writes the file at `path` and returns the path. The file is created (empty)
// before the export type is read from CAT_TIPOEXPPERGIACENZE; only type "1"
// has a quantity expression, any other leaves the file empty. The statement
// runs in `transaction` and is kept in `query`, which stays open.
std::string EsportaGiacenze(const std::string& path, TNuvIni22& store, fb::Transaction& transaction,
                            std::unique_ptr<fb::Statement>& query, const RegionalSettings& rs);

}  // namespace et
