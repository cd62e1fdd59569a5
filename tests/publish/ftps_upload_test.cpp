// The uploader's TLS settings against vsftpd: each value of CAT_FTP_TLS and
// CAT_FTP_CERTIFICATO against a server that offers TLS and one that requires
// it, with what arrived and what went in clear.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "publish/errors.h"
#include "publish/ftp_uploader.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "support/vsftpd_server.h"

namespace et {
namespace {

using test::VsftpdServer;

enum class Tls { kOffered, kRequired, kImplicit };

const std::string kContent = "A001;Caff\xE8;12,50\r\nA002;1\r\n";

// The commands before the first AUTH, and whether one came at all.
struct Clear {
  std::vector<std::string> before_auth;
  bool auth = false;
};

Clear CommandsInClear(const std::vector<std::string>& commands) {
  Clear clear;
  for (const std::string& command : commands) {
    if (command.rfind("AUTH ", 0) == 0) {
      clear.auth = true;
      break;
    }
    clear.before_auth.push_back(command);
  }
  return clear;
}

TEST(FtpsUpload, EachSettingAgainstEachServer) {
  struct Case {
    const char* label;
    Tls server;
    int tls;
    // What CAT_FTP_CERTIFICATO holds: "" the system's authorities, "file"
    // the server's certificate as authority, "pin" its public key's pin,
    // "wrong pin" another key's, "*" any certificate.
    std::string certificate;
    bool uploads;
    bool encrypted;
    std::string error_part;  // of the connection's failure
  };
  const Case cases[] = {
      {"plain FTP to a server offering TLS", Tls::kOffered, 0, "", true, false, ""},
      {"plain FTP to a server requiring TLS", Tls::kRequired, 0, "", false, false,
       "530 Non-anonymous sessions must use encryption."},
      {"TLS when offered", Tls::kOffered, 1, "", true, true, ""},
      {"TLS when offered, server requiring it", Tls::kRequired, 1, "", true, true, ""},
      {"TLS required, certificate as authority", Tls::kRequired, 2, "file", true, true, ""},
      {"TLS required, public key pinned", Tls::kOffered, 2, "pin", true, true, ""},
      {"TLS required, any certificate", Tls::kRequired, 2, "*", true, true, ""},
      {"TLS required, another key pinned", Tls::kRequired, 2, "wrong pin", false, true,
       "SSL: public key does not match pinned public key"},
      {"TLS required, self-signed against the system's authorities", Tls::kOffered, 2, "", false,
       true, "SSL certificate problem: self-signed certificate"},
      // "ftps://": TLS from the first byte, verified whatever CAT_FTP_TLS says.
      {"implicit TLS, certificate as authority", Tls::kImplicit, 0, "file", true, true, ""},
      {"implicit TLS, self-signed against the system's authorities", Tls::kImplicit, 0, "", false,
       true, "SSL certificate problem: self-signed certificate"},
  };
  test::TempDir local;
  const std::string path = local.File("ESTRAZQ.CSV");
  test::WriteFile(path, kContent);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    VsftpdServer::Options options;
    options.tls_offered = c.server == Tls::kOffered;
    options.tls_required = c.server == Tls::kRequired;
    options.tls_implicit = c.server == Tls::kImplicit;
    VsftpdServer server(options);
    std::string accepted = c.certificate;
    if (c.certificate == "file") accepted = server.CertificateFile();
    if (c.certificate == "pin") accepted = server.PublicKeyPin();
    if (c.certificate == "wrong pin")
      accepted = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    const bool implicit = c.server == Tls::kImplicit;
    FtpUploader uploader(FtpSettings{.host = (implicit ? "ftps://" : "") + server.HostAndPort(),
                                     .user = VsftpdServer::kUser,
                                     .password = VsftpdServer::kPassword,
                                     .tls = c.tls,
                                     .certificate = accepted});
    std::string error;
    try {
      uploader.Connect();
      EXPECT_EQ(uploader.Protection().rfind("TLSv1.2, ", 0) == 0, c.encrypted)
          << uploader.Protection();
      uploader.ChangeDirectory(VsftpdServer::kDirectory);
      EXPECT_EQ(uploader.Upload(path), FtpUploader::UploadMethod::kHiddenTemporary);
    } catch (const FtpError& e) {
      error = e.what();
    }
    if (c.uploads) {
      EXPECT_EQ(error, "");
      EXPECT_EQ(server.ReadReceived("ESTRAZQ.CSV"), kContent);
    } else {
      EXPECT_NE(error.find(c.error_part), std::string::npos) << error;
      EXPECT_FALSE(server.HasFile("ESTRAZQ.CSV"));
    }
    const std::vector<std::string> commands = server.Commands();
    const Clear clear = CommandsInClear(commands);
    // Implicit TLS has no AUTH: every command is inside TLS.
    EXPECT_EQ(clear.auth, c.encrypted && !implicit) << testing::PrintToString(commands);
    // Encrypted or refused: the log-in never went in clear before AUTH.
    if (c.encrypted && !implicit) {
      EXPECT_EQ(clear.before_auth, std::vector<std::string>{});
      EXPECT_EQ(std::count(commands.begin(), commands.end(), "PROT P"), c.uploads ? 1 : 0);
    }
    if (!c.uploads && c.encrypted) {
      EXPECT_EQ(std::find_if(commands.begin(), commands.end(),
                             [](const std::string& command) {
                               return command.rfind("USER", 0) == 0 ||
                                      command.rfind("PASS", 0) == 0;
                             }),
                commands.end());
    }
  }
}

}  // namespace
}  // namespace et
