// What a run tells the outside about itself besides its exit status: the
// record of the run (status files and history), the pings of a monitoring
// service, and the guard that holds back a file that collapsed. One report
// lives for the whole process, from before the configuration is read to
// after the run has ended, however it ended.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"
#include "publish/monitoring_ping.h"
#include "publish/publication_guard.h"
#include "publish/publisher.h"
#include "publish/run_log.h"
#include "status/run_record.h"

namespace et {

// The settings keys of the report: the base URL of the monitoring pings, and
// the largest drop in data lines, in percent, that a file may show against
// its last successful upload.
inline constexpr const char* kMonitoringUrlKey = "CAT_URL_MONITORAGGIO";
inline constexpr const char* kMaxDropKey = "CAT_CALO_MASSIMO";

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
  // of a URL's credentials (given the URL).
  void AddSecret(const std::string& secret);
  void AddUrlSecret(const std::string& url);

  // With the monitoring URL of the settings (empty: no pings): sends the
  // start ping.
  void StartMonitoring(const std::string& monitoring_url);

  // The guard of this run's files: `max_drop_percent` 1 to 100, or 0 for
  // none; kPublishAnywayVariable lifts it for one run.
  void SetMaxDrop(int max_drop_percent);

  // Uploads the file the run just wrote (`header_lines` lines of it are no
  // data) unless the guard holds it back, and records what became of it.
  // False when it was held back: its trigger must not be requested, and the
  // run does not complete. A failed upload is the publisher's to log and
  // returns true, as the run goes on.
  bool Publish(Publisher& publisher, const RunLog& log, const std::string& path, int header_lines);

  // Requests the trigger whose URL the settings key `key` holds, and records
  // the outcome under the key's name; a failure is raised again.
  void RequestTrigger(const Publisher& publisher, const std::string& key, const std::string& url);

  // True when the guard held a file of this run back.
  bool HeldBack() const { return held_back_; }

  // The message that ended the run, when it did not complete; the first one
  // counts.
  void SetMessage(const std::string& message);

  // The end of the run: the last ping (success or fail), then the status
  // files in their directory. Never raises: what fails is a notice.
  void Finish(RecordedOutcome outcome, int exit_code);

 private:
  class MessageKeepingUi;

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
