#include "fb/error.h"

#include <ibase.h>

#include <algorithm>

namespace et::fb {

bool DatabaseError::IsLockConflict() const {
  const int code = Code();
  return code == isc_deadlock || code == isc_lock_conflict || code == isc_update_conflict;
}

bool DatabaseError::IsTableReservedElsewhere() const {
  // A record's conflict starts with isc_deadlock; the lock manager's refusal
  // of a table lock to a transaction that does not wait with this code.
  return Code() == isc_lock_conflict;
}

bool DatabaseError::IsDatabaseHeldByAnotherProcess() const {
  // The engine words it as an I/O error of the "lock" operation, followed by
  // the reason.
  return std::find(codes_.begin(), codes_.end(), isc_already_opened) != codes_.end();
}

}  // namespace et::fb
