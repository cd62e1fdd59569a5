#include "publish/ftp_uploader.h"

#include <chrono>
#include <optional>

#include "platform/paths.h"
#include "platform/stop_signals.h"
#include "platform/strings.h"
#include "publish/errors.h"
#include "publish/ftp_connection.h"
#include "publish/ftp_host.h"
#include "publish/remote_connection.h"
#include "publish/sftp_connection.h"
#include "publish/upload_source.h"

namespace et {
namespace {

using detail::RemoteOutcome;
using detail::UploadSource;

// The clean-up after a stop during a transfer is given this long, well
// within the stop's grace time.
constexpr std::chrono::milliseconds kCleanupAfterStop(1000);

// CR or LF would end a command early and start another; NUL would cut it
// short.
bool HasCommandBreak(std::string_view text) { return HasLineBreakOrNul(text); }

}  // namespace

FtpUploader::FtpUploader(FtpSettings settings, std::function<void(const std::string&)> notice)
    : settings_(std::move(settings)), notice_(std::move(notice)) {}

FtpUploader::~FtpUploader() { Disconnect(); }

bool FtpUploader::IsConnected() const { return connection_ && connection_->Alive(); }

void FtpUploader::Connect() {
  // Independent checks: the last one that fails names the missing setting.
  std::string missing;
  if (settings_.user.empty()) missing = "Username mancante";
  // A key file logs in without a password (its passphrase may be empty).
  if (settings_.password.empty() && settings_.ssh_key.empty()) missing = "Password mancante";
  if (settings_.host.empty()) missing = "Server mancante";
  if (!missing.empty()) throw FtpError(missing);
  // libcurl sends both as they are, inside the USER and PASS commands.
  if (HasCommandBreak(settings_.user))
    throw FtpError("nome utente contiene caratteri di controllo");
  if (HasCommandBreak(settings_.password))
    throw FtpError("password contiene caratteri di controllo");

  Disconnect();
  const std::optional<UploadAddress> address = ParseUploadAddress(settings_.host);
  // The message reaches the run log: the host goes without credentials or
  // line breaks.
  if (!address) throw FtpError("Server FTP non valido: " + FtpHostForLog(settings_.host));
  if (address->protocol == UploadProtocol::kSftp) {
    connection_ = detail::SftpConnection::Connect(settings_, *address);
  } else {
    connection_ = detail::FtpConnection::Connect(settings_, *address);
  }
}

void FtpUploader::ChangeDirectory(const std::string& dir) {
  if (dir.empty()) return;
  if (!connection_) throw FtpError("Not connected.");
  connection_->ChangeDirectory(dir);
}

void FtpUploader::Delete(const std::string& name) {
  if (!connection_) throw FtpError("Not connected.");
  const RemoteOutcome outcome = connection_->Delete(name);
  if (!outcome.ok) throw FtpError(outcome.refusal);
}

std::string FtpUploader::Protection() const {
  return connection_ ? connection_->Protection() : std::string();
}

FtpUploader::UploadMethod FtpUploader::Upload(const std::string& local_path) {
  if (!connection_) throw FtpError("Not connected.");
  const std::string name = FileNamePart(local_path);
  // The name goes into the rename commands as it is; libcurl refuses such a
  // name in a transfer's path with the same words.
  if (HasCommandBreak(name)) throw FtpError("path contains control characters");
  const std::unique_ptr<UploadSource> source = detail::OpenUploadSource(local_path);
  try {
    if (settings_.direct_upload) {
      StoreDirect(*source, name, "");
      return UploadMethod::kDirect;
    }
    return StoreWithFallbacks(*source, name);
  } catch (const FtpError&) {
    // A host that limits the connections per address must let the next
    // file of the run in.
    Disconnect();
    throw;
  }
}

std::string FtpUploader::TemporaryName(UploadMethod method, const std::string& name) {
  switch (method) {
    case UploadMethod::kHiddenTemporary:
      return "." + name + ".part";
    case UploadMethod::kTemporary:
      return name + ".part";
    case UploadMethod::kDirect:
      break;
  }
  return name;
}

void FtpUploader::Notice(const std::string& text) const {
  if (notice_) notice_(text);
}

FtpUploader::UploadMethod FtpUploader::StoreWithFallbacks(UploadSource& source,
                                                          const std::string& name) {
  const std::string direct_note =
      "; caricamento diretto come " + name + " (CAT_FTP_CARICAMENTODIRETTO=1 lo fa subito)";
  std::string stored_temporary;  // a temporary name the server accepted
  for (const UploadMethod method : {UploadMethod::kHiddenTemporary, UploadMethod::kTemporary}) {
    const std::string temporary = TemporaryName(method, name);
    const std::optional<Refusal> refusal = StoreTemporary(source, name, temporary);
    if (!refusal) return method;
    if (!refusal->of_name) {
      // The rename was refused: another temporary name would not help.
      Notice("Upload FTP di " + name + ": " + refusal->text + direct_note);
      stored_temporary = temporary;
      break;
    }
    if (method == UploadMethod::kHiddenTemporary) {
      Notice("Upload FTP di " + name + ": " + refusal->text + "; nuovo tentativo come " +
             TemporaryName(UploadMethod::kTemporary, name));
    } else {
      Notice("Upload FTP di " + name + ": " + refusal->text + direct_note);
    }
  }
  StoreDirect(source, name, stored_temporary);
  return UploadMethod::kDirect;
}

std::optional<FtpUploader::Refusal> FtpUploader::StoreTemporary(UploadSource& source,
                                                                const std::string& name,
                                                                const std::string& temporary) {
  detail::RemoteConnection& c = *connection_;
  try {
    // A leftover of an earlier run goes first: some servers refuse to
    // overwrite it.
    const RemoteOutcome stored = c.Store(source, temporary, /*delete_first=*/true);
    if (!stored.ok) {
      if (stored.name_refused) return Refusal{stored.refusal, true};
      // The temporary file of a broken or short transfer is useless, and
      // never takes the real name; a later upload would replace it anyway.
      if (c.Alive()) c.Delete(temporary);
      throw FtpError(stored.refusal);
    }
    const RemoteOutcome renamed = c.Rename(temporary, name);
    if (renamed.ok) return std::nullopt;
    // Some servers refuse to rename onto an existing file: the previous file
    // goes first, and the complete new one takes its name.
    if (renamed.target_may_exist && c.Alive() && c.Delete(name).ok && c.Rename(temporary, name).ok)
      return std::nullopt;
    if (!c.Alive()) throw FtpError(renamed.refusal);
    return Refusal{renamed.refusal, false};
  } catch (const StopRequestedError&) {
    DeleteAfterStop(temporary);
    throw;
  }
}

void FtpUploader::StoreDirect(UploadSource& source, const std::string& name,
                              const std::string& stored_temporary) {
  detail::RemoteConnection& c = *connection_;
  // A short store is too late to keep the previous file, but the run log
  // says the truth.
  const RemoteOutcome stored = c.Store(source, name, /*delete_first=*/false);
  // A temporary file that could not be renamed is of no use; the server may
  // refuse its deletion too.
  if (!stored_temporary.empty() && c.Alive()) c.Delete(stored_temporary);
  if (!stored.ok) throw FtpError(stored.refusal);
}

void FtpUploader::DeleteAfterStop(const std::string& temporary) {
  // The stopped transfer has closed its connection: a fresh one, bounded so
  // that the process still ends within its grace time.
  try {
    if (!connection_) return;
    connection_->ForCleanup(kCleanupAfterStop)->Delete(temporary);
  } catch (const std::exception&) {
    // The stop goes on whatever the server did.
  }
}

void FtpUploader::Disconnect() {
  // Cleaning the handle up sends QUIT on a connection that is still open.
  connection_.reset();
}

}  // namespace et
