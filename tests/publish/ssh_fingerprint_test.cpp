#include "publish/ssh_fingerprint.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <fstream>
#include <sstream>

#include "support/subprocess.h"
#include "support/temp_dir.h"

namespace et {
namespace {

// The key blob of an OpenSSH public key file ("TYPE BASE64 COMMENT").
std::string BlobOf(const std::string& public_key_file) {
  std::ifstream in(public_key_file);
  std::string type, base64;
  in >> type >> base64;
  std::string blob(base64.size(), '\0');
  const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(blob.data()),
                                     reinterpret_cast<const unsigned char*>(base64.data()),
                                     static_cast<int>(base64.size()));
  if (length < 0) return {};
  // EVP_DecodeBlock counts the padding's zero bytes too.
  size_t padding = 0;
  while (padding < base64.size() && base64[base64.size() - 1 - padding] == '=') ++padding;
  blob.resize(static_cast<size_t>(length) - padding);
  return blob;
}

// The fingerprint field of `ssh-keygen -lf FILE` ("256 SHA256:... comment (ED25519)").
std::string KeygenFingerprint(const std::string& public_key_file) {
  const test::ProcessResult r = test::RunProcess("ssh-keygen", {"-l", "-f", public_key_file});
  std::istringstream words(r.out);
  std::string bits, fingerprint;
  words >> bits >> fingerprint;
  return fingerprint;
}

TEST(SshFingerprint, IsWhatSshKeygenPrintsForEachKeyType) {
  test::TempDir dir;
  for (const char* type : {"ed25519", "rsa", "ecdsa"}) {
    SCOPED_TRACE(type);
    const std::string key = dir.File(std::string("host_") + type);
    const test::ProcessResult made =
        test::RunProcess("ssh-keygen", {"-q", "-t", type, "-N", "", "-f", key});
    ASSERT_EQ(made.exit_status, 0) << made.err;
    const std::string expected = KeygenFingerprint(key + ".pub");
    ASSERT_EQ(expected.rfind("SHA256:", 0), 0u) << expected;
    EXPECT_EQ(SshFingerprint(BlobOf(key + ".pub")), expected);
  }
}

TEST(FingerprintMatches, AcceptsTheWaysAdministratorsCopyItAndNothingElse) {
  const std::string presented = "SHA256:GhRJOB8l5358Zu5g1ya0ZdU0UPm6kWfXZWYGdbDXIlk";
  struct Case {
    std::string setting;
    bool matches;
  };
  const Case cases[] = {
      {presented, true},
      {"sha256:GhRJOB8l5358Zu5g1ya0ZdU0UPm6kWfXZWYGdbDXIlk", true},
      {"GhRJOB8l5358Zu5g1ya0ZdU0UPm6kWfXZWYGdbDXIlk", true},
      {"GhRJOB8l5358Zu5g1ya0ZdU0UPm6kWfXZWYGdbDXIlk=", true},
      {"  SHA256:GhRJOB8l5358Zu5g1ya0ZdU0UPm6kWfXZWYGdbDXIlk ", true},
      {"SHA256:ghRJOB8l5358Zu5g1ya0ZdU0UPm6kWfXZWYGdbDXIlk", false},  // base64 has case
      {"SHA256:GhRJOB8l5358Zu5g1ya0ZdU0UPm6kWfXZWYGdbDXIl", false},
      {"MD5:GhRJOB8l5358Zu5g1ya0ZdU0UPm6kWfXZWYGdbDXIlk", false},
      {"SHA256:", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("'" + c.setting + "'");
    EXPECT_EQ(FingerprintMatches(c.setting, presented), c.matches);
  }
}

}  // namespace
}  // namespace et
