#include "fb/attachment.h"

#include <firebird/Interface.h>

#include <algorithm>
#include <cassert>
#include <mutex>
#include <vector>

#include "fb/client.h"
#include "fb/error.h"

namespace et::fb {
namespace {

using detail::Status;

// The live attachments, for CancelAllOperations on another thread: the only
// list of handles this layer keeps. An attachment leaves it before it is
// detached or released, under the lock, so a cancellation never reaches an
// interface that has gone.
std::mutex g_live_mutex;
std::vector<Firebird::IAttachment*> g_live;

void AddLive(Firebird::IAttachment* attachment) {
  const std::lock_guard lock(g_live_mutex);
  g_live.push_back(attachment);
}

void RemoveLive(Firebird::IAttachment* attachment) {
  const std::lock_guard lock(g_live_mutex);
  std::erase(g_live, attachment);
}

}  // namespace

Attachment::Attachment() = default;

Attachment::Attachment(Firebird::IAttachment* attachment) : attachment_(attachment) {
  AddLive(attachment);
}

Attachment::~Attachment() { Discard(); }

Attachment::Attachment(Attachment&&) noexcept = default;

Attachment& Attachment::operator=(Attachment&& other) noexcept {
  if (this != &other) {
    Discard();
    attachment_ = std::move(other.attachment_);
    dependents_ = std::move(other.dependents_);
  }
  return *this;
}

void Attachment::Discard() noexcept {
  if (!attachment_) return;
  try {
    Detach();
  } catch (...) {
    // Dropping the interface frees the attachment without asking.
    RemoveLive(attachment_.Get());
    attachment_.Reset();
  }
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
  Firebird::IAttachment* attachment =
      provider->attachDatabase(status.get(), database.c_str(), length, buffer);
  status.Check();
  return Attachment(attachment);
}

Attachment Attachment::ExecuteCreateDatabase(const std::string& create_statement,
                                             unsigned dialect) {
  Status status;
  FB_BOOLEAN is_create = FB_FALSE;
  detail::Owned<Firebird::IAttachment> attachment(detail::Util()->executeCreateDatabase(
      status.get(), static_cast<unsigned>(create_statement.size()), create_statement.c_str(),
      dialect, &is_create));
  status.Check();
  if (!attachment) throw DatabaseError("Not a CREATE DATABASE statement: " + create_statement);
  Firebird::IAttachment* created = attachment.Get();
  attachment.Disown();
  return Attachment(created);
}

bool Attachment::IsAttached() const { return static_cast<bool>(attachment_); }

void Attachment::Detach() {
  if (!attachment_) return;
  assert(dependents_.NoneLeft() && "a transaction or statement outlives its attachment");
  RemoveLive(attachment_.Get());
  for (int attempt = 0;; ++attempt) {
    Status status;
    attachment_->detach(status.get());
    if (!status.Failed()) break;
    // The first call after a cancellation fails; the detach is tried again.
    if (attempt == 0 && status.Code() == isc_cancelled) continue;
    AddLive(attachment_.Get());
    status.Check();
  }
  attachment_.Disown();  // a successful detach ends the interface
}

void CancelAllOperations() {
  const std::lock_guard lock(g_live_mutex);
  for (Firebird::IAttachment* attachment : g_live) {
    Status status;
    attachment->cancelOperation(status.get(), fb_cancel_raise);
    // An attachment with nothing to cancel, or one the engine has already
    // lost, has nothing to stop.
    status.Clear();
  }
}

}  // namespace et::fb
