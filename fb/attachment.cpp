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
      if (status.Failed()) t->transaction->release();
      t->transaction = nullptr;
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
  status.Check();  // a successful detach releases the interface
  handle.attachment = nullptr;
}

// Detaches or, when the engine refuses, drops the interface, which frees the
// attachment without asking. Never throws.
void DiscardHandle(std::unique_ptr<detail::AttachmentHandle>& handle) {
  if (!handle) return;
  if (handle->attachment) {
    try {
      DetachHandle(*handle);
    } catch (...) {
      handle->attachment->release();
      handle->attachment = nullptr;
    }
  }
  handle.reset();
}

std::unique_ptr<detail::AttachmentHandle> MakeHandle(Firebird::IAttachment* attachment) {
  auto handle = std::make_unique<detail::AttachmentHandle>();
  handle->attachment = attachment;
  return handle;
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
  Firebird::IXpbBuilder* dpb =
      detail::Util()->getXpbBuilder(status.get(), Firebird::IXpbBuilder::DPB, nullptr, 0);
  status.Check();
  dpb->insertString(status.get(), isc_dpb_user_name, user.c_str());
  if (!status.Failed()) dpb->insertString(status.get(), isc_dpb_password, password.c_str());
  Firebird::IAttachment* attachment = nullptr;
  if (!status.Failed()) {
    const unsigned length = dpb->getBufferLength(status.get());
    const unsigned char* buffer = dpb->getBuffer(status.get());
    if (!status.Failed()) {
      Firebird::IProvider* provider = detail::Master()->getDispatcher();
      attachment = provider->attachDatabase(status.get(), database.c_str(), length, buffer);
      provider->release();
    }
  }
  dpb->dispose();
  status.Check();
  return Attachment(MakeHandle(attachment));
}

Attachment Attachment::ExecuteCreateDatabase(const std::string& create_statement,
                                             unsigned dialect) {
  Status status;
  FB_BOOLEAN is_create = FB_FALSE;
  Firebird::IAttachment* attachment = detail::Util()->executeCreateDatabase(
      status.get(), static_cast<unsigned>(create_statement.size()), create_statement.c_str(),
      dialect, &is_create);
  status.Check();
  if (!attachment) {
    throw DatabaseError("Not a CREATE DATABASE statement: " + create_statement);
  }
  return Attachment(MakeHandle(attachment));
}

bool Attachment::IsAttached() const { return handle_ && handle_->attachment; }

void Attachment::Detach() {
  if (!IsAttached()) return;
  DetachHandle(*handle_);
  handle_.reset();
}

}  // namespace et::fb
