// How a transaction is started: isolation, lock resolution and access mode,
// turned into the engine's transaction parameter block by Transaction.
#pragma once

#include <string>
#include <vector>

namespace et::fb {

// Which committed data a transaction sees.
enum class Isolation {
  kConsistency,    // table-level locks, a stable view of the data
  kConcurrency,    // snapshot: the data as committed when the transaction began
  kReadCommitted,  // the latest committed data at each read
};

// What a statement does when it meets a record locked by another transaction.
enum class LockResolution {
  kWait,    // waits until the other transaction ends
  kNoWait,  // fails at once with a lock conflict
};

// Whether the transaction may change data.
enum class AccessMode { kReadWrite, kReadOnly };

// The parameters a transaction starts with. The defaults are the engine's
// own (snapshot, wait, read-write), but spelled out in a parameter block.
struct TransactionOptions {
  // True: no parameter block at all, the server's defaults; the other fields
  // are then ignored.
  bool server_defaults = false;
  // Isolation level of the transaction.
  Isolation isolation = Isolation::kConcurrency;
  // Read committed only: true reads the latest committed version of a record
  // another transaction is changing; false waits for or conflicts with it.
  bool record_version = true;
  // Behaviour on a lock conflict.
  LockResolution lock = LockResolution::kWait;
  // Read-write or read-only.
  AccessMode access = AccessMode::kReadWrite;
  // Waiting only: the longest wait for a lock, in seconds; 0 waits as long
  // as it takes.
  int lock_timeout_seconds = 0;
  // Tables reserved for protected write as the transaction starts: other
  // transactions may read them but not write them until this one ends, and
  // the start waits (or fails) while another transaction has written them.
  std::vector<std::string> protected_write_tables{};

  // Equal when every field is.
  bool operator==(const TransactionOptions&) const = default;

  // No parameter block at all: the server's defaults.
  static TransactionOptions ServerDefaults() { return {.server_defaults = true}; }
  // Snapshot, no wait: concurrency isolation that fails at once on a lock
  // conflict.
  static TransactionOptions Snapshot() {
    return {.isolation = Isolation::kConcurrency, .lock = LockResolution::kNoWait};
  }
  // Read committed, latest committed version of each record, waiting on
  // lock conflicts.
  static TransactionOptions ReadCommitted() {
    return {.isolation = Isolation::kReadCommitted, .record_version = true};
  }
};

}  // namespace et::fb
