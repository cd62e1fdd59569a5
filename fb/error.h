#pragma once

#include <string>

#include "platform/error.h"

namespace et::fb {

// An error of the database engine or client, carrying the engine's message
// as IUtil::formatStatus gives it.
class DatabaseError : public Error {
 public:
  using Error::Error;
  std::string_view TypeName() const override { return "EDatabaseError"; }
};

}  // namespace et::fb
