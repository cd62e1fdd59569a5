// A self-signed certificate for the TLS servers of the tests, made with
// openssl for "localhost" and 127.0.0.1, and its public key's pin.
#pragma once

#include <string>

#include "support/temp_dir.h"

namespace et::test {

struct TestCertificate {
  std::string certificate;  // PEM file
  std::string key;          // PEM file of the private key, unencrypted

  // Makes both files in dir. Raises std::runtime_error when openssl fails.
  static TestCertificate Make(const TempDir& dir);

  // "sha256//BASE64" of the certificate's public key, as libcurl and
  // curl --pinnedpubkey take it, computed with the openssl commands a user
  // would type.
  std::string PublicKeyPin() const;
};

}  // namespace et::test
