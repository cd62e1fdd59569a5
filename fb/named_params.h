// Named parameters in statement text: ":NAME" markers become the positional
// "?" markers the engine understands.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace et::fb {

// Statement text with positional markers, and the names behind them.
struct ParsedSql {
  std::string text;  // the statement with every parameter marker as "?"
  // One entry per "?" of text, in order: the marker's name in upper case, or
  // empty for a "?" that the statement already had.
  std::vector<std::string> markers;
};

// Replaces each ":NAME" (a letter, then letters, digits, '_' or '$') that
// stands outside '...' literals (also q'{...}' ones), "..." quoted
// identifiers, -- line comments and /* */ comments by "?". Everything else
// is kept byte for byte.
ParsedSql ParseNamedParams(std::string_view sql);

}  // namespace et::fb
