#include "support/test_certificate.h"

#include <chrono>
#include <stdexcept>

#include "support/subprocess.h"

namespace et::test {
TestCertificate TestCertificate::Make(const TempDir& dir) {
  TestCertificate made{dir.File("cert.pem"), dir.File("key.pem")};
  RunSetupToolOrThrow("openssl",
                      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", made.key, "-out",
                       made.certificate, "-days", "2", "-subj", "/CN=localhost", "-addext",
                       "subjectAltName=DNS:localhost,IP:127.0.0.1"});
  return made;
}

std::string TestCertificate::PublicKeyPin() const {
  const ProcessResult r = RunSetupToolOrThrow(
      "sh", {"-c",
             "openssl x509 -pubkey -noout -in \"$0\" | openssl pkey -pubin -outform der | "
             "openssl dgst -sha256 -binary | base64",
             certificate});
  std::string base64 = r.out;
  while (!base64.empty() && (base64.back() == '\n' || base64.back() == '\r')) base64.pop_back();
  return "sha256//" + base64;
}

}  // namespace et::test
