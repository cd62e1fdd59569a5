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
    case UiCall::Kind::kErrorBox:
      return "error box";
    case UiCall::Kind::kDialog:
      return "dialog";
    case UiCall::Kind::kWaitForClose:
      return "wait for close";
  }
  return "?";
}

const char* OutcomeName(DialogOutcome outcome) {
  switch (outcome) {
    case DialogOutcome::kOk:
      return "OK";
    case DialogOutcome::kCancel:
      return "Cancel";
    case DialogOutcome::kClosed:
      return "closed";
  }
  return "?";
}

}  // namespace

RecordingUserInterface::RecordingUserInterface(std::vector<DialogAnswer> script)
    : script_(script.begin(), script.end()) {}

void RecordingUserInterface::ShowErrorMessage(const std::string& text) {
  Record(UiCall::Kind::kErrorMessage, text);
}

void RecordingUserInterface::ShowMessage(const std::string& text) {
  Record(UiCall::Kind::kMessage, text);
}

void RecordingUserInterface::ShowErrorBox(const std::string& message) {
  Record(UiCall::Kind::kErrorBox, message);
}

DialogOutcome RecordingUserInterface::ShowDialog(TwoFieldDialog& dialog) {
  UiCall call{UiCall::Kind::kDialog, {}, dialog.caption, dialog.label, dialog.field1, dialog.field2,
              DialogOutcome::kClosed};
  if (!script_.empty()) {
    const DialogAnswer answer = script_.front();
    script_.pop_front();
    call.outcome = answer.outcome;
    if (answer.outcome == DialogOutcome::kOk) {
      dialog.field1 = answer.field1;
      dialog.field2 = answer.field2;
    }
  }
  calls_.push_back(std::move(call));
  return calls_.back().outcome;
}

void RecordingUserInterface::WaitForMainWindowClose() { Record(UiCall::Kind::kWaitForClose, {}); }

void RecordingUserInterface::AnswerDialog(DialogOutcome outcome, std::string field1,
                                          std::string field2) {
  script_.push_back({outcome, std::move(field1), std::move(field2)});
}

std::vector<std::string> RecordingUserInterface::Texts(UiCall::Kind kind) const {
  std::vector<std::string> texts;
  for (const UiCall& c : calls_) {
    if (c.kind == kind) texts.push_back(kind == UiCall::Kind::kDialog ? c.caption : c.text);
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
    if (c.kind == UiCall::Kind::kDialog) {
      out += " \"" + c.caption + "\" -> " + OutcomeName(c.outcome);
    } else if (!c.text.empty()) {
      out += ": " + c.text;
    }
    out += '\n';
  }
  return out.empty() ? "(no calls)\n" : out;
}

void RecordingUserInterface::Record(UiCall::Kind kind, const std::string& text) {
  calls_.push_back({kind, text, {}, {}, {}, {}, DialogOutcome::kClosed});
}

}  // namespace et::test
