#include "fb/error.h"

#include <ibase.h>

namespace et::fb {

bool DatabaseError::IsLockConflict() const {
  return code_ == isc_deadlock || code_ == isc_lock_conflict || code_ == isc_update_conflict;
}

}  // namespace et::fb
