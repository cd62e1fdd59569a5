#include "dbconfig/database_opener.h"

#include "platform/ini.h"

namespace et {
namespace {

constexpr const char* kDatiIni = "dati.ini";
constexpr const char* kSezione = "CONFIG";
constexpr const char* kNomeFileDefault = "archivio.fdb";

std::string WithBackslash(std::string s) {
  if (s.empty() || s.back() != '\\') s += '\\';
  return s;
}

}  // namespace

void TNuvIn2Form::ShowModal(UserInterface& ui) {
  FormActivate();
  TwoFieldDialog dialog;
  dialog.caption = Caption;
  dialog.label = Label1;
  dialog.field1 = Edit1;
  dialog.field2 = Edit2;
  dialog.field1_name = "Nome computer";
  dialog.field2_name = "Lettera disco";
  switch (ui.ShowDialog(dialog)) {
    case DialogOutcome::kOk:
      Edit1 = dialog.field1;
      Edit2 = dialog.field2;
      OKBtnClick();
      break;
    case DialogOutcome::kCancel:
      CancelBtnClick();
      break;
    case DialogOutcome::kClosed:
      break;  // closed without a button: Esito stays 0
  }
}

bool ConnettiOCreaDatabase(DatabaseConnection& c, const std::string& name,
                           const std::string& server, const std::string& drive_letter,
                           const std::string& user, const std::string& password,
                           UserInterface& ui) {
  const std::string user_line = "user_name=" + (user.empty() ? std::string(kUtenteDefault) : user);
  const std::string password_line =
      "password=" + (password.empty() ? std::string(kPasswordDefault) : password);

  if (c.Connected()) c.Close();
  c.LoginPrompt = false;
  c.Params = {user_line, password_line};

  if (server.empty()) {
    c.DatabaseName = name;
  } else {
    std::string m = name;
    if (!drive_letter.empty()) m = drive_letter + (m.empty() ? std::string() : m.substr(1));
    c.DatabaseName = server + ":" + m;
  }

  try {
    c.Open();
    return true;
  } catch (const std::exception&) {
    // Whatever the cause (missing file, wrong password, unreachable server),
    // try to create the database under the same name.
  }

  c.Params = {"USER \"" + (user.empty() ? std::string(kUtenteDefault) : user) + "\"",
              "PASSWORD \"" + (password.empty() ? std::string(kPasswordDefault) : password) + "\"",
              "PAGE_SIZE 4096"};
  c.SQLDialect = 3;
  try {
    c.CreateDatabase();
  } catch (const std::exception&) {
    return false;
  }
  ui.ShowMessage("Effettuata creazione data base");
  return true;
}

bool RisolviPercorsoRete(const std::string& directory, const std::string& percorso_nel_server,
                         PercorsoRete& result, UserInterface& ui) {
  std::string t = directory.size() > 2 ? directory.substr(2) : std::string();
  const auto first = t.find('\\');
  const std::string server = t.substr(0, first);
  t = first == std::string::npos ? std::string() : t.substr(first + 1);
  const std::string share = t.substr(0, t.find('\\'));

  if (share.size() >= 2) {
    result.named_share = true;
    if (!percorso_nel_server.empty()) {
      result.working_directory = server + ":" + percorso_nel_server;
      return false;
    }
    ui.ShowMessage(
        "Attenzione: il disco con gli archivi è stato condiviso in rete con un nome - " + share +
        " - e non con la lettera che lo identifica. Si consiglia di correggere la condivisione "
        "oppure di correggere manualmente la sezione Percorso Nel Server nel file Dati.ini "
        "accanto al database");
    result.working_directory = t;
    return true;
  }

  // A share named by a drive letter: \\SRV\D\Dati\ becomes SRV:D:\Dati\.
  std::string w = server + ":" + t;
  const auto backslash = w.find('\\');
  if (backslash != std::string::npos) w.insert(backslash, ":");
  result.working_directory = w;
  return false;
}

ServerEDisco ChiediServerEDisco(const std::string& directory, UserInterface& ui) {
  const IniFile dati(directory + kDatiIni);
  ServerEDisco result{dati.Read(kSezione, "Nome Server"), dati.Read(kSezione, "Lettera Disco Server")};
  if (!result.server.empty()) return result;

  ui.ShowMessage("Non trovato dati.ini");
  TNuvIn2Form form;
  form.Caption = "Non trovato dati.ini";
  form.Label1 =
      "Inserire il nome del computer e la lettera della sua\r\n"
      "unità disco dove risulta ospitato (o sarà ospitato) il database";
  form.FontName = "Arial";
  form.FontHeight = -8;
  form.Label1Top -= 10;
  form.Edit1.clear();
  form.ShowModal(ui);

  if (form.Esito == 1) {
    result.server = form.Edit1;
    result.drive_letter = form.Edit2;
    dati.Write(kSezione, "Nome Server", result.server);
    if (!result.drive_letter.empty()) dati.Write(kSezione, "Lettera Disco Server", result.drive_letter);
  } else {
    result.server.clear();
  }
  return result;
}

bool ApriDatabase(DatabaseConnection& c, const std::string& directory, std::string file_name,
                  const std::string& user, const std::string& password, UserInterface& ui) {
  if (file_name.empty()) file_name = kNomeFileDefault;
  std::string working = directory;
  bool connected = false;
  bool gave_up = false;
  PercorsoRete rete;

  const IniFile dati(directory + kDatiIni);
  const std::string server = dati.Read(kSezione, "Nome Server");
  const std::string alias = dati.Read(kSezione, "Alias");

  // 1: the server and an alias defined on it.
  if (!server.empty() && !alias.empty()) {
    connected = ConnettiOCreaDatabase(c, server + ":" + alias, "", "", user, password, ui);
  }
  if (connected) return true;

  // 2: the named-pipe form; its outcome is final.
  const std::string percorso_database = dati.Read(kSezione, "PercorsoDatabase");
  if (!percorso_database.empty()) {
    working = "\\\\" + server + "\\" + WithBackslash(percorso_database);
    return ConnettiOCreaDatabase(c, working + file_name, "", "", user, password, ui);
  }

  // A network path: find the form of the directory the server understands.
  if (directory.find("\\\\") != std::string::npos) {
    gave_up = RisolviPercorsoRete(directory, dati.Read(kSezione, "Percorso Nel Server"), rete, ui);
    working = rete.working_directory;
  }

  // 3: the directory as it stands (or as resolved).
  if (!gave_up) {
    connected = ConnettiOCreaDatabase(c, working + file_name, "", "", user, password, ui);
    if (rete.named_share && !connected) {
      gave_up = true;
      ui.ShowMessage(
          "Errore: nonostante le configurazioni, il particolare percorso di rete sta rendendo "
          "impossibile l'attivazione del database");
    }
  }

  // 4: the server's computer name and drive letter, asked for when unknown.
  if (!connected && !gave_up) {
    const ServerEDisco sd = ChiediServerEDisco(directory, ui);
    if (!sd.server.empty()) {
      connected = ConnettiOCreaDatabase(c, working + file_name, sd.server, sd.drive_letter, user,
                                        password, ui);
    } else {
      ui.ShowMessage("Apertura / creazione del database non riuscita!");
    }
  }
  return connected;
}

}  // namespace et
