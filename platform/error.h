// Errors raised by the system. Each carries the message a user will read and
// the name of its kind, which some diagnostic lines print before the message.
// A fault of the program itself is a ProgrammingError instead, kept apart
// from what users are told.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace et {

// Base of every error the system raises on purpose.
class Error : public std::exception {
 public:
  // How what() puts a context before the text it explains.
  enum class ContextBreak {
    kNewLine,         // the context, CR LF, the text: a line of its own
    kCarriageReturn,  // the context, CR, the text: still one line of output
  };

  // An error whose message is `message`, with no context yet.
  explicit Error(std::string message);
  // The contexts added, outermost first, each followed by its break, then
  // the message.
  const char* what() const noexcept override { return what_.c_str(); }
  // The message as raised, without the contexts added since.
  const std::string& Message() const { return message_; }
  // Name of the kind of error, as printed in diagnostic lines ("EInOutError").
  virtual std::string_view TypeName() const { return "Exception"; }

  // Puts `context` and its break before what the error says so far, for a
  // caller that says which step failed and then rethrows the same error
  // (`throw;`), keeping its type and everything it carries.
  void AddContext(std::string_view context, ContextBreak brk = ContextBreak::kNewLine);

 private:
  std::string message_;
  std::string what_;
};

// A file or stream could not be opened, written or closed.
class IoError : public Error {
 public:
  using Error::Error;
  std::string_view TypeName() const override { return "EInOutError"; }
};

// A text could not be converted to a number.
class ConvertError : public Error {
 public:
  using Error::Error;
  std::string_view TypeName() const override { return "EConvertError"; }
};

// The program broke a rule of an interface it uses (a field read without a
// current row, an unknown column name, a transaction used after its end): a
// fault to fix in the code, never something a user caused or can mend.
class ProgrammingError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// The name of an error's kind, also for errors not raised by the system.
std::string_view ErrorTypeName(const std::exception& e);

}  // namespace et
