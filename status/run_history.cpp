#include "status/run_history.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "platform/error.h"
#include "platform/file_lock.h"
#include "platform/paths.h"
#include "platform/text_file.h"
#include "status/redaction.h"

namespace et {
namespace {

using Json = nlohmann::ordered_json;

// Runs ending together take turns for this long at most; the writes take
// milliseconds.
constexpr std::chrono::seconds kLockWait(10);
constexpr const char* kLockFileName = ".exporttotale_runs.lock";

std::string Clean(std::string_view text) { return Redacted(text, {}); }

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

}  // namespace

std::string RunRecordToJson(const RunRecord& record) {
  Json json;
  json["start"] = FormatIso8601(record.start);
  json["end"] = FormatIso8601(record.end);
  json["duration_seconds"] = std::chrono::duration<double>(record.end - record.start).count();
  json["run"] = record.run;
  json["outcome"] = std::string(OutcomeName(record.outcome));
  json["exit_status"] = record.exit_status;
  json["message"] = Clean(record.message);
  json["files"] = Json::array();
  for (const FileRecord& f : record.files) {
    json["files"].push_back({{"name", f.name},
                             {"lines", f.lines},
                             {"bytes", f.bytes},
                             {"uploaded", f.uploaded},
                             {"upload_error", Clean(f.upload_error)}});
  }
  json["triggers"] = Json::array();
  for (const TriggerRecord& t : record.triggers) {
    json["triggers"].push_back({{"key", t.key}, {"ok", t.ok}, {"error", Clean(t.error)}});
  }
  json["pings"] = Json::array();
  for (const PingRecord& p : record.pings) {
    json["pings"].push_back({{"ping", p.ping}, {"ok", p.ok}, {"error", Clean(p.error)}});
  }
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<RunRecord> RunRecordFromJson(std::string_view line) {
  const Json json = Json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (!json.is_object()) return std::nullopt;
  try {
    RunRecord record;
    const std::optional<WallTime> start = ParseIso8601(json.at("start").get<std::string>());
    const std::optional<WallTime> end = ParseIso8601(json.at("end").get<std::string>());
    const std::optional<RecordedOutcome> outcome =
        OutcomeFromName(json.at("outcome").get<std::string>());
    if (!start || !end || !outcome) return std::nullopt;
    record.start = *start;
    record.end = *end;
    // The whole seconds of the times lose what the duration keeps.
    if (json.contains("duration_seconds")) {
      record.end = record.start +
                   std::chrono::duration_cast<WallTime::duration>(
                       std::chrono::duration<double>(json.at("duration_seconds").get<double>()));
    }
    record.outcome = *outcome;
    record.run = json.at("run").get<std::string>();
    record.exit_status = json.at("exit_status").get<int>();
    record.message = json.value("message", "");
    for (const Json& f : json.value("files", Json::array())) {
      record.files.push_back(FileRecord{f.at("name").get<std::string>(), f.value("lines", 0LL),
                                        f.value("bytes", 0LL), f.value("uploaded", false),
                                        f.value("upload_error", "")});
    }
    for (const Json& t : json.value("triggers", Json::array())) {
      record.triggers.push_back(TriggerRecord{t.at("key").get<std::string>(), t.value("ok", false),
                                              t.value("error", "")});
    }
    for (const Json& p : json.value("pings", Json::array())) {
      record.pings.push_back(
          PingRecord{p.at("ping").get<std::string>(), p.value("ok", false), p.value("error", "")});
    }
    return record;
  } catch (const Json::exception&) {
    return std::nullopt;
  }
}

void AppendRunHistory(const std::string& directory, const RunRecord& record, std::size_t keep) {
  const std::string dir = WithTrailingSeparator(directory);
  const std::string path = dir + kRunHistoryFileName;
  const std::optional<FileLock> lock = FileLock::Acquire(dir + kLockFileName, kLockWait);
  if (!lock) throw IoError("Storico delle esecuzioni " + path + " bloccato da un'altra esecuzione");

  const std::string previous = FileExists(path) ? ReadFileBytes(path) : std::string();
  const std::vector<std::string_view> lines = Lines(previous);
  const std::size_t kept = keep == 0 ? 0 : std::min(lines.size(), keep - 1);
  std::string text;
  for (std::size_t i = lines.size() - kept; i < lines.size(); ++i) {
    text.append(lines[i]);
    text += '\n';
  }
  if (keep > 0) text += RunRecordToJson(record) + '\n';
  ReplaceFileAtomically(path, text);
}

RunHistory ReadRunHistory(const std::string& directory) {
  const std::string path = WithTrailingSeparator(directory) + kRunHistoryFileName;
  RunHistory history;
  if (!FileExists(path)) return history;
  const std::string text = ReadFileBytes(path);
  for (const std::string_view line : Lines(text)) {
    if (std::optional<RunRecord> record = RunRecordFromJson(line)) {
      history.runs.push_back(std::move(*record));
    } else {
      ++history.unreadable_lines;
    }
  }
  return history;
}

}  // namespace et
