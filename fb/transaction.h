// Transactions started with typed options (isolation, lock resolution,
// access mode).
#pragma once

#include <memory>

#include "fb/transaction_options.h"

namespace et::fb {

class Attachment;
namespace detail {
struct TransactionHandle;
}

// A started transaction. Move-only; a transaction still active when its
// object dies is rolled back (never throws).
class Transaction final {
 public:
  // Starts a transaction on the attachment with the given options (see
  // TransactionOptions::ServerDefaults for no parameter block at all).
  // Raises DatabaseError (also when the attachment is not attached).
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

  // Commits the work and ends the transaction. Raises DatabaseError.
  void Commit();
  // Commits the work and keeps the transaction open. Raises DatabaseError.
  void CommitRetaining();
  // Undoes the work and ends the transaction. Raises DatabaseError.
  void Rollback();
  // True until the transaction has ended (committed, rolled back, or its
  // attachment detached).
  bool IsActive() const;

  // Internal handle for the other classes of this layer.
  detail::TransactionHandle* Handle() const { return handle_.get(); }

 private:
  std::unique_ptr<detail::TransactionHandle> handle_;
};

}  // namespace et::fb
