// The error this layer raises.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"

namespace et::fb {

// An error of the database engine or client, carrying the engine's message
// as IUtil::formatStatus gives it, and, when the engine raised it, its first
// error code and its SQLSTATE.
class DatabaseError : public Error {
 public:
  // An error of this layer with no engine error code behind it.
  explicit DatabaseError(const std::string& message) : Error(message) {}
  // An error the engine raised: its text, the ISC error codes of its status
  // in order, and its SQLSTATE.
  DatabaseError(const std::string& message, std::vector<int> codes, std::string sql_state)
      : Error(message), codes_(std::move(codes)), sql_state_(std::move(sql_state)) {}

  // Name of the kind of error, as printed in diagnostic lines.
  std::string_view TypeName() const override { return "EDatabaseError"; }
  // The first ISC error code of the engine's status (isc_deadlock,
  // isc_lock_conflict, ...); 0 when the error did not come from the engine.
  int Code() const { return codes_.empty() ? 0 : codes_.front(); }
  // The five-character SQLSTATE of the engine's status; empty when the error
  // did not come from the engine.
  std::string SqlState() const { return sql_state_; }
  // True when a record or table was locked by another transaction: a
  // deadlock, a lock conflict or an update conflict.
  bool IsLockConflict() const;
  // True when a lock conflict is on a table, not on a record: another
  // transaction has reserved the table, and this one does not wait.
  bool IsTableReservedElsewhere() const;
  // True when an attach was refused because the engine of another process
  // holds the database file: an embedded database is open in one process at
  // a time, and the file is there.
  bool IsDatabaseHeldByAnotherProcess() const;

 private:
  std::vector<int> codes_;
  std::string sql_state_;
};

}  // namespace et::fb
