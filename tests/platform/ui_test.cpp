#include "platform/ui.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/error.h"

namespace et {
namespace {

TEST(HaltMessageTextTest, FullStopOnlyAfterACharacterAboveTheFullStop) {
  struct Case {
    const char* message;
    const char* expected;
  };
  const Case cases[] = {
      {"Connessione non riuscita", "Connessione non riuscita."},
      {"Errore 42", "Errore 42."},                 // '2' (50) is above '.' (46)
      {"Errore (dettagli)", "Errore (dettagli)"},  // ')' is 41
      {"Fatto.", "Fatto."},
      {"Attenzione!", "Attenzione!"},        // '!' is 33
      {"Spazio finale ", "Spazio finale "},  // ' ' is 32
      {"Riga\r\n", "Riga\r\n"},
      {"Elenco,", "Elenco,"},      // ',' is 44
      {"Trattino-", "Trattino-"},  // '-' is 45
      {"Barra/", "Barra/."},       // '/' is 47
      {"Due punti:", "Due punti:."},
      {"Citt\u00E0", "Citt\u00E0."},  // any non-ASCII character is above
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(HaltMessageText(c.message), c.expected) << c.message;
}

TEST(ErrorTypeNameTest, NamesTheKindOfError) {
  EXPECT_EQ(ErrorTypeName(IoError("x")), "EInOutError");
  EXPECT_EQ(ErrorTypeName(ConvertError("x")), "EConvertError");
  EXPECT_EQ(ErrorTypeName(Error("x")), "Exception");
  EXPECT_EQ(ErrorTypeName(std::runtime_error("x")), "Exception");
  const std::exception& as_base = IoError("x");
  EXPECT_EQ(ErrorTypeName(as_base), "EInOutError");
}

// A console user interface on string streams.
struct Console {
  explicit Console(const std::string& input, bool terminal = false)
      : in(input), ui(in, out, terminal) {}
  std::istringstream in;
  std::ostringstream out;
  ConsoleUserInterface ui;
};

TwoFieldPrompt ServerPrompt() {
  return {.caption = "Non trovato dati.ini",
          .label = "Inserire il nome del computer\r\nunit\u00E0 disco",
          .field1 = "vecchio",
          .field2 = "C",
          .field1_name = "Nome computer",
          .field2_name = "Lettera disco"};
}

TEST(ConsoleUserInterfaceTest, PromptOkTakesOneLinePerField) {
  Console c("SERVER1\r\nD\nresto\n");
  TwoFieldPrompt d = ServerPrompt();
  EXPECT_EQ(c.ui.ShowPrompt(d), PromptOutcome::kOk);
  EXPECT_EQ(d.field1, "SERVER1");  // the CR of a CR LF line is not part of the field
  EXPECT_EQ(d.field2, "D");
  const std::string shown = c.out.str();
  EXPECT_NE(shown.find("Non trovato dati.ini\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Inserire il nome del computer\nunit\u00E0 disco\n"), std::string::npos)
      << shown;
  EXPECT_EQ(shown.find('\r'), std::string::npos) << shown;
  const std::size_t first = shown.find("Nome computer");
  const std::size_t second = shown.find("Lettera disco");
  ASSERT_NE(first, std::string::npos) << shown;
  ASSERT_NE(second, std::string::npos) << shown;
  EXPECT_LT(first, second);
  std::string rest;
  std::getline(c.in, rest);
  EXPECT_EQ(rest, "resto");  // the dialog reads no more than its two lines
}

TEST(ConsoleUserInterfaceTest, PromptOkWithEmptyLinesEmptiesTheFields) {
  Console c("\n\n");
  TwoFieldPrompt d = ServerPrompt();
  EXPECT_EQ(c.ui.ShowPrompt(d), PromptOutcome::kOk);
  EXPECT_EQ(d.field1, "");
  EXPECT_EQ(d.field2, "");
}

TEST(ConsoleUserInterfaceTest, EscapeLineCancelsAndLeavesTheFields) {
  for (const char* input : {"\x1b\n", "\x1b\r\n", "SERVER1\n\x1b\n"}) {
    Console c(input);
    TwoFieldPrompt d = ServerPrompt();
    EXPECT_EQ(c.ui.ShowPrompt(d), PromptOutcome::kCancel) << testing::PrintToString(input);
    EXPECT_EQ(d.field1, "vecchio");
    EXPECT_EQ(d.field2, "C");
  }
  // ESC with other text is an ordinary value.
  Console c("\x1bx\nD\n");
  TwoFieldPrompt d = ServerPrompt();
  EXPECT_EQ(c.ui.ShowPrompt(d), PromptOutcome::kOk);
  EXPECT_EQ(d.field1, "\x1bx");
}

TEST(ConsoleUserInterfaceTest, EndOfInputClosesThePromptAndLeavesTheFields) {
  for (const char* input : {"", "SERVER1\n", "SERVER1"}) {
    Console c(input);
    TwoFieldPrompt d = ServerPrompt();
    EXPECT_EQ(c.ui.ShowPrompt(d), PromptOutcome::kClosed) << testing::PrintToString(input);
    EXPECT_EQ(d.field1, "vecchio");
    EXPECT_EQ(d.field2, "C");
  }
}

TEST(ConsoleUserInterfaceTest, PromptReadsItsInputAlsoFromATerminal) {
  Console c("SRV\nE\n", /*terminal=*/true);
  TwoFieldPrompt d = ServerPrompt();
  EXPECT_EQ(c.ui.ShowPrompt(d), PromptOutcome::kOk);
  EXPECT_EQ(d.field1, "SRV");
  EXPECT_EQ(d.field2, "E");
}

TEST(ConsoleUserInterfaceTest, MessagesWithoutTerminalDoNotWait) {
  Console c("untouched\n");
  c.ui.ShowErrorMessage("File PARAMETRIQUORVANDELIX.INI non esistente!");
  c.ui.ShowMessage("DIRCATINTERNET mancante");
  c.ui.ShowHaltMessage("Connessione rifiutata");
  c.ui.WaitBeforeExit();
  EXPECT_EQ(c.out.str(),
            "[errore] File PARAMETRIQUORVANDELIX.INI non esistente!\n"
            "DIRCATINTERNET mancante\n"
            "[arresto] Connessione rifiutata.\n");
  std::string rest;
  std::getline(c.in, rest);
  EXPECT_EQ(rest, "untouched");
}

TEST(ConsoleUserInterfaceTest, MessagesOnATerminalWaitForEnter) {
  Console c("\n\n\n\nleft\n", /*terminal=*/true);
  c.ui.ShowErrorMessage("uno");
  c.ui.ShowMessage("due");
  c.ui.ShowHaltMessage("tre!");
  c.ui.WaitBeforeExit();
  std::string rest;
  std::getline(c.in, rest);
  EXPECT_EQ(rest, "left");  // each of the four took exactly one line
  const std::string shown = c.out.str();
  EXPECT_NE(shown.find("[errore] uno\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("due\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("[arresto] tre!\n"), std::string::npos) << shown;
}

TEST(ConsoleUserInterfaceTest, WaitingOnATerminalEndsAtEndOfInput) {
  Console c("", /*terminal=*/true);
  c.ui.ShowMessage("x");
  c.ui.WaitBeforeExit();
  EXPECT_TRUE(c.in.eof());
}

TEST(ConsoleUserInterfaceTest, MultiLineMessagesUseTerminalLineEnds) {
  Console c("");
  c.ui.ShowMessage("riga uno\r\nriga due\rriga tre");
  EXPECT_EQ(c.out.str(), "riga uno\nriga due\nriga tre\n");
}

}  // namespace
}  // namespace et
