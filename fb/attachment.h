// Connections to a Firebird database (an embedded file path, "host:path" or
// "host:alias" through a server), over the client library's OO API.
//
// Lifetimes, asserted in debug builds: an attachment (or the object it was
// moved into) outlives every Transaction and Statement made on it, and a
// transaction outlives the open cursor of every statement executed with it.
// Nothing points back: an attachment does not end what is open on it.
#pragma once

#include <string>

#include "fb/lifetime.h"
#include "fb/owned.h"

namespace Firebird {
class IAttachment;
}

namespace et::fb {

// A database attachment. Move-only; detaches when it dies (never throws).
class Attachment final {
 public:
  // An object not attached to any database.
  Attachment();
  // Detaches as Detach does, or drops the connection when the engine refuses.
  ~Attachment();
  // Takes over the other's connection, leaving it not attached.
  Attachment(Attachment&&) noexcept;
  // Detaches this object's connection first, then takes over the other's.
  Attachment& operator=(Attachment&&) noexcept;
  Attachment(const Attachment&) = delete;
  Attachment& operator=(const Attachment&) = delete;

  // Attaches with the user name and password items only: no character set
  // (so NONE), SQL dialect 3. Raises DatabaseError.
  static Attachment Attach(const std::string& database, const std::string& user,
                           const std::string& password);

  // Executes a "CREATE DATABASE ..." statement text with the given SQL
  // dialect and returns the attachment to the new database. Raises
  // DatabaseError.
  static Attachment ExecuteCreateDatabase(const std::string& create_statement,
                                          unsigned dialect = 3);

  // True while attached.
  bool IsAttached() const;

  // Detaches; raises DatabaseError when the engine refuses (the object then
  // stays attached). A no-op when not attached.
  void Detach();

 private:
  friend class Transaction;
  friend class Statement;

  explicit Attachment(Firebird::IAttachment* attachment);
  // Ends the connection as the destructor does. Never throws.
  void Discard() noexcept;

  detail::Owned<Firebird::IAttachment> attachment_;  // empty when not attached
  detail::Dependents dependents_;                    // its transactions and statements
};

// Asks the engine to cancel what every live attachment of the process is
// doing (fb_cancel_raise): a running statement fails with "operation was
// cancelled", and an attachment idle at the time fails its next call once.
// Safe from any thread, also while other threads use the attachments; meant
// for the thread that handles a stop request.
void CancelAllOperations();

}  // namespace et::fb
