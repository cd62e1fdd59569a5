#include "dbconfig/database_opener.h"

#include "fb/error.h"
#include "platform/ini.h"
#include "platform/stop_signals.h"

namespace et {
namespace {

constexpr const char* kLocationFile = "dati.ini";
constexpr const char* kConfigSection = "CONFIG";
constexpr const char* kDefaultFileName = "archivio.fdb";

// A text between double quotes for the clauses of CREATE DATABASE, a quote
// inside written twice, so that no password can end the text early.
std::string DoubleQuoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char ch : text) {
    quoted += ch;
    if (ch == '"') quoted += '"';
  }
  return quoted + "\"";
}

std::string WithBackslash(std::string s) {
  if (s.empty() || s.back() != '\\') s += '\\';
  return s;
}

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

// Runs one attempt; on failure keeps the engine's reason in `last_error`.
bool TryAttachOrCreate(std::optional<fb::DatabaseError>& last_error, DatabaseConnection& c,
                       const std::string& name, const std::string& server,
                       const std::string& drive_letter, const std::string& user,
                       const std::string& password, UserInterface& ui) {
  try {
    AttachOrCreate(c, name, server, drive_letter, user, password, ui);
    return true;
  } catch (const fb::DatabaseError& e) {
    last_error = e;
    return false;
  }
}

}  // namespace

void AttachOrCreate(DatabaseConnection& c, const std::string& name, const std::string& server,
                    const std::string& drive_letter, const std::string& user,
                    const std::string& password, UserInterface& ui) {
  const DatabaseCredentials fallback = DatabaseCredentialsFromEnvironment();
  const std::string user_name = user.empty() ? fallback.user : user;
  const std::string password_text = password.empty() ? fallback.password : password;

  if (c.Connected()) c.Close();
  c.params = {"user_name=" + user_name, "password=" + password_text};

  if (server.empty()) {
    c.database_name = name;
  } else {
    std::string m = name;
    if (!drive_letter.empty()) m = drive_letter + (m.empty() ? std::string() : m.substr(1));
    c.database_name = server + ":" + m;
  }

  try {
    c.Open();
    return;
  } catch (const fb::DatabaseError&) {
    // Whatever the cause (missing file, wrong password, unreachable server),
    // the database is created under the same name; the creation's reason is
    // the one reported when that fails too. A stopped run creates nothing.
    ThrowIfStopRequested();
  }

  c.params = {"USER " + DoubleQuoted(user_name), "PASSWORD " + DoubleQuoted(password_text),
              "PAGE_SIZE 4096"};
  c.sql_dialect = 3;
  c.CreateDatabase();
  ui.ShowMessage("Effettuata creazione data base");
}

std::optional<NetworkPath> ResolveNetworkPath(const std::string& directory,
                                              const std::string& path_on_server,
                                              UserInterface& ui) {
  std::string t = directory.size() > 2 ? directory.substr(2) : std::string();
  const auto first = t.find('\\');
  const std::string server = t.substr(0, first);
  t = first == std::string::npos ? std::string() : t.substr(first + 1);
  const std::string share = t.substr(0, t.find('\\'));

  NetworkPath result;
  if (share.size() >= 2) {
    result.named_share = true;
    if (!path_on_server.empty()) {
      result.working_directory = server + ":" + path_on_server;
      return result;
    }
    ui.ShowMessage(
        "Attenzione: il disco con gli archivi è stato condiviso in rete con un nome - " + share +
        " - e non con la lettera che lo identifica. Si consiglia di correggere la condivisione "
        "oppure di correggere manualmente la sezione Percorso Nel Server nel file Dati.ini "
        "accanto al database");
    return std::nullopt;
  }

  // A share named by a drive letter: \\SRV\D\Dati\ becomes SRV:D:\Dati\.
  std::string w = server + ":" + t;
  const auto backslash = w.find('\\');
  if (backslash != std::string::npos) w.insert(backslash, 1, ':');
  result.working_directory = w;
  return result;
}

std::optional<ServerAndDrive> FindServerAndDrive(const std::string& directory, UserInterface& ui) {
  const IniFile location(directory + kLocationFile);
  const IniText read = location.Load();
  ServerAndDrive result{read.Read(kConfigSection, "Nome Server"),
                        read.Read(kConfigSection, "Lettera Disco Server")};
  if (!result.server.empty()) return result;

  ui.ShowMessage("Non trovato dati.ini");
  ServerPrompt prompt;
  prompt.Show(ui);
  if (prompt.outcome != ServerPrompt::Outcome::kOk) return std::nullopt;

  result.server = prompt.computer_name;
  result.drive_letter = prompt.drive_letter;
  // An empty name is written too: the prompt comes again at the next opening.
  location.Write(kConfigSection, "Nome Server", result.server);
  if (!result.drive_letter.empty()) {
    location.Write(kConfigSection, "Lettera Disco Server", result.drive_letter);
  }
  if (result.server.empty()) return std::nullopt;
  return result;
}

void OpenDatabase(DatabaseConnection& c, const std::string& directory, std::string file_name,
                  const std::string& user, const std::string& password, UserInterface& ui) {
  if (file_name.empty()) file_name = kDefaultFileName;
  std::string working = directory;
  std::optional<fb::DatabaseError> last_error;

  const IniText location = IniFile(directory + kLocationFile).Load();
  const std::string server = location.Read(kConfigSection, "Nome Server");
  const std::string alias = location.Read(kConfigSection, "Alias");

  // 1: the server and an alias defined on it.
  if (!server.empty() && !alias.empty() &&
      TryAttachOrCreate(last_error, c, server + ":" + alias, "", "", user, password, ui)) {
    return;
  }

  // 2: the named-pipe form; its outcome is final.
  const std::string database_path = location.Read(kConfigSection, "PercorsoDatabase");
  if (!database_path.empty()) {
    working = "\\\\" + server + "\\" + WithBackslash(database_path);
    AttachOrCreate(c, working + file_name, "", "", user, password, ui);
    return;
  }

  // A network path: find the form of the directory the server understands.
  bool named_share = false;
  if (directory.find("\\\\") != std::string::npos) {
    const std::optional<NetworkPath> network =
        ResolveNetworkPath(directory, location.Read(kConfigSection, "Percorso Nel Server"), ui);
    if (!network) {
      if (last_error) throw *last_error;
      throw fb::DatabaseError("Database non aperto: " + directory + file_name);
    }
    working = network->working_directory;
    named_share = network->named_share;
  }

  // 3: the directory as it stands (or as resolved).
  if (TryAttachOrCreate(last_error, c, working + file_name, "", "", user, password, ui)) return;
  if (named_share) {
    ui.ShowMessage(
        "Errore: nonostante le configurazioni, il particolare percorso di rete sta rendendo "
        "impossibile l'attivazione del database");
    throw *last_error;
  }

  // 4: the server's computer name and drive letter, asked for when unknown.
  const std::optional<ServerAndDrive> found = FindServerAndDrive(directory, ui);
  if (!found) {
    ui.ShowMessage("Apertura / creazione del database non riuscita!");
    throw *last_error;
  }
  AttachOrCreate(c, working + file_name, found->server, found->drive_letter, user, password, ui);
}

}  // namespace et
