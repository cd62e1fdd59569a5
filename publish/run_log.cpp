#include "publish/run_log.h"

#include "platform/paths.h"
#include "platform/text_file.h"

namespace et {

RunLog::RunLog(const std::string& export_directory, const Clock& clock,
               const RegionalSettings& regional)
    : path_(WithTrailingSeparator(export_directory) + kRunLogFileName),
      clock_(clock),
      regional_(regional) {}

void RunLog::Append(const std::string& message) const {
  // One reading of the clock, so date and time belong to the same instant.
  const std::tm now = clock_.Now();
  TextFileWriter writer(path_, TextFileWriter::Mode::kAppend);
  writer.WriteLine(FormatShortDate(now, regional_) + " " + FormatLongTime(now, regional_) + "  " +
                   message);
  writer.Close();
}

}  // namespace et
