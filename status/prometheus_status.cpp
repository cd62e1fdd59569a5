#include "status/prometheus_status.h"

#include <charconv>
#include <system_error>

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/text_file.h"
#include "status/redaction.h"

namespace et {
namespace {

constexpr std::string_view kLastSuccess = "exporttotale_last_success_timestamp_seconds";

// A label value as the format wants it: backslash, double quote and line feed
// escaped.
std::string EscapeLabel(std::string_view value) {
  std::string out;
  for (const char c : value) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

// Numbers in the C form whatever the process locale: "1765332003.125".
std::string Number(double value, int decimals) {
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return std::string(text, result.ptr);
}

class Exposition {
 public:
  explicit Exposition(const std::string& run) : run_label_("run=\"" + EscapeLabel(run) + "\"") {}

  void Family(std::string_view name, std::string_view help) {
    text_ += "# HELP ";
    text_ += name;
    text_ += ' ';
    text_ += help;
    text_ += "\n# TYPE ";
    text_ += name;
    text_ += " gauge\n";
    name_ = name;
  }

  // One sample of the current family; `label` is "name" and `value` its
  // value, or both empty.
  void Sample(std::string_view label, std::string_view label_value, const std::string& value) {
    text_ += name_;
    text_ += '{';
    text_ += run_label_;
    if (!label.empty()) {
      text_ += ',';
      text_ += label;
      text_ += "=\"";
      text_ += EscapeLabel(Redacted(label_value, {}));
      text_ += '"';
    }
    text_ += "} ";
    text_ += value;
    text_ += '\n';
  }

  const std::string& Text() const { return text_; }

 private:
  std::string run_label_;
  std::string name_;
  std::string text_;
};

}  // namespace

std::string PrometheusStatusFileName(std::string_view run) {
  return "exporttotale_" + std::string(run) + ".prom";
}

std::string FormatPrometheusStatus(const RunRecord& record, std::optional<double> last_success) {
  const bool completed = record.outcome == RecordedOutcome::kCompleted;
  const double end = EpochSeconds(record.end);
  Exposition out(record.run);

  out.Family("exporttotale_last_run_timestamp_seconds",
             "When the last run ended, in seconds since the epoch.");
  out.Sample({}, {}, Number(end, 3));
  out.Family(kLastSuccess,
             "When the last completed run ended, in seconds since the epoch (0: none recorded).");
  out.Sample({}, {}, Number(completed ? end : last_success.value_or(0), 3));
  out.Family("exporttotale_last_run_duration_seconds", "How long the last run took, in seconds.");
  out.Sample({}, {}, Number(EpochSeconds(record.end) - EpochSeconds(record.start), 3));
  out.Family("exporttotale_last_run_exit_status",
             "Exit status of the last run (232 completed, 233 not completed).");
  out.Sample({}, {}, std::to_string(record.exit_status));
  out.Family("exporttotale_last_run_completed", "1 when the last run completed, 0 otherwise.");
  out.Sample({}, {}, completed ? "1" : "0");

  if (!record.files.empty()) {
    out.Family("exporttotale_file_lines",
               "Data lines (the header not counted) of each file the last run wrote.");
    for (const FileRecord& f : record.files) out.Sample("file", f.name, std::to_string(f.lines));
    out.Family("exporttotale_file_bytes", "Size in bytes of each file the last run wrote.");
    for (const FileRecord& f : record.files) out.Sample("file", f.name, std::to_string(f.bytes));
    out.Family("exporttotale_file_uploaded",
               "1 when the last run uploaded the file, 0 when it did not.");
    for (const FileRecord& f : record.files) out.Sample("file", f.name, f.uploaded ? "1" : "0");
  }
  if (!record.triggers.empty()) {
    out.Family("exporttotale_trigger_ok",
               "1 when the last run's request of the trigger (named by its settings key) "
               "succeeded, 0 otherwise.");
    for (const TriggerRecord& t : record.triggers) out.Sample("trigger", t.key, t.ok ? "1" : "0");
  }
  if (!record.pings.empty()) {
    out.Family("exporttotale_ping_ok",
               "1 when the last run's monitoring ping was answered with success, 0 otherwise.");
    for (const PingRecord& p : record.pings) out.Sample("ping", p.ping, p.ok ? "1" : "0");
  }
  return out.Text();
}

std::optional<double> ReadLastSuccess(std::string_view exposition) {
  std::size_t at = 0;
  while (at < exposition.size()) {
    std::size_t end = exposition.find('\n', at);
    if (end == std::string_view::npos) end = exposition.size();
    const std::string_view line = exposition.substr(at, end - at);
    at = end + 1;
    if (line.substr(0, kLastSuccess.size()) != kLastSuccess) continue;
    const std::size_t space = line.rfind(' ');
    if (space == std::string_view::npos) continue;
    double value = 0;
    const auto result = std::from_chars(line.data() + space + 1, line.data() + line.size(), value);
    if (result.ec == std::errc() && result.ptr == line.data() + line.size()) return value;
  }
  return std::nullopt;
}

void WritePrometheusStatus(const std::string& directory, const RunRecord& record) {
  const std::string path = WithTrailingSeparator(directory) + PrometheusStatusFileName(record.run);
  std::optional<double> last_success;
  if (record.outcome != RecordedOutcome::kCompleted && FileExists(path)) {
    try {
      last_success = ReadLastSuccess(ReadFileBytes(path));
    } catch (const IoError&) {
      // An unreadable previous file holds no success this file could keep.
    }
  }
  ReplaceFileAtomically(path, FormatPrometheusStatus(record, last_success));
}

}  // namespace et
