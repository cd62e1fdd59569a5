// The informational arguments of exporttotale: --help and --version print
// and end the process before anything else happens (no database, no file).
#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace et {

// The version of this build, as "exporttotale 1.1.0".
std::string VersionLine();

// When the first argument asks for the usage (--help, -h) or the version
// (--version, -V), prints it to `out` and returns the exit status (0, or 1
// when `out` cannot be written). Any other argument, or none, returns
// nothing: the caller goes on with a run.
std::optional<int> HandleInformationalArguments(int argc, const char* const* argv,
                                                std::ostream& out);

}  // namespace et
