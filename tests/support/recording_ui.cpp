#include "support/recording_ui.h"

#include <algorithm>

namespace et::test {
namespace {

const char* KindName(UiCall::Kind kind) {
  switch (kind) {
    case UiCall::Kind::kErrorMessage:
      return "error message";
    case UiCall::Kind::kMessage:
      return "message";
    case UiCall::Kind::kNotice:
      return "notice";
    case UiCall::Kind::kHaltMessage:
      return "halt message";
    case UiCall::Kind::kPrompt:
      return "prompt";
    case UiCall::Kind::kWaitBeforeExit:
      return "wait before exit";
  }
  return "?";
}

const char* OutcomeName(PromptOutcome outcome) {
  switch (outcome) {
    case PromptOutcome::kOk:
      return "OK";
    case PromptOutcome::kCancel:
      return "Cancel";
    case PromptOutcome::kClosed:
      return "closed";
  }
  return "?";
}

}  // namespace

RecordingUserInterface::RecordingUserInterface(std::vector<PromptAnswer> script)
    : script_(script.begin(), script.end()) {}

void RecordingUserInterface::ShowErrorMessage(const std::string& text) {
  Record(UiCall::Kind::kErrorMessage, text);
}

void RecordingUserInterface::ShowMessage(const std::string& text) {
  Record(UiCall::Kind::kMessage, text);
}

void RecordingUserInterface::ShowNotice(const std::string& text) {
  Record(UiCall::Kind::kNotice, text);
}

void RecordingUserInterface::ShowHaltMessage(const std::string& message) {
  Record(UiCall::Kind::kHaltMessage, message);
}

PromptOutcome RecordingUserInterface::ShowPrompt(TwoFieldPrompt& dialog) {
  UiCall call{UiCall::Kind::kPrompt, {}, dialog.caption, dialog.label, dialog.field1, dialog.field2,
              PromptOutcome::kClosed};
  if (!script_.empty()) {
    const PromptAnswer answer = script_.front();
    script_.pop_front();
    call.outcome = answer.outcome;
    if (answer.outcome == PromptOutcome::kOk) {
      dialog.field1 = answer.field1;
      dialog.field2 = answer.field2;
    }
  }
  calls_.push_back(std::move(call));
  return calls_.back().outcome;
}

void RecordingUserInterface::WaitBeforeExit() { Record(UiCall::Kind::kWaitBeforeExit, {}); }

void RecordingUserInterface::AnswerPrompt(PromptOutcome outcome, std::string field1,
                                          std::string field2) {
  script_.push_back({outcome, std::move(field1), std::move(field2)});
}

std::vector<std::string> RecordingUserInterface::Texts(UiCall::Kind kind) const {
  std::vector<std::string> texts;
  for (const UiCall& c : calls_) {
    if (c.kind == kind) texts.push_back(kind == UiCall::Kind::kPrompt ? c.caption : c.text);
  }
  return texts;
}

std::size_t RecordingUserInterface::Count(UiCall::Kind kind) const {
  return static_cast<std::size_t>(std::count_if(
      calls_.begin(), calls_.end(), [kind](const UiCall& c) { return c.kind == kind; }));
}

std::string RecordingUserInterface::Transcript() const {
  std::string out;
  for (const UiCall& c : calls_) {
    out += KindName(c.kind);
    if (c.kind == UiCall::Kind::kPrompt) {
      out += " \"" + c.caption + "\" -> " + OutcomeName(c.outcome);
    } else if (!c.text.empty()) {
      out += ": " + c.text;
    }
    out += '\n';
  }
  return out.empty() ? "(no calls)\n" : out;
}

void RecordingUserInterface::Record(UiCall::Kind kind, const std::string& text) {
  calls_.push_back({kind, text, {}, {}, {}, {}, PromptOutcome::kClosed});
}

}  // namespace et::test
