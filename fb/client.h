// Pieces shared by the classes of this layer: the client library's entry
// points, a status vector that turns failures into DatabaseError, and the
// rollback that survives a cancellation. Only this layer's source files
// include this header; it names the Firebird interfaces without pulling in
// the client library's headers.
#pragma once

#include <memory>
#include <string>

#include "fb/owned.h"

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

// Rolls the transaction back; a rollback refused because its attachment was
// just cancelled (the engine fails the first call after a cancellation) is
// tried once more. True when the transaction ended, which also ends the
// interface. Never throws.
bool RollBackTransaction(Firebird::ITransaction* transaction);

}  // namespace et::fb::detail
