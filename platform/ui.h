// The user interface of the system, as an interface passed in: a terminal
// implementation for the program and a recording double for tests
// (tests/support). Messages and prompts go to standard error; standard output
// is kept for the diagnostic lines the runs print there.
#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <string>

namespace et {

// A prompt for two fields, such as a server name and a drive letter.
struct TwoFieldPrompt {
  std::string caption;
  std::string label;        // may hold CR LF between lines
  std::string field1;       // first field, asked first
  std::string field2;       // second field
  std::string field1_name;  // how the terminal asks for each field
  std::string field2_name;
};

enum class PromptOutcome { kOk, kCancel, kClosed };

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // An error message; waits for Enter on a terminal.
  virtual void ShowErrorMessage(const std::string& text) = 0;
  // A message; waits for Enter on a terminal.
  virtual void ShowMessage(const std::string& text) = 0;
  // One line for whoever reads standard error (a failed monitoring ping, a
  // file held back); never waits.
  virtual void ShowNotice(const std::string& text) = 0;
  // The message of an error that halted the run (see HaltMessageText).
  virtual void ShowHaltMessage(const std::string& message) = 0;
  // Asks for the fields; on kOk they hold what the user entered.
  virtual PromptOutcome ShowPrompt(TwoFieldPrompt& prompt) = 0;
  // After a halt: keeps the message on screen until the user presses Enter.
  virtual void WaitBeforeExit() = 0;
};

// The text of the halt message: the message, with a full stop appended when the
// code of its last character is greater than that of the full stop.
std::string HaltMessageText(const std::string& message);

// One line of standard input, without its line end. On a terminal `prompt`
// goes to standard error first and the line is typed without echo, so a
// password is not shown. nullopt when standard input is at its end.
std::optional<std::string> ReadSecretLine(const std::string& prompt);

// The terminal user interface. Messages go to `out` (standard error); a
// message waits for Enter only when `in` is a terminal. The prompt reads its
// two fields from `in` line by line whether or not it is a terminal: end of
// input closes the prompt, a line holding only ESC cancels it. After a halt
// the program waits for Enter only on a terminal, so an unattended run with
// no input never hangs.
class ConsoleUserInterface final : public UserInterface {
 public:
  ConsoleUserInterface(std::istream& in, std::ostream& out, bool in_is_terminal);
  // On the process's standard input and standard error.
  static ConsoleUserInterface ForProcess();

  void ShowErrorMessage(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  void ShowNotice(const std::string& text) override;
  void ShowHaltMessage(const std::string& message) override;
  PromptOutcome ShowPrompt(TwoFieldPrompt& prompt) override;
  void WaitBeforeExit() override;

 private:
  void WaitForEnter();
  std::istream& in_;
  std::ostream& out_;
  bool in_is_terminal_;
};

}  // namespace et
