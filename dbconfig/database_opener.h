// Opening the business database: up to four forms of database name, guided by
// dati.ini in the database's directory, each attempt attaching or, when that
// fails, creating an empty database under the same name.
#pragma once

#include <cstdint>
#include <string>

#include "dbconfig/connection.h"
#include "platform/ui.h"

namespace et {

// The prompt that asks for the database server's computer name (Edit1) and
// the drive letter of its disk (Edit2).
class TNuvIn2Form {
 public:
  TNuvIn2Form() = default;

  std::string Caption = "Dialog";
  std::string Label1 = "Inserisci data e numero:";
  std::string Edit1 = "Edit1";
  std::string Edit2;
  std::string FontName = "Tahoma";
  int FontHeight = 13;  // pixels; a negative value means points
  int Label1Top = 32;
  // 0 until a button is pressed, 1 after OK, 2 after Cancel.
  std::uint16_t Esito = 0;

  void OKBtnClick() { Esito = 1; }
  void CancelBtnClick() { Esito = 2; }
  // The input focus goes to the computer name.
  void FormActivate() { focus_on_edit1_ = true; }

  // Shows the prompt modally through the user interface and waits for it.
  void ShowModal(UserInterface& ui);

 private:
  bool focus_on_edit1_ = false;
};

// Names tried, messages: see the .cpp. Returns true when `c` is attached.
bool ApriDatabase(DatabaseConnection& c, const std::string& directory, std::string file_name,
                  const std::string& user, const std::string& password, UserInterface& ui);

// Attaches `c` to `name` (or "server:name" with the drive letter put in place
// of its first character); when that fails for any reason, creates the
// database under the same name. True when attached or created.
bool ConnettiOCreaDatabase(DatabaseConnection& c, const std::string& name,
                           const std::string& server, const std::string& drive_letter,
                           const std::string& user, const std::string& password,
                           UserInterface& ui);

// The server name and drive letter from dati.ini, asking the user when the
// server name is missing.
struct ServerEDisco {
  std::string server;
  std::string drive_letter;
};
ServerEDisco ChiediServerEDisco(const std::string& directory, UserInterface& ui);

// Resolves a network directory "\\server\share\rest" into a working directory
// the server understands. Returns true when it gave up (a share with a name
// and no "Percorso Nel Server"), after showing why.
struct PercorsoRete {
  std::string working_directory;
  bool named_share = false;
};
bool RisolviPercorsoRete(const std::string& directory, const std::string& percorso_nel_server,
                         PercorsoRete& result, UserInterface& ui);

}  // namespace et
