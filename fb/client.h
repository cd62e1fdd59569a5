// Pieces shared by the classes of this layer: the client library's entry
// points, the owner of an interface, a status vector that turns failures
// into DatabaseError, and the handles behind Attachment, Transaction and
// Statement. Only this layer's source files include this header; it names
// the Firebird interfaces without pulling in the client library's headers.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Firebird {
class IMaster;
class IUtil;
class IStatus;
class CheckStatusWrapper;
class IAttachment;
class ITransaction;
class IStatement;
class IResultSet;
class IMessageMetadata;
}  // namespace Firebird

namespace et::fb::detail {

// The client library's master interface.
Firebird::IMaster* Master();
// The client library's utility interface.
Firebird::IUtil* Util();

// Owns one Firebird interface and ends it when it dies: release() for a
// reference-counted interface, dispose() for a disposable one (a status, a
// parameter block builder). Move-only. Calls that end the interface
// themselves when they succeed (commit, rollback, detach, close, free,
// cancel) are followed by Disown(); when they fail the owner still releases
// the interface.
template <typename T>
class Owned final {
 public:
  // Holds no interface.
  Owned() = default;
  // Takes ownership of the interface (may be null).
  explicit Owned(T* interface) noexcept : interface_(interface) {}
  // Ends the interface held, if any.
  ~Owned() { Reset(); }
  // Takes over the other's interface.
  Owned(Owned&& other) noexcept : interface_(std::exchange(other.interface_, nullptr)) {}
  // Ends the interface held, then takes over the other's.
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.interface_, nullptr));
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  // The interface, or null.
  T* Get() const { return interface_; }
  // The interface, for calling its methods.
  T* operator->() const { return interface_; }
  // True while an interface is held.
  explicit operator bool() const { return interface_ != nullptr; }

  // Ends the interface held, if any, and takes the given one instead.
  void Reset(T* interface = nullptr) noexcept {
    T* old = std::exchange(interface_, interface);
    if (!old) return;
    if constexpr (requires { old->release(); }) {
      old->release();
    } else {
      old->dispose();
    }
  }
  // Lets go of the interface without ending it: a call already did.
  void Disown() noexcept { interface_ = nullptr; }

 private:
  T* interface_ = nullptr;
};

// A status vector for one or a few calls. The interfaces clear the status at
// the start of each call, so a failure must be seen before the next call:
// get() itself raises the failure the status still holds, and Check() or
// Checked() raise the last call's failure. Failures become DatabaseError with
// the engine's text, first error code and SQLSTATE.
class Status final {
 public:
  // A fresh status from the client library.
  Status();
  // Gives the status back to the client library.
  ~Status();
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;

  // The wrapper to pass to the next call. Raises DatabaseError when the
  // status still holds a failure of an earlier call.
  Firebird::CheckStatusWrapper* get() const;
  // True when the last call failed.
  bool Failed() const;
  // The text of the error held, as the engine words it.
  std::string Message() const;
  // The first ISC error code of the last call's failure; 0 when it did not
  // fail.
  int Code() const;
  // Raises DatabaseError when the last call failed.
  void Check() const;
  // Returns the result of the call just made, after Check().
  template <typename R>
  R Checked(R result) const {
    Check();
    return result;
  }
  // Forgets a failure that the caller has looked at and chosen to ignore.
  void Clear();

 private:
  Owned<Firebird::IStatus> status_;
  std::unique_ptr<Firebird::CheckStatusWrapper> wrapper_;
};

struct TransactionHandle;
struct StatementHandle;

// The attachment keeps a list of the transactions started on it, so that
// detaching can end them first: the engine refuses to detach while a
// transaction is active, and a transaction left open ends with its
// connection.
struct AttachmentHandle {
  Owned<Firebird::IAttachment> attachment;  // empty once detached
  std::vector<TransactionHandle*> transactions;
};

// The transaction keeps a list of the statements prepared on it, so that a
// statement outliving its transaction finds it gone instead of dangling.
struct TransactionHandle {
  AttachmentHandle* owner = nullptr;          // null once the attachment is gone
  Owned<Firebird::ITransaction> transaction;  // empty once ended
  std::vector<StatementHandle*> statements;
};

// Rolls the transaction back; a rollback refused because its attachment was
// just cancelled (the engine fails the first call after a cancellation) is
// tried once more. True when the transaction ended, which also ends the
// interface. Never throws.
bool RollBackTransaction(Firebird::ITransaction* transaction);

// Closes the open cursors of the transaction's statements; called just
// before the transaction ends, which would close them anyway.
void CloseCursors(TransactionHandle& transaction);

// Called when a statement's transaction object dies before the statement:
// the statement keeps its prepared interface and refuses to execute.
void LoseTransaction(StatementHandle& statement);

// Removes one pointer from a list of registered handles.
template <typename T>
void Unregister(std::vector<T*>& list, T* item) {
  std::erase(list, item);
}

}  // namespace et::fb::detail
