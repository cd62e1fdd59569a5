#include "runs/run_report.h"

#include <algorithm>
#include <exception>

#include "platform/paths.h"
#include "platform/stop_signals.h"
#include "platform/text_file.h"
#include "runs/common_settings.h"
#include "status/redaction.h"
#include "status/status_directory.h"

namespace et {
namespace {

// What a stopped run keeps back of its grace for writing its status after
// the last ping.
constexpr std::chrono::milliseconds kStatusWriteReserve(500);

constexpr std::size_t kShortestSecret = 4;

}  // namespace

// Passes everything on, and keeps the last message shown.
class RunReport::MessageKeepingUi final : public UserInterface {
 public:
  explicit MessageKeepingUi(UserInterface& ui) : ui_(ui) {}
  void ShowErrorMessage(const std::string& text) override {
    last_ = text;
    ui_.ShowErrorMessage(text);
  }
  void ShowMessage(const std::string& text) override {
    last_ = text;
    ui_.ShowMessage(text);
  }
  void ShowNotice(const std::string& text) override { ui_.ShowNotice(text); }
  void ShowHaltMessage(const std::string& message) override {
    last_ = message;
    ui_.ShowHaltMessage(message);
  }
  PromptOutcome ShowPrompt(TwoFieldPrompt& prompt) override { return ui_.ShowPrompt(prompt); }
  void WaitBeforeExit() override { ui_.WaitBeforeExit(); }

  const std::string& Last() const { return last_; }

 private:
  UserInterface& ui_;
  std::string last_;
};

RunReport::RunReport(std::string run, UserInterface& ui)
    : ui_(ui), kept_ui_(std::make_unique<MessageKeepingUi>(ui)) {
  record_.run = std::move(run);
  record_.start = WallNow();
}

RunReport::~RunReport() = default;

UserInterface& RunReport::Ui() { return *kept_ui_; }

void RunReport::SetExportDirectory(const std::string& export_directory) {
  export_directory_ = export_directory;
}

void RunReport::AddSecret(const std::string& secret) {
  // None of the libraries repeats a password in its messages; this is the
  // safety net. A very short one would blank ordinary words and numbers of
  // every message, so it is left out.
  if (secret.size() >= kShortestSecret) secrets_.push_back(secret);
}

void RunReport::AddUrlSecret(const std::string& url) { AddSecret(UrlPassword(url)); }

std::string RunReport::Clean(const std::string& text) const { return Redacted(text, secrets_); }

SettingValues RunReport::ReadSettings(SettingsTable& table, const SettingKeys& keys) {
  SettingValues values = SettingValues::Read(table, keys);
  StartMonitoring(ParseMonitoringUrl(values));
  return values;
}

void RunReport::StartMonitoring(const std::string& monitoring_url) {
  monitoring_url_ = monitoring_url;
  AddUrlSecret(monitoring_url);
  if (!monitoring_url_.empty()) Ping(PingEvent::kStart, kPingTimeLimit);
}

void RunReport::Ping(PingEvent event, std::chrono::milliseconds time_limit) {
  PingRecord& ping = record_.pings.emplace_back();
  ping.ping = std::string(PingEventName(event));
  try {
    SendPing(PingUrl(monitoring_url_, event), time_limit);
    ping.ok = true;
  } catch (const std::exception& e) {
    ping.error = Clean(e.what());
    // The URL itself may be a secret of the monitoring service: only the
    // kind of ping is named.
    ui_.ShowNotice("Ping di monitoraggio " + ping.ping + " non riuscito: " + ping.error);
  }
}

void RunReport::SetMaxDrop(int max_drop_percent) { max_drop_percent_ = max_drop_percent; }

bool RunReport::Publish(Publisher& publisher, const RunLog& log, const std::string& path,
                        int header_lines) {
  const FileMeasure measure = MeasureTextFile(path);
  FileRecord& file = record_.File(FileNamePart(path));
  file.bytes = measure.bytes;
  file.lines = std::max<long long>(0, measure.lines - header_lines);

  PublicationGuard guard(export_directory_, record_.run, max_drop_percent_,
                         PublishAnywayRequested());
  const GuardVerdict verdict = guard.Check(file.name, file.lines);
  if (!verdict.publish) {
    held_back_ = true;
    file.upload_error = verdict.reason;
    SetMessage(verdict.reason);
    ui_.ShowNotice(verdict.reason);
    log.Append(verdict.reason);
    return false;
  }
  if (!verdict.reason.empty()) {
    ui_.ShowNotice(std::string("Pubblicato comunque (") + kPublishAnywayVariable +
                   "=1): " + verdict.reason);
  }
  const UploadResult result = publisher.Upload(path);
  file.uploaded = result.uploaded;
  file.upload_error = Clean(result.error);
  // The run log's reason holds a CR after its prefix; the status keeps one
  // line.
  std::replace(file.upload_error.begin(), file.upload_error.end(), '\r', ' ');
  if (result.uploaded) {
    try {
      guard.RecordUpload(file.name, file.lines);
    } catch (const std::exception& e) {
      // The file is on the web side; only the next check loses its measure.
      ui_.ShowNotice(std::string("Righe caricate non registrate: ") + e.what());
    }
  }
  return true;
}

void RunReport::RequestTrigger(std::string_view key, const std::string& url,
                               const std::function<void()>& request) {
  AddUrlSecret(url);
  TriggerRecord& trigger = record_.triggers.emplace_back();
  trigger.key = std::string(key);
  try {
    request();
    trigger.ok = true;
  } catch (const std::exception& e) {
    trigger.error = Clean(e.what());
    throw;
  }
}

RunOutcome RunReport::WithHeldBackFiles(RunOutcome steps_outcome) const {
  return steps_outcome == RunOutcome::kCompleted && held_back_ ? RunOutcome::kFailed
                                                               : steps_outcome;
}

void RunReport::SetMessage(const std::string& message) {
  if (record_.message.empty()) record_.message = Clean(message);
}

void RunReport::Finish(RecordedOutcome outcome, int exit_code) {
  if (finished_) return;
  finished_ = true;
  record_.outcome = outcome;
  record_.exit_status = exit_code & 0xFF;  // what a POSIX parent sees
  if (outcome == RecordedOutcome::kHalted) SetMessage(kept_ui_->Last());
  if (outcome == RecordedOutcome::kStopped) record_.message = StopMessage();

  if (!monitoring_url_.empty()) {
    const PingEvent event =
        outcome == RecordedOutcome::kCompleted ? PingEvent::kSuccess : PingEvent::kFail;
    std::chrono::milliseconds limit = kPingTimeLimit;
    if (const auto deadline = StopDeadline()) {
      // A stopped run has its grace, and the status still to write in it.
      limit = std::min(limit, std::chrono::duration_cast<std::chrono::milliseconds>(
                                  *deadline - std::chrono::steady_clock::now()) -
                                  kStatusWriteReserve);
    }
    if (limit.count() > 0) {
      Ping(event, limit);
    } else {
      PingRecord& ping = record_.pings.emplace_back();
      ping.ping = std::string(PingEventName(event));
      ping.error = "non inviato: tempo di arresto esaurito";
    }
  }

  record_.end = WallNow();
  const std::optional<std::string> directory = StatusDirectory(export_directory_);
  if (!directory) return;
  try {
    WriteRunStatus(*directory, record_);
  } catch (const std::exception& e) {
    ui_.ShowNotice("Stato dell'esecuzione non scritto in " + *directory + ": " + e.what());
  }
}

}  // namespace et
