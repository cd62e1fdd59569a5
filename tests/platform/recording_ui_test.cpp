#include "support/recording_ui.h"

#include <gtest/gtest.h>

namespace et::test {
namespace {

TwoFieldPrompt Dialog(const std::string& caption) {
  TwoFieldPrompt d;
  d.caption = caption;
  d.label = "etichetta";
  d.field1 = "f1";
  d.field2 = "f2";
  return d;
}

TEST(RecordingUserInterfaceTest, RecordsEveryCallInOrder) {
  RecordingUserInterface ui;
  ui.ShowMessage("Non trovato dati.ini");
  ui.ShowErrorMessage("File mancante");
  ui.ShowHaltMessage("Errore");
  ui.WaitBeforeExit();
  ASSERT_EQ(ui.Calls().size(), 4u) << ui.Transcript();
  EXPECT_EQ(ui.Calls()[0].kind, UiCall::Kind::kMessage);
  EXPECT_EQ(ui.Calls()[1].kind, UiCall::Kind::kErrorMessage);
  EXPECT_EQ(ui.Calls()[2].kind, UiCall::Kind::kHaltMessage);
  EXPECT_EQ(ui.Calls()[2].text, "Errore");
  EXPECT_EQ(ui.Calls()[3].kind, UiCall::Kind::kWaitBeforeExit);
  EXPECT_EQ(ui.Texts(UiCall::Kind::kMessage), std::vector<std::string>{"Non trovato dati.ini"});
  EXPECT_EQ(ui.Count(UiCall::Kind::kHaltMessage), 1u);
  EXPECT_EQ(ui.Transcript(),
            "message: Non trovato dati.ini\nerror message: File mancante\nhalt message: Errore\n"
            "wait before exit\n");
}

TEST(RecordingUserInterfaceTest, AnswersPromptsFromTheScriptThenCloses) {
  RecordingUserInterface ui({{PromptOutcome::kOk, "SERVER1", "D"}});
  ui.AnswerPrompt(PromptOutcome::kCancel, "ignored", "ignored");

  TwoFieldPrompt first = Dialog("uno");
  EXPECT_EQ(ui.ShowPrompt(first), PromptOutcome::kOk);
  EXPECT_EQ(first.field1, "SERVER1");
  EXPECT_EQ(first.field2, "D");

  TwoFieldPrompt second = Dialog("due");
  EXPECT_EQ(ui.ShowPrompt(second), PromptOutcome::kCancel);
  EXPECT_EQ(second.field1, "f1");  // only OK hands the fields back

  TwoFieldPrompt third = Dialog("tre");
  EXPECT_EQ(ui.UnusedAnswers(), 0u);
  EXPECT_EQ(ui.ShowPrompt(third), PromptOutcome::kClosed);
  EXPECT_EQ(third.field2, "f2");

  ASSERT_EQ(ui.Count(UiCall::Kind::kPrompt), 3u);
  EXPECT_EQ(ui.Texts(UiCall::Kind::kPrompt), (std::vector<std::string>{"uno", "due", "tre"}));
  const UiCall& call = ui.Calls()[0];
  EXPECT_EQ(call.label, "etichetta");
  EXPECT_EQ(call.field1, "f1");  // as shown, before the answer
  EXPECT_EQ(call.outcome, PromptOutcome::kOk);
  EXPECT_EQ(ui.Calls()[2].outcome, PromptOutcome::kClosed);
}

}  // namespace
}  // namespace et::test
