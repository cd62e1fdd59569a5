#include "fb/transaction.h"

#include <firebird/Interface.h>

#include <cassert>
#include <vector>

#include "fb/attachment.h"
#include "fb/client.h"
#include "fb/error.h"
#include "platform/error.h"

namespace et::fb {
namespace {

using detail::Status;

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

}  // namespace

Transaction::Transaction(Attachment& attachment, const TransactionOptions& options) {
  if (!attachment.attachment_) throw ProgrammingError("The database is not attached");
  const std::vector<unsigned char> tpb = ParameterBlock(options);
  Status status;
  transaction_.Reset(attachment.attachment_->startTransaction(
      status.get(), static_cast<unsigned>(tpb.size()), tpb.empty() ? nullptr : tpb.data()));
  status.Check();
  attachment_ = attachment.dependents_.Hand();
}

Transaction::~Transaction() { Discard(); }

Transaction::Transaction(Transaction&&) noexcept = default;

Transaction& Transaction::operator=(Transaction&& other) noexcept {
  if (this != &other) {
    Discard();
    transaction_ = std::move(other.transaction_);
    attachment_ = std::move(other.attachment_);
    cursors_ = std::move(other.cursors_);
  }
  return *this;
}

void Transaction::Discard() noexcept {
  if (transaction_) {
    assert(cursors_.NoneLeft() && "a cursor is still open on the ending transaction");
    // A successful rollback ends the interface; after a failed one the owner
    // releases it.
    if (detail::RollBackTransaction(transaction_.Get())) transaction_.Disown();
    transaction_.Reset();
  }
  attachment_ = {};
}

Firebird::ITransaction* Transaction::Active() const {
  if (!transaction_) throw ProgrammingError("The transaction is not active");
  return transaction_.Get();
}

void Transaction::Commit() {
  Firebird::ITransaction* transaction = Active();
  assert(cursors_.NoneLeft() && "a cursor is still open on the ending transaction");
  Status status;
  transaction->commit(status.get());
  status.Check();
  transaction_.Disown();  // a successful commit ends the interface
  attachment_ = {};
}

void Transaction::Rollback() {
  Firebird::ITransaction* transaction = Active();
  assert(cursors_.NoneLeft() && "a cursor is still open on the ending transaction");
  Status status;
  transaction->rollback(status.get());
  status.Check();
  transaction_.Disown();  // a successful rollback ends the interface
  attachment_ = {};
}

bool Transaction::IsActive() const { return static_cast<bool>(transaction_); }

}  // namespace et::fb
