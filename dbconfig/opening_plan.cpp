#include "dbconfig/opening_plan.h"

namespace et {
namespace {

constexpr const char* kDefaultFileName = "archivio.fdb";

std::string WithBackslash(std::string s) {
  if (s.empty() || s.back() != '\\') s += '\\';
  return s;
}

}  // namespace

std::string NameOnServer(const std::string& name, const std::string& server,
                         const std::string& drive_letter) {
  if (server.empty()) return name;
  std::string on_server = name;
  if (!drive_letter.empty()) {
    on_server = drive_letter + (on_server.empty() ? std::string() : on_server.substr(1));
  }
  return server + ":" + on_server;
}

OpeningPlan PlanOpening(const std::string& directory, const std::string& file_name,
                        const DatabaseLocation& location) {
  const std::string file = file_name.empty() ? kDefaultFileName : file_name;
  OpeningPlan plan;
  plan.wanted = directory + file;

  // The server and an alias defined on it.
  if (!location.server.empty() && !location.alias.empty()) {
    plan.names.push_back(location.server + ":" + location.alias);
  }

  // The named-pipe form; nothing is tried after it.
  if (!location.database_path.empty()) {
    plan.names.push_back("\\\\" + location.server + "\\" + WithBackslash(location.database_path) +
                         file);
    return plan;
  }

  // A network directory "\\server\share\rest": the form its server
  // understands.
  std::string working = directory;
  if (directory.find("\\\\") != std::string::npos) {
    std::string rest = directory.size() > 2 ? directory.substr(2) : std::string();
    const auto first = rest.find('\\');
    const std::string server = rest.substr(0, first);
    rest = first == std::string::npos ? std::string() : rest.substr(first + 1);
    const std::string share = rest.substr(0, rest.find('\\'));
    if (share.size() >= 2) {
      // A share with a name, not a drive letter: only dati.ini can say where
      // it is on the server, and nothing is tried after that.
      if (location.path_on_server.empty()) {
        plan.give_up_message =
            "Attenzione: il disco con gli archivi è stato condiviso in rete con un nome - " +
            share +
            " - e non con la lettera che lo identifica. Si consiglia di correggere la "
            "condivisione oppure di correggere manualmente la sezione Percorso Nel Server nel "
            "file Dati.ini accanto al database";
        return plan;
      }
      plan.names.push_back(server + ":" + location.path_on_server + file);
      plan.give_up_message =
          "Errore: nonostante le configurazioni, il particolare percorso di rete sta rendendo "
          "impossibile l'attivazione del database";
      return plan;
    }
    // A share named by a drive letter: \\SRV\D\Dati\ becomes SRV:D:\Dati\.
    working = server + ":" + rest;
    const auto backslash = working.find('\\');
    if (backslash != std::string::npos) working.insert(backslash, 1, ':');
  }

  // The directory as it stands (or as turned), then the same on the server.
  plan.names.push_back(working + file);
  if (!location.server.empty()) {
    plan.names.push_back(NameOnServer(working + file, location.server, location.drive_letter));
    return plan;
  }
  plan.ask_for_server = true;
  plan.name_for_server = working + file;
  plan.give_up_message = "Apertura / creazione del database non riuscita!";
  return plan;
}

}  // namespace et
