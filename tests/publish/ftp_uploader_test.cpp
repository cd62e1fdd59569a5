#include "publish/ftp_uploader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "publish/errors.h"
#include "support/servers.h"
#include "support/temp_dir.h"

namespace et {
namespace {

using test::FtpServer;

// The message of the FtpError that the call raises; empty when it raises none.
template <typename Call>
std::optional<std::string> FtpErrorOf(Call&& call) {
  try {
    call();
  } catch (const FtpError& e) {
    return std::string(e.what());
  }
  return std::nullopt;
}

testing::AssertionResult Contains(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "'" << text << "' does not contain '" << part << "'";
}

bool Sent(const std::vector<std::string>& commands, const std::string& command) {
  return std::find(commands.begin(), commands.end(), command) != commands.end();
}

// The commands that create, rename or delete files, in order.
std::vector<std::string> FileCommands(const std::vector<std::string>& commands) {
  std::vector<std::string> result;
  for (const auto& c : commands)
    for (const char* verb : {"STOR ", "APPE ", "RNFR ", "RNTO ", "DELE "})
      if (c.rfind(verb, 0) == 0) result.push_back(c);
  return result;
}

// Commands after the log-in, without the ones every session starts with.
std::vector<std::string> CommandsStarting(const std::vector<std::string>& commands,
                                          const std::string& verb) {
  std::vector<std::string> result;
  for (const auto& c : commands)
    if (c.rfind(verb, 0) == 0) result.push_back(c);
  return result;
}

// An export file with CR LF line ends, a lone LF inside a field and bytes of
// the upper half of the 8-bit code page (Windows-1252 "è", "€", "ÿ").
const std::string kExportBytes =
    "ARTICOLO;DESCRIZIONE;QTA\r\n"
    "A001;Caff\xE8 \x80 1kg;12,50\r\n"
    "A002;riga\nspezzata;\xFF\x80\x81\r\n";

class FtpUploaderTest : public testing::Test {
 protected:
  // The settings of the server's full-rights user.
  FtpSettings Settings(const char* user = FtpServer::kUser,
                       const char* password = FtpServer::kPassword, bool direct = false) const {
    return FtpSettings{
        .host = server_.HostAndPort(), .user = user, .password = password, .direct_upload = direct};
  }

  std::unique_ptr<FtpUploader> MakeUploader(const char* user = FtpServer::kUser,
                                            const char* password = FtpServer::kPassword,
                                            bool direct = false) {
    return std::make_unique<FtpUploader>(Settings(user, password, direct));
  }

  std::unique_ptr<FtpUploader> Connected(bool direct = false) {
    auto uploader = MakeUploader(FtpServer::kUser, FtpServer::kPassword, direct);
    EXPECT_NO_THROW(uploader->Connect());
    return uploader;
  }

  std::string LocalFile(const std::string& name, const std::string& bytes) {
    const std::string path = local_.File(name);
    test::WriteFile(path, bytes);
    return path;
  }

  FtpServer server_;
  test::TempDir local_;
};

TEST_F(FtpUploaderTest, StoresTheFileByteForByteInAsciiModeOverPassiveData) {
  struct Case {
    bool direct;
    std::vector<std::string> file_commands;  // STOR, RNFR, RNTO, DELE, APPE in order
  };
  const Case cases[] = {
      {false,
       {"DELE .ESTRAZQ.CSV.part", "STOR .ESTRAZQ.CSV.part", "RNFR .ESTRAZQ.CSV.part",
        "RNTO ESTRAZQ.CSV"}},
      {true, {"STOR ESTRAZQ.CSV"}},
  };
  server_.MakeDirectory("catalogo");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.direct ? "direct" : "temporary name");
    server_.PutFile("catalogo/ESTRAZQ.CSV", "previous content\r\n");
    const size_t before = server_.Commands().size();
    auto uploader = Connected(c.direct);
    EXPECT_TRUE(uploader->IsConnected());
    uploader->ChangeDirectory("catalogo");
    ASSERT_NO_THROW(uploader->Upload(LocalFile("ESTRAZQ.CSV", kExportBytes)));
    EXPECT_EQ(server_.ReadReceived("catalogo/ESTRAZQ.CSV"), kExportBytes);
    EXPECT_FALSE(server_.HasFile("catalogo/.ESTRAZQ.CSV.part"));

    const auto all = server_.Commands();
    const std::vector<std::string> commands(all.begin() + before, all.end());
    EXPECT_TRUE(Sent(commands, "USER catalogo"));
    EXPECT_TRUE(Sent(commands, "CWD catalogo"));
    EXPECT_EQ(FileCommands(commands), c.file_commands);
    EXPECT_FALSE(Sent(commands, "REST 0")) << "the file is sent from its start, without resuming";
    // The type in force at the STOR is ASCII, and the data connection passive.
    const auto stor =
        std::find_if(commands.begin(), commands.end(),
                     [](const std::string& command) { return command.rfind("STOR ", 0) == 0; });
    const auto last_type =
        std::find_if(std::make_reverse_iterator(stor), commands.rend(),
                     [](const std::string& command) { return command.rfind("TYPE ", 0) == 0; });
    ASSERT_NE(last_type, commands.rend());
    EXPECT_EQ(*last_type, "TYPE A");
    EXPECT_TRUE(Sent(commands, "EPSV") || Sent(commands, "PASV"));
    EXPECT_TRUE(CommandsStarting(commands, "PORT").empty());
    EXPECT_TRUE(CommandsStarting(commands, "EPRT").empty());
  }
}

TEST_F(FtpUploaderTest, WithoutChangeOfDirectoryStoresInTheLogInDirectory) {
  auto uploader = Connected();
  ASSERT_NO_THROW(uploader->Upload(LocalFile("ESTRAZQ.CSV", "A;1\r\n")));
  EXPECT_EQ(server_.ReadReceived("ESTRAZQ.CSV"), "A;1\r\n");
  EXPECT_TRUE(CommandsStarting(server_.Commands(), "CWD").empty());
}

TEST_F(FtpUploaderTest, UploadReplacesThePreviousFile) {
  struct Case {
    std::string name;
    std::string previous;  // on the server before the upload
    std::string content;   // of the local file
  };
  const Case cases[] = {
      {"ESTRAZQ.CSV", "old content of the remote file\r\n", ""},
      {"LISTINO.CSV", std::string(5000, 'x'), "nuovo\r\n"},
      {"PROMO.CSV", "corto\r\n", std::string(300000, 'p')},
  };
  for (bool direct : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE((direct ? "direct, " : "temporary name, ") + c.name);
      server_.PutFile(c.name, c.previous);
      const size_t before = server_.Commands().size();
      auto uploader = Connected(direct);
      ASSERT_NO_THROW(uploader->Upload(LocalFile(c.name, c.content)));
      EXPECT_TRUE(server_.HasFile(c.name));
      EXPECT_EQ(server_.ReadReceived(c.name), c.content);
      EXPECT_FALSE(server_.HasFile("." + c.name + ".part"));
      const auto all = server_.Commands();
      EXPECT_EQ(Sent({all.begin() + before, all.end()}, "STOR " + c.name), direct)
          << "only a direct upload stores under the real name";
    }
  }
}

TEST_F(FtpUploaderTest, StoresTwoFilesOverOneConnection) {
  server_.MakeDirectory("in");
  auto uploader = Connected();
  uploader->ChangeDirectory("in");
  ASSERT_NO_THROW(uploader->Upload(LocalFile("UNO.CSV", "1\r\n")));
  ASSERT_NO_THROW(uploader->Upload(LocalFile("DUE.CSV", "2\r\n")));
  EXPECT_EQ(server_.ReadReceived("in/UNO.CSV"), "1\r\n");
  EXPECT_EQ(server_.ReadReceived("in/DUE.CSV"), "2\r\n");
  EXPECT_EQ(CommandsStarting(server_.Commands(), "USER").size(), 1u);
}

TEST_F(FtpUploaderTest, RemoteNameIsThePartAfterTheLastSeparator) {
  struct Case {
    std::string local_name;  // a file of this name in a local directory
    std::string remote_name;
  };
  // On this system '\' and ':' may be part of a local file name; they still
  // separate the remote name as on the system the paths come from.
  const Case cases[] = {
      {"ESTRAZQ.CSV", "ESTRAZQ.CSV"},
      {"C:\\export\\ESTRAZQ.CSV", "ESTRAZQ.CSV"},
      {"C:\\exportESTRAZQ.CSV", "exportESTRAZQ.CSV"},
      {"D:LISTINO.CSV", "LISTINO.CSV"},
      {"listino prezzi #1;v2.csv", "listino prezzi #1;v2.csv"},
      {"sconti 100%.csv", "sconti 100%.csv"},
  };
  auto uploader = Connected();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.local_name);
    ASSERT_NO_THROW(uploader->Upload(LocalFile(c.local_name, "x\r\n")));
    EXPECT_TRUE(server_.HasFile(c.remote_name));
    EXPECT_TRUE(Sent(server_.Commands(), "RNTO " + c.remote_name));
    EXPECT_FALSE(server_.HasFile("." + c.remote_name + ".part"));
  }
}

TEST_F(FtpUploaderTest, ChangesToTheDirectoryAsWritten) {
  struct Case {
    std::string dir;           // as configured
    std::string cwd;           // the command the server receives
    std::string stored_under;  // where the file lands, below the root
  };
  const Case cases[] = {
      {"catalogo", "CWD catalogo", "catalogo"},
      {"/catalogo/import", "CWD /catalogo/import", "catalogo/import"},
      {"catalogo/import", "CWD catalogo/import", "catalogo/import"},
      {"cartella con spazi #2", "CWD cartella con spazi #2", "cartella con spazi #2"},
      {"/", "CWD /", ""},
  };
  server_.MakeDirectory("catalogo/import");
  server_.MakeDirectory("cartella con spazi #2");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dir);
    auto uploader = Connected();
    ASSERT_NO_THROW(uploader->ChangeDirectory(c.dir));
    EXPECT_TRUE(Sent(server_.Commands(), c.cwd));
    const std::string name = "F" + std::to_string(&c - cases) + ".CSV";
    ASSERT_NO_THROW(uploader->Upload(LocalFile(name, "x\r\n")));
    EXPECT_TRUE(server_.HasFile(c.stored_under.empty() ? name : c.stored_under + "/" + name));
  }
}

TEST_F(FtpUploaderTest, RelativeChangesOfDirectoryFollowEachOther) {
  server_.MakeDirectory("web/import");
  auto uploader = Connected();
  uploader->ChangeDirectory("web");
  uploader->ChangeDirectory("import");
  ASSERT_NO_THROW(uploader->Upload(LocalFile("ESTRAZQ.CSV", "x\r\n")));
  EXPECT_TRUE(server_.HasFile("web/import/ESTRAZQ.CSV"));
}

TEST_F(FtpUploaderTest, RefusedChangeOfDirectoryRaisesTheServersReply) {
  for (const std::string& dir : std::vector<std::string>{FtpServer::kDeniedDir, "non_esiste"}) {
    SCOPED_TRACE(dir);
    auto uploader = Connected();
    try {
      uploader->ChangeDirectory(dir);
      ADD_FAILURE() << "no error raised";
    } catch (const FtpError& e) {
      EXPECT_TRUE(Contains(e.what(), "550"));
      EXPECT_EQ(e.TypeName(), "EFTPError");
    }
    EXPECT_TRUE(Sent(server_.Commands(), "CWD " + dir));
    // The directory stays what it was: a later upload lands in the log-in one.
    ASSERT_NO_THROW(uploader->Upload(LocalFile("DOPO.CSV", "x\r\n")));
    EXPECT_TRUE(server_.HasFile("DOPO.CSV"));
    EXPECT_FALSE(server_.HasFile(dir + "/DOPO.CSV"));
  }
}

TEST_F(FtpUploaderTest, EmptyDirectoryChangesNothing) {
  auto uploader = Connected();
  uploader->ChangeDirectory("");
  EXPECT_TRUE(CommandsStarting(server_.Commands(), "CWD").empty());
}

TEST_F(FtpUploaderTest, ConnectRefusesMissingOrUnsafeSettingsWithoutTouchingTheNetwork) {
  const std::string kUser = FtpServer::kUser;
  const std::string kPassword = FtpServer::kPassword;
  const std::string kBadUser = "nome utente contiene caratteri di controllo";
  const std::string kBadPassword = "password contiene caratteri di controllo";
  struct Case {
    std::string user;
    std::string password;
    bool host;
    std::string message;
  };
  const Case cases[] = {
      // Missing settings: the message names the last one missing.
      {"", "", false, "Server mancante"},
      {"", "", true, "Password mancante"},
      {"", "pwd", true, "Username mancante"},
      {"u", "", true, "Password mancante"},
      {"u", "pwd", false, "Server mancante"},
      {"", "pwd", false, "Server mancante"},
      {"u", "", false, "Server mancante"},
      // A line break or NUL would let a setting add commands of its own.
      {kUser, kPassword + "\r\nDELE vittima.txt", true, kBadPassword},
      {kUser, kPassword + "\nDELE vittima.txt", true, kBadPassword},
      {kUser, "\r" + kPassword, true, kBadPassword},
      {kUser, kPassword + std::string(1, '\0') + "coda", true, kBadPassword},
      {kUser + "\r\nDELE vittima.txt", kPassword, true, kBadUser},
      {kUser + "\n", kPassword, true, kBadUser},
      {std::string(1, '\0') + kUser, kPassword, true, kBadUser},
      {kUser + "\r", kPassword + "\n", true, kBadUser},
  };
  server_.PutFile("vittima.txt", "resta\r\n");
  for (const auto& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases));
    FtpUploader uploader(FtpSettings{
        .host = c.host ? server_.HostAndPort() : "", .user = c.user, .password = c.password});
    EXPECT_EQ(FtpErrorOf([&] { uploader.Connect(); }), c.message);
    EXPECT_FALSE(uploader.IsConnected());
  }
  EXPECT_EQ(server_.Connections(), 0) << "a refused setting still reached the server";
  EXPECT_TRUE(server_.Commands().empty());
  EXPECT_EQ(server_.ReadReceived("vittima.txt"), "resta\r\n");
  // The same server counts a connection that is made.
  Connected();
  EXPECT_EQ(server_.Connections(), 1);
}

TEST_F(FtpUploaderTest, TlsRequiredFromAServerWithoutItSendsNothingInClear) {
  for (const std::string& host : {server_.HostAndPort(), "ftps://" + server_.HostAndPort()}) {
    SCOPED_TRACE(host);
    const size_t before = server_.Commands().size();
    FtpUploader uploader(FtpSettings{
        .host = host, .user = FtpServer::kUser, .password = FtpServer::kPassword, .tls = 2});
    const std::optional<std::string> error = FtpErrorOf([&] { uploader.Connect(); });
    ASSERT_TRUE(error);
    // The refused AUTH is told as what it is, not as a refused log-in.
    const std::string no_tls = "TLS richiesto (CAT_FTP_TLS=2) ma non offerto dal server: ";
    if (host.starts_with("ftps://")) {
      EXPECT_FALSE(error->starts_with(no_tls)) << *error;
    } else {
      EXPECT_TRUE(error->starts_with(no_tls + "AUTH rifiutato (5")) << *error;
      EXPECT_TRUE(error->ends_with("); nome utente e password non inviati")) << *error;
    }
    EXPECT_FALSE(uploader.IsConnected());
    const auto all = server_.Commands();
    for (auto c = all.begin() + static_cast<long>(before); c != all.end(); ++c) {
      EXPECT_NE(c->rfind("USER", 0), 0u) << *c;
      EXPECT_NE(c->rfind("PASS", 0), 0u) << *c;
    }
  }
  // Offered-only TLS falls back to plain FTP on this server.
  FtpUploader offered(FtpSettings{.host = server_.HostAndPort(),
                                  .user = FtpServer::kUser,
                                  .password = FtpServer::kPassword,
                                  .tls = 1});
  ASSERT_NO_THROW(offered.Connect());
  ASSERT_NO_THROW(offered.Upload(LocalFile("ESTRAZQ.CSV", "x\r\n")));
  EXPECT_EQ(server_.ReadReceived("ESTRAZQ.CSV"), "x\r\n");
  EXPECT_TRUE(Sent(server_.Commands(), "AUTH TLS"));
}

TEST_F(FtpUploaderTest, AUserNameOfOneBlankIsSentToTheServer) {
  auto uploader = MakeUploader(" ", FtpServer::kPassword);
  const auto error = FtpErrorOf([&] { uploader->Connect(); });
  ASSERT_TRUE(error);
  EXPECT_TRUE(Contains(*error, "530"));
  EXPECT_EQ(CommandsStarting(server_.Commands(), "USER").size(), 1u);
}

TEST_F(FtpUploaderTest, RefusedLogInGivesTheServersReply) {
  auto uploader = MakeUploader(FtpServer::kUser, "sbagliata");
  const auto error = FtpErrorOf([&] { uploader->Connect(); });
  ASSERT_TRUE(error);
  EXPECT_TRUE(Contains(*error, "530"));
  EXPECT_TRUE(Contains(*error, "Authentication failed"));
  EXPECT_FALSE(uploader->IsConnected());
}

TEST_F(FtpUploaderTest, UnreachableServerGivesTheNetworkError) {
  const int port = test::ClosedPort();
  FtpUploader uploader(FtpSettings{.host = "127.0.0.1:" + std::to_string(port),
                                   .user = FtpServer::kUser,
                                   .password = FtpServer::kPassword});
  const auto error = FtpErrorOf([&] { uploader.Connect(); });
  ASSERT_TRUE(error);
  EXPECT_TRUE(Contains(*error, std::to_string(port)));
  EXPECT_FALSE(uploader.IsConnected());
}

TEST_F(FtpUploaderTest, UnusableHostSettingIsRefusedWithoutTouchingTheNetwork) {
  const std::string port = std::to_string(server_.Port());
  const std::vector<std::string> hosts{"127.0.0.1:porta",     "127.0.0.1:0",
                                       "127.0.0.1:99999",     "[::1",
                                       "127.0.0.1/x:" + port, "utente@127.0.0.1:" + port};
  for (const auto& host : hosts) {
    SCOPED_TRACE(host);
    FtpUploader uploader(
        FtpSettings{.host = host, .user = FtpServer::kUser, .password = FtpServer::kPassword});
    const auto error = FtpErrorOf([&] { uploader.Connect(); });
    ASSERT_TRUE(error);
    EXPECT_TRUE(Contains(*error, "Server FTP non valido"));
  }
  EXPECT_TRUE(server_.Commands().empty());
}

TEST_F(FtpUploaderTest, RefusedHostIsShownWithoutCredentialsOrLineBreaks) {
  const std::string port = std::to_string(server_.Port());
  const std::vector<std::string> hosts{"utente:segreta@127.0.0.1:" + port,
                                       "segreta@127.0.0.1:" + port, "127.0.0.1\r\n:" + port,
                                       "127.0.0.1\r\nDELE x"};
  for (const auto& host : hosts) {
    SCOPED_TRACE(host);
    FtpUploader uploader(
        FtpSettings{.host = host, .user = FtpServer::kUser, .password = FtpServer::kPassword});
    const auto error = FtpErrorOf([&] { uploader.Connect(); });
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->starts_with("Server FTP non valido: ")) << *error;
    EXPECT_FALSE(Contains(*error, "segreta")) << *error;
    EXPECT_EQ(error->find_first_of("\r\n"), std::string::npos) << *error;
  }
  EXPECT_EQ(server_.Connections(), 0);
}

TEST_F(FtpUploaderTest, ServerOnIpv6LoopbackWithBracketedAddress) {
  std::optional<FtpServer> server6;
  try {
    server6.emplace("::1");
  } catch (const std::exception& e) {
    GTEST_SKIP() << "no IPv6 loopback here: " << e.what();
  }
  FtpUploader uploader(FtpSettings{
      .host = server6->HostAndPort(), .user = FtpServer::kUser, .password = FtpServer::kPassword});
  ASSERT_EQ(uploader.Settings().host.front(), '[');
  ASSERT_NO_THROW(uploader.Connect());
  ASSERT_NO_THROW(uploader.Upload(LocalFile("V6.CSV", "6\r\n")));
  EXPECT_EQ(server6->ReadReceived("V6.CSV"), "6\r\n");
}

TEST_F(FtpUploaderTest, RefusedStoreGivesTheServersReply) {
  for (bool direct : {false, true}) {
    SCOPED_TRACE(direct ? "direct" : "temporary name");
    auto uploader = MakeUploader(FtpServer::kReadOnlyUser, FtpServer::kReadOnlyPassword, direct);
    ASSERT_NO_THROW(uploader->Connect());
    const auto error = FtpErrorOf([&] { uploader->Upload(LocalFile("ESTRAZQ.CSV", "x\r\n")); });
    ASSERT_TRUE(error);
    EXPECT_TRUE(Contains(*error, "550"));
    EXPECT_FALSE(server_.HasFile("ESTRAZQ.CSV"));
    EXPECT_FALSE(server_.HasFile(".ESTRAZQ.CSV.part"));
  }
}

TEST_F(FtpUploaderTest, UnreadableLocalFileFailsBeforeTheStore) {
  auto uploader = Connected();
  for (const std::string& path :
       std::vector<std::string>{local_.File("manca.csv"), local_.Path()}) {
    SCOPED_TRACE(path);
    const auto error = FtpErrorOf([&] { uploader->Upload(path); });
    ASSERT_TRUE(error);
    EXPECT_TRUE(Contains(*error, "Cannot open file \"" + path + "\". "));
  }
  EXPECT_TRUE(CommandsStarting(server_.Commands(), "STOR").empty());
  EXPECT_TRUE(uploader->IsConnected());
}

TEST_F(FtpUploaderTest, WithoutConnectionNothingIsSent) {
  auto uploader = MakeUploader();
  EXPECT_EQ(FtpErrorOf([&] { uploader->Upload(LocalFile("ESTRAZQ.CSV", "x")); }), "Not connected.");
  EXPECT_THROW(uploader->ChangeDirectory("catalogo"), FtpError);
  uploader->Disconnect();
  EXPECT_TRUE(server_.Commands().empty());
}

TEST_F(FtpUploaderTest, DisconnectSendsQuitOnce) {
  auto uploader = Connected();
  uploader->Disconnect();
  EXPECT_FALSE(uploader->IsConnected());
  uploader->Disconnect();
  uploader.reset();
  const auto commands = server_.Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), "QUIT");
  EXPECT_EQ(CommandsStarting(commands, "QUIT").size(), 1u);
}

TEST_F(FtpUploaderTest, DestructionOfAConnectedUploaderSendsQuit) {
  auto uploader = Connected();
  ASSERT_NO_THROW(uploader->Upload(LocalFile("ESTRAZQ.CSV", "x\r\n")));
  EXPECT_TRUE(uploader->IsConnected());
  uploader.reset();
  EXPECT_EQ(server_.Commands().back(), "QUIT");
}

TEST_F(FtpUploaderTest, ConnectClosesAnEarlierConnectionFirst) {
  auto uploader = Connected();
  ASSERT_NO_THROW(uploader->Connect());
  const auto commands = server_.Commands();
  const auto quit = std::find(commands.begin(), commands.end(), "QUIT");
  ASSERT_NE(quit, commands.end());
  EXPECT_EQ(std::count_if(quit, commands.end(),
                          [](const std::string& c) { return c.rfind("USER", 0) == 0; }),
            1);
  EXPECT_TRUE(uploader->IsConnected());
}

TEST_F(FtpUploaderTest, FileNameWithALineBreakIsRefusedBeforeAnyCommand) {
  server_.PutFile("vittima.txt", "resta\r\n");
  for (bool direct : {false, true}) {
    SCOPED_TRACE(direct ? "direct" : "temporary name");
    auto uploader = Connected(direct);
    const std::string path = LocalFile("ESTRAZQ.CSV\r\nDELE vittima.txt", "x\r\n");
    EXPECT_EQ(FtpErrorOf([&] { uploader->Upload(path); }), "path contains control characters");
  }
  EXPECT_TRUE(FileCommands(server_.Commands()).empty());
  EXPECT_EQ(server_.ReadReceived("vittima.txt"), "resta\r\n");
}

// Servers that break off transfers or refuse renames, as some real ones do.
class MisbehavingFtpServerTest : public testing::Test {
 protected:
  std::unique_ptr<FtpUploader> ConnectedTo(const FtpServer& server, bool direct = false) {
    auto uploader = std::make_unique<FtpUploader>(FtpSettings{.host = server.HostAndPort(),
                                                              .user = FtpServer::kUser,
                                                              .password = FtpServer::kPassword,
                                                              .direct_upload = direct});
    EXPECT_NO_THROW(uploader->Connect());
    return uploader;
  }

  std::string LocalFile(const std::string& name, const std::string& bytes) {
    const std::string path = local_.File(name);
    test::WriteFile(path, bytes);
    return path;
  }

  static std::string Lines(size_t size) {
    std::string text;
    for (int i = 0; text.size() < size; ++i) {
      text += 'A';
      text += std::to_string(i);
      text += ";riga;1,00\r\n";
    }
    text.resize(size);
    return text;
  }

  const std::string kPrevious = "previous complete file\r\n";
  test::TempDir local_;
};

TEST_F(MisbehavingFtpServerTest, BrokenTransferLeavesThePreviousFileInPlace) {
  constexpr long kDropAfter = 1000;
  struct Case {
    const char* label;
    size_t size;
    bool direct;
    // The server's reply; nullptr: the network library's description.
    const char* message;
    bool control_survives;
  };
  const Case cases[] = {
      // Sent whole before the server breaks off: the control connection
      // carries the 426 and stays usable, so the temporary file is deleted.
      {"small file", 20000, false,
       "STOR .ESTRAZQ.CSV.part: 426 Connection closed; transfer aborted.", true},
      // Still being sent when the data connection is reset, which ends the
      // control connection too: the temporary file stays, hidden, until the
      // next upload of the same name replaces it.
      {"large file", 16 << 20, false, nullptr, false},
      // What the temporary name prevents: the real file is cut short.
      {"small file, direct", 20000, true,
       "STOR ESTRAZQ.CSV: 426 Connection closed; transfer aborted.", true},
  };
  FtpServer server(FtpServer::Options{.drop_data_after = kDropAfter});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    server.PutFile("ESTRAZQ.CSV", kPrevious);
    auto uploader = ConnectedTo(server, c.direct);
    const std::string content = Lines(c.size);
    const auto error = FtpErrorOf([&] { uploader->Upload(LocalFile("ESTRAZQ.CSV", content)); });
    ASSERT_TRUE(error) << "the broken transfer went unnoticed";
    if (c.message) {
      EXPECT_EQ(*error, c.message);
    } else {
      EXPECT_NE(*error, "");
    }
    // Whatever the control connection can still do, the failed upload ends it.
    EXPECT_FALSE(uploader->IsConnected());
    if (c.direct) {
      const std::string received = server.ReadReceived("ESTRAZQ.CSV");
      EXPECT_EQ(received.size(), static_cast<size_t>(kDropAfter));
      EXPECT_TRUE(content.starts_with(received));
    } else {
      EXPECT_EQ(server.ReadReceived("ESTRAZQ.CSV"), kPrevious);
      EXPECT_EQ(server.HasFile(".ESTRAZQ.CSV.part"), !c.control_survives);
    }
  }
  const auto files = FileCommands(server.Commands());
  EXPECT_TRUE(CommandsStarting(files, "RNFR").empty()) << "a broken transfer was renamed";
}

TEST_F(MisbehavingFtpServerTest, TransferCutShortBehindAReportOfSuccessIsNeverRenamed) {
  constexpr long kKept = 100000;
  const std::string content = Lines(783738);
  struct Case {
    const char* label;
    bool direct;
    std::string error;
    std::vector<std::string> file_commands;
  };
  const Case cases[] = {
      {"temporary name",
       false,
       "SIZE .ESTRAZQ.CSV.part: 213 100000 (inviati 783738 di 783738 byte: file incompleto sul "
       "server)",
       {"DELE .ESTRAZQ.CSV.part", "STOR .ESTRAZQ.CSV.part", "DELE .ESTRAZQ.CSV.part"}},
      // Nothing can keep the previous file then, but the failure is told.
      {"direct",
       true,
       "SIZE ESTRAZQ.CSV: 213 100000 (inviati 783738 di 783738 byte: file incompleto sul server)",
       {"STOR ESTRAZQ.CSV"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FtpServer server(FtpServer::Options{.keep_only = kKept});
    server.PutFile("ESTRAZQ.CSV", kPrevious);
    auto uploader = ConnectedTo(server, c.direct);
    EXPECT_EQ(FtpErrorOf([&] { uploader->Upload(LocalFile("ESTRAZQ.CSV", content)); }), c.error);
    EXPECT_EQ(FileCommands(server.Commands()), c.file_commands);
    EXPECT_TRUE(Sent(server.Commands(), "TYPE I")) << "SIZE is asked in binary type";
    EXPECT_FALSE(server.HasFile(".ESTRAZQ.CSV.part"));
    EXPECT_EQ(server.ReadReceived("ESTRAZQ.CSV"), c.direct ? content.substr(0, kKept) : kPrevious);
  }
}

TEST_F(MisbehavingFtpServerTest, CompleteTransferIsRecognisedWhateverTheServerSaysOfItsSize) {
  const std::string content = Lines(300000);
  std::string converted;  // CR LF stored as LF
  for (size_t i = 0; i < content.size(); ++i)
    if (!(content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n'))
      converted += content[i];
  struct Case {
    const char* label;
    FtpServer::Options options;
    std::string stored;
  };
  const Case cases[] = {
      {"SIZE unknown: the transfer's own count", FtpServer::Options{.no_size = true}, content},
      {"line ends converted", FtpServer::Options{.convert_line_ends = true}, converted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FtpServer server(c.options);
    server.PutFile("ESTRAZQ.CSV", kPrevious);
    auto uploader = ConnectedTo(server);
    ASSERT_NO_THROW(uploader->Upload(LocalFile("ESTRAZQ.CSV", content)));
    EXPECT_EQ(server.ReadReceived("ESTRAZQ.CSV"), c.stored);
    EXPECT_FALSE(server.HasFile(".ESTRAZQ.CSV.part"));
    EXPECT_TRUE(Sent(server.Commands(), "SIZE .ESTRAZQ.CSV.part"));
  }
}

TEST_F(MisbehavingFtpServerTest, RefusedRenameFallsBackToADirectStoreOnTheSameConnection) {
  FtpServer server(FtpServer::Options{.refuse_rnfr = true});
  server.PutFile("ESTRAZQ.CSV", kPrevious);
  std::vector<std::string> notices;
  FtpUploader uploader(
      FtpSettings{
          .host = server.HostAndPort(), .user = FtpServer::kUser, .password = FtpServer::kPassword},
      [&](const std::string& line) { notices.push_back(line); });
  ASSERT_NO_THROW(uploader.Connect());
  FtpUploader::UploadMethod method{};
  ASSERT_NO_THROW(method = uploader.Upload(LocalFile("ESTRAZQ.CSV", "nuovo\r\n")));
  EXPECT_EQ(method, FtpUploader::UploadMethod::kDirect);
  EXPECT_EQ(server.ReadReceived("ESTRAZQ.CSV"), "nuovo\r\n");
  EXPECT_FALSE(server.HasFile(".ESTRAZQ.CSV.part"));
  EXPECT_EQ(FileCommands(server.Commands()),
            (std::vector<std::string>{"DELE .ESTRAZQ.CSV.part", "STOR .ESTRAZQ.CSV.part",
                                      "RNFR .ESTRAZQ.CSV.part", "STOR ESTRAZQ.CSV",
                                      "DELE .ESTRAZQ.CSV.part"}));
  EXPECT_EQ(notices, (std::vector<std::string>{
                         "Upload FTP di ESTRAZQ.CSV: RNFR .ESTRAZQ.CSV.part: 550 Renaming not "
                         "allowed here.; caricamento diretto come ESTRAZQ.CSV "
                         "(CAT_FTP_CARICAMENTODIRETTO=1 lo fa subito)"}));
  EXPECT_EQ(CommandsStarting(server.Commands(), "USER").size(), 1u) << "one connection";
}

TEST_F(MisbehavingFtpServerTest, FallbacksForcedByTheServerStayOnOneConnection) {
  using Method = FtpUploader::UploadMethod;
  const std::string kNew = "A001;nuovo;1,00\r\n";
  const std::string kToDirect =
      "; caricamento diretto come ESTRAZQ.CSV (CAT_FTP_CARICAMENTODIRETTO=1 lo fa subito)";
  struct Case {
    const char* label;
    bool refuse_dot_names;
    bool refuse_rename_delete;
    bool refuse_overwrite;
    bool leftover;  // a ".ESTRAZQ.CSV.part" of an earlier run is on the server
    Method method;
    std::vector<std::string> notices;
    std::vector<std::string> file_commands;
    std::vector<std::string> left_on_server;  // temporary files the server kept
  };
  const Case cases[] = {
      {"dot names refused (pure-ftpd -x)",
       true,
       false,
       false,
       false,
       Method::kTemporary,
       {"Upload FTP di ESTRAZQ.CSV: STOR .ESTRAZQ.CSV.part: 553 Prohibited file name: "
        ".ESTRAZQ.CSV.part; nuovo tentativo come ESTRAZQ.CSV.part"},
       {"DELE .ESTRAZQ.CSV.part", "STOR .ESTRAZQ.CSV.part", "DELE ESTRAZQ.CSV.part",
        "STOR ESTRAZQ.CSV.part", "RNFR ESTRAZQ.CSV.part", "RNTO ESTRAZQ.CSV"},
       {}},
      {"rename and delete refused (vsftpd cmds_denied)",
       false,
       true,
       false,
       false,
       Method::kDirect,
       {"Upload FTP di ESTRAZQ.CSV: RNFR .ESTRAZQ.CSV.part: 550 Permission denied." + kToDirect},
       {"DELE .ESTRAZQ.CSV.part", "STOR .ESTRAZQ.CSV.part", "RNFR .ESTRAZQ.CSV.part",
        "STOR ESTRAZQ.CSV", "DELE .ESTRAZQ.CSV.part"},
       {".ESTRAZQ.CSV.part"}},
      {"leftover temporary file, overwrite refused (proftpd AllowOverwrite off)",
       false,
       false,
       true,
       true,
       Method::kHiddenTemporary,
       {},
       {"DELE .ESTRAZQ.CSV.part", "STOR .ESTRAZQ.CSV.part", "RNFR .ESTRAZQ.CSV.part",
        "RNTO ESTRAZQ.CSV"},
       {}},
      {"dot names, rename and delete refused",
       true,
       true,
       false,
       false,
       Method::kDirect,
       {"Upload FTP di ESTRAZQ.CSV: STOR .ESTRAZQ.CSV.part: 553 Prohibited file name: "
        ".ESTRAZQ.CSV.part; nuovo tentativo come ESTRAZQ.CSV.part",
        "Upload FTP di ESTRAZQ.CSV: RNFR ESTRAZQ.CSV.part: 550 Permission denied." + kToDirect},
       {"DELE .ESTRAZQ.CSV.part", "STOR .ESTRAZQ.CSV.part", "DELE ESTRAZQ.CSV.part",
        "STOR ESTRAZQ.CSV.part", "RNFR ESTRAZQ.CSV.part", "STOR ESTRAZQ.CSV",
        "DELE ESTRAZQ.CSV.part"},
       {"ESTRAZQ.CSV.part"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FtpServer::Options options;
    options.refuse_dot_names = c.refuse_dot_names;
    options.refuse_rename_delete = c.refuse_rename_delete;
    options.refuse_overwrite = c.refuse_overwrite;
    FtpServer server(options);
    server.PutFile("ESTRAZQ.CSV", kPrevious);
    if (c.leftover) server.PutFile(".ESTRAZQ.CSV.part", "resto di un'esecuzione interrotta");
    std::vector<std::string> notices;
    FtpUploader uploader(FtpSettings{.host = server.HostAndPort(),
                                     .user = FtpServer::kUser,
                                     .password = FtpServer::kPassword},
                         [&](const std::string& line) { notices.push_back(line); });
    ASSERT_NO_THROW(uploader.Connect());
    std::optional<Method> method;
    ASSERT_NO_THROW(method = uploader.Upload(LocalFile("ESTRAZQ.CSV", kNew)));
    EXPECT_EQ(method, c.method);
    EXPECT_EQ(server.ReadReceived("ESTRAZQ.CSV"), kNew);
    EXPECT_EQ(notices, c.notices);
    EXPECT_EQ(FileCommands(server.Commands()), c.file_commands);
    for (const char* temporary : {".ESTRAZQ.CSV.part", "ESTRAZQ.CSV.part"}) {
      const bool kept = std::find(c.left_on_server.begin(), c.left_on_server.end(), temporary) !=
                        c.left_on_server.end();
      EXPECT_EQ(server.HasFile(temporary), kept) << temporary;
      if (kept) {
        EXPECT_EQ(server.ReadReceived(temporary), kNew);
      }
    }
    EXPECT_EQ(CommandsStarting(server.Commands(), "USER").size(), 1u) << "one connection";
  }
}

TEST_F(MisbehavingFtpServerTest, EveryWayRefusedFailsWithTheLastRefusal) {
  FtpServer server;
  std::vector<std::string> notices;
  FtpUploader uploader(FtpSettings{.host = server.HostAndPort(),
                                   .user = FtpServer::kReadOnlyUser,
                                   .password = FtpServer::kReadOnlyPassword},
                       [&](const std::string& line) { notices.push_back(line); });
  ASSERT_NO_THROW(uploader.Connect());
  const auto error = FtpErrorOf([&] { uploader.Upload(LocalFile("ESTRAZQ.CSV", "x\r\n")); });
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->starts_with("STOR ESTRAZQ.CSV: 550 ")) << *error;
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_TRUE(notices[0].starts_with("Upload FTP di ESTRAZQ.CSV: STOR .ESTRAZQ.CSV.part: 550 "))
      << notices[0];
  EXPECT_TRUE(notices[1].starts_with("Upload FTP di ESTRAZQ.CSV: STOR ESTRAZQ.CSV.part: 550 "))
      << notices[1];
  EXPECT_EQ(CommandsStarting(server.Commands(), "STOR"),
            (std::vector<std::string>{"STOR .ESTRAZQ.CSV.part", "STOR ESTRAZQ.CSV.part",
                                      "STOR ESTRAZQ.CSV"}));
  EXPECT_FALSE(uploader.IsConnected());
  EXPECT_EQ(server.Commands().back(), "QUIT");
}

TEST_F(MisbehavingFtpServerTest, FailedUploadEndsItsConnectionAtOnce) {
  // One connection per address: the next file of a run needs the address
  // free, while the failed uploader still exists.
  FtpServer server(FtpServer::Options{.max_per_ip = 1});
  FtpUploader failing(FtpSettings{.host = server.HostAndPort(),
                                  .user = FtpServer::kReadOnlyUser,
                                  .password = FtpServer::kReadOnlyPassword});
  ASSERT_NO_THROW(failing.Connect());
  EXPECT_TRUE(FtpErrorOf([&] { failing.Upload(LocalFile("PRIMO.CSV", "1\r\n")); }));
  FtpUploader next(FtpSettings{
      .host = server.HostAndPort(), .user = FtpServer::kUser, .password = FtpServer::kPassword});
  ASSERT_NO_THROW(next.Connect());
  ASSERT_NO_THROW(next.Upload(LocalFile("SECONDO.CSV", "2\r\n")));
  EXPECT_EQ(server.ReadReceived("SECONDO.CSV"), "2\r\n");
  // The limit is real: a second connection at once is refused.
  FtpUploader third(FtpSettings{
      .host = server.HostAndPort(), .user = FtpServer::kUser, .password = FtpServer::kPassword});
  const auto refused = FtpErrorOf([&] { third.Connect(); });
  ASSERT_TRUE(refused);
  EXPECT_EQ(*refused, "421 There are too many connections from your internet address.");
}

TEST_F(MisbehavingFtpServerTest, ServerThatWillNotRenameOntoAFileHasThePreviousOneDeletedFirst) {
  struct Case {
    bool previous_exists;
    std::vector<std::string> file_commands;
  };
  const Case cases[] = {
      {false,
       {"DELE .LISTINO.CSV.part", "STOR .LISTINO.CSV.part", "RNFR .LISTINO.CSV.part",
        "RNTO LISTINO.CSV"}},
      {true,
       {"DELE .LISTINO.CSV.part", "STOR .LISTINO.CSV.part", "RNFR .LISTINO.CSV.part",
        "RNTO LISTINO.CSV", "DELE LISTINO.CSV", "RNFR .LISTINO.CSV.part", "RNTO LISTINO.CSV"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.previous_exists ? "previous file" : "first upload");
    FtpServer server(FtpServer::Options{.refuse_rename_over = true});
    server.MakeDirectory("catalogo");
    if (c.previous_exists) server.PutFile("catalogo/LISTINO.CSV", kPrevious);
    auto uploader = ConnectedTo(server);
    uploader->ChangeDirectory("catalogo");
    ASSERT_NO_THROW(uploader->Upload(LocalFile("LISTINO.CSV", "nuovo\r\n")));
    EXPECT_EQ(server.ReadReceived("catalogo/LISTINO.CSV"), "nuovo\r\n");
    EXPECT_FALSE(server.HasFile("catalogo/.LISTINO.CSV.part"));
    EXPECT_EQ(FileCommands(server.Commands()), c.file_commands);
  }
}

}  // namespace
}  // namespace et
