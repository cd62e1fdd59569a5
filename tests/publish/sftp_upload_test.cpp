// The uploader against OpenSSH's sshd serving SFTP: the log-ins it offers,
// the host key pinned before anything is sent, and the fallbacks its
// refusals force, with what arrived byte for byte.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include "platform/stop_signals.h"
#include "publish/errors.h"
#include "publish/ftp_uploader.h"
#include "support/sshd_server.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

namespace et {
namespace {

using test::SshdServer;
using Method = FtpUploader::UploadMethod;

// SFTP stores bytes as they are: CR LF, a lone LF, bytes above 0x7F.
const std::string kContent = "A001;Caff\xE8;12,50\r\nA002;riga\nspezzata;1\r\n";

FtpSettings SettingsFor(const SshdServer& server) {
  return FtpSettings{.host = "sftp://" + server.HostAndPort(),
                     .user = SshdServer::kUser,
                     .password = SshdServer::kPassword,
                     .host_fingerprint = server.Fingerprint()};
}

bool LogHas(const SshdServer& server, const std::string& text) {
  const std::vector<std::string> lines = server.LogLines();
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

class SftpUploadTest : public testing::Test {
 protected:
  void SetUp() override { test::WriteFile(path_, kContent); }

  test::TempDir local_;
  const std::string path_ = local_.File("ESTRAZQ.CSV");
};

TEST_F(SftpUploadTest, EachWayToLogInReplacesThePreviousFile) {
  SshdServer server;
  struct Case {
    const char* label;
    std::string key_file;
    std::string password;
    std::string directory;
    std::string accepted;  // sshd's log line
  };
  const Case cases[] = {
      {"password, relative directory", "", SshdServer::kPassword, "catalogo",
       "Accepted password for exporttotale-sftp"},
      {"key without passphrase, absolute directory", server.ClientKeyFile(), "", "/catalogo",
       "Accepted publickey for exporttotale-sftp"},
      {"key with its passphrase", server.EncryptedClientKeyFile(), SshdServer::kKeyPassphrase,
       "catalogo", "Accepted publickey for exporttotale-sftp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    server.PutFile("ESTRAZQ.CSV", "previous\r\n");
    // A killed run's leftover goes first.
    server.PutFile(".ESTRAZQ.CSV.part", "cut sh");
    FtpSettings settings = SettingsFor(server);
    settings.ssh_key = c.key_file;
    settings.password = c.password;
    std::vector<std::string> notices;
    FtpUploader uploader(settings, [&](const std::string& line) { notices.push_back(line); });
    ASSERT_NO_THROW(uploader.Connect());
    EXPECT_EQ(uploader.Protection(), "SSH, chiave host " + server.Fingerprint());
    ASSERT_NO_THROW(uploader.ChangeDirectory(c.directory));
    std::optional<Method> method;
    ASSERT_NO_THROW(method = uploader.Upload(path_));
    EXPECT_EQ(method, Method::kHiddenTemporary);
    EXPECT_EQ(server.ReadReceived("ESTRAZQ.CSV"), kContent);
    EXPECT_EQ(server.Files(), std::vector<std::string>{"ESTRAZQ.CSV"});
    EXPECT_EQ(notices, std::vector<std::string>{});
    EXPECT_TRUE(LogHas(server, c.accepted));
    uploader.Disconnect();
    EXPECT_FALSE(uploader.IsConnected());
  }
}

TEST_F(SftpUploadTest, FallbacksForcedByTheServer) {
  struct Case {
    const char* label;
    std::string denied_requests;
    bool root_owned_leftover;
    Method method;
    std::vector<std::string> notice_starts;
    std::vector<std::string> files;  // in the upload folder afterwards
  };
  const Case cases[] = {
      // A leftover that the account may neither remove nor overwrite.
      {"root-owned .ESTRAZQ.CSV.part",
       "",
       true,
       Method::kTemporary,
       {"Upload FTP di ESTRAZQ.CSV: put .ESTRAZQ.CSV.part: "},
       {".ESTRAZQ.CSV.part", "ESTRAZQ.CSV"}},
      // Nothing may be renamed or removed: the file goes under its name,
      // and the temporary one stays.
      {"-P rename,posix-rename,remove",
       "rename,posix-rename,remove",
       false,
       Method::kDirect,
       {"Upload FTP di ESTRAZQ.CSV: rename .ESTRAZQ.CSV.part ESTRAZQ.CSV: "},
       {".ESTRAZQ.CSV.part", "ESTRAZQ.CSV"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SshdServer::Options options;
    options.denied_requests = c.denied_requests;
    SshdServer server(options);
    server.PutFile("ESTRAZQ.CSV", "previous\r\n");
    if (c.root_owned_leftover) server.PutRootOwnedFile(".ESTRAZQ.CSV.part", "old");
    std::vector<std::string> notices;
    FtpUploader uploader(SettingsFor(server),
                         [&](const std::string& line) { notices.push_back(line); });
    ASSERT_NO_THROW(uploader.Connect());
    ASSERT_NO_THROW(uploader.ChangeDirectory(SshdServer::kDirectory));
    std::optional<Method> method;
    ASSERT_NO_THROW(method = uploader.Upload(path_));
    EXPECT_EQ(method, c.method);
    EXPECT_EQ(server.ReadReceived("ESTRAZQ.CSV"), kContent);
    ASSERT_EQ(notices.size(), c.notice_starts.size()) << testing::PrintToString(notices);
    for (size_t i = 0; i < notices.size(); ++i)
      EXPECT_EQ(notices[i].rfind(c.notice_starts[i], 0), 0u) << notices[i];
    EXPECT_EQ(server.Files(), c.files);
  }
}

TEST_F(SftpUploadTest, ReadOnlyServerFailsWithTheRefusedCommand) {
  SshdServer::Options read_only;
  read_only.read_only = true;
  SshdServer server(read_only);
  FtpUploader uploader(SettingsFor(server));
  ASSERT_NO_THROW(uploader.Connect());
  ASSERT_NO_THROW(uploader.ChangeDirectory(SshdServer::kDirectory));
  try {
    uploader.Upload(path_);
    ADD_FAILURE() << "the upload passed";
  } catch (const FtpError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("put ESTRAZQ.CSV: ", 0), 0u) << e.what();
  }
  EXPECT_FALSE(uploader.IsConnected()) << "a failed upload ends its connection";
  EXPECT_EQ(server.Files(), std::vector<std::string>{});
}

TEST_F(SftpUploadTest, AMissingDirectoryIsRefused) {
  SshdServer server;
  FtpUploader uploader(SettingsFor(server));
  ASSERT_NO_THROW(uploader.Connect());
  EXPECT_THROW(uploader.ChangeDirectory("non-esiste"), FtpError);
}

// A stop while the file goes over deletes the temporary file over a fresh
// session, and the previous file stays.
TEST_F(SftpUploadTest, AStopDuringTheTransferDeletesTheTemporaryFile) {
  SshdServer server;
  server.PutFile("ESTRAZQ.CSV", "previous\r\n");
  // Large enough that the transfer is still going when the stop comes.
  const std::string big = local_.File("big/ESTRAZQ.CSV");
  std::filesystem::create_directories(local_.File("big"));
  test::WriteFile(big, std::string(64u << 20, 'x'));
  FtpUploader uploader(SettingsFor(server));
  ASSERT_NO_THROW(uploader.Connect());
  ASSERT_NO_THROW(uploader.ChangeDirectory(SshdServer::kDirectory));
  std::thread stopper([&] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
      std::error_code error;
      const auto size = std::filesystem::file_size(server.PathOf(".ESTRAZQ.CSV.part"), error);
      if ((!error && size > 0) || std::chrono::steady_clock::now() > until) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // As a signal would: the transfer sees the stop within its progress
    // callback.
    RequestStopForTesting(SIGTERM, 0);
    try {
      ThrowIfStopRequested();
    } catch (const StopRequestedError&) {
    }
  });
  EXPECT_THROW(uploader.Upload(big), StopRequestedError);
  stopper.join();
  ClearStopForTesting();
  EXPECT_EQ(server.Files(), std::vector<std::string>{"ESTRAZQ.CSV"});
  EXPECT_EQ(server.ReadReceived("ESTRAZQ.CSV"), "previous\r\n");
}

// The host key is checked before the log-in: a server presenting another
// key sees neither the user name nor a password or key.
TEST_F(SftpUploadTest, LogInFailuresNameTheirCause) {
  const std::string other = "SHA256:GhRJOB8l5358Zu5g1ya0ZdU0UPm6kWfXZWYGdbDXIlk";
  const auto swapped_case = [](std::string text) {
    for (char& c : text) {
      if (c >= 'a' && c <= 'z') {
        c = static_cast<char>(c - 'a' + 'A');
      } else if (c >= 'A' && c <= 'Z') {
        c = static_cast<char>(c - 'A' + 'a');
      }
    }
    return text;
  };
  struct Case {
    const char* label;
    // The pinned fingerprint and the log-in, from the server of the case.
    std::function<void(const SshdServer&, FtpSettings&)> settings;
    std::function<std::string(const SshdServer&)> message_part;
    std::optional<bool> authentication_attempted;
  };
  const std::vector<Case> cases = {
      {"no fingerprint", [](const SshdServer&, FtpSettings& s) { s.host_fingerprint = ""; },
       [](const SshdServer& server) {
         return "CAT_SFTP_IMPRONTA mancante: il server presenta la chiave host " +
                server.Fingerprint();
       },
       false},
      {"another fingerprint",
       [&](const SshdServer&, FtpSettings& s) { s.host_fingerprint = other; },
       [&](const SshdServer& server) {
         return "chiave host diversa da CAT_SFTP_IMPRONTA " + other + ": il server presenta " +
                server.Fingerprint() + ", nessun dato inviato";
       },
       false},
      {"fingerprint in another case",
       [&](const SshdServer& server, FtpSettings& s) {
         s.host_fingerprint = swapped_case(server.Fingerprint());
       },
       [](const SshdServer&) { return std::string("chiave host diversa da CAT_SFTP_IMPRONTA"); },
       false},
      {"wrong password", [](const SshdServer&, FtpSettings& s) { s.password = "sbagliata"; },
       [](const SshdServer&) { return std::string("Authentication failure"); }, true},
      {"key not authorized",
       [](const SshdServer& server, FtpSettings& s) {
         s.ssh_key = server.UnauthorizedKeyFile();
         s.password = "";
       },
       [](const SshdServer&) { return std::string("Authentication failure"); }, true},
      {"wrong passphrase",
       [](const SshdServer& server, FtpSettings& s) {
         s.ssh_key = server.EncryptedClientKeyFile();
         s.password = "sbagliata";
       },
       [](const SshdServer&) { return std::string(""); }, std::nullopt},
      {"missing key file",
       [&](const SshdServer&, FtpSettings& s) { s.ssh_key = local_.File("manca"); },
       [&](const SshdServer&) {
         return "CAT_SFTP_CHIAVE " + local_.File("manca") + ": file della chiave non leggibile";
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SshdServer server;  // its log holds this case only
    FtpSettings settings = SettingsFor(server);
    c.settings(server, settings);
    FtpUploader uploader(settings);
    try {
      uploader.Connect();
      ADD_FAILURE() << "connected";
    } catch (const FtpError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(c.message_part(server)), std::string::npos) << message;
      EXPECT_EQ(message.find(SshdServer::kPassword), std::string::npos) << message;
    }
    EXPECT_FALSE(uploader.IsConnected());
    if (c.authentication_attempted) {
      EXPECT_EQ(server.AnyAuthenticationAttempted(), *c.authentication_attempted);
    }
  }
}

}  // namespace
}  // namespace et
