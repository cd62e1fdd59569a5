// Transactions started from a set of transaction parameter codes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace et::fb {

class Attachment;
namespace detail {
struct TransactionHandle;
}

// Firebird transaction parameter codes (isc_tpb_*), by number.
namespace tpb {
inline constexpr std::uint8_t kConsistency = 1;
inline constexpr std::uint8_t kConcurrency = 2;
inline constexpr std::uint8_t kWait = 6;
inline constexpr std::uint8_t kNowait = 7;
inline constexpr std::uint8_t kRead = 8;
inline constexpr std::uint8_t kWrite = 9;
inline constexpr std::uint8_t kReadCommitted = 15;
inline constexpr std::uint8_t kRecVersion = 17;
inline constexpr std::uint8_t kNoRecVersion = 18;
}  // namespace tpb

// A started transaction. Move-only; a transaction still active when its
// object dies is rolled back (never throws).
class Transaction final {
 public:
  // Starts a transaction on the attachment. With no codes there is no
  // parameter block at all and the server's defaults apply; otherwise the
  // block is the version-3 tag followed by the codes in the given order.
  // Raises DatabaseError (also when the attachment is not attached).
  Transaction(Attachment& attachment, const std::vector<std::uint8_t>& codes);
  ~Transaction();
  Transaction(Transaction&&) noexcept;
  Transaction& operator=(Transaction&&) noexcept;
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit();           // ends the transaction
  void CommitRetaining();  // commits and keeps the transaction open
  void Rollback();         // ends the transaction
  bool IsActive() const;

  Attachment& GetAttachment() const { return *attachment_; }
  detail::TransactionHandle* Handle() const { return handle_.get(); }

 private:
  Attachment* attachment_;
  std::unique_ptr<detail::TransactionHandle> handle_;
};

}  // namespace et::fb
