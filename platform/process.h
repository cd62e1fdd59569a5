// The process: its standard output lines and its exit.
#pragma once

#include <string_view>

namespace et {

// Writes the UTF-8 text converted to Windows-1252 and CR LF to standard
// output, flushed at once. Raises IoError when standard output cannot be
// written (closed or not usable).
void WriteStdoutLine(std::string_view utf8);

}  // namespace et
