// The record of one run, whatever its end: what it was, how it ended, and
// what became of each file, trigger and monitoring ping. The status files
// and the history are written from it, and `exporttotale-admin stato` reads
// it back.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wall_clock.h"

namespace et {

enum class RecordedOutcome {
  kCompleted,  // every step ran (failed uploads and stock triggers included)
  kFailed,     // a step failed, or a file was held back
  kHalted,     // stopped early with a message: configuration, database, error
  kStopped,    // ended by a stop signal
};

// "completed", "failed", "halted", "stopped": the names in the history.
std::string_view OutcomeName(RecordedOutcome outcome);
std::optional<RecordedOutcome> OutcomeFromName(std::string_view name);

struct FileRecord {
  std::string name;     // the file's name, as uploaded
  long long lines = 0;  // data lines: the header line is not counted
  long long bytes = 0;
  bool uploaded = false;
  std::string upload_error;  // why it was not uploaded (empty when it was)
};

struct TriggerRecord {
  std::string key;  // the settings key that holds the URL; never the URL
  bool ok = false;
  std::string error;
};

struct PingRecord {
  std::string ping;  // "start", "success" or "fail"
  bool ok = false;
  std::string error;
};

struct RunRecord {
  std::string run;  // "giacenze", "listini" or "promo"
  WallTime start{};
  WallTime end{};
  RecordedOutcome outcome = RecordedOutcome::kHalted;
  int exit_status = 0;  // as a POSIX parent sees it: 232 or 233
  std::string message;  // what halted or failed the run; empty otherwise
  std::vector<FileRecord> files;
  std::vector<TriggerRecord> triggers;
  std::vector<PingRecord> pings;

  // The file of that name, added when the run has none yet.
  FileRecord& File(const std::string& name);
};

// The run kinds' names, as the labels and the history use them.
inline constexpr const char* kStockRunName = "giacenze";
inline constexpr const char* kPriceListRunName = "listini";
inline constexpr const char* kPromoStockRunName = "promo";

}  // namespace et
