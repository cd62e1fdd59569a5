// The static price-list file of the price-list run: one line per article
// priced for the reference price band, with its classifications, net price,
// three discounts and the PROMO cell of the quantity-scale net prices valid
// today.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fb/attachment.h"
#include "platform/regional.h"

namespace et {

inline constexpr const char* kPriceListHeader =
    "ARTICOLO;DESCRIZIONE;COD. CATEGORIA SCONTO;CATEGORIA SCONTO;COD. CATEGORIA ARTICOLO;"
    "CATEGORIA ARTICOLO;PREZZO NETTO;SCONTO 1;SCONTO 2;SCONTO 3;PROMO";

// Writes the file at `path` and returns the path. `band` is the reference
// price band, written into the statements in decimal. The export reads in a
// transaction of its own with the server's defaults and rolls it back.
// Database and file errors reach the caller with their own message; the file
// at `path` then stays as it was before the run, as it does when a stop
// request (StopRequestedError) ends the export at its next row.
std::string WritePriceListFile(const std::string& path, fb::Attachment& attachment,
                               std::int32_t band, const RegionalSettings& rs);

// The text of a cell as the web import wants it: every apostrophe becomes
// the acute accent, then every CR LF pair one blank, then any CR, LF or NUL
// left one blank. Nothing else changes.
std::string CleanCell(std::string_view text);

}  // namespace et
