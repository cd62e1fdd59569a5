// Reading and writing whole blobs by their blob id (the 8 bytes a message
// carries for a blob column or parameter).
#pragma once

#include <string>
#include <string_view>

namespace Firebird {
class IAttachment;
class ITransaction;
}  // namespace Firebird

namespace et::fb::detail {

// The blob's bytes, read in full. Raises DatabaseError.
std::string ReadBlob(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction,
                     const unsigned char* blob_id);

// Creates a blob holding `bytes` and stores its id at `blob_id`. Raises
// DatabaseError.
void WriteBlob(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction,
               std::string_view bytes, unsigned char* blob_id);

}  // namespace et::fb::detail
