#include "platform/ui.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

namespace et {
namespace {

// Texts of the system may break lines with CR LF (as the prompt's label
// does); a terminal wants LF alone.
std::string ForTerminal(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// One line of input without its line end; false at the end of input.
bool ReadLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

constexpr std::string_view kEscape = "\x1b";

// Turns the terminal's echo off for as long as it lives.
class EchoOff {
 public:
  EchoOff() {
    if (tcgetattr(STDIN_FILENO, &before_) != 0) return;
    termios no_echo = before_;
    no_echo.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &no_echo) == 0;
  }
  ~EchoOff() {
    if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &before_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  termios before_{};
  bool active_ = false;
};

}  // namespace

std::optional<std::string> ReadSecretLine(const std::string& prompt) {
  std::string line;
  bool read = false;
  if (isatty(STDIN_FILENO) != 0) {
    std::cerr << prompt << std::flush;
    EchoOff echo;
    read = ReadLine(std::cin, line);
    std::cerr << '\n';
  } else {
    read = ReadLine(std::cin, line);
  }
  if (!read) return std::nullopt;
  return line;
}

std::string HaltMessageText(const std::string& message) {
  // Compared as character codes: a letter, a digit, ':' or any non-ASCII
  // character gets the full stop; '.', '!', ',', ')' and blanks do not.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

ConsoleUserInterface::ConsoleUserInterface(std::istream& in, std::ostream& out, bool in_is_terminal)
    : in_(in), out_(out), in_is_terminal_(in_is_terminal) {}

ConsoleUserInterface ConsoleUserInterface::ForProcess() {
  return ConsoleUserInterface(std::cin, std::cerr, ::isatty(STDIN_FILENO) == 1);
}

void ConsoleUserInterface::ShowErrorMessage(const std::string& text) {
  out_ << "[errore] " << ForTerminal(text) << std::endl;
  WaitForEnter();
}

void ConsoleUserInterface::ShowMessage(const std::string& text) {
  out_ << ForTerminal(text) << std::endl;
  WaitForEnter();
}

void ConsoleUserInterface::ShowNotice(const std::string& text) {
  out_ << ForTerminal(text) << std::endl;
}

void ConsoleUserInterface::ShowHaltMessage(const std::string& message) {
  out_ << "[arresto] " << ForTerminal(HaltMessageText(message)) << std::endl;
  WaitForEnter();
}

PromptOutcome ConsoleUserInterface::ShowPrompt(TwoFieldPrompt& prompt) {
  out_ << prompt.caption << '\n' << ForTerminal(prompt.label) << '\n';
  out_ << "(Invio conferma ogni campo; ESC e Invio annullano)" << std::endl;
  std::string values[2];
  const std::string* names[2] = {&prompt.field1_name, &prompt.field2_name};
  for (int i = 0; i < 2; ++i) {
    out_ << *names[i] << ": " << std::flush;
    if (!ReadLine(in_, values[i])) {
      out_ << std::endl;
      return PromptOutcome::kClosed;
    }
    if (values[i] == kEscape) return PromptOutcome::kCancel;
  }
  prompt.field1 = values[0];
  prompt.field2 = values[1];
  return PromptOutcome::kOk;
}

void ConsoleUserInterface::WaitBeforeExit() {
  if (!in_is_terminal_) return;
  out_ << "Export totale: premere Invio per chiudere." << std::endl;
  std::string ignored;
  ReadLine(in_, ignored);
}

void ConsoleUserInterface::WaitForEnter() {
  if (!in_is_terminal_) return;
  out_ << "Premere Invio per continuare." << std::flush;
  std::string ignored;
  ReadLine(in_, ignored);
}

}  // namespace et
