#include "support/recording_ui.h"

#include <gtest/gtest.h>

namespace et::test {
namespace {

TwoFieldDialog Dialog(const std::string& caption) {
  TwoFieldDialog d;
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
  ui.ShowErrorBox("Errore");
  ui.WaitForMainWindowClose();
  ASSERT_EQ(ui.Calls().size(), 4u) << ui.Transcript();
  EXPECT_EQ(ui.Calls()[0].kind, UiCall::Kind::kMessage);
  EXPECT_EQ(ui.Calls()[1].kind, UiCall::Kind::kErrorMessage);
  EXPECT_EQ(ui.Calls()[2].kind, UiCall::Kind::kErrorBox);
  EXPECT_EQ(ui.Calls()[2].text, "Errore");
  EXPECT_EQ(ui.Calls()[3].kind, UiCall::Kind::kWaitForClose);
  EXPECT_EQ(ui.Texts(UiCall::Kind::kMessage), std::vector<std::string>{"Non trovato dati.ini"});
  EXPECT_EQ(ui.Count(UiCall::Kind::kErrorBox), 1u);
  EXPECT_EQ(ui.Transcript(),
            "message: Non trovato dati.ini\nerror message: File mancante\nerror box: Errore\n"
            "wait for close\n");
}

TEST(RecordingUserInterfaceTest, AnswersDialogsFromTheScriptThenCloses) {
  RecordingUserInterface ui({{DialogOutcome::kOk, "SERVER1", "D"}});
  ui.AnswerDialog(DialogOutcome::kCancel, "ignored", "ignored");

  TwoFieldDialog first = Dialog("uno");
  EXPECT_EQ(ui.ShowDialog(first), DialogOutcome::kOk);
  EXPECT_EQ(first.field1, "SERVER1");
  EXPECT_EQ(first.field2, "D");

  TwoFieldDialog second = Dialog("due");
  EXPECT_EQ(ui.ShowDialog(second), DialogOutcome::kCancel);
  EXPECT_EQ(second.field1, "f1");  // only OK hands the fields back

  TwoFieldDialog third = Dialog("tre");
  EXPECT_EQ(ui.UnusedAnswers(), 0u);
  EXPECT_EQ(ui.ShowDialog(third), DialogOutcome::kClosed);
  EXPECT_EQ(third.field2, "f2");

  ASSERT_EQ(ui.Count(UiCall::Kind::kDialog), 3u);
  EXPECT_EQ(ui.Texts(UiCall::Kind::kDialog), (std::vector<std::string>{"uno", "due", "tre"}));
  const UiCall& call = ui.Calls()[0];
  EXPECT_EQ(call.label, "etichetta");
  EXPECT_EQ(call.field1, "f1");  // as shown, before the answer
  EXPECT_EQ(call.outcome, DialogOutcome::kOk);
  EXPECT_EQ(ui.Calls()[2].outcome, DialogOutcome::kClosed);
}

}  // namespace
}  // namespace et::test
