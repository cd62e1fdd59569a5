// The error this layer raises.
#pragma once

#include <string>
#include <utility>

#include "platform/error.h"

namespace et::fb {

// An error of the database engine or client, carrying the engine's message
// as IUtil::formatStatus gives it, and, when the engine raised it, its first
// error code and its SQLSTATE.
class DatabaseError : public Error {
 public:
  // An error of this layer with no engine error code behind it.
  explicit DatabaseError(const std::string& message) : Error(message) {}
  // An error the engine raised: its text, first ISC error code and SQLSTATE.
  DatabaseError(const std::string& message, int code, std::string sql_state)
      : Error(message), code_(code), sql_state_(std::move(sql_state)) {}

  // Name of the kind of error, as printed in diagnostic lines.
  std::string_view TypeName() const override { return "EDatabaseError"; }
  // The first ISC error code of the engine's status (isc_deadlock,
  // isc_lock_conflict, ...); 0 when the error did not come from the engine.
  int Code() const { return code_; }
  // The five-character SQLSTATE of the engine's status; empty when the error
  // did not come from the engine.
  std::string SqlState() const { return sql_state_; }
  // True when a record or table was locked by another transaction: a
  // deadlock, a lock conflict or an update conflict.
  bool IsLockConflict() const;

 private:
  int code_ = 0;
  std::string sql_state_;
};

}  // namespace et::fb
