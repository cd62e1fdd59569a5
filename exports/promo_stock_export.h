// The promo-at-stock file: for every article and extension of a promotional
// price list with a promotion in force today, the quantity still available at
// the promotional price and that price.
#pragma once

#include <cstdint>
#include <string>

#include "fb/attachment.h"
#include "platform/regional.h"

namespace et {

inline constexpr const char* kPromoStockHeader = "Codice;Estensione;QStockUtile;PrezzoStock";

// Writes the file at `path` (created anew) from price list `price_list` of the
// business database and returns the path. Reads in one transaction with the
// server's defaults, rolled back at the end; nothing is written to the
// database. On an error (raised as the database's or the file's error) the
// file at `path` stays as it was before the run: the new file takes its name
// only once complete. A stop request ends it at the next pair, as
// StopRequestedError.
std::string WritePromoStockFile(const std::string& path, fb::Attachment& attachment,
                                std::int32_t price_list, const RegionalSettings& rs);

}  // namespace et
