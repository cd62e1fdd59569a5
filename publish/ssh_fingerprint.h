// The fingerprint of an SSH host key as OpenSSH shows it, and the reading of
// the setting that pins it.
#pragma once

#include <string>
#include <string_view>

namespace et {

// "SHA256:" and the unpadded base64 of the SHA-256 digest of the key's
// blob, as `ssh-keygen -l` and `ssh-keyscan | ssh-keygen -lf -` print it.
std::string SshFingerprint(std::string_view key_blob);

// True when the setting names the fingerprint: "SHA256:BASE64" as
// ssh-keygen prints it, the prefix in any case or left out, '=' padding and
// blanks around it ignored. Base64 itself is compared exactly: a fingerprint
// differing in the case of one letter is another key.
bool FingerprintMatches(std::string_view setting, std::string_view fingerprint);

}  // namespace et
