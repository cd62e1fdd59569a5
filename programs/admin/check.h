// "exporttotale-admin check": the configuration chain of one run kind walked
// step by step, without exporting or requesting anything, so that an
// administrator sees what a run would stumble on before the scheduler starts
// one.
#pragma once

#include <ostream>
#include <string>

#include "runs/run.h"

namespace et {

// Walks the chain for `kind` from the parameters file at `parameters_path`
// and writes one line per step to `out`: "STEP ... ok" or "STEP ... ERRORE:
// REASON". A step whose input a failed step should have given is not tried;
// steps that do not depend on each other are all tried. Nothing is created
// or written: databases are only attached (a database that cannot be
// attached is a failed step; no server name is asked for), the export
// directory gets a temporary file that is removed at once, the FTP server
// sees a log-in, a change of directory, the upload of a small probe file
// exactly as a run stores its files (twice, so that a refused overwrite or
// rename shows), its deletion and QUIT, and trigger URLs are parsed and their
// host names resolved but never requested. Without try_upload the FTP server
// sees the log-in and the change of directory only. True when every step
// passed.
bool CheckConfiguration(RunKind kind, const std::string& parameters_path, std::ostream& out,
                        bool try_upload = true);

}  // namespace et
