#include "fb/transaction.h"

#include <firebird/Interface.h>

#include <vector>

#include "fb/attachment.h"
#include "fb/client.h"
#include "fb/error.h"

namespace et::fb {
namespace {

using detail::Status;

// Lets go of the transaction interface (releasing it unless a call ended it
// already) and leaves the attachment's list.
void Forget(detail::TransactionHandle& handle) {
  handle.transaction.Reset();
  if (handle.owner) detail::Unregister(handle.owner->transactions, &handle);
  handle.owner = nullptr;
}

// Rolls back a transaction still active, then cuts every link to the handle.
// Never throws.
void Discard(std::unique_ptr<detail::TransactionHandle>& handle) {
  if (!handle) return;
  if (handle->transaction) {
    detail::CloseCursors(*handle);
    // A successful rollback ends the interface; after a failed one Forget
    // releases it.
    if (detail::RollBackTransaction(handle->transaction.Get())) handle->transaction.Disown();
  }
  Forget(*handle);
  for (detail::StatementHandle* s : handle->statements) detail::LoseTransaction(*s);
  handle.reset();
}

// The transaction parameter block for the options; empty for the server's
// defaults.
std::vector<unsigned char> ParameterBlock(const TransactionOptions& options) {
  if (options.server_defaults) return {};
  std::vector<unsigned char> tpb = {isc_tpb_version3};
  switch (options.isolation) {
    case Isolation::kConsistency:
      tpb.push_back(isc_tpb_consistency);
      break;
    case Isolation::kConcurrency:
      tpb.push_back(isc_tpb_concurrency);
      break;
    case Isolation::kReadCommitted:
      tpb.push_back(isc_tpb_read_committed);
      tpb.push_back(options.record_version ? isc_tpb_rec_version : isc_tpb_no_rec_version);
      break;
  }
  tpb.push_back(options.lock == LockResolution::kWait ? isc_tpb_wait : isc_tpb_nowait);
  tpb.push_back(options.access == AccessMode::kReadWrite ? isc_tpb_write : isc_tpb_read);
  if (options.lock == LockResolution::kWait && options.lock_timeout_seconds > 0) {
    // A value item: its length, then the number, least significant byte first.
    tpb.push_back(isc_tpb_lock_timeout);
    tpb.push_back(4);
    for (int shift = 0; shift < 32; shift += 8) {
      tpb.push_back(static_cast<unsigned char>(
          (static_cast<unsigned>(options.lock_timeout_seconds) >> shift) & 0xFF));
    }
  }
  for (const std::string& table : options.protected_write_tables) {
    if (table.empty() || table.size() > 255) {
      throw DatabaseError("A reserved table name has 1 to 255 characters: \"" + table + "\"");
    }
    tpb.push_back(isc_tpb_lock_write);
    tpb.push_back(static_cast<unsigned char>(table.size()));
    tpb.insert(tpb.end(), table.begin(), table.end());
    tpb.push_back(isc_tpb_protected);
  }
  return tpb;
}

Firebird::ITransaction* Active(const std::unique_ptr<detail::TransactionHandle>& handle) {
  if (!handle || !handle->transaction) throw DatabaseError("The transaction is not active");
  return handle->transaction.Get();
}

}  // namespace

Transaction::Transaction(Attachment& attachment, const TransactionOptions& options)
    : handle_(std::make_unique<detail::TransactionHandle>()) {
  detail::AttachmentHandle* owner = attachment.Handle();
  if (!owner || !owner->attachment) throw DatabaseError("The database is not attached");
  const std::vector<unsigned char> tpb = ParameterBlock(options);
  Status status;
  handle_->transaction.Reset(owner->attachment->startTransaction(
      status.get(), static_cast<unsigned>(tpb.size()), tpb.empty() ? nullptr : tpb.data()));
  status.Check();
  handle_->owner = owner;
  owner->transactions.push_back(handle_.get());
}

Transaction::~Transaction() { Discard(handle_); }

Transaction::Transaction(Transaction&&) noexcept = default;

Transaction& Transaction::operator=(Transaction&& other) noexcept {
  if (this != &other) {
    Discard(handle_);
    handle_ = std::move(other.handle_);
  }
  return *this;
}

void Transaction::Commit() {
  Firebird::ITransaction* transaction = Active(handle_);
  detail::CloseCursors(*handle_);
  Status status;
  transaction->commit(status.get());
  status.Check();
  handle_->transaction.Disown();  // a successful commit ends the interface
  Forget(*handle_);
}

void Transaction::CommitRetaining() {
  Status status;
  Active(handle_)->commitRetaining(status.get());
  status.Check();
}

void Transaction::Rollback() {
  Firebird::ITransaction* transaction = Active(handle_);
  detail::CloseCursors(*handle_);
  Status status;
  transaction->rollback(status.get());
  status.Check();
  handle_->transaction.Disown();  // a successful rollback ends the interface
  Forget(*handle_);
}

bool Transaction::IsActive() const { return handle_ && handle_->transaction; }

}  // namespace et::fb
