// Connections to a Firebird database (an embedded file path, "host:path" or
// "host:alias" through a server), over the client library's OO API.
#pragma once

#include <memory>
#include <string>

namespace et::fb {

namespace detail {
struct AttachmentHandle;  // owns the IAttachment
}

// A database attachment. Move-only; detaches when it dies (never throws).
// Transactions and statements made on it keep working when the object is
// moved: they hold the connection, not the object.
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

  // Rolls back the transactions still active on the attachment, then
  // detaches; raises DatabaseError when the engine refuses. A no-op when not
  // attached.
  void Detach();

  // Internal handle for the other classes of this layer.
  detail::AttachmentHandle* Handle() const { return handle_.get(); }

 private:
  explicit Attachment(std::unique_ptr<detail::AttachmentHandle> handle);

  std::unique_ptr<detail::AttachmentHandle> handle_;
};

// Asks the engine to cancel what every live attachment of the process is
// doing (fb_cancel_raise): a running statement fails with "operation was
// cancelled", and an attachment idle at the time fails its next call once.
// Safe from any thread, also while other threads use the attachments; meant
// for the thread that handles a stop request.
void CancelAllOperations();

}  // namespace et::fb
