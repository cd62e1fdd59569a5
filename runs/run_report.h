// What a run tells the outside about itself besides its exit status: the
// record of the run (status files and history), the pings of a monitoring
// service, and the guard that holds back a file that collapsed. One report
// lives for the whole process, from before the configuration is read to
// after the run has ended, however it ended.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"
#include "publish/monitoring_ping.h"
#include "publish/publication_guard.h"
#include "publish/publisher.h"
#include "publish/run_log.h"
#include "runs/run_outcome.h"
#include "runs/settings_declaration.h"
#include "status/run_record.h"

namespace et {

class RunReport {
 public:
  // Starts the record of a run now; `run` is the kind's name
  // (kStockRunName, ...). `ui` receives the notices (a failed ping, a
  // held-back file, a status that cannot be written).
  RunReport(std::string run, UserInterface& ui);
  ~RunReport();
  RunReport(const RunReport&) = delete;
  RunReport& operator=(const RunReport&) = delete;

  // The user interface the run is to use: the one given, keeping the last
  // message it showed, since the halts of the configuration chain are
  // messages rather than errors.
  UserInterface& Ui();

  // The export directory, once the configuration chain has read it.
  void SetExportDirectory(const std::string& export_directory);

  // A text never to be written into the status: a password, or the password
  // of a URL's credentials (given the URL). Texts of fewer than four
  // characters are not looked for.
  void AddSecret(const std::string& secret);
  void AddUrlSecret(const std::string& url);

  // Reads the run's settings keys in one go and, with the monitoring URL
  // among them (CAT_URL_MONITORAGGIO; empty: no pings), sends the start
  // ping, before anything can fail on the values. Raises the errors of the
  // read.
  SettingValues ReadSettings(SettingsTable& table, const SettingKeys& keys);

  // The guard of this run's files: `max_drop_percent` 1 to 100, or 0 for
  // none; kPublishAnywayVariable lifts it for one run.
  void SetMaxDrop(int max_drop_percent);

  // Uploads the file the run just wrote (`header_lines` lines of it are no
  // data) unless the guard holds it back, and records what became of it.
  // False when it was held back: its trigger must not be requested, and the
  // run does not complete. A failed upload is the publisher's to log and
  // returns true, as the run goes on.
  bool Publish(Publisher& publisher, const RunLog& log, const std::string& path, int header_lines);

  // Does `request`, the request of the trigger whose URL (`url`) the
  // settings key `key` holds, and records its outcome under the key's name;
  // a failure is raised again.
  void RequestTrigger(std::string_view key, const std::string& url,
                      const std::function<void()>& request);

  // The outcome of the run's steps, made a failure when the guard held a
  // file back.
  RunOutcome WithHeldBackFiles(RunOutcome steps_outcome) const;

  // The message that ended the run, when it did not complete; the first one
  // counts.
  void SetMessage(const std::string& message);

  // The end of the run: the last ping (success or fail), then the status
  // files in their directory. Never raises: what fails is a notice.
  void Finish(RecordedOutcome outcome, int exit_code);

 private:
  class MessageKeepingUi;

  void StartMonitoring(const std::string& monitoring_url);
  void Ping(PingEvent event, std::chrono::milliseconds time_limit);
  std::string Clean(const std::string& text) const;

  UserInterface& ui_;
  std::unique_ptr<MessageKeepingUi> kept_ui_;
  RunRecord record_;
  std::string export_directory_;
  std::vector<std::string> secrets_;
  std::string monitoring_url_;
  int max_drop_percent_ = 0;
  bool held_back_ = false;
  bool finished_ = false;
};

}  // namespace et
