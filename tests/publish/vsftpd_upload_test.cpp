// The uploader against vsftpd as web hosts configure it: the fallbacks its
// refusals force, on one connection, with what arrived byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "publish/errors.h"
#include "publish/ftp_uploader.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "support/vsftpd_server.h"

namespace et {
namespace {

using test::VsftpdServer;
using Method = FtpUploader::UploadMethod;

const std::string kContent = "A001;Caff\xE8;12,50\r\nA002;riga\nspezzata;1\r\n";

TEST(VsftpdUpload, FallbacksForcedByTheServer) {
  const std::string kToDirect =
      "; caricamento diretto come ESTRAZQ.CSV (CAT_FTP_CARICAMENTODIRETTO=1 lo fa subito)";
  struct Case {
    const char* label;
    VsftpdServer::Options options;
    Method method;
    std::vector<std::string> notices;
    std::vector<std::string> files;  // in the upload folder afterwards
  };
  const Case cases[] = {
      {"plain", {}, Method::kHiddenTemporary, {}, {"ESTRAZQ.CSV"}},
      {"deny_file={.*}",
       {.deny_dot_files = true},
       Method::kTemporary,
       {"Upload FTP di ESTRAZQ.CSV: STOR .ESTRAZQ.CSV.part: 550 Permission denied.; nuovo "
        "tentativo come ESTRAZQ.CSV.part"},
       {"ESTRAZQ.CSV"}},
      // The server lets nothing delete the temporary file.
      {"cmds_denied=RNFR,RNTO,DELE",
       {.deny_rename_delete = true},
       Method::kDirect,
       {"Upload FTP di ESTRAZQ.CSV: RNFR .ESTRAZQ.CSV.part: 550 Permission denied." + kToDirect},
       {".ESTRAZQ.CSV.part", "ESTRAZQ.CSV"}},
      {"deny_file={.*} and cmds_denied=RNFR,RNTO,DELE",
       {.deny_dot_files = true, .deny_rename_delete = true},
       Method::kDirect,
       {"Upload FTP di ESTRAZQ.CSV: STOR .ESTRAZQ.CSV.part: 550 Permission denied.; nuovo "
        "tentativo come ESTRAZQ.CSV.part",
        "Upload FTP di ESTRAZQ.CSV: RNFR ESTRAZQ.CSV.part: 550 Permission denied." + kToDirect},
       {"ESTRAZQ.CSV", "ESTRAZQ.CSV.part"}},
  };
  test::TempDir local;
  const std::string path = local.File("ESTRAZQ.CSV");
  test::WriteFile(path, kContent);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    VsftpdServer server(c.options);
    server.PutFile("ESTRAZQ.CSV", "previous\r\n");
    std::vector<std::string> notices;
    FtpUploader uploader(FtpSettings{.host = server.HostAndPort(),
                                     .user = VsftpdServer::kUser,
                                     .password = VsftpdServer::kPassword},
                         [&](const std::string& line) { notices.push_back(line); });
    ASSERT_NO_THROW(uploader.Connect());
    ASSERT_NO_THROW(uploader.ChangeDirectory(VsftpdServer::kDirectory));
    std::optional<Method> method;
    ASSERT_NO_THROW(method = uploader.Upload(path));
    EXPECT_EQ(method, c.method);
    EXPECT_EQ(server.ReadReceived("ESTRAZQ.CSV"), kContent);
    EXPECT_EQ(notices, c.notices);
    EXPECT_EQ(server.Files(), c.files);
    const auto commands = server.Commands();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const std::string& s) { return s.rfind("USER ", 0) == 0; }),
              1)
        << "one connection";
  }
}

TEST(VsftpdUpload, OneConnectionPerAddressLetsEveryFileOfARunIn) {
  VsftpdServer server(VsftpdServer::Options{.deny_dot_files = true, .max_per_ip = 1});
  test::TempDir local;
  for (const char* name : {"listini.csv", "clienti.csv"}) {
    SCOPED_TRACE(name);
    test::WriteFile(local.File(name), kContent + name);
    FtpUploader uploader(FtpSettings{.host = server.HostAndPort(),
                                     .user = VsftpdServer::kUser,
                                     .password = VsftpdServer::kPassword});
    ASSERT_NO_THROW(uploader.Connect());
    ASSERT_NO_THROW(uploader.ChangeDirectory(VsftpdServer::kDirectory));
    EXPECT_EQ(uploader.Upload(local.File(name)), Method::kTemporary);
    uploader.Disconnect();
    EXPECT_EQ(server.ReadReceived(name), kContent + name);
  }
  EXPECT_EQ(server.Files(), (std::vector<std::string>{"clienti.csv", "listini.csv"}));
}

// The public key of a certificate as a pin ("sha256//BASE64").
std::string PinOf(const std::string& certificate) {
  test::RunOptions options;
  options.timeout = std::chrono::seconds(30);
  const test::ProcessResult r = test::RunProcess(
      "sh",
      {"-c", "openssl x509 -pubkey -noout -in '" + certificate +
                 "' | openssl pkey -pubin -outform der | openssl dgst -sha256 -binary | base64"},
      options);
  std::string pin = r.out;
  while (!pin.empty() && (pin.back() == '\n' || pin.back() == '\r')) pin.pop_back();
  return "sha256//" + pin;
}

TEST(VsftpdUpload, TlsRequiredByTheServer) {
  VsftpdServer server(VsftpdServer::Options{.tls_required = true});
  struct Case {
    std::string label;
    int tls;
    std::string certificate;
    std::string error_part;  // empty: the upload succeeds
  };
  const std::vector<Case> cases = {
      {"plain FTP", 0, "", "530 Non-anonymous sessions must use encryption."},
      {"TLS when offered, not verified", 1, "", ""},
      {"TLS required, the server's certificate as authority", 2, server.CertificateFile(), ""},
      {"TLS required, pinned public key", 2, PinOf(server.CertificateFile()), ""},
      {"TLS required, any certificate", 2, "*", ""},
      {"TLS required, system authorities", 2, "", "certificate"},
      {"TLS required, another pin", 2,
       "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=", "public key"},
  };
  test::TempDir local;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string name = "F" + std::to_string(&c - cases.data()) + ".CSV";
    test::WriteFile(local.File(name), kContent);
    const size_t before = server.Commands().size();
    FtpUploader uploader(FtpSettings{.host = server.HostAndPort(),
                                     .user = VsftpdServer::kUser,
                                     .password = VsftpdServer::kPassword,
                                     .tls = c.tls,
                                     .certificate = c.certificate});
    try {
      uploader.Connect();
      uploader.ChangeDirectory(VsftpdServer::kDirectory);
      EXPECT_EQ(uploader.Upload(local.File(name)), Method::kHiddenTemporary);
      EXPECT_TRUE(c.error_part.empty()) << "no error";
      EXPECT_EQ(server.ReadReceived(name), kContent);
    } catch (const FtpError& e) {
      EXPECT_FALSE(c.error_part.empty()) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.error_part), std::string::npos) << e.what();
      EXPECT_FALSE(server.HasFile(name));
    }
    const auto all = server.Commands();
    const std::vector<std::string> commands(all.begin() + static_cast<long>(before), all.end());
    if (c.tls > 0) {
      // Encryption first: a failed verification sends no user and no password.
      ASSERT_FALSE(commands.empty());
      EXPECT_EQ(commands.front(), "AUTH TLS");
      if (!c.error_part.empty()) {
        for (const auto& command : commands) {
          EXPECT_NE(command.rfind("USER", 0), 0u) << command;
          EXPECT_NE(command.rfind("PASS", 0), 0u) << command;
        }
      } else {
        EXPECT_NE(std::find(commands.begin(), commands.end(), "PROT P"), commands.end());
      }
    }
  }
}

}  // namespace
}  // namespace et
