// Errors raised by the system. Each carries the message a user will read and
// the name of its kind, which some diagnostic lines print before the message.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace et {

// Base of every error the system raises on purpose.
class Error : public std::exception {
 public:
  explicit Error(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  // Name of the kind of error, as printed in diagnostic lines ("EInOutError").
  virtual std::string_view TypeName() const { return "Exception"; }

  // Puts `context` before the message, for a caller that says which step
  // failed and then rethrows the same error (`throw;`), keeping its type and
  // everything it carries.
  void AddContext(std::string_view context);

 private:
  std::string message_;
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

// The name of an error's kind, also for errors not raised by the system.
std::string_view ErrorTypeName(const std::exception& e);

}  // namespace et
