#include "dbconfig/database_opener.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "dbconfig/opening_plan.h"
#include "fb/error.h"
#include "fb/metadata.h"
#include "fixture/fixture.h"
#include "platform/ini.h"
#include "support/database_holder.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"
#include "tests/dbconfig/recording_connection.h"

namespace et {
namespace {

using test::PromptAnswer;
using test::RecordingConnection;
using test::RecordingUserInterface;
using test::UiCall;

using Clock = std::chrono::steady_clock;

constexpr const char* kCreated = "Effettuata creazione data base";
constexpr const char* kFailed = "Apertura / creazione del database non riuscita!";
constexpr const char* kNotFound = "Non trovato dati.ini";
constexpr const char* kNetworkError =
    "Errore: nonostante le configurazioni, il particolare percorso di rete sta rendendo "
    "impossibile l'attivazione del database";

// As a run opens a database, without waiting for a held file.
const OpeningPolicy kCreating = OpeningPolicy::AttachOrCreate(std::chrono::seconds(0));

// One case of the opener: what dati.ini holds, which names the servers accept,
// how the user answers the prompt, and what must follow.
struct OpenerCase {
  std::string name;
  std::string location_file;  // content; empty: no file
  std::string directory;      // "{dir}" stands for the test's own directory
  std::string file_name;
  std::set<std::string> attachable;
  std::set<std::string> creatable;
  std::vector<PromptAnswer> answers;
  std::vector<std::string> tried;     // "attach NAME" / "create NAME", in order
  std::vector<std::string> messages;  // plain messages, in order
  bool prompt_shown = false;
  // Empty: attached. Otherwise the reason OpenDatabase raises, which is the
  // recording connection's refusal of the last attempt.
  std::string error;
};

std::string Expand(const std::string& s, const std::string& dir) {
  std::string out = s;
  // "{dir-1}": the directory without its first character, as a drive letter
  // replaces it.
  for (auto pos = out.find("{dir-1}"); pos != std::string::npos; pos = out.find("{dir-1}")) {
    out.replace(pos, 7, dir.substr(1));
  }
  for (auto pos = out.find("{dir}"); pos != std::string::npos; pos = out.find("{dir}")) {
    out.replace(pos, 5, dir);
  }
  return out;
}

class OpenerSequence : public ::testing::TestWithParam<OpenerCase> {};

TEST_P(OpenerSequence, TriesTheNamesInOrder) {
  const OpenerCase& c = GetParam();
  test::TempDir temp;
  const std::string dir = temp.Path() + "/";
  // A Windows directory such as \\SRV\share\ names no local directory: its
  // dati.ini is the file of that literal name in the working directory.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(temp.Path());
  if (!c.location_file.empty())
    test::WriteFile(Expand(c.directory, dir) + "dati.ini", c.location_file);

  std::set<std::string> attachable, creatable;
  for (const auto& n : c.attachable) attachable.insert(Expand(n, dir));
  for (const auto& n : c.creatable) creatable.insert(Expand(n, dir));
  RecordingConnection connection(attachable, creatable);
  RecordingUserInterface ui(c.answers);

  std::string error;
  try {
    OpenDatabase(connection, Expand(c.directory, dir), c.file_name, kCreating, ui);
  } catch (const fb::DatabaseError& e) {
    error = e.what();
  }
  std::filesystem::current_path(previous);

  std::vector<std::string> tried;
  for (const auto& t : c.tried) tried.push_back(Expand(t, dir));
  EXPECT_EQ(connection.tried, tried);
  EXPECT_EQ(ui.Texts(UiCall::Kind::kMessage), c.messages) << ui.Transcript();
  EXPECT_EQ(ui.Count(UiCall::Kind::kPrompt), c.prompt_shown ? 1u : 0u);
  EXPECT_EQ(error, Expand(c.error, dir));
  EXPECT_EQ(connection.Connected(), c.error.empty());
  EXPECT_EQ(ui.Count(UiCall::Kind::kErrorMessage), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    OpenDatabase, OpenerSequence,
    ::testing::Values(
        OpenerCase{"LocalFileAttaches",
                   "",
                   "{dir}",
                   "ditta.fdb",
                   {"{dir}ditta.fdb"},
                   {},
                   {},
                   {"attach {dir}ditta.fdb"},
                   {},
                   false,
                   ""},
        OpenerCase{"EmptyFileNameMeansArchivio",
                   "",
                   "{dir}",
                   "",
                   {"{dir}archivio.fdb"},
                   {},
                   {},
                   {"attach {dir}archivio.fdb"},
                   {},
                   false,
                   ""},
        OpenerCase{"NoDirectoryUsesTheFileNameAlone",
                   "",
                   "",
                   "ditta.fdb",
                   {"ditta.fdb"},
                   {},
                   {},
                   {"attach ditta.fdb"},
                   {},
                   false,
                   ""},
        OpenerCase{"MissingLocalFileIsCreated",
                   "",
                   "{dir}",
                   "a.fdb",
                   {},
                   {"{dir}a.fdb"},
                   {},
                   {"attach {dir}a.fdb", "create {dir}a.fdb"},
                   {kCreated},
                   false,
                   ""},
        OpenerCase{"ServerAndAliasFirst",
                   "[CONFIG]\nNome Server=SRV\nAlias=ditta\n",
                   "{dir}",
                   "a.fdb",
                   {"SRV:ditta"},
                   {},
                   {},
                   {"attach SRV:ditta"},
                   {},
                   false,
                   ""},
        OpenerCase{"AliasFailingFallsBackToTheDirectory",
                   "[CONFIG]\nNome Server=SRV\nAlias=ditta\n",
                   "{dir}",
                   "a.fdb",
                   {"{dir}a.fdb"},
                   {},
                   {},
                   {"attach SRV:ditta", "create SRV:ditta", "attach {dir}a.fdb"},
                   {},
                   false,
                   ""},
        OpenerCase{"NamedPipeAddsTheSeparatorAndIsFinal",
                   "[CONFIG]\nNome Server=SRV\nPercorsoDatabase=D:\\Dati\n",
                   "{dir}",
                   "a.fdb",
                   {},
                   {},
                   {},
                   {"attach \\\\SRV\\D:\\Dati\\a.fdb", "create \\\\SRV\\D:\\Dati\\a.fdb"},
                   {},
                   false,
                   "cannot create \\\\SRV\\D:\\Dati\\a.fdb"},
        OpenerCase{"NamedPipeAttaches",
                   "[CONFIG]\nNome Server=SRV\nPercorsoDatabase=D:\\Dati\\\n",
                   "{dir}",
                   "a.fdb",
                   {"\\\\SRV\\D:\\Dati\\a.fdb"},
                   {},
                   {},
                   {"attach \\\\SRV\\D:\\Dati\\a.fdb"},
                   {},
                   false,
                   ""},
        OpenerCase{"ShareNamedByADriveLetter",
                   "",
                   "\\\\SRV\\D\\Dati\\",
                   "a.fdb",
                   {"SRV:D:\\Dati\\a.fdb"},
                   {},
                   {},
                   {"attach SRV:D:\\Dati\\a.fdb"},
                   {},
                   false,
                   ""},
        OpenerCase{"NamedShareWithServerPath",
                   "[CONFIG]\nPercorso Nel Server=D:\\Archivi\\\n",
                   "\\\\SRV\\ARCHIVI\\Dati\\",
                   "a.fdb",
                   {"SRV:D:\\Archivi\\a.fdb"},
                   {},
                   {},
                   {"attach SRV:D:\\Archivi\\a.fdb"},
                   {},
                   false,
                   ""},
        OpenerCase{"NamedShareWithServerPathFailingGivesUp",
                   "[CONFIG]\nPercorso Nel Server=D:\\Archivi\\\n",
                   "\\\\SRV\\ARCHIVI\\Dati\\",
                   "a.fdb",
                   {},
                   {},
                   {},
                   {"attach SRV:D:\\Archivi\\a.fdb", "create SRV:D:\\Archivi\\a.fdb"},
                   {kNetworkError},
                   false,
                   "cannot create SRV:D:\\Archivi\\a.fdb"},
        OpenerCase{"NamedShareWithoutServerPathGivesUp",
                   "",
                   "\\\\SRV\\ARCHIVI\\Dati\\",
                   "a.fdb",
                   {},
                   {},
                   {},
                   {},
                   {"Attenzione: il disco con gli archivi è stato condiviso in rete con un nome - "
                    "ARCHIVI - e non con la lettera che lo identifica. Si consiglia di correggere "
                    "la condivisione oppure di correggere manualmente la sezione Percorso Nel "
                    "Server nel file Dati.ini accanto al database"},
                   false,
                   "Database non aperto: \\\\SRV\\ARCHIVI\\Dati\\a.fdb"},
        OpenerCase{"AliasFailingThenNamedShareGivesUpWithTheAliasReason",
                   "[CONFIG]\nNome Server=SRV\nAlias=ditta\n",
                   "\\\\SRV\\ARCHIVI\\Dati\\",
                   "a.fdb",
                   {},
                   {},
                   {},
                   {"attach SRV:ditta", "create SRV:ditta"},
                   {"Attenzione: il disco con gli archivi è stato condiviso in rete con un nome - "
                    "ARCHIVI - e non con la lettera che lo identifica. Si consiglia di correggere "
                    "la condivisione oppure di correggere manualmente la sezione Percorso Nel "
                    "Server nel file Dati.ini accanto al database"},
                   false,
                   "cannot create SRV:ditta"},
        OpenerCase{"KnownServerNeedsNoPrompt",
                   "[CONFIG]\nNome Server=SRV\n",
                   "{dir}",
                   "a.fdb",
                   {"SRV:{dir}a.fdb"},
                   {},
                   {},
                   {"attach {dir}a.fdb", "create {dir}a.fdb", "attach SRV:{dir}a.fdb"},
                   {},
                   false,
                   ""},
        OpenerCase{"KnownServerRefusingGivesItsReason",
                   "[CONFIG]\nNome Server=SRV\n",
                   "{dir}",
                   "a.fdb",
                   {},
                   {},
                   {},
                   {"attach {dir}a.fdb", "create {dir}a.fdb", "attach SRV:{dir}a.fdb",
                    "create SRV:{dir}a.fdb"},
                   {},
                   false,
                   "cannot create SRV:{dir}a.fdb"},
        OpenerCase{"PromptAnsweredWithServerAndDrive",
                   "",
                   "{dir}",
                   "a.fdb",
                   {"SRV:E{dir-1}a.fdb"},
                   {},
                   {{PromptOutcome::kOk, "SRV", "E"}},
                   {"attach {dir}a.fdb", "create {dir}a.fdb", "attach SRV:E{dir-1}a.fdb"},
                   {kNotFound},
                   true,
                   ""},
        OpenerCase{"PromptAnsweredWithAnEmptyName",
                   "",
                   "{dir}",
                   "a.fdb",
                   {},
                   {},
                   {{PromptOutcome::kOk, "", "E"}},
                   {"attach {dir}a.fdb", "create {dir}a.fdb"},
                   {kNotFound, kFailed},
                   true,
                   "cannot create {dir}a.fdb"},
        OpenerCase{"PromptCancelled",
                   "",
                   "{dir}",
                   "a.fdb",
                   {},
                   {},
                   {{PromptOutcome::kCancel, "SRV", "E"}},
                   {"attach {dir}a.fdb", "create {dir}a.fdb"},
                   {kNotFound, kFailed},
                   true,
                   "cannot create {dir}a.fdb"},
        OpenerCase{"PromptClosedAtEndOfInput",
                   "",
                   "{dir}",
                   "a.fdb",
                   {},
                   {},
                   {},
                   {"attach {dir}a.fdb", "create {dir}a.fdb"},
                   {kNotFound, kFailed},
                   true,
                   "cannot create {dir}a.fdb"}),
    [](const auto& param_info) { return param_info.param.name; });

TEST(NameOnServer, ServerNamesWithADriveLetter) {
  struct Case {
    std::string name, server, drive, expected;
  } cases[] = {
      {"C:\\Dati\\archivio.fdb", "SRV", "E", "SRV:E:\\Dati\\archivio.fdb"},
      {"C:\\Dati\\archivio.fdb", "SRV", "", "SRV:C:\\Dati\\archivio.fdb"},
      {"C:\\Dati\\archivio.fdb", "SRV", "E:", "SRV:E::\\Dati\\archivio.fdb"},
      {"C:\\Dati\\archivio.fdb", "", "E", "C:\\Dati\\archivio.fdb"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NameOnServer(c.name, c.server, c.drive), c.expected);
    RecordingConnection connection({c.expected}, {});
    RecordingUserInterface ui;
    OpenNamedDatabase(connection, NameOnServer(c.name, c.server, c.drive), kCreating, ui);
    EXPECT_EQ(connection.Name(), c.expected);
  }
}

TEST(OpenNamedDatabase, CredentialsOfAttachAndCreation) {
  const DatabaseCredentials defaults{"SYSDBA", "velutrina"};
  EXPECT_EQ(kCreating.credentials, defaults);  // the test runs without ISC_USER and ISC_PASSWORD
  RecordingConnection connection({}, {"x.fdb"});
  RecordingUserInterface ui;
  OpenNamedDatabase(connection, "x.fdb", kCreating, ui);
  EXPECT_EQ(connection.tried, (std::vector<std::string>{"attach x.fdb", "create x.fdb"}));
  EXPECT_EQ(connection.credentials_seen, (std::vector<DatabaseCredentials>{defaults, defaults}));

  const DatabaseCredentials admin{"ADMIN", "segreta"};
  RecordingConnection other({}, {});
  try {
    OpenNamedDatabase(other, "y.fdb", {admin, OnAttachFailure::kCreate}, ui);
    ADD_FAILURE() << "attached";
  } catch (const fb::DatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot create y.fdb");  // the creation's reason
  }
  EXPECT_EQ(other.credentials_seen, (std::vector<DatabaseCredentials>{admin, admin}));
  EXPECT_EQ(ui.Texts(UiCall::Kind::kMessage), std::vector<std::string>{kCreated});
}

TEST(CreateDatabaseStatement, QuotesTheCredentials) {
  EXPECT_EQ(CreateDatabaseStatement("/dati/x.fdb", {"SYSDBA", "velutrina"}),
            "CREATE DATABASE '/dati/x.fdb' USER \"SYSDBA\" PASSWORD \"velutrina\" PAGE_SIZE 4096 ");
  EXPECT_EQ(CreateDatabaseStatement("x.fdb", {"AD\"MIN", "a\"\" PAGE_SIZE 1024"}),
            "CREATE DATABASE 'x.fdb' USER \"AD\"\"MIN\" PASSWORD \"a\"\"\"\" PAGE_SIZE 1024\" "
            "PAGE_SIZE 4096 ");
}

// Without creation, a name that cannot be attached gives the attach's own
// reason, and the opening goes on with the next name as it would after a
// failed creation.
TEST(OpenNamedDatabase, AttachOnlyNeverCreates) {
  RecordingConnection connection({}, {"x.fdb"});
  RecordingUserInterface ui;
  try {
    OpenNamedDatabase(connection, "x.fdb", OpeningPolicy::AttachOnly(), ui);
    ADD_FAILURE() << "opened";
  } catch (const fb::DatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot attach x.fdb");
  }
  EXPECT_EQ(connection.tried, std::vector<std::string>{"attach x.fdb"});
  EXPECT_FALSE(connection.Connected());

  test::TempDir temp;
  const std::string dir = temp.Path() + "/";
  test::WriteFile(dir + "dati.ini", "[CONFIG]\r\nNome Server=SRV\r\nAlias=ditta\r\n");
  RecordingConnection guided({"SRV:" + dir + "a.fdb"}, {"SRV:ditta", dir + "a.fdb"});
  OpenDatabase(guided, dir, "a.fdb", OpeningPolicy::AttachOnly(), ui);
  EXPECT_EQ(guided.tried, (std::vector<std::string>{"attach SRV:ditta", "attach " + dir + "a.fdb",
                                                    "attach SRV:" + dir + "a.fdb"}));
  EXPECT_TRUE(ui.Calls().empty()) << ui.Transcript();
}

// A database file that another process holds is there: it is waited for and
// never created, and no other name is tried in its place.
TEST(OpenNamedDatabase, HeldFileIsWaitedForAndNeverCreated) {
  struct Case {
    const char* what;
    int held;     // attaches refused as held; -1: all of them
    int seconds;  // the policy's wait
    OnAttachFailure on_failure;
    std::vector<std::string> tried;
    bool opened;
  };
  const std::vector<std::string> five_attaches(5, "attach x.fdb");
  const std::vector<Case> cases = {
      {"freed during the wait", 4, 30, OnAttachFailure::kCreate, five_attaches, true},
      {"freed during the wait, attach only", 4, 30, OnAttachFailure::kFail, five_attaches, true},
      {"no wait: the first refusal is final",
       -1,
       0,
       OnAttachFailure::kCreate,
       {"attach x.fdb"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingConnection connection({"x.fdb"}, {"x.fdb"}, {{"x.fdb", c.held}});
    RecordingUserInterface ui;
    const OpeningPolicy policy{
        {"SYSDBA", "velutrina"}, c.on_failure, std::chrono::seconds(c.seconds)};
    try {
      OpenNamedDatabase(connection, "x.fdb", policy, ui);
      EXPECT_TRUE(c.opened);
    } catch (const fb::DatabaseError& e) {
      EXPECT_FALSE(c.opened) << e.what();
      EXPECT_TRUE(e.IsDatabaseHeldByAnotherProcess()) << e.what();
    }
    EXPECT_EQ(connection.tried, c.tried);
    EXPECT_EQ(connection.Connected(), c.opened);
    EXPECT_TRUE(ui.Calls().empty()) << ui.Transcript();
  }
}

TEST(OpenNamedDatabase, HeldForTheWholeWaitGivesTheEngineReason) {
  RecordingConnection connection({"x.fdb"}, {"x.fdb"}, {{"x.fdb", -1}});
  RecordingUserInterface ui;
  const auto started = Clock::now();
  try {
    OpenNamedDatabase(connection, "x.fdb", OpeningPolicy::AttachOrCreate(std::chrono::seconds(1)),
                      ui);
    ADD_FAILURE() << "opened";
  } catch (const fb::DatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), std::string(test::HeldByAnotherProcess("x.fdb").what()));
  }
  const auto waited = Clock::now() - started;
  EXPECT_GE(waited, std::chrono::seconds(1));
  EXPECT_LT(waited, std::chrono::seconds(10));
  // Tried again and again, never created.
  EXPECT_GE(connection.tried.size(), 3u);
  EXPECT_EQ(connection.tried, std::vector<std::string>(connection.tried.size(), "attach x.fdb"));
  EXPECT_TRUE(ui.Calls().empty()) << ui.Transcript();
}

// The held file ends the opening where the plan would go on to other names,
// ask for the server and create.
TEST(OpenDatabase, HeldFileEndsTheOpening) {
  test::TempDir temp;
  const std::string dir = temp.Path() + "/";
  RecordingConnection connection({}, {dir + "a.fdb", "SRV:" + dir + "a.fdb"},
                                 {{dir + "a.fdb", -1}});
  RecordingUserInterface ui({{PromptOutcome::kOk, "SRV", ""}});
  try {
    OpenDatabase(connection, dir, "a.fdb", kCreating, ui);
    ADD_FAILURE() << "opened";
  } catch (const fb::DatabaseError& e) {
    EXPECT_TRUE(e.IsDatabaseHeldByAnotherProcess()) << e.what();
  }
  EXPECT_EQ(connection.tried, std::vector<std::string>{"attach " + dir + "a.fdb"});
  EXPECT_TRUE(ui.Calls().empty()) << ui.Transcript();
  EXPECT_FALSE(std::filesystem::exists(dir + "dati.ini"));
}

TEST(FindServerAndDrive, PromptAnswersAreWrittenToDatiIni) {
  test::TempDir temp;
  const std::string dir = temp.Path() + "/";
  test::WriteFile(dir + "dati.ini", "; keep me\r\n[ALTRO]\r\nx=1\r\n");
  RecordingUserInterface ui({{PromptOutcome::kOk, "SRV", "E"}});

  const std::optional<ServerAndDrive> found = FindServerAndDrive(dir, ui);

  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->server, "SRV");
  EXPECT_EQ(found->drive_letter, "E");
  const IniFile location(dir + "dati.ini");
  EXPECT_EQ(location.Read("CONFIG", "Nome Server"), "SRV");
  EXPECT_EQ(location.Read("CONFIG", "Lettera Disco Server"), "E");
  EXPECT_EQ(location.Read("ALTRO", "x"), "1");
  EXPECT_NE(test::ReadFile(dir + "dati.ini").find("; keep me"), std::string::npos);

  ASSERT_EQ(ui.Count(UiCall::Kind::kPrompt), 1u);
  const UiCall& dialog = ui.Calls().back();
  EXPECT_EQ(dialog.caption, "Non trovato dati.ini");
  EXPECT_EQ(dialog.label,
            "Inserire il nome del computer e la lettera della sua\r\nunità disco dove risulta "
            "ospitato (o sarà ospitato) il database");
  EXPECT_EQ(dialog.field1, "");  // the computer name starts empty
}

TEST(FindServerAndDrive, EmptyNameIsWrittenAndEmptyDriveIsNot) {
  test::TempDir temp;
  const std::string dir = temp.Path() + "/";
  RecordingUserInterface ui({{PromptOutcome::kOk, "", ""}});
  EXPECT_EQ(FindServerAndDrive(dir, ui), std::nullopt);
  const std::string text = test::ReadFile(dir + "dati.ini");
  EXPECT_NE(text.find("Nome Server="), std::string::npos);
  EXPECT_EQ(text.find("Lettera Disco Server"), std::string::npos);
}

TEST(FindServerAndDrive, CancelWritesNothing) {
  test::TempDir temp;
  const std::string dir = temp.Path() + "/";
  RecordingUserInterface ui({{PromptOutcome::kCancel, "SRV", "E"}});
  EXPECT_EQ(FindServerAndDrive(dir, ui), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(dir + "dati.ini"));
}

TEST(FindServerAndDrive, UnwritableDatiIniIsRaised) {
  RecordingUserInterface ui({{PromptOutcome::kOk, "SRV", "E"}});
  EXPECT_THROW(FindServerAndDrive("/nonexistent-dir/", ui), Error);
}

// The real engine: a missing local database is created empty.
TEST(OpenDatabaseEmbedded, MissingLocalFileIsCreatedAndAttached) {
  test::TempDir temp;
  DatabaseConnection connection;
  RecordingUserInterface ui;
  const std::string dir = temp.Path() + "/";

  OpenDatabase(connection, dir, "nuovo.fdb", kCreating, ui);

  EXPECT_TRUE(connection.Connected());
  EXPECT_EQ(ui.Texts(UiCall::Kind::kMessage), std::vector<std::string>{kCreated});
  EXPECT_TRUE(std::filesystem::exists(dir + "nuovo.fdb"));
  connection.Close();

  // A second opening attaches to the database now there, silently.
  RecordingUserInterface again;
  OpenDatabase(connection, dir, "nuovo.fdb", kCreating, again);
  EXPECT_TRUE(connection.Connected());
  EXPECT_EQ(again.Calls().size(), 0u);
}

TEST(OpenDatabaseEmbedded, ExistingDatabaseIsAttachedWithoutMessages) {
  test::TempDir temp;
  test::CreateBusinessDatabase(temp.File("archivio.fdb"));
  DatabaseConnection connection;
  RecordingUserInterface ui;
  OpenDatabase(connection, temp.Path() + "/", "", kCreating, ui);
  EXPECT_TRUE(connection.Connected());
  EXPECT_TRUE(ui.Calls().empty()) << ui.Transcript();
}

// A directory stands where the database file should be: it can be neither
// attached nor created, and nobody answers the prompt for the server. The
// engine's reason for the last attempt reaches the caller.
TEST(OpenDatabaseEmbedded, FinalFailureCarriesTheEngineReason) {
  test::TempDir temp;
  std::filesystem::create_directory(temp.File("archivio.fdb"));
  DatabaseConnection connection;
  RecordingUserInterface ui;
  try {
    OpenDatabase(connection, temp.Path() + "/", "", kCreating, ui);
    FAIL() << "opened";
  } catch (const fb::DatabaseError& e) {
    const std::string reason = e.what();
    EXPECT_NE(reason.find("I/O error"), std::string::npos) << reason;
    EXPECT_NE(reason.find(temp.File("archivio.fdb")), std::string::npos) << reason;
  }
  EXPECT_FALSE(connection.Connected());
  EXPECT_EQ(ui.Texts(UiCall::Kind::kMessage), (std::vector<std::string>{kNotFound, kFailed}));
  EXPECT_EQ(ui.Count(UiCall::Kind::kPrompt), 1u);
}

// Another process holds the existing database: the opening waits for it, then
// attaches; the file is never created anew.
TEST(OpenDatabaseEmbedded, HeldByAnotherProcessIsWaitedFor) {
  test::TempDir temp;
  const std::string file = temp.File("archivio.fdb");
  test::CreateBusinessDatabase(file);
  test::DatabaseHolder holder(file);

  std::promise<void> waiting;
  std::thread releaser([&] {
    waiting.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    holder.Release();
  });
  DatabaseConnection connection;
  RecordingUserInterface ui;
  const auto started = Clock::now();
  waiting.set_value();
  try {
    OpenDatabase(connection, temp.Path() + "/", "",
                 OpeningPolicy::AttachOrCreate(std::chrono::seconds(60)), ui);
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
  }
  releaser.join();
  EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(700));
  EXPECT_TRUE(connection.Connected());
  EXPECT_TRUE(ui.Calls().empty()) << ui.Transcript();
  // The database attached is the one made before, with its tables.
  EXPECT_TRUE(fb::TableExists(connection.Attachment(), "TABX"));
}

TEST(OpenDatabaseEmbedded, HeldForTheWholeWaitGivesTheEngineReason) {
  test::TempDir temp;
  const std::string file = temp.File("utenti.fdb");
  test::CreateUserDatabase(file);
  test::DatabaseHolder holder(file);
  for (const OpeningPolicy& policy :
       {OpeningPolicy::AttachOrCreate(std::chrono::seconds(1)), OpeningPolicy::AttachOnly()}) {
    DatabaseConnection connection;
    RecordingUserInterface ui;
    try {
      OpenNamedDatabase(connection, file, policy, ui);
      ADD_FAILURE() << "attached";
    } catch (const fb::DatabaseError& e) {
      EXPECT_TRUE(e.IsDatabaseHeldByAnotherProcess()) << e.what();
      EXPECT_NE(std::string(e.what()).find("Database already opened with engine instance"),
                std::string::npos)
          << e.what();
    }
    EXPECT_FALSE(connection.Connected());
    EXPECT_TRUE(ui.Calls().empty()) << ui.Transcript();
  }
  holder.Release();
  // Still the database made before.
  fb::Attachment users = fb::Attachment::Attach(file, test::kFixtureUser, test::kFixturePassword);
  EXPECT_TRUE(fb::TableExists(users, "UTENTI"));
}

// Through a Firebird server on 127.0.0.1, when the test run started one.
class OpenDatabaseServer : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* server = std::getenv("EXPORTTOTALE_FB_SERVER");
    if (!server || !*server) GTEST_SKIP() << "EXPORTTOTALE_FB_SERVER not set: no server started";
    server_ = server;
    std::filesystem::create_directories(kAliasDir);
  }
  static constexpr const char* kAliasDir = "/var/tmp/exporttotale-tests";
  std::string server_;
};

TEST_F(OpenDatabaseServer, ServerAndAliasOfDatabasesConf) {
  // scripts/firebird-server defines exporttotale_test = /var/tmp/exporttotale-tests/alias.fdb
  const std::string file = std::string(kAliasDir) + "/alias.fdb";
  std::filesystem::remove(file);
  test::CreateBusinessDatabase(server_ + ":" + file);

  test::TempDir temp;
  test::WriteFile(temp.File("dati.ini"),
                  "[CONFIG]\r\nNome Server=" + server_ + "\r\nAlias=exporttotale_test\r\n");
  DatabaseConnection connection;
  RecordingUserInterface ui;
  OpenDatabase(connection, temp.Path() + "/", "ignored.fdb", kCreating, ui);
  EXPECT_EQ(connection.Name(), server_ + ":exporttotale_test");
  EXPECT_TRUE(ui.Calls().empty()) << ui.Transcript();
  EXPECT_TRUE(fb::TableExists(connection.Attachment(), "TABX"));
  connection.Close();
  std::filesystem::remove(file);
}

TEST_F(OpenDatabaseServer, LocalhostPathThroughTheServer) {
  const std::string file = std::string(kAliasDir) + "/localhost_path.fdb";
  std::filesystem::remove(file);
  test::CreateBusinessDatabase(server_ + ":" + file);

  DatabaseConnection connection;
  RecordingUserInterface ui;
  OpenDatabase(connection, "localhost:" + std::string(kAliasDir) + "/", "localhost_path.fdb",
               kCreating, ui);
  EXPECT_EQ(connection.Name(), "localhost:" + file);
  EXPECT_TRUE(ui.Calls().empty()) << ui.Transcript();
  connection.Close();
  std::filesystem::remove(file);
}

TEST_F(OpenDatabaseServer, WrongPasswordRaisesTheEngineReasonWithoutMessages) {
  const std::string file = std::string(kAliasDir) + "/wrong_password.fdb";
  std::filesystem::remove(file);
  test::CreateBusinessDatabase(server_ + ":" + file);

  DatabaseConnection connection;
  RecordingUserInterface ui;
  try {
    OpenNamedDatabase(connection, server_ + ":" + file,
                      {{"SYSDBA", "sbagliata"}, OnAttachFailure::kCreate}, ui);
    ADD_FAILURE() << "attached";
  } catch (const fb::DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("password"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(connection.Connected());
  EXPECT_TRUE(ui.Calls().empty()) << ui.Transcript();
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace et
