#include "status/status_lines.h"

#include <charconv>
#include <chrono>
#include <map>

#include "status/redaction.h"

namespace et {
namespace {

std::string OneLine(std::string_view text) {
  std::string out = Redacted(text, {});
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  return out;
}

std::string_view OutcomeWords(RecordedOutcome outcome) {
  switch (outcome) {
    case RecordedOutcome::kCompleted:
      return "completata";
    case RecordedOutcome::kFailed:
      return "fallita";
    case RecordedOutcome::kHalted:
      return "arrestata";
    case RecordedOutcome::kStopped:
      return "interrotta";
  }
  return "arrestata";
}

std::string Seconds(WallTime::duration d) {
  char text[32];
  const double seconds = std::chrono::duration<double>(d).count();
  const auto result = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 1);
  return std::string(text, result.ptr) + " s";
}

}  // namespace

std::string FormatRunLine(const RunRecord& record) {
  std::string line = FormatIso8601(record.start) + " " + record.run + " " +
                     std::string(OutcomeWords(record.outcome)) + " (" +
                     std::to_string(record.exit_status) + ", " +
                     Seconds(record.end - record.start) + ")";
  if (!record.message.empty()) line += ": " + OneLine(record.message);
  for (const FileRecord& f : record.files) {
    line += "; " + OneLine(f.name) + " " + std::to_string(f.lines) + " righe " +
            std::to_string(f.bytes) + " byte ";
    line += f.uploaded ? "caricato" : "non caricato";
    if (!f.uploaded && !f.upload_error.empty()) line += " (" + OneLine(f.upload_error) + ")";
  }
  for (const TriggerRecord& t : record.triggers) {
    line += "; " + t.key + (t.ok ? " ok" : " errore");
    if (!t.ok && !t.error.empty()) line += " (" + OneLine(t.error) + ")";
  }
  for (const PingRecord& p : record.pings) {
    if (p.ok) continue;
    line += "; ping " + p.ping + " errore";
    if (!p.error.empty()) line += " (" + OneLine(p.error) + ")";
  }
  return line;
}

std::vector<std::string> FormatNewestRuns(const std::vector<RunRecord>& oldest_first,
                                          std::size_t count) {
  std::vector<std::string> lines;
  for (auto it = oldest_first.rbegin(); it != oldest_first.rend() && lines.size() < count; ++it) {
    lines.push_back(FormatRunLine(*it));
  }
  return lines;
}

bool NewestRunOfEveryKindCompleted(const std::vector<RunRecord>& oldest_first) {
  if (oldest_first.empty()) return false;
  std::map<std::string, RecordedOutcome> newest;
  for (const RunRecord& r : oldest_first) newest[r.run] = r.outcome;
  for (const auto& [run, outcome] : newest) {
    if (outcome != RecordedOutcome::kCompleted) return false;
  }
  return true;
}

}  // namespace et
