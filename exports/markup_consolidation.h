// The markup consolidation of the price-list run: recomputes INFO1 (highest
// markup valid today, as text) and INFO2 (2 when the markup list holds several
// distinct markups) of every customer from the markup price list of its price
// band, before the customers-and-markups file publishes them.
#pragma once

#include <cstdint>

#include "fb/attachment.h"
#include "platform/regional.h"

namespace et {

// Error prefixes; the database's message follows a CR.
inline constexpr const char* kResetFailed = "Fallito reset Info1-Info2 clienti ";
inline constexpr const char* kPresetFailed = "Fallito preset Info1-Info2 clienti fascia default";
inline constexpr const char* kUpdateFailed = "Fallito aggiornamento Info1-Info2 clienti ";

// Resets every customer, presets those of `default_band` and those without
// a band (INFO1 0, INFO2 NULL), then writes the computed values of every band
// whose markup list has a markup valid today; markups are formatted
// "#####0.00" with the decimal separator of `rs`. Runs in one snapshot,
// no-wait transaction, committed only when every statement succeeded: on any
// error it is rolled back, so every customer keeps the values it had, and the
// error is raised (with its prefix for the reset, preset and update). A stop
// request ends it the same way at the next band, as StopRequestedError.
void ConsolidateMarkups(fb::Attachment& attachment, std::int32_t default_band,
                        const RegionalSettings& rs);

}  // namespace et
