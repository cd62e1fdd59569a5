#include "platform/text_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>

#include "platform/error.h"
#include "support/temp_dir.h"

namespace et {
namespace {

// Runs `action` and checks that it raises IoError naming the path and the
// system's description of `error_number`.
void ExpectIoError(const std::function<void()>& action, const std::string& path, int error_number) {
  try {
    action();
    ADD_FAILURE() << "no error raised for " << path;
  } catch (const IoError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(error_number)), std::string::npos) << message;
    EXPECT_EQ(ErrorTypeName(e), "EInOutError");
  }
}

class TextFileTest : public testing::Test {
 protected:
  // Names of the entries in the test directory.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(tmp_.Path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  // The name of the one temporary file beside `path`, or "" when there is none.
  std::string TemporaryName(const std::string& path) const {
    const std::string prefix = "." + std::filesystem::path(path).filename().string() + ".tmp-";
    std::string found;
    for (const std::string& name : Names()) {
      if (name.rfind(prefix, 0) == 0 && name.size() == prefix.size() + 6) found = name;
    }
    return found;
  }

  test::TempDir tmp_;
};

TEST_F(TextFileTest, WritesWindows1252WithCrLfAndNoByteOrderMark) {
  const std::string path = tmp_.File("ESTRAZQ.CSV");
  TextFileWriter file(path, TextFileWriter::Mode::kCreate);
  file.WriteLine("caff\u00E8;\u20AC 1,50");
  file.Write("a;");
  file.Write("\u65E5");
  file.WriteLine("");
  file.WriteLine("x\ry");  // a CR inside the text is written unchanged
  file.Close();
  EXPECT_EQ(test::ReadFile(path), "caff\xE8;\x80 1,50\r\na;?\r\nx\ry\r\n");
}

TEST_F(TextFileTest, AppendedLinesReachTheFileBeforeWriteLineReturns) {
  const std::string path = tmp_.File("log.txt");
  TextFileWriter file(path, TextFileWriter::Mode::kAppend);
  file.WriteLine("uno");
  EXPECT_EQ(test::ReadFile(path), "uno\r\n");
  file.WriteLine("due");
  EXPECT_EQ(test::ReadFile(path), "uno\r\ndue\r\n");
}

TEST_F(TextFileTest, CreatedFileReplacesThePreviousOneOnlyAtClose) {
  const std::string path = tmp_.File("out.csv");
  const std::string old_content = "old content that is longer\r\n";
  test::WriteFile(path, old_content);
  TextFileWriter file(path, TextFileWriter::Mode::kCreate);
  file.WriteLine("new");
  EXPECT_EQ(test::ReadFile(path), old_content);
  EXPECT_EQ(Names(), (std::set<std::string>{"out.csv", TemporaryName(path)}));
  file.Close();
  EXPECT_EQ(test::ReadFile(path), "new\r\n");
  EXPECT_EQ(Names(), std::set<std::string>{"out.csv"});
}

// A run that fails before closing its file leaves the previous complete file,
// not a file cut short.
TEST_F(TextFileTest, CreatedFileNotClosedLeavesThePreviousFileAndNoTemporary) {
  const std::string kept = tmp_.File("kept.csv");
  test::WriteFile(kept, "previous\r\n");
  {
    TextFileWriter file(kept, TextFileWriter::Mode::kCreate);
    for (int i = 0; i < 100000; ++i) file.WriteLine("a line long enough to fill the buffer");
  }
  EXPECT_EQ(test::ReadFile(kept), "previous\r\n");
  {
    TextFileWriter file(tmp_.File("never.csv"), TextFileWriter::Mode::kCreate);
    file.WriteLine("x");
  }
  EXPECT_EQ(Names(), std::set<std::string>{"kept.csv"});
}

// A process killed while it writes leaves its temporary file; the next run
// removes it, and only what has exactly that shape and is a regular file.
TEST_F(TextFileTest, AbandonedTemporaryFilesAreRemoved) {
  const std::string path = tmp_.File("ESTRAZQ.CSV");
  test::WriteFile(path, "previous\r\n");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TextFileWriter file(path, TextFileWriter::Mode::kCreate);
    for (int i = 0; i < 100000; ++i) file.WriteLine("a line long enough to fill the buffer");
    _exit(0);  // as if killed: no destructor runs
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  const std::string abandoned = TemporaryName(path);
  ASSERT_NE(abandoned, "");

  const std::set<std::string> kept = {
      "ESTRAZQ.CSV",   ".ESTRAZQ.CSV.tmp-abc", "ESTRAZQ.CSV.tmp-abcdef",
      ".a.tmp-abc!ef", ".dir.tmp-abcdef",      ".link.tmp-abcdef"};
  for (const char* name : {".ESTRAZQ.CSV.tmp-abc", "ESTRAZQ.CSV.tmp-abcdef", ".a.tmp-abc!ef"}) {
    test::WriteFile(tmp_.File(name), "x");
  }
  std::filesystem::create_directory(tmp_.File(".dir.tmp-abcdef"));
  std::filesystem::create_symlink(path, tmp_.File(".link.tmp-abcdef"));
  test::WriteFile(tmp_.File(".listini.csv.tmp-Q1w2E3"), "half");

  const std::vector<std::string> removed = RemoveAbandonedTemporaryFiles(tmp_.Path());
  EXPECT_EQ(std::set<std::string>(removed.begin(), removed.end()),
            (std::set<std::string>{abandoned, ".listini.csv.tmp-Q1w2E3"}));
  EXPECT_EQ(Names(), kept);
  EXPECT_EQ(test::ReadFile(path), "previous\r\n");
  EXPECT_TRUE(RemoveAbandonedTemporaryFiles(tmp_.File("missing")).empty());
}

TEST_F(TextFileTest, LinesBeyondTheBufferArriveWholeAndInOrder) {
  const std::string path = tmp_.File("big.csv");
  std::string expected;
  TextFileWriter file(path, TextFileWriter::Mode::kCreate);
  for (int i = 0; i < 60000; ++i) {
    const std::string line = "1;ART" + std::to_string(i) + ";" + std::to_string(i % 97);
    file.WriteLine(line);
    expected += line + "\r\n";
  }
  file.WriteBytesLine(std::string(300 * 1024, '\xE8'));  // one line larger than the buffer
  expected += std::string(300 * 1024, '\xE8') + "\r\n";
  file.Close();
  EXPECT_EQ(test::ReadFile(path), expected);
}

TEST_F(TextFileTest, BytesLineIsWrittenAsItIs) {
  const std::string path = tmp_.File("raw.csv");
  TextFileWriter file(path, TextFileWriter::Mode::kCreate);
  file.WriteBytesLine(std::string("caff\xE8;\x80;\x81\0;", 11));
  file.Close();
  EXPECT_EQ(test::ReadFile(path), std::string("caff\xE8;\x80;\x81\0;\r\n", 13));
}

// rename(2) replaces the link: whatever it points to is never written.
TEST_F(TextFileTest, CreateReplacesASymbolicLinkInsteadOfFollowingIt) {
  test::TempDir outside;
  const std::string target = outside.File("precious.txt");
  test::WriteFile(target, "keep me\r\n");
  const std::string path = tmp_.File("ESTRAZQ.CSV");
  std::filesystem::create_symlink(target, path);

  TextFileWriter file(path, TextFileWriter::Mode::kCreate);
  file.WriteLine("1;A1;7");
  file.Close();

  EXPECT_FALSE(std::filesystem::is_symlink(path));
  EXPECT_TRUE(std::filesystem::is_regular_file(path));
  EXPECT_EQ(test::ReadFile(path), "1;A1;7\r\n");
  EXPECT_EQ(test::ReadFile(target), "keep me\r\n");
}

// The file gets the mode a plain create would give it.
TEST_F(TextFileTest, CreatedFileHonoursTheUmask) {
  for (const mode_t mask : {mode_t{022}, mode_t{027}, mode_t{077}}) {
    const std::string path = tmp_.File("mode.csv");
    const mode_t previous = ::umask(mask);
    try {
      TextFileWriter file(path, TextFileWriter::Mode::kCreate);
      file.Close();
    } catch (...) {
      ::umask(previous);
      throw;
    }
    ::umask(previous);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "umask " << std::oct << mask;
  }
}

TEST_F(TextFileTest, AppendAddsAtTheEndAndCreatesAMissingFile) {
  const std::string path = tmp_.File("logQuorvandelix.txt");
  {
    TextFileWriter file(path, TextFileWriter::Mode::kAppend);
    file.WriteLine("primo");
  }
  {
    TextFileWriter file(path, TextFileWriter::Mode::kAppend);
    EXPECT_EQ(file.Path(), path);
    file.WriteLine("secondo");
    file.Close();
  }
  EXPECT_EQ(test::ReadFile(path), "primo\r\nsecondo\r\n");
}

TEST_F(TextFileTest, OpenFailuresCarryThePlatformDescription) {
  const std::string in_missing_dir = tmp_.File("missing/ESTRAZQ.CSV");
  test::WriteFile(tmp_.File("plain"), "");
  const std::string under_a_file = tmp_.File("plain/ESTRAZQ.CSV");
  for (auto mode : {TextFileWriter::Mode::kCreate, TextFileWriter::Mode::kAppend}) {
    ExpectIoError([&] { TextFileWriter file(in_missing_dir, mode); }, in_missing_dir, ENOENT);
    ExpectIoError([&] { TextFileWriter file(under_a_file, mode); }, under_a_file, ENOTDIR);
    ExpectIoError([&] { TextFileWriter file(tmp_.Path(), mode); }, tmp_.Path(), EISDIR);
  }
  EXPECT_EQ(Names(), std::set<std::string>{"plain"});
}

TEST_F(TextFileTest, CreateInADirectoryWithoutWritePermissionFails) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  const std::string locked = tmp_.File("locked");
  std::filesystem::create_directory(locked);
  std::filesystem::permissions(
      locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const std::string path = locked + "/ESTRAZQ.CSV";
  ExpectIoError([&] { TextFileWriter file(path, TextFileWriter::Mode::kCreate); }, path, EACCES);
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

// A device at the name is written in place (renaming over it would replace
// the device); the buffered bytes fail when they are written at Close.
TEST_F(TextFileTest, FailureToWriteTheBufferAtCloseIsReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "/dev/full is not available";
  {
    TextFileWriter file("/dev/full", TextFileWriter::Mode::kCreate);
    file.WriteLine("buffered, not yet written");
    ExpectIoError([&] { file.Close(); }, "/dev/full", ENOSPC);
  }
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

TEST_F(TextFileTest, AppendedLineFailureIsReportedAtOnce) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "/dev/full is not available";
  TextFileWriter file("/dev/full", TextFileWriter::Mode::kAppend);
  ExpectIoError([&] { file.WriteLine("line"); }, "/dev/full", ENOSPC);
}

// A file size limit makes the writes of a regular file fail as a full disk
// would: the error reaches the caller, the temporary file goes and the
// previous file stays.
TEST_F(TextFileTest, WriteFailureRemovesTheTemporaryAndKeepsThePreviousFile) {
  const std::string path = tmp_.File("ESTRAZQ.CSV");
  test::WriteFile(path, "previous\r\n");
  struct rlimit previous {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  void (*previous_handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = previous;
  small.rlim_cur = 64 * 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  for (const bool at_close : {false, true}) {
    SCOPED_TRACE(at_close ? "failure at Close" : "failure while writing");
    ExpectIoError(
        [&] {
          TextFileWriter file(path, TextFileWriter::Mode::kCreate);
          const std::string line(1000, 'x');
          // 100 lines stay in the buffer until Close; 1000 overflow it.
          for (int i = 0; i < (at_close ? 100 : 1000); ++i) file.WriteLine(line);
          file.Close();
        },
        path, EFBIG);
  }
  ::setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previous_handler);
  EXPECT_EQ(test::ReadFile(path), "previous\r\n");
  EXPECT_EQ(Names(), std::set<std::string>{"ESTRAZQ.CSV"});
}

TEST_F(TextFileTest, WritingAfterCloseIsAnError) {
  TextFileWriter file(tmp_.File("a.txt"), TextFileWriter::Mode::kCreate);
  file.Close();
  file.Close();  // a second close does nothing
  EXPECT_THROW(file.WriteLine("late"), IoError);
}

TEST_F(TextFileTest, ReadAndWriteWholeFilesAsBytes) {
  const std::string path = tmp_.File("bytes.bin");
  const std::string bytes("\0\r\n\xFF\x80 end", 8);
  WriteFileBytes(path, bytes);
  EXPECT_EQ(ReadFileBytes(path), bytes);
  WriteFileBytes(path, "short");
  EXPECT_EQ(ReadFileBytes(path), "short");

  const std::string missing = tmp_.File("missing.bin");
  ExpectIoError([&] { ReadFileBytes(missing); }, missing, ENOENT);
  const std::string in_missing_dir = tmp_.File("missing/x.bin");
  ExpectIoError([&] { WriteFileBytes(in_missing_dir, "x"); }, in_missing_dir, ENOENT);
}

TEST_F(TextFileTest, AtomicReplacementWritesTheBytesAndLeavesNoTemporary) {
  const std::string path = tmp_.File("exporttotale_giacenze.prom");
  ReplaceFileAtomically(path, "first\n");
  ReplaceFileAtomically(path, "second\nno CR LF\n");
  EXPECT_EQ(test::ReadFile(path), "second\nno CR LF\n");
  EXPECT_EQ(Names(), std::set<std::string>{"exporttotale_giacenze.prom"});
  // A link at the name is replaced, never followed.
  test::WriteFile(tmp_.File("target"), "keep");
  std::filesystem::create_symlink(tmp_.File("target"), tmp_.File("link"));
  ReplaceFileAtomically(tmp_.File("link"), "new");
  EXPECT_EQ(test::ReadFile(tmp_.File("target")), "keep");
  EXPECT_FALSE(std::filesystem::is_symlink(tmp_.File("link")));
  ExpectIoError([] { ReplaceFileAtomically("/nonexistent/x.prom", "x"); }, "/nonexistent/x.prom",
                ENOENT);
}

TEST_F(TextFileTest, AFailedAtomicReplacementKeepsThePreviousFile) {
  const std::string path = tmp_.File("exporttotale_runs.jsonl");
  test::WriteFile(path, "previous\n");
  struct rlimit previous {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  void (*previous_handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = previous;
  small.rlim_cur = 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  ExpectIoError([&] { ReplaceFileAtomically(path, std::string(4096, 'x')); }, path, EFBIG);
  ::setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previous_handler);
  EXPECT_EQ(test::ReadFile(path), "previous\n");
  EXPECT_EQ(Names(), std::set<std::string>{"exporttotale_runs.jsonl"});
}

TEST_F(TextFileTest, MeasureCountsBytesAndLines) {
  const struct {
    std::string bytes;
    long long lines;
  } cases[] = {
      {"", 0},
      {"a\r\n", 1},
      {"a\r\nb\r\n", 2},
      {"a\r\nb", 2},
      {"\r\n\r\n\r\n", 3},
      {std::string(200000, 'x') + "\r\n" + std::string(100000, 'y') + "\r\n", 2},
  };
  for (const auto& c : cases) {
    const std::string path = tmp_.File("f.csv");
    test::WriteFile(path, c.bytes);
    const FileMeasure m = MeasureTextFile(path);
    EXPECT_EQ(m.bytes, static_cast<long long>(c.bytes.size()));
    EXPECT_EQ(m.lines, c.lines) << c.bytes.substr(0, 20);
  }
  ExpectIoError([&] { MeasureTextFile(tmp_.File("missing")); }, tmp_.File("missing"), ENOENT);
}

}  // namespace
}  // namespace et
