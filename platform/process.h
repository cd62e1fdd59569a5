// The process: its standard output lines and its exit.
#pragma once

#include <string_view>

namespace et {

// Writes the text and CR LF to standard output, flushed at once. A terminal
// whose locale (LC_CTYPE of the environment) uses UTF-8 gets the UTF-8 text
// as it is; a file, a pipe and any other terminal get it converted to
// Windows-1252. Raises IoError when standard output cannot be
// written (closed or not usable).
void WriteStdoutLine(std::string_view utf8);

}  // namespace et
