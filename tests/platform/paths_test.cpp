#include "platform/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"

namespace et {
namespace {

TEST(PathsTest, SplitDatabasePathCutsAfterTheLastSeparator) {
  struct Case {
    const char* path;
    const char* directory;
    const char* file_name;
  };
  const Case cases[] = {
      {"/srv/d/archivio.fdb", "/srv/d/", "archivio.fdb"},
      {"SRV:D:\\Dati\\a.fdb", "SRV:D:\\Dati\\", "a.fdb"},
      {"C:\\Dati\\Sub/x.fdb", "C:\\Dati\\Sub/", "x.fdb"},  // mixed: the last one counts
      {"C:a.fdb", "C:", "a.fdb"},
      {"localhost:alias", "localhost:", "alias"},
      {"\\\\SRV\\D\\Dati\\a.fdb", "\\\\SRV\\D\\Dati\\", "a.fdb"},
      {"archivio.fdb", "", "archivio.fdb"},
      {"/srv/d/", "/srv/d/", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    const SplitPath split = SplitDatabasePath(c.path);
    EXPECT_EQ(split.directory, c.directory) << c.path;
    EXPECT_EQ(split.file_name, c.file_name) << c.path;
    EXPECT_EQ(FileNamePart(c.path), c.file_name) << c.path;
  }
}

TEST(PathsTest, NamesDatabaseServerOnlyWithAHostBeforeTheFirstColon) {
  struct Case {
    const char* name;
    bool server;
  };
  const Case cases[] = {
      {"localhost:/srv/d/archivio.fdb", true},
      {"dbserver:archivio", true},
      {"127.0.0.1/3051:/srv/d/archivio.fdb", true},
      {"[::1]:/srv/d/archivio.fdb", true},
      {"inet://dbserver/archivio", true},
      {"/srv/d/archivio.fdb", false},
      {"/srv/d:x/archivio.fdb", false},  // the colon belongs to a directory name
      {"./d:x/archivio.fdb", false},
      {"archivio.fdb", false},
      {":archivio", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(NamesDatabaseServer(c.name), c.server) << c.name;
}

TEST(PathsTest, WithTrailingSeparatorAddsExactlyOne) {
  EXPECT_EQ(WithTrailingSeparator("/srv/export"), "/srv/export/");
  EXPECT_EQ(WithTrailingSeparator("/srv/export/"), "/srv/export/");
  EXPECT_EQ(WithTrailingSeparator("/"), "/");
  EXPECT_EQ(WithTrailingSeparator(""), "/");
}

TEST(PathsTest, ExecutableDirectoryIsTheRealDirectoryOfThisProgram) {
  const std::string dir = ExecutableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_EQ(dir, std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/");
  EXPECT_TRUE(DirectoryExists(dir));
}

TEST(PathsTest, InstallationDirectoryIsTheNamedOneOrTheExecutables) {
  struct Case {
    const char* value;  // nullptr: unset
    std::string expected;
  };
  const Case cases[] = {
      {nullptr, ExecutableDirectory()},
      {"", ExecutableDirectory()},
      {"/etc/exporttotale/ditta2", "/etc/exporttotale/ditta2/"},
      {"/etc/exporttotale/ditta2/", "/etc/exporttotale/ditta2/"},
      {"relativa", "relativa/"},
  };
  for (const Case& c : cases) {
    if (c.value) {
      ::setenv(kInstallationDirectoryVariable, c.value, 1);
    } else {
      ::unsetenv(kInstallationDirectoryVariable);
    }
    EXPECT_EQ(InstallationDirectory(), c.expected) << (c.value ? c.value : "(unset)");
  }
  ::unsetenv(kInstallationDirectoryVariable);
}

TEST(PathsTest, FileExistsOnlyForRegularFilesFollowingLinks) {
  test::TempDir tmp;
  test::WriteFile(tmp.File("file.ini"), "x");
  std::filesystem::create_directory(tmp.File("dir.ini"));
  std::filesystem::create_symlink(tmp.File("file.ini"), tmp.File("link.ini"));
  std::filesystem::create_symlink(tmp.File("missing.ini"), tmp.File("dangling.ini"));
  std::filesystem::create_symlink(tmp.File("dir.ini"), tmp.File("dirlink"));

  struct Case {
    const char* name;
    bool is_file;
    bool is_directory;
  };
  const Case cases[] = {
      {"file.ini", true, false},      {"dir.ini", false, true}, {"link.ini", true, false},
      {"dangling.ini", false, false}, {"dirlink", false, true}, {"missing.ini", false, false},
      {"file.ini/x", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileExists(tmp.File(c.name)), c.is_file) << c.name;
    EXPECT_EQ(DirectoryExists(tmp.File(c.name)), c.is_directory) << c.name;
  }
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(DirectoryExists(""));
}

}  // namespace
}  // namespace et
