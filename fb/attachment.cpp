#include "fb/attachment.h"

#include <firebird/Interface.h>

#include "fb/client.h"
#include "fb/error.h"

namespace et::fb {
namespace {

using detail::Status;

// Rolls back every transaction still active on the attachment and cuts the
// transactions' link to it. Never throws.
void EndTransactions(detail::AttachmentHandle& handle) {
  for (detail::TransactionHandle* t : handle.transactions) {
    if (t->transaction) {
      detail::CloseCursors(*t);
      Status status;
      t->transaction->rollback(status.get());
      // A successful rollback ends the interface; after a failed one the
      // owner releases it.
      if (!status.Failed()) t->transaction.Disown();
      t->transaction.Reset();
    }
    t->owner = nullptr;
  }
  handle.transactions.clear();
}

// Detaches; on failure the interface stays held so the caller may retry.
void DetachHandle(detail::AttachmentHandle& handle) {
  EndTransactions(handle);
  Status status;
  handle.attachment->detach(status.get());
  status.Check();
  handle.attachment.Disown();  // a successful detach ends the interface
}

// Detaches or, when the engine refuses, drops the interface, which frees the
// attachment without asking. Never throws.
void DiscardHandle(std::unique_ptr<detail::AttachmentHandle>& handle) {
  if (!handle) return;
  if (handle->attachment) {
    try {
      DetachHandle(*handle);
    } catch (...) {
      handle->attachment.Reset();
    }
  }
  handle.reset();
}

}  // namespace

Attachment::Attachment() = default;

Attachment::Attachment(std::unique_ptr<detail::AttachmentHandle> handle)
    : handle_(std::move(handle)) {}

Attachment::~Attachment() { DiscardHandle(handle_); }

Attachment::Attachment(Attachment&&) noexcept = default;

Attachment& Attachment::operator=(Attachment&& other) noexcept {
  if (this != &other) {
    DiscardHandle(handle_);
    handle_ = std::move(other.handle_);
  }
  return *this;
}

Attachment Attachment::Attach(const std::string& database, const std::string& user,
                              const std::string& password) {
  Status status;
  detail::Owned<Firebird::IXpbBuilder> dpb(
      detail::Util()->getXpbBuilder(status.get(), Firebird::IXpbBuilder::DPB, nullptr, 0));
  status.Check();
  dpb->insertString(status.get(), isc_dpb_user_name, user.c_str());
  status.Check();
  dpb->insertString(status.get(), isc_dpb_password, password.c_str());
  status.Check();
  const unsigned length = status.Checked(dpb->getBufferLength(status.get()));
  const unsigned char* buffer = status.Checked(dpb->getBuffer(status.get()));
  detail::Owned<Firebird::IProvider> provider(detail::Master()->getDispatcher());
  detail::Owned<Firebird::IAttachment> attachment(
      provider->attachDatabase(status.get(), database.c_str(), length, buffer));
  status.Check();
  auto handle = std::make_unique<detail::AttachmentHandle>();
  handle->attachment = std::move(attachment);
  return Attachment(std::move(handle));
}

Attachment Attachment::ExecuteCreateDatabase(const std::string& create_statement,
                                             unsigned dialect) {
  Status status;
  FB_BOOLEAN is_create = FB_FALSE;
  auto handle = std::make_unique<detail::AttachmentHandle>();
  handle->attachment.Reset(detail::Util()->executeCreateDatabase(
      status.get(), static_cast<unsigned>(create_statement.size()), create_statement.c_str(),
      dialect, &is_create));
  status.Check();
  if (!handle->attachment) {
    throw DatabaseError("Not a CREATE DATABASE statement: " + create_statement);
  }
  return Attachment(std::move(handle));
}

bool Attachment::IsAttached() const { return handle_ && handle_->attachment; }

void Attachment::Detach() {
  if (!IsAttached()) return;
  DetachHandle(*handle_);
  handle_.reset();
}

}  // namespace et::fb
