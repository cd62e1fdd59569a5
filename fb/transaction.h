// Transactions started with typed options (isolation, lock resolution,
// access mode).
#pragma once

#include "fb/lifetime.h"
#include "fb/owned.h"
#include "fb/transaction_options.h"

namespace Firebird {
class ITransaction;
}

namespace et::fb {

class Attachment;

// A started transaction. Move-only; a transaction still active when its
// object dies is rolled back (never throws). Its attachment must outlive it,
// and it must outlive the open cursors of the statements executed with it
// (see fb/attachment.h).
class Transaction final {
 public:
  // Starts a transaction on the attachment with the given options (see
  // TransactionOptions::ServerDefaults for no parameter block at all).
  // Raises DatabaseError; ProgrammingError when the attachment is not
  // attached.
  Transaction(Attachment& attachment, const TransactionOptions& options);
  // Rolls back the transaction if it is still active.
  ~Transaction();
  // Takes over the other's transaction, leaving it ended.
  Transaction(Transaction&&) noexcept;
  // Rolls back this object's transaction if active, then takes over the
  // other's.
  Transaction& operator=(Transaction&&) noexcept;
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Commits the work and ends the transaction. Raises DatabaseError;
  // ProgrammingError when it has ended already.
  void Commit();
  // Undoes the work and ends the transaction. Raises DatabaseError;
  // ProgrammingError when it has ended already.
  void Rollback();
  // True until the transaction has ended (committed or rolled back).
  bool IsActive() const;

 private:
  friend class Statement;

  // The interface of an active transaction; raises ProgrammingError when it
  // has ended.
  Firebird::ITransaction* Active() const;
  // Rolls back as the destructor does. Never throws.
  void Discard() noexcept;

  detail::Owned<Firebird::ITransaction> transaction_;  // empty once ended
  detail::Dependents::Mark attachment_;                // relies on its attachment
  detail::Dependents cursors_;                         // the cursors opened with it
};

}  // namespace et::fb
