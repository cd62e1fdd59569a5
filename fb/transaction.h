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
  ~Transaction();
  Transaction(Transaction&&) noexcept;
  Transaction& operator=(Transaction&&) noexcept;
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit();           // ends the transaction
  void CommitRetaining();  // commits and keeps the transaction open
  void Rollback();         // ends the transaction
  bool IsActive() const;

  Attachment& GetAttachment() const { return *attachment_; }
  detail::TransactionHandle* Handle() const { return handle_.get(); }

 private:
  Attachment* attachment_;
  std::unique_ptr<detail::TransactionHandle> handle_;
};

}  // namespace et::fb
