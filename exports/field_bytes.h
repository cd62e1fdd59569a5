// The bytes an export file gets for a column of the current row, formatted
// straight from the row as the database delivered it.
#pragma once

#include <cstddef>
#include <string>

#include "fb/statement.h"
#include "platform/regional.h"

namespace et {

// Appends the current row's value at `column` as a text file holds it: the
// Windows-1252 bytes of ValueToText's form. Texts of a single-byte set are
// copied as stored and integers and NUMERICs formatted in place, so a loop
// that reuses `out` allocates nothing for them. Raises ProgrammingError when
// out of range or without a current row.
void AppendFieldBytes(const fb::Statement& statement, std::size_t column,
                      const RegionalSettings& rs, std::string& out);

}  // namespace et
