// The customers-and-markups file of the price-list run: every customer's code
// with the INFO1 and INFO2 that the markup consolidation has just committed.
#pragma once

#include <string>

#include "fb/attachment.h"
#include "platform/regional.h"

namespace et {

// Writes the file at `path` and returns the path. The header holds the
// statement's column names; each line the texts of one customer's values
// (NULL empty, numbers with the decimal separator of `rs`), joined by ";"
// without any quoting. The statement runs, in a transaction of its own that
// is rolled back, before the file is created: a failing statement leaves an
// earlier file untouched. A stop request (StopRequestedError) ends it at the
// next row, the earlier file untouched too.
std::string WriteCustomersFile(const std::string& path, fb::Attachment& attachment,
                               const RegionalSettings& rs);

}  // namespace et
