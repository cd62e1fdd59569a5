#include "programs/admin/check.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "dbconfig/business_database.h"
#include "dbconfig/location_file.h"
#include "dbconfig/opening_policy.h"
#include "dbconfig/parameters_file.h"
#include "dbconfig/settings_table.h"
#include "dbconfig/user_database.h"
#include "fb/error.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "fb/value.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "publish/errors.h"
#include "publish/ftp_host.h"
#include "publish/ftp_uploader.h"
#include "publish/masked_credentials.h"
#include "publish/trigger_url.h"
#include "publish/upload_probe.h"
#include "runs/common_settings.h"
#include "runs/price_list_run.h"
#include "runs/promo_stock_run.h"
#include "runs/stock_run.h"

namespace et {
namespace {

// The opener's user interface during a check: no message waits for Enter and
// the prompt for the server's name is declined (noted, so the failed step can
// say that a run would ask).
class CheckUserInterface final : public UserInterface {
 public:
  void ShowErrorMessage(const std::string&) override {}
  void ShowMessage(const std::string&) override {}
  void ShowNotice(const std::string&) override {}
  void ShowHaltMessage(const std::string&) override {}
  PromptOutcome ShowPrompt(TwoFieldPrompt&) override {
    prompt_declined_ = true;
    return PromptOutcome::kClosed;
  }
  void WaitBeforeExit() override {}

  bool PromptDeclined() const { return prompt_declined_; }

 private:
  bool prompt_declined_ = false;
};

// The lines of the check and the count of failed steps.
class Report {
 public:
  explicit Report(std::ostream& out) : out_(out) {}

  void Ok(const std::string& step, const std::string& note = {}) {
    out_ << step << " ... ok" << (note.empty() ? "" : " (" + note + ")") << std::endl;
  }
  // The engine's reasons span lines; each step keeps to one.
  void Fail(const std::string& step, const std::string& reason) {
    ++failures_;
    std::string line;
    for (char c : reason) {
      if (c != '\r' && c != '\n') {
        line += c;
      } else if (!line.empty() && line.back() != ' ') {
        line += ' ';
      }
    }
    out_ << step << " ... ERRORE: " << line << std::endl;
  }
  // A risk that does not stop a run: said, not counted as a failure.
  void Warn(const std::string& step, const std::string& note) {
    out_ << step << " ... ATTENZIONE: " << note << std::endl;
  }
  int Failures() const { return failures_; }

 private:
  std::ostream& out_;
  int failures_ = 0;
};

const char* RunName(RunKind kind) {
  switch (kind) {
    case RunKind::kPriceList:
      return "listini (-p)";
    case RunKind::kPromoStock:
      return "promo a stock (-s)";
    case RunKind::kStock:
      break;
  }
  return "giacenze";
}

// The run's own parsing of its settings, so that the check fails where the
// run would and says it in the run's words. The stock run checks its trigger
// timeout only when it gets to the trigger; the check says it beforehand.
void ParseAsTheRunDoes(RunKind kind, const SettingValues& values,
                       const std::string& export_directory) {
  switch (kind) {
    case RunKind::kStock:
      StockRunSettings::Parse(values).trigger_timeout.Checked();
      return;
    case RunKind::kPriceList:
      PriceListRunSettings::CheckExportDirectory(export_directory);
      PriceListRunSettings::Parse(values);
      return;
    case RunKind::kPromoStock:
      PromoStockRunSettings::Parse(values);
      return;
  }
}

bool UserRowExists(UserDatabase& users, std::int32_t user) {
  fb::Transaction transaction(users.Attachment(), fb::TransactionOptions::ReadCommitted());
  fb::Statement count(users.Attachment(), transaction,
                      "SELECT COUNT(*) TOT FROM UTENTI WHERE CODICE = :CODICE\r\n");
  count.Set("CODICE", fb::Int(user));
  count.Execute(transaction);
  return fb::ValueToInt32(count.Field("TOT")) != 0;
}

// Creates and removes a file in the directory; the reason when that fails.
std::optional<std::string> WriteTrial(const std::string& directory) {
  if (!DirectoryExists(directory)) return "cartella non trovata";
  std::string path = WithTrailingSeparator(directory) + ".exporttotale-check-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) return std::string("non scrivibile: ") + std::strerror(errno);
  close(fd);
  if (unlink(path.c_str()) != 0) {
    return "file di prova " + path + " non rimosso: " + std::strerror(errno);
  }
  return std::nullopt;
}

std::string DatabaseName(const UserDatabaseLocation& where) {
  if (!where.server.empty() && !where.alias.empty()) return where.server + ":" + where.alias;
  if (!where.server.empty()) return where.server + ":" + where.database_path;
  return where.database_path;
}

// The setting that may get past a failure of the FTP server, as a note the
// failure line ends with; empty when none would. The reasons are the
// servers' and the network library's own words, so this is a guess: it
// never replaces the reason.
std::string HintFor(const FtpSettings& ftp, const std::string& reason) {
  const std::string text = AsciiLowered(reason);
  const auto says = [&](const char* word) { return text.find(word) != std::string::npos; };
  const std::optional<UploadAddress> address = ParseUploadAddress(ftp.host);
  const bool sftp = address && address->protocol == UploadProtocol::kSftp;
  const bool ftps = address && address->protocol == UploadProtocol::kFtps;
  if (sftp || says("cat_sftp_impronta")) return {};
  if (ftp.tls == 0 && !ftps && (says("encrypt") || says("tls") || says("ssl") || says("cleartext")))
    return " (il server chiede la cifratura: CAT_FTP_TLS=1 o 2)";
  if ((ftp.tls > 0 || ftps) && (says("certificate") || says("pinned") || says("self-signed") ||
                                says("self signed") || says("verify")))
    return " (CAT_FTP_CERTIFICATO: un file di autorità PEM, sha256//CHIAVE o *)";
  if (!ftp.direct_upload && says(".part"))
    return " (CAT_FTP_CARICAMENTODIRETTO=1 carica subito con il nome finale)";
  return {};
}

// The fallbacks of the probe's two uploads, each said once.
void WarnOnce(const std::vector<std::string>& lines, const std::string& step, Report& report) {
  std::vector<std::string> said;
  for (const std::string& line : lines) {
    if (std::find(said.begin(), said.end(), line) != said.end()) continue;
    report.Warn(step, line);
    said.push_back(line);
  }
}

// The log-in to the FTP or SFTP server, the change of directory and, with
// try_upload, the probe upload: each its own step.
void CheckUpload(const FtpSettings& ftp, bool try_upload, Report& report) {
  std::vector<std::string> fallbacks;
  FtpUploader uploader(ftp, [&](const std::string& line) { fallbacks.push_back(line); });
  const std::string login_step = "accesso FTP a " + FtpHostForLog(ftp.host) + " come " + ftp.user;
  try {
    uploader.Connect();
    const std::string protection = uploader.Protection();
    report.Ok(login_step, protection.empty() ? "senza cifratura" : protection);
  } catch (const std::exception& e) {
    report.Fail(login_step, e.what() + HintFor(ftp, e.what()));
    return;
  }
  if (!ftp.directory.empty()) {
    const std::string cwd_step = "cartella FTP " + ftp.directory;
    try {
      uploader.ChangeDirectory(ftp.directory);
      report.Ok(cwd_step);
    } catch (const std::exception& e) {
      report.Fail(cwd_step, e.what());
      return;
    }
  }
  if (!try_upload) return;
  const std::string probe_step = std::string("caricamento di prova ") + kUploadProbeName;
  try {
    const UploadProbeOutcome outcome = ProbeUpload(uploader);
    WarnOnce(fallbacks, probe_step, report);
    report.Ok(probe_step, DescribeUploadMethod(outcome.method));
    if (outcome.not_deleted)
      report.Warn(probe_step, std::string(kUploadProbeName) + " resta sul server: " +
                                  *outcome.not_deleted + " (cancellarlo a mano)");
  } catch (const std::exception& e) {
    WarnOnce(fallbacks, probe_step, report);
    report.Fail(probe_step, e.what() + HintFor(ftp, e.what()));
    // A failed upload ends its connection; the probe of an upload that got
    // through before goes over a fresh one, when the server allows it.
    try {
      uploader.Connect();
      uploader.ChangeDirectory(ftp.directory);
      uploader.Delete(kUploadProbeName);
    } catch (const std::exception&) {
    }
  }
}

// The steps from the business database on: its settings, then the export
// directory, the FTP server and the trigger URLs, each on its own.
void CheckBusinessSide(RunKind kind, SettingsTable& settings, bool try_upload, Report& report) {
  std::optional<SettingValues> read;
  try {
    read.emplace(SettingValues::Read(settings, SettingKeysOf(kind)));
  } catch (const std::exception& e) {
    report.Fail("tabella TABX", e.what());
    return;
  }
  const SettingValues& values = *read;

  for (const SettingKey& key : values.Keys()) {
    const std::string name(key.name);
    const std::string& value = values.Of(key.name);
    if (value.empty()) {
      if (key.required) {
        report.Fail(name, "chiave mancante o vuota");
      } else {
        report.Ok(name + " = (vuota)", "facoltativa");
      }
    } else {
      // The server and the URLs may carry a password in front of the host.
      const bool may_hold_credentials =
          key.kind == SettingKind::kUrl || key.kind == SettingKind::kServer;
      report.Ok(name + " = " +
                (key.secret             ? "***"
                 : may_hold_credentials ? MaskCredentials(value)
                                        : value));
    }
  }

  const std::string& export_directory = values.Of(ExportDirectoryKey().name);
  const std::string run_step = std::string("impostazioni dell'esecuzione ") + RunName(kind);
  try {
    ParseAsTheRunDoes(kind, values, export_directory);
    report.Ok(run_step);
  } catch (const std::exception& e) {
    report.Fail(run_step, e.what());
  }

  if (!export_directory.empty()) {
    const std::string step = "cartella export " + export_directory + " scrivibile";
    if (const std::optional<std::string> reason = WriteTrial(export_directory)) {
      report.Fail(step, *reason);
    } else {
      report.Ok(step);
    }
  }

  const FtpSettings ftp = ParseFtpSettings(values);
  // A missing password is the log-in's failure, as in a run (an SFTP key
  // file needs none).
  if (!ftp.host.empty() && !ftp.user.empty()) CheckUpload(ftp, try_upload, report);

  for (const SettingKey& key : values.Keys()) {
    const std::string& url = values.Of(key.name);
    if (key.kind != SettingKind::kUrl || url.empty()) continue;
    const std::string step = "indirizzo " + std::string(key.name) + " (senza richiederlo)";
    try {
      CheckTriggerUrl(url);
      report.Ok(step);
    } catch (const std::exception& e) {
      report.Fail(step, e.what());
    }
  }
}

}  // namespace

bool CheckConfiguration(RunKind kind, const std::string& parameters_path, std::ostream& out,
                        bool try_upload) {
  Report report(out);
  out << "Controllo della configurazione dell'esecuzione " << RunName(kind) << std::endl;
  CheckUserInterface ui;

  const auto finish = [&] {
    if (report.Failures() == 0) {
      out << "Controllo riuscito: nessun errore" << std::endl;
    } else {
      out << "Controllo non riuscito: " << report.Failures()
          << (report.Failures() == 1 ? " passo" : " passi") << " con errori" << std::endl;
    }
    return report.Failures() == 0;
  };

  // The parameters file.
  const std::string parameters_step = "file parametri " + parameters_path;
  std::optional<Parameters> parameters;
  try {
    parameters = Parameters::Read(parameters_path);
    if (!parameters) {
      report.Fail(parameters_step, "file non trovato");
      return finish();
    }
    report.Ok(parameters_step);
  } catch (const std::exception& e) {
    report.Fail(parameters_step, e.what());
    return finish();
  }

  // The user database, attached only.
  const std::string users_step = "database utenti " + DatabaseName(parameters->user_database);
  // Databases are only attached, at once: a check creates nothing and does
  // not wait for a run.
  const OpeningPolicy policy = OpeningPolicy::AttachOnly();
  std::optional<UserDatabase> users;
  try {
    users.emplace(UserDatabase::Open(*parameters, policy, ui));
    report.Ok(users_step);
  } catch (const std::exception& e) {
    report.Fail(users_step, e.what());
    return finish();
  }

  // The user's row and company, and "Archivio" in its section.
  const std::string user_step = "utente " + parameters->user + ", ditta " + parameters->company;
  std::string business_path;
  try {
    const std::int32_t user = parameters->UserNumber();
    if (!UserRowExists(*users, user)) {
      report.Fail(user_step,
                  "nessuna riga in UTENTI con CODICE " + parameters->user + " (eseguire init)");
      return finish();
    }
    const UserSettings settings = users->ReadSettings();
    bool company_found = false;
    for (const std::string& section : settings.Text().SectionNames()) {
      company_found = company_found || EqualsIgnoringAsciiCase(section, parameters->company);
    }
    if (!company_found) {
      report.Fail(user_step, "la ditta non ha una sezione nelle impostazioni dell'utente");
      return finish();
    }
    report.Ok(user_step);
    business_path = settings.BusinessDatabaseName();
  } catch (const std::exception& e) {
    report.Fail(user_step, e.what());
    return finish();
  }
  if (business_path.empty()) {
    report.Fail("Archivio", "chiave mancante o vuota (eseguire init o user-set Archivio)");
    return finish();
  }
  report.Ok("Archivio = " + business_path);

  // dati.ini beside the business database guides the opener.
  const LocationFileSummary location = SummariseLocationFile(business_path);
  if (!location.exists) {
    report.Ok("dati.ini " + location.path, "assente: il percorso di Archivio è usato com'è");
  } else {
    std::string note;
    for (const std::string& entry : location.entries) note += (note.empty() ? "" : ", ") + entry;
    report.Ok("dati.ini " + location.path, note.empty() ? "nessuna chiave in [CONFIG]" : note);
  }

  // The business database, attached only, following dati.ini as a run does.
  const std::string business_step = "database gestionale " + business_path;
  std::unique_ptr<DatabaseConnection> business;
  try {
    business = OpenBusinessDatabase(business_path, policy, ui);
    report.Ok(business_step);
  } catch (const std::exception& e) {
    std::string reason = e.what();
    if (ui.PromptDeclined()) {
      reason += " (dati.ini senza \"Nome Server\": un'esecuzione lo chiederebbe)";
    }
    report.Fail(business_step, reason);
    return finish();
  }
  // The engine inside a process that is killed (SIGKILL, a power cut) in the
  // middle of the markup consolidation leaves the database damaged; a server
  // outlives the processes that talk to it.
  if (!NamesDatabaseServer(business->Name())) {
    report.Warn("motore del database gestionale",
                "Firebird incorporato nel processo (" + business->Name() +
                    " non nomina un server): un'esecuzione terminata a forza durante le "
                    "scritture può danneggiare il database; in produzione usare il server "
                    "Firebird, per esempio Archivio=localhost:" +
                    business->Name());
  }

  SettingsTable settings(business->Attachment());
  CheckBusinessSide(kind, settings, try_upload, report);
  return finish();
}

}  // namespace et
