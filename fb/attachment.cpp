#include "fb/attachment.h"

#include <firebird/Interface.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "fb/client.h"
#include "fb/error.h"

namespace et::fb {
namespace {

using detail::Status;

// The live attachments, for CancelAllOperations on another thread. An
// attachment leaves the list before it is detached or released, under the
// lock, so a cancellation never reaches an interface that has gone.
std::mutex g_live_mutex;
std::vector<detail::AttachmentHandle*> g_live;

void AddLive(detail::AttachmentHandle* handle) {
  const std::lock_guard lock(g_live_mutex);
  g_live.push_back(handle);
}

void RemoveLive(detail::AttachmentHandle* handle) {
  const std::lock_guard lock(g_live_mutex);
  std::erase(g_live, handle);
}

// Rolls back every transaction still active on the attachment and cuts the
// transactions' link to it. Never throws.
void EndTransactions(detail::AttachmentHandle& handle) {
  for (detail::TransactionHandle* t : handle.transactions) {
    if (t->transaction) {
      detail::CloseCursors(*t);
      // A successful rollback ends the interface; after a failed one the
      // owner releases it.
      if (detail::RollBackTransaction(t->transaction.Get())) t->transaction.Disown();
      t->transaction.Reset();
    }
    t->owner = nullptr;
  }
  handle.transactions.clear();
}

// Detaches; on failure the interface stays held (and live) so the caller
// may retry.
void DetachHandle(detail::AttachmentHandle& handle) {
  EndTransactions(handle);
  RemoveLive(&handle);
  for (int attempt = 0;; ++attempt) {
    Status status;
    handle.attachment->detach(status.get());
    if (!status.Failed()) break;
    // The first call after a cancellation fails; the detach is tried again.
    if (attempt == 0 && status.Code() == isc_cancelled) continue;
    AddLive(&handle);
    status.Check();
  }
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
      RemoveLive(handle.get());
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
  AddLive(handle.get());
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
  AddLive(handle.get());
  return Attachment(std::move(handle));
}

bool Attachment::IsAttached() const { return handle_ && handle_->attachment; }

void Attachment::Detach() {
  if (!IsAttached()) return;
  DetachHandle(*handle_);
  handle_.reset();
}

void CancelAllOperations() {
  const std::lock_guard lock(g_live_mutex);
  for (detail::AttachmentHandle* handle : g_live) {
    Status status;
    handle->attachment->cancelOperation(status.get(), fb_cancel_raise);
    // An attachment with nothing to cancel, or one the engine has already
    // lost, has nothing to stop.
    status.Clear();
  }
}

}  // namespace et::fb
