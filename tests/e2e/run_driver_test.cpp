// The run driver seen from outside: the built program, run as a scheduler
// runs it, with no standard input.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>

#include "platform/ini.h"
#include "tests/e2e/e2e.h"

namespace et {
namespace {

namespace fs = std::filesystem;
using test::Installation;
using test::kStatusNotCompleted;
using test::RunInstalled;

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(RunDriver, MissingParametersFile) {
  test::TempDir temp;
  const std::string program = temp.File("exporttotale");
  fs::copy_file(test::BuiltProgram(), program);
  fs::permissions(program, fs::perms::owner_all);

  test::RunOptions options;
  options.cwd = temp.Path();
  const auto result = test::RunProcess(program, {}, options);

  EXPECT_EQ(result.exit_status, kStatusNotCompleted);
  EXPECT_NE(result.err.find("File PARAMETRIQUORVANDELIX.INI non esistente!"), std::string::npos)
      << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(Entries(temp.Path()), std::vector<std::string>{"exporttotale"});
}

// The parameters file is read once per run, whatever the run reads from it.
TEST(RunDriver, ParametersFileIsOpenedOnce) {
  Installation install(test::BuiltProgram());
  const int watch = ::inotify_init1(IN_NONBLOCK);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, install.ParametersFile().c_str(), IN_OPEN), 0);

  const auto result = RunInstalled(install);  // a complete stock run, FTP failing
  EXPECT_EQ(result.exit_status, test::kStatusCompleted) << result.err;

  int opens = 0;
  alignas(inotify_event) char buffer[4096];
  for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->mask & IN_OPEN) ++opens;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  ::close(watch);
  EXPECT_EQ(opens, 1);
}

TEST(RunDriver, EmptyArchivioHaltsTheRun) {
  Installation install(test::BuiltProgram());
  install.Users().Exec("UPDATE UTENTI SET SOFTDES = '[query_esterno]'");
  const auto result = RunInstalled(install);
  EXPECT_EQ(result.exit_status, kStatusNotCompleted);
  EXPECT_NE(result.err.find("[arresto]"), std::string::npos) << result.err;
  EXPECT_TRUE(fs::is_empty(install.ExportDir()));
}

TEST(RunDriver, ArchivioNamingAMissingFileIsCreatedThenTheRunHalts) {
  Installation install(test::BuiltProgram());
  const std::string missing = install.Root() + "/dati/nuovo.fdb";
  install.Users().Exec("UPDATE UTENTI SET SOFTDES = :S",
                       {{"S", fb::Text("[query_esterno]\n\rArchivio=" + missing)}});
  const auto result = RunInstalled(install);
  EXPECT_EQ(result.exit_status, kStatusNotCompleted);
  const auto created = result.err.find("Effettuata creazione data base");
  const auto halted = result.err.find("[arresto]");
  ASSERT_NE(created, std::string::npos) << result.err;
  ASSERT_NE(halted, std::string::npos) << result.err;
  EXPECT_LT(created, halted);
  EXPECT_NE(result.err.find("TABX"), std::string::npos) << result.err;  // the engine's message
  EXPECT_TRUE(fs::exists(missing));
  EXPECT_TRUE(fs::is_empty(install.ExportDir()));
}

TEST(RunDriver, MissingExportDirectorySetting) {
  Installation install(test::BuiltProgram());
  install.Business().RemoveTabX("DIRCATINTERNET");
  const auto result = RunInstalled(install);
  EXPECT_EQ(result.exit_status, kStatusNotCompleted);
  EXPECT_NE(result.err.find("DIRCATINTERNET mancante"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("[arresto]"), std::string::npos) << result.err;
  EXPECT_TRUE(fs::is_empty(install.ExportDir()));
}

TEST(RunDriver, PromptAnsweredFromStandardInputWritesDatiIni) {
  Installation install(test::BuiltProgram());
  // A database name that can be neither attached nor created: the opener
  // asks for the server.
  const std::string dir = install.Root() + "/altrove/";
  fs::create_directories(dir + "archivio.fdb");
  install.Users().Exec("UPDATE UTENTI SET SOFTDES = :S",
                       {{"S", fb::Text("[query_esterno]\n\rArchivio=" + dir + "archivio.fdb")}});

  const auto result = RunInstalled(install, {}, "C", "127.0.0.1\nE\n");

  EXPECT_EQ(result.exit_status, kStatusNotCompleted);
  EXPECT_NE(result.err.find("Non trovato dati.ini"), std::string::npos) << result.err;
  const IniFile location(dir + "dati.ini");
  EXPECT_EQ(location.Read("CONFIG", "Nome Server"), "127.0.0.1");
  EXPECT_EQ(location.Read("CONFIG", "Lettera Disco Server"), "E");
}

}  // namespace
}  // namespace et
