#include "platform/error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace et {
namespace {

using Break = Error::ContextBreak;

struct Context {
  std::string text;
  Break brk;
};

// Contexts are kept apart from the message: what() composes them, outermost
// (last added) first, and Message() still gives the text as raised.
TEST(ErrorTest, WhatPutsEachContextBeforeTheMessage) {
  const struct {
    const char* name;
    std::vector<Context> contexts;  // in the order they are added
    std::string what;
  } cases[] = {
      {"none", {}, "motivo"},
      {"a line of its own", {{"Passo fallito", Break::kNewLine}}, "Passo fallito\r\nmotivo"},
      {"a carriage return", {{"Fallito reset ", Break::kCarriageReturn}}, "Fallito reset \rmotivo"},
      {"empty context", {{"", Break::kNewLine}}, "\r\nmotivo"},
      {"two, outermost first",
       {{"interno", Break::kCarriageReturn}, {"esterno", Break::kNewLine}},
       "esterno\r\ninterno\rmotivo"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    IoError e("motivo");
    for (const Context& context : c.contexts) e.AddContext(context.text, context.brk);
    EXPECT_EQ(e.what(), c.what);
    EXPECT_EQ(e.Message(), "motivo");
    EXPECT_EQ(e.TypeName(), "EInOutError");
  }
}

TEST(ErrorTest, ARethrownErrorKeepsItsTypeAndTheContext) {
  try {
    try {
      throw ConvertError("'x' is not a valid integer value");
    } catch (Error& e) {
      e.AddContext("Lettura fallita");
      throw;
    }
  } catch (const ConvertError& e) {
    EXPECT_STREQ(e.what(), "Lettura fallita\r\n'x' is not a valid integer value");
    return;
  }
  ADD_FAILURE() << "the error changed its type";
}

TEST(ErrorTest, ProgrammingErrorsAreNoUsersErrors) {
  const ProgrammingError e("No current row");
  const std::logic_error& logic = e;
  EXPECT_STREQ(logic.what(), "No current row");
  EXPECT_EQ(dynamic_cast<const Error*>(&logic), nullptr);
  EXPECT_EQ(ErrorTypeName(e), "Exception");
}

}  // namespace
}  // namespace et
