// A user interface for tests: it records every call in order and answers the
// dialogs from a script, standing in for the person at the keyboard.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace et::test {

struct UiCall {
  enum class Kind { kErrorMessage, kMessage, kNotice, kHaltMessage, kPrompt, kWaitBeforeExit };
  Kind kind;
  std::string text;     // the message (for the halt message, as passed, before HaltMessageText)
  std::string caption;  // dialogs only
  std::string label;    // dialogs only
  std::string field1;   // dialogs only: the fields as the dialog was shown
  std::string field2;
  PromptOutcome outcome = PromptOutcome::kClosed;  // dialogs only: the answer given
};

// One scripted answer to a dialog. On kOk the dialog's fields take field1 and
// field2; on kCancel and kClosed they stay as they were.
struct PromptAnswer {
  PromptOutcome outcome;
  std::string field1;
  std::string field2;
};

class RecordingUserInterface final : public UserInterface {
 public:
  RecordingUserInterface() = default;
  explicit RecordingUserInterface(std::vector<PromptAnswer> script);

  void ShowErrorMessage(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  void ShowNotice(const std::string& text) override;
  void ShowHaltMessage(const std::string& message) override;
  // Takes the next scripted answer; with none left the dialog is closed.
  PromptOutcome ShowPrompt(TwoFieldPrompt& dialog) override;
  void WaitBeforeExit() override;

  // Adds an answer at the end of the script.
  void AnswerPrompt(PromptOutcome outcome, std::string field1 = {}, std::string field2 = {});
  std::size_t UnusedAnswers() const { return script_.size(); }

  const std::vector<UiCall>& Calls() const { return calls_; }
  // Texts of the calls of one kind, in order (captions for dialogs).
  std::vector<std::string> Texts(UiCall::Kind kind) const;
  std::size_t Count(UiCall::Kind kind) const;
  // Every call, one per line, for failure messages of tests.
  std::string Transcript() const;

 private:
  void Record(UiCall::Kind kind, const std::string& text);
  std::vector<UiCall> calls_;
  std::deque<PromptAnswer> script_;
};

}  // namespace et::test
