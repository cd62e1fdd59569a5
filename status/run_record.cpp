#include "status/run_record.h"

#include <algorithm>

namespace et {
namespace {

struct OutcomeNames {
  RecordedOutcome outcome;
  std::string_view name;
};
constexpr OutcomeNames kOutcomeNames[] = {
    {RecordedOutcome::kCompleted, "completed"},
    {RecordedOutcome::kFailed, "failed"},
    {RecordedOutcome::kHalted, "halted"},
    {RecordedOutcome::kStopped, "stopped"},
};

}  // namespace

std::string_view OutcomeName(RecordedOutcome outcome) {
  for (const auto& entry : kOutcomeNames) {
    if (entry.outcome == outcome) return entry.name;
  }
  return "halted";
}

std::optional<RecordedOutcome> OutcomeFromName(std::string_view name) {
  for (const auto& entry : kOutcomeNames) {
    if (entry.name == name) return entry.outcome;
  }
  return std::nullopt;
}

FileRecord& RunRecord::File(const std::string& name) {
  const auto found =
      std::find_if(files.begin(), files.end(), [&](const FileRecord& f) { return f.name == name; });
  if (found != files.end()) return *found;
  FileRecord& added = files.emplace_back();
  added.name = name;
  return added;
}

}  // namespace et
