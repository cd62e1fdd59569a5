#include "fb/blob.h"

#include <firebird/Interface.h>

#include <cstring>

#include "fb/client.h"
#include "fb/error.h"

namespace et::fb::detail {
namespace {

// Largest segment a segmented blob takes in one call.
constexpr std::size_t kSegment = 32768;

// An open blob; cancels it (never throws) when not closed on purpose.
class OpenBlob final {
 public:
  explicit OpenBlob(Firebird::IBlob* blob) : blob_(blob) {}
  ~OpenBlob() {
    if (!blob_) return;
    Status status;
    blob_->cancel(status.get());
    // A successful cancel ends the interface; after a failed one the owner
    // releases it.
    if (!status.Failed()) blob_.Disown();
  }
  OpenBlob(const OpenBlob&) = delete;
  OpenBlob& operator=(const OpenBlob&) = delete;

  Firebird::IBlob* operator->() const { return blob_.Get(); }

  void Close() {
    Status status;
    blob_->close(status.get());
    status.Check();
    blob_.Disown();  // a successful close ends the interface
  }

 private:
  Owned<Firebird::IBlob> blob_;
};

}  // namespace

std::string ReadBlob(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction,
                     const unsigned char* blob_id) {
  ISC_QUAD id;
  std::memcpy(&id, blob_id, sizeof id);
  Status status;
  OpenBlob blob(attachment->openBlob(status.get(), transaction, &id, 0, nullptr));
  status.Check();
  std::string bytes;
  char buffer[kSegment];
  for (;;) {
    unsigned length = 0;
    const int result =
        status.Checked(blob->getSegment(status.get(), sizeof buffer, buffer, &length));
    if (result == Firebird::IStatus::RESULT_NO_DATA) break;
    bytes.append(buffer, length);  // RESULT_OK or RESULT_SEGMENT (a part of one)
  }
  blob.Close();
  return bytes;
}

void WriteBlob(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction,
               std::string_view bytes, unsigned char* blob_id) {
  ISC_QUAD id;
  Status status;
  OpenBlob blob(attachment->createBlob(status.get(), transaction, &id, 0, nullptr));
  status.Check();
  for (std::size_t at = 0; at < bytes.size(); at += kSegment) {
    const std::string_view part = bytes.substr(at, kSegment);
    blob->putSegment(status.get(), static_cast<unsigned>(part.size()), part.data());
    status.Check();
  }
  blob.Close();
  std::memcpy(blob_id, &id, sizeof id);
}

}  // namespace et::fb::detail
