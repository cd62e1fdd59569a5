// The run log logQuorvandelix.txt in the export directory: one line per
// recorded event (date, a blank, time, two blanks, the message).
#pragma once

#include <string>

#include "platform/regional.h"

namespace et {

inline constexpr const char* kRunLogFileName = "logQuorvandelix.txt";

class RunLog {
 public:
  RunLog(const std::string& export_directory, const Clock& clock, const RegionalSettings& regional);

  // Appends one stamped line. Every call opens, writes and closes the file, so
  // a line is on disk as soon as the call returns. Raises IoError.
  void Append(const std::string& message) const;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  const Clock& clock_;
  const RegionalSettings& regional_;
};

}  // namespace et
