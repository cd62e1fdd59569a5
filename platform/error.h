// Errors raised by the system. Each carries the message a user will read and
// the name of its kind, which some diagnostic lines print before the message.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace et {

// Base of every error the system raises on purpose.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // Name of the kind of error, as printed in diagnostic lines ("EInOutError").
  virtual std::string_view TypeName() const { return "Exception"; }
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
