#include "programs/exporttotale/usage.h"

#include <string>
#include <string_view>

#include "programs/version.h"

namespace et {

namespace {

constexpr const char* kUsage =
    "Usage: exporttotale [-p | -s]\n"
    "       exporttotale --help | --version\n"
    "\n"
    "Unattended export of the business database to an online catalogue: writes the\n"
    "files of one run into the export directory (DIRCATINTERNET), uploads them by\n"
    "FTP and requests the catalogue's trigger scripts.\n"
    "\n"
    "Runs (only the first argument counts):\n"
    "  (none)         stock availability: ESTRAZQ.CSV\n"
    "  -p             price lists: customer markups recomputed, price-list and\n"
    "                 customers files\n"
    "  -s             promo at stock: quantities available at the promotional price\n"
    "  any other      stock availability, as with no argument\n"
    "  -h, --help     this help, then exit 0\n"
    "  -V, --version  the version, then exit 0\n"
    "\n"
    "Configuration: the parameters file PARAMETRIQUORVANDELIX.INI in the directory\n"
    "of the executable, section [CONFIG]; see exporttotale-admin.\n"
    "\n"
    "Exit status:\n"
    "  232  the run completed (exit code 1000)\n"
    "  233  the run stopped early or reported failure (exit code 1001)\n"
    "A stock run whose upload or trigger request failed still completes (232).\n"
    "\n"
    "Problems are reported on standard error (the program's messages), in the run\n"
    "log logQuorvandelix.txt in the export directory (failed FTP connections and\n"
    "uploads) and as lines on standard output (failed trigger requests, the message\n"
    "of a failed price-list or promo-at-stock run).\n";

}  // namespace

std::string VersionLine() { return std::string("exporttotale ") + kVersion; }

std::optional<int> HandleInformationalArguments(int argc, const char* const* argv,
                                                std::ostream& out) {
  if (argc < 2) return std::nullopt;
  const std::string_view first = argv[1];
  if (first == "--help" || first == "-h") {
    out << kUsage;
  } else if (first == "--version" || first == "-V") {
    out << VersionLine() << '\n';
  } else {
    return std::nullopt;
  }
  out.flush();
  return out ? 0 : 1;
}

}  // namespace et
