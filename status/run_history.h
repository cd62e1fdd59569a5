// The history of the runs: "exporttotale_runs.jsonl", one JSON object per
// run, oldest first, kept to the last runs. `exporttotale-admin stato` reads
// it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "status/run_record.h"

namespace et {

inline constexpr const char* kRunHistoryFileName = "exporttotale_runs.jsonl";
inline constexpr std::size_t kRunHistoryLength = 1000;

// One line of the history (no line end): start and end as ISO 8601 local
// times with their offset, the run kind, outcome, exit status, message,
// files, triggers and pings. Texts that are not UTF-8 have their bad bytes
// replaced.
std::string RunRecordToJson(const RunRecord& record);

// The record of one history line; nullopt when the line is no such record.
std::optional<RunRecord> RunRecordFromJson(std::string_view line);

// Appends the record to the history in `directory`, dropping the oldest
// runs beyond `keep`. The history is replaced atomically, under a lock that
// runs ending at the same time take in turn. Raises Error (IoError when a
// file cannot be read or written).
void AppendRunHistory(const std::string& directory, const RunRecord& record,
                      std::size_t keep = kRunHistoryLength);

struct RunHistory {
  std::vector<RunRecord> runs;  // oldest first
  std::size_t unreadable_lines = 0;
};

// The history in `directory`; empty when there is none. Raises IoError when
// the file exists but cannot be read.
RunHistory ReadRunHistory(const std::string& directory);

}  // namespace et
