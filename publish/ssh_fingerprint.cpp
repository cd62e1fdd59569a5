#include "publish/ssh_fingerprint.h"

#include <openssl/evp.h>

#include <array>

#include "platform/strings.h"

namespace et {
namespace {

constexpr std::string_view kPrefix = "SHA256:";

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The base64 part of a fingerprint: without the prefix and the padding.
std::string_view Digest(std::string_view text) {
  text = Trimmed(text);
  if (text.size() >= kPrefix.size() &&
      EqualsIgnoringAsciiCase(text.substr(0, kPrefix.size()), kPrefix))
    text.remove_prefix(kPrefix.size());
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  return text;
}

}  // namespace

std::string SshFingerprint(std::string_view key_blob) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int digest_size = 0;
  EVP_Digest(key_blob.data(), key_blob.size(), digest.data(), &digest_size, EVP_sha256(), nullptr);
  // Base64 of n bytes takes 4 characters for every 3, and a final NUL.
  std::string encoded(4 * ((digest_size + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                     digest.data(), static_cast<int>(digest_size));
  encoded.resize(static_cast<size_t>(length));
  while (!encoded.empty() && encoded.back() == '=') encoded.pop_back();
  return std::string(kPrefix) + encoded;
}

bool FingerprintMatches(std::string_view setting, std::string_view fingerprint) {
  const std::string_view wanted = Digest(setting);
  return !wanted.empty() && wanted == Digest(fingerprint);
}

}  // namespace et
