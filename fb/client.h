// Pieces shared by the classes of this layer: the client library's entry
// points, a status vector that turns failures into DatabaseError, and the
// handles behind Attachment, Transaction and Statement. Only this layer's
// source files include this header; it names the Firebird interfaces without
// pulling in the client library's headers.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace Firebird {
class IMaster;
class IUtil;
class IStatus;
class CheckStatusWrapper;
class IAttachment;
class ITransaction;
class IStatement;
}  // namespace Firebird

namespace et::fb::detail {

Firebird::IMaster* Master();
Firebird::IUtil* Util();

// A status vector for one or a few calls. Check() raises DatabaseError with
// the engine's text when the last call failed.
class Status final {
 public:
  Status();
  ~Status();
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;

  Firebird::CheckStatusWrapper* get() const { return wrapper_.get(); }
  bool Failed() const;
  // The text of the error held, as the engine words it.
  std::string Message() const;
  void Check() const;

 private:
  Firebird::IStatus* status_;
  std::unique_ptr<Firebird::CheckStatusWrapper> wrapper_;
};

struct TransactionHandle;
struct StatementHandle;

// The attachment keeps a list of the transactions started on it, so that
// detaching can end them first: the engine refuses to detach while a
// transaction is active, and a transaction left open ends with its
// connection.
struct AttachmentHandle {
  Firebird::IAttachment* attachment = nullptr;
  std::vector<TransactionHandle*> transactions;
};

// The transaction keeps a list of the statements prepared on it, so that a
// statement outliving its transaction finds it gone instead of dangling.
struct TransactionHandle {
  AttachmentHandle* owner = nullptr;              // null once the attachment is gone
  Firebird::ITransaction* transaction = nullptr;  // null once ended
  std::vector<StatementHandle*> statements;
};

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
