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

testing::AssertionResult Contains(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "'" << text << "' does not contain '" << part << "'";
}

bool Sent(const std::vector<std::string>& commands, const std::string& command) {
  return std::find(commands.begin(), commands.end(), command) != commands.end();
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
  // An uploader set up for the server's full-rights user.
  std::unique_ptr<TFTPCarica> MakeUploader(const char* user = FtpServer::kUser,
                                           const char* password = FtpServer::kPassword) {
    auto uploader = std::make_unique<TFTPCarica>();
    uploader->SetHost(server_.HostAndPort());
    uploader->SetUsername(user);
    uploader->SetPassword(password);
    return uploader;
  }

  std::unique_ptr<TFTPCarica> Connected() {
    auto uploader = MakeUploader();
    std::string error = "left over";
    EXPECT_TRUE(uploader->Connetti(error)) << error;
    EXPECT_EQ(error, "");
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
  server_.MakeDirectory("catalogo");
  auto uploader = Connected();
  EXPECT_TRUE(uploader->Connesso());
  uploader->CambiaDirectory("catalogo");

  std::string error = "left over";
  ASSERT_TRUE(uploader->CaricaFile(LocalFile("ESTRAZQ.CSV", kExportBytes), error)) << error;
  EXPECT_EQ(error, "");
  EXPECT_EQ(server_.ReadReceived("catalogo/ESTRAZQ.CSV"), kExportBytes);

  const auto commands = server_.Commands();
  EXPECT_TRUE(Sent(commands, "USER catalogo"));
  EXPECT_TRUE(Sent(commands, "CWD catalogo"));
  EXPECT_TRUE(Sent(commands, "STOR ESTRAZQ.CSV"));
  EXPECT_FALSE(Sent(commands, "APPE ESTRAZQ.CSV"));
  EXPECT_FALSE(Sent(commands, "REST 0")) << "the file is sent from its start, without resuming";
  // The type in force at the STOR is ASCII, and the data connection passive.
  const auto stor = std::find(commands.begin(), commands.end(), "STOR ESTRAZQ.CSV");
  const auto last_type =
      std::find_if(std::make_reverse_iterator(stor), commands.rend(),
                   [](const std::string& c) { return c.rfind("TYPE ", 0) == 0; });
  ASSERT_NE(last_type, commands.rend());
  EXPECT_EQ(*last_type, "TYPE A");
  EXPECT_TRUE(Sent(commands, "EPSV") || Sent(commands, "PASV"));
  EXPECT_TRUE(CommandsStarting(commands, "PORT").empty());
  EXPECT_TRUE(CommandsStarting(commands, "EPRT").empty());
}

TEST_F(FtpUploaderTest, WithoutChangeOfDirectoryStoresInTheLogInDirectory) {
  auto uploader = Connected();
  std::string error;
  ASSERT_TRUE(uploader->CaricaFile(LocalFile("ESTRAZQ.CSV", "A;1\r\n"), error)) << error;
  EXPECT_EQ(server_.ReadReceived("ESTRAZQ.CSV"), "A;1\r\n");
  EXPECT_TRUE(CommandsStarting(server_.Commands(), "CWD").empty());
}

TEST_F(FtpUploaderTest, EmptyFileReplacesTheRemoteFile) {
  server_.PutFile("ESTRAZQ.CSV", "old content of the remote file\r\n");
  auto uploader = Connected();
  std::string error;
  ASSERT_TRUE(uploader->CaricaFile(LocalFile("ESTRAZQ.CSV", ""), error)) << error;
  EXPECT_TRUE(server_.HasFile("ESTRAZQ.CSV"));
  EXPECT_EQ(server_.ReadReceived("ESTRAZQ.CSV"), "");
}

TEST_F(FtpUploaderTest, ShorterFileReplacesALongerRemoteFile) {
  server_.PutFile("LISTINO.CSV", std::string(5000, 'x'));
  auto uploader = Connected();
  std::string error;
  ASSERT_TRUE(uploader->CaricaFile(LocalFile("LISTINO.CSV", "nuovo\r\n"), error)) << error;
  EXPECT_EQ(server_.ReadReceived("LISTINO.CSV"), "nuovo\r\n");
}

TEST_F(FtpUploaderTest, StoresTwoFilesOverOneConnection) {
  server_.MakeDirectory("in");
  auto uploader = Connected();
  uploader->CambiaDirectory("in");
  std::string error;
  ASSERT_TRUE(uploader->CaricaFile(LocalFile("UNO.CSV", "1\r\n"), error)) << error;
  ASSERT_TRUE(uploader->CaricaFile(LocalFile("DUE.CSV", "2\r\n"), error)) << error;
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
    std::string error;
    ASSERT_TRUE(uploader->CaricaFile(LocalFile(c.local_name, "x\r\n"), error)) << error;
    EXPECT_TRUE(server_.HasFile(c.remote_name));
    EXPECT_TRUE(Sent(server_.Commands(), "STOR " + c.remote_name));
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
    ASSERT_NO_THROW(uploader->CambiaDirectory(c.dir));
    EXPECT_TRUE(Sent(server_.Commands(), c.cwd));
    std::string error;
    const std::string name = "F" + std::to_string(&c - cases) + ".CSV";
    ASSERT_TRUE(uploader->CaricaFile(LocalFile(name, "x\r\n"), error)) << error;
    EXPECT_TRUE(server_.HasFile(c.stored_under.empty() ? name : c.stored_under + "/" + name));
  }
}

TEST_F(FtpUploaderTest, RelativeChangesOfDirectoryFollowEachOther) {
  server_.MakeDirectory("web/import");
  auto uploader = Connected();
  uploader->CambiaDirectory("web");
  uploader->CambiaDirectory("import");
  std::string error;
  ASSERT_TRUE(uploader->CaricaFile(LocalFile("ESTRAZQ.CSV", "x\r\n"), error)) << error;
  EXPECT_TRUE(server_.HasFile("web/import/ESTRAZQ.CSV"));
}

TEST_F(FtpUploaderTest, RefusedChangeOfDirectoryRaisesTheServersReply) {
  for (const std::string& dir : std::vector<std::string>{FtpServer::kDeniedDir, "non_esiste"}) {
    SCOPED_TRACE(dir);
    auto uploader = Connected();
    try {
      uploader->CambiaDirectory(dir);
      ADD_FAILURE() << "no error raised";
    } catch (const FtpError& e) {
      EXPECT_TRUE(Contains(e.what(), "550"));
      EXPECT_EQ(e.TypeName(), "EFTPError");
    }
    EXPECT_TRUE(Sent(server_.Commands(), "CWD " + dir));
    // The directory stays what it was: a later upload lands in the log-in one.
    std::string error;
    ASSERT_TRUE(uploader->CaricaFile(LocalFile("DOPO.CSV", "x\r\n"), error)) << error;
    EXPECT_TRUE(server_.HasFile("DOPO.CSV"));
    EXPECT_FALSE(server_.HasFile(dir + "/DOPO.CSV"));
  }
}

TEST_F(FtpUploaderTest, EmptyDirectoryChangesNothing) {
  auto uploader = Connected();
  uploader->CambiaDirectory("");
  EXPECT_TRUE(CommandsStarting(server_.Commands(), "CWD").empty());
}

TEST_F(FtpUploaderTest, ConnettiNamesTheLastMissingSettingWithoutTouchingTheNetwork) {
  struct Case {
    const char* user;
    const char* password;
    bool host;
    const char* message;
  };
  const Case cases[] = {
      {"", "", false, "Server mancante"},     {"", "", true, "Password mancante"},
      {"", "pwd", true, "Username mancante"}, {"u", "", true, "Password mancante"},
      {"u", "pwd", false, "Server mancante"}, {"", "pwd", false, "Server mancante"},
      {"u", "", false, "Server mancante"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("user '") + c.user + "' password '" + c.password + "' host " +
                 (c.host ? "set" : "empty"));
    TFTPCarica uploader;
    uploader.SetHost(c.host ? server_.HostAndPort() : "");
    uploader.SetUsername(c.user);
    uploader.SetPassword(c.password);
    std::string error = "left over";
    EXPECT_FALSE(uploader.Connetti(error));
    EXPECT_EQ(error, c.message);
    EXPECT_FALSE(uploader.Connesso());
  }
  EXPECT_TRUE(server_.Commands().empty()) << "a check that failed still reached the server";
}

TEST_F(FtpUploaderTest, AUserNameOfOneBlankIsSentToTheServer) {
  auto uploader = MakeUploader(" ", FtpServer::kPassword);
  std::string error;
  EXPECT_FALSE(uploader->Connetti(error));
  EXPECT_TRUE(Contains(error, "530"));
  EXPECT_EQ(CommandsStarting(server_.Commands(), "USER").size(), 1u);
}

TEST_F(FtpUploaderTest, RefusedLogInGivesTheServersReply) {
  auto uploader = MakeUploader(FtpServer::kUser, "sbagliata");
  std::string error;
  EXPECT_FALSE(uploader->Connetti(error));
  EXPECT_TRUE(Contains(error, "530"));
  EXPECT_TRUE(Contains(error, "Authentication failed"));
  EXPECT_FALSE(uploader->Connesso());
}

TEST_F(FtpUploaderTest, UnreachableServerGivesTheNetworkError) {
  const int port = test::ClosedPort();
  TFTPCarica uploader;
  uploader.SetHost("127.0.0.1:" + std::to_string(port));
  uploader.SetUsername(FtpServer::kUser);
  uploader.SetPassword(FtpServer::kPassword);
  std::string error;
  EXPECT_FALSE(uploader.Connetti(error));
  EXPECT_TRUE(Contains(error, std::to_string(port)));
  EXPECT_FALSE(uploader.Connesso());
}

TEST_F(FtpUploaderTest, UnusableHostSettingIsRefusedWithoutTouchingTheNetwork) {
  const std::string port = std::to_string(server_.Port());
  const std::vector<std::string> hosts{"127.0.0.1:porta",     "127.0.0.1:0",
                                       "127.0.0.1:99999",     "[::1",
                                       "127.0.0.1/x:" + port, "utente@127.0.0.1:" + port};
  for (const auto& host : hosts) {
    SCOPED_TRACE(host);
    TFTPCarica uploader;
    uploader.SetHost(host);
    uploader.SetUsername(FtpServer::kUser);
    uploader.SetPassword(FtpServer::kPassword);
    std::string error;
    EXPECT_FALSE(uploader.Connetti(error));
    EXPECT_TRUE(Contains(error, "Server FTP non valido"));
  }
  EXPECT_TRUE(server_.Commands().empty());
}

TEST_F(FtpUploaderTest, ServerOnIpv6LoopbackWithBracketedAddress) {
  std::optional<FtpServer> server6;
  try {
    server6.emplace("::1");
  } catch (const std::exception& e) {
    GTEST_SKIP() << "no IPv6 loopback here: " << e.what();
  }
  TFTPCarica uploader;
  uploader.SetHost(server6->HostAndPort());
  ASSERT_EQ(uploader.Host().front(), '[');
  uploader.SetUsername(FtpServer::kUser);
  uploader.SetPassword(FtpServer::kPassword);
  std::string error;
  ASSERT_TRUE(uploader.Connetti(error)) << error;
  ASSERT_TRUE(uploader.CaricaFile(LocalFile("V6.CSV", "6\r\n"), error)) << error;
  EXPECT_EQ(server6->ReadReceived("V6.CSV"), "6\r\n");
}

TEST_F(FtpUploaderTest, RefusedStoreGivesTheServersReply) {
  auto uploader = MakeUploader(FtpServer::kReadOnlyUser, FtpServer::kReadOnlyPassword);
  std::string error;
  ASSERT_TRUE(uploader->Connetti(error)) << error;
  EXPECT_FALSE(uploader->CaricaFile(LocalFile("ESTRAZQ.CSV", "x\r\n"), error));
  EXPECT_TRUE(Contains(error, "550"));
  EXPECT_FALSE(server_.HasFile("ESTRAZQ.CSV"));
  // A later successful call clears the message.
  uploader = Connected();
  ASSERT_TRUE(uploader->CaricaFile(LocalFile("ESTRAZQ.CSV", "x\r\n"), error));
  EXPECT_EQ(error, "");
}

TEST_F(FtpUploaderTest, UnreadableLocalFileFailsBeforeTheStore) {
  auto uploader = Connected();
  for (const std::string& path :
       std::vector<std::string>{local_.File("manca.csv"), local_.Path()}) {
    SCOPED_TRACE(path);
    std::string error;
    EXPECT_FALSE(uploader->CaricaFile(path, error));
    EXPECT_TRUE(Contains(error, path));
  }
  EXPECT_TRUE(CommandsStarting(server_.Commands(), "STOR").empty());
  EXPECT_TRUE(uploader->Connesso());
}

TEST_F(FtpUploaderTest, WithoutConnectionNothingIsSent) {
  auto uploader = MakeUploader();
  std::string error;
  EXPECT_FALSE(uploader->CaricaFile(LocalFile("ESTRAZQ.CSV", "x"), error));
  EXPECT_NE(error, "");
  EXPECT_THROW(uploader->CambiaDirectory("catalogo"), FtpError);
  uploader->Disconnetti();
  EXPECT_TRUE(server_.Commands().empty());
}

TEST_F(FtpUploaderTest, DisconnettiSendsQuitOnce) {
  auto uploader = Connected();
  uploader->Disconnetti();
  EXPECT_FALSE(uploader->Connesso());
  uploader->Disconnetti();
  uploader.reset();
  const auto commands = server_.Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), "QUIT");
  EXPECT_EQ(CommandsStarting(commands, "QUIT").size(), 1u);
}

TEST_F(FtpUploaderTest, DestructionOfAConnectedUploaderSendsQuit) {
  auto uploader = Connected();
  std::string error;
  ASSERT_TRUE(uploader->CaricaFile(LocalFile("ESTRAZQ.CSV", "x\r\n"), error)) << error;
  EXPECT_TRUE(uploader->Connesso());
  uploader.reset();
  EXPECT_EQ(server_.Commands().back(), "QUIT");
}

TEST_F(FtpUploaderTest, ConnettiClosesAnEarlierConnectionFirst) {
  auto uploader = Connected();
  std::string error;
  ASSERT_TRUE(uploader->Connetti(error)) << error;
  const auto commands = server_.Commands();
  const auto quit = std::find(commands.begin(), commands.end(), "QUIT");
  ASSERT_NE(quit, commands.end());
  EXPECT_EQ(std::count_if(quit, commands.end(),
                          [](const std::string& c) { return c.rfind("USER", 0) == 0; }),
            1);
  EXPECT_TRUE(uploader->Connesso());
}

}  // namespace
}  // namespace et
