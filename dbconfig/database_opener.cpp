#include "dbconfig/database_opener.h"

#include <algorithm>
#include <thread>

#include "dbconfig/location_file.h"
#include "dbconfig/opening_plan.h"
#include "fb/error.h"
#include "platform/stop_signals.h"

namespace et {
namespace {

// How often an attach refused because another process holds the file is
// tried again; also how soon a waiting opener sees a stop request.
constexpr std::chrono::milliseconds kRetryInterval(100);

// The prompt for the database server's computer name and the drive letter of
// its disk.
struct ServerPrompt {
  enum class Outcome { kNone, kOk, kCancel };

  std::string computer_name;
  std::string drive_letter;
  Outcome outcome = Outcome::kNone;

  // Shows the prompt through the user interface and waits for the answer.
  void Show(UserInterface& ui) {
    TwoFieldPrompt prompt;
    prompt.caption = "Non trovato dati.ini";
    prompt.label =
        "Inserire il nome del computer e la lettera della sua\r\n"
        "unità disco dove risulta ospitato (o sarà ospitato) il database";
    prompt.field1 = computer_name;
    prompt.field2 = drive_letter;
    prompt.field1_name = "Nome computer";
    prompt.field2_name = "Lettera disco";
    switch (ui.ShowPrompt(prompt)) {
      case PromptOutcome::kOk:
        computer_name = prompt.field1;
        drive_letter = prompt.field2;
        outcome = Outcome::kOk;
        break;
      case PromptOutcome::kCancel:
        outcome = Outcome::kCancel;
        break;
      case PromptOutcome::kClosed:
        break;  // closed without a button: no outcome
    }
  }
};

// Attaches, trying again while another process holds the database file and
// the wait lasts. Raises the last attach's error.
void AttachWhenFree(DatabaseConnection& c, const std::string& name, const OpeningPolicy& policy) {
  const auto deadline = std::chrono::steady_clock::now() + policy.wait_while_held;
  for (;;) {
    try {
      c.Attach(name, policy.credentials);
      return;
    } catch (const fb::DatabaseError& e) {
      if (!e.IsDatabaseHeldByAnotherProcess()) throw;
      ThrowIfStopRequested();
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) throw;
      std::this_thread::sleep_for(
          std::min<std::chrono::steady_clock::duration>(kRetryInterval, deadline - now));
    }
  }
}

// Runs one name of the plan; on failure keeps the engine's reason in
// `last_error`. A file held for the whole wait is not a failure of this name
// alone: it ends the opening.
bool TryName(std::optional<fb::DatabaseError>& last_error, DatabaseConnection& c,
             const std::string& name, const OpeningPolicy& policy, UserInterface& ui) {
  try {
    OpenNamedDatabase(c, name, policy, ui);
    return true;
  } catch (const fb::DatabaseError& e) {
    if (e.IsDatabaseHeldByAnotherProcess()) throw;
    last_error = e;
    return false;
  }
}

}  // namespace

void OpenNamedDatabase(DatabaseConnection& c, const std::string& name, const OpeningPolicy& policy,
                       UserInterface& ui) {
  try {
    AttachWhenFree(c, name, policy);
    return;
  } catch (const fb::DatabaseError& e) {
    // A stopped run creates nothing; nor does a file that another process
    // holds, which is there. Any other cause (a missing file, a wrong
    // password, an unreachable server) is answered by a creation under the
    // same name when the policy asks for it; the creation's reason is the
    // one reported when that fails too.
    ThrowIfStopRequested();
    if (e.IsDatabaseHeldByAnotherProcess() ||
        policy.on_attach_failure != OnAttachFailure::kCreate) {
      throw;
    }
  }
  c.Create(name, policy.credentials);
  ui.ShowMessage("Effettuata creazione data base");
}

std::optional<ServerAndDrive> FindServerAndDrive(const std::string& directory, UserInterface& ui) {
  const DatabaseLocation location = ReadDatabaseLocation(directory);
  ServerAndDrive result{location.server, location.drive_letter};
  if (!result.server.empty()) return result;

  ui.ShowMessage("Non trovato dati.ini");
  ServerPrompt prompt;
  prompt.Show(ui);
  if (prompt.outcome != ServerPrompt::Outcome::kOk) return std::nullopt;

  result.server = prompt.computer_name;
  result.drive_letter = prompt.drive_letter;
  WriteServerAndDrive(directory, result.server, result.drive_letter);
  if (result.server.empty()) return std::nullopt;
  return result;
}

void OpenDatabase(DatabaseConnection& c, const std::string& directory, const std::string& file_name,
                  const OpeningPolicy& policy, UserInterface& ui) {
  const OpeningPlan plan = PlanOpening(directory, file_name, ReadDatabaseLocation(directory));
  std::optional<fb::DatabaseError> last_error;
  for (const std::string& name : plan.names) {
    if (TryName(last_error, c, name, policy, ui)) return;
  }
  if (plan.ask_for_server) {
    if (const std::optional<ServerAndDrive> found = FindServerAndDrive(directory, ui)) {
      OpenNamedDatabase(c, NameOnServer(plan.name_for_server, found->server, found->drive_letter),
                        policy, ui);
      return;
    }
  }
  if (!plan.give_up_message.empty()) ui.ShowMessage(plan.give_up_message);
  if (last_error) throw *last_error;
  throw fb::DatabaseError("Database non aperto: " + plan.wanted);
}

}  // namespace et
