// The guard against publishing a file that collapsed: a stock file that
// suddenly holds 40 lines instead of 60,000 (a broken view, a restore done by
// half) is held back, so the web side keeps the last good one. The data
// lines that the last successful upload of each file sent are kept in the
// export directory, per run kind.
#pragma once

#include <optional>
#include <string>

namespace et {

inline constexpr const char* kPublishedLinesFileName = ".exporttotale_published.json";
// Set to "1", publishes the files of one run however much they shrank.
inline constexpr const char* kPublishAnywayVariable = "EXPORTTOTALE_PUBBLICA_COMUNQUE";

// True when kPublishAnywayVariable is "1".
bool PublishAnywayRequested();

// The reason for holding the file back when `current` data lines are fewer
// than `previous` by more than `max_drop_percent` percent of them; nullopt
// otherwise (and always when `max_drop_percent` is 0: no guard).
std::optional<std::string> CollapseReason(const std::string& file_name, long long previous,
                                          long long current, int max_drop_percent);

struct GuardVerdict {
  bool publish = true;
  // Set when the file shrank by more than the limit: why it is held back, or
  // (publish true) what the override let through.
  std::string reason;
};

class PublicationGuard {
 public:
  // `run`: the run kind's name ("giacenze", ...); `max_drop_percent`: 1 to
  // 100, or 0 for no guard (the counts are still kept).
  PublicationGuard(const std::string& export_directory, std::string run, int max_drop_percent,
                   bool publish_anyway);

  // Whether the file, with `data_lines` data lines, may be uploaded. A file
  // that no earlier upload of this run kind sent is always published.
  GuardVerdict Check(const std::string& file_name, long long data_lines) const;

  // Keeps the data lines of a file just uploaded, for the next runs' checks.
  // Raises IoError when the counts cannot be written.
  void RecordUpload(const std::string& file_name, long long data_lines);

 private:
  std::optional<long long> Previous(const std::string& file_name) const;

  std::string path_;
  std::string run_;
  int max_drop_percent_;
  bool publish_anyway_;
};

}  // namespace et
