// The user interface of the system, as an interface passed in: a terminal
// implementation for the program and a recording double for tests
// (tests/support). Messages and prompts go to standard error; standard output
// is kept for the diagnostic lines the runs print there.
#pragma once

#include <istream>
#include <ostream>
#include <string>

namespace et {

// A two-field modal dialog as the user interface shows it.
struct TwoFieldDialog {
  std::string caption;
  std::string label;       // may hold CR LF between lines
  std::string field1;      // first edit (receives the input focus)
  std::string field2;      // second edit
  std::string field1_name; // how the terminal asks for each field
  std::string field2_name;
};

enum class DialogOutcome { kOk, kCancel, kClosed };

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // A modal message with an error icon and one OK button.
  virtual void ShowErrorMessage(const std::string& text) = 0;
  // A modal message without icon and one OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  // The error box for an error that escaped the run: a stop icon, one OK
  // button and the message (see ErrorBoxText).
  virtual void ShowErrorBox(const std::string& message) = 0;
  // Shows the dialog modally; on kOk the fields hold what the user entered.
  virtual DialogOutcome ShowDialog(TwoFieldDialog& dialog) = 0;
  // The main window of a halted run stays open until the user closes it.
  virtual void WaitForMainWindowClose() = 0;
};

// The text of the error box: the message, with a full stop appended when the
// code of its last character is greater than that of the full stop.
std::string ErrorBoxText(const std::string& message);

// The terminal user interface. Messages go to `out` (standard error); a
// message waits for Enter only when `in` is a terminal. The dialog reads its
// two fields from `in` line by line whether or not it is a terminal: end of
// input closes the dialog, a line holding only ESC cancels it. The halted
// main window waits for Enter only on a terminal, so an unattended run with no
// input never hangs.
class ConsoleUserInterface final : public UserInterface {
 public:
  ConsoleUserInterface(std::istream& in, std::ostream& out, bool in_is_terminal);
  // On the process's standard input and standard error.
  static ConsoleUserInterface ForProcess();

  void ShowErrorMessage(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  void ShowErrorBox(const std::string& message) override;
  DialogOutcome ShowDialog(TwoFieldDialog& dialog) override;
  void WaitForMainWindowClose() override;

 private:
  void WaitForEnter();
  std::istream& in_;
  std::ostream& out_;
  bool in_is_terminal_;
};

}  // namespace et
