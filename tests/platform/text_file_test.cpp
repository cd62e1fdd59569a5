#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

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

TEST_F(TextFileTest, EachLineReachesTheFileBeforeWriteLineReturns) {
  const std::string path = tmp_.File("log.txt");
  TextFileWriter file(path, TextFileWriter::Mode::kCreate);
  file.WriteLine("uno");
  EXPECT_EQ(test::ReadFile(path), "uno\r\n");
  file.WriteLine("due");
  EXPECT_EQ(test::ReadFile(path), "uno\r\ndue\r\n");
}

TEST_F(TextFileTest, CreateReplacesAnExistingFile) {
  const std::string path = tmp_.File("out.csv");
  test::WriteFile(path, "old content that is longer\r\n");
  {
    TextFileWriter file(path, TextFileWriter::Mode::kCreate);
    file.WriteLine("new");
  }
  EXPECT_EQ(test::ReadFile(path), "new\r\n");
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
  for (auto mode : {TextFileWriter::Mode::kCreate, TextFileWriter::Mode::kAppend}) {
    ExpectIoError([&] { TextFileWriter file(in_missing_dir, mode); }, in_missing_dir, ENOENT);
    ExpectIoError([&] { TextFileWriter file(tmp_.Path(), mode); }, tmp_.Path(), EISDIR);
  }
}

TEST_F(TextFileTest, WriteFailureCarriesThePlatformDescription) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "/dev/full is not available";
  TextFileWriter file("/dev/full", TextFileWriter::Mode::kCreate);
  ExpectIoError([&] { file.WriteLine("line"); }, "/dev/full", ENOSPC);
}

TEST_F(TextFileTest, FailureToFlushAtCloseIsReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "/dev/full is not available";
  TextFileWriter file("/dev/full", TextFileWriter::Mode::kCreate);
  file.Write("buffered, not yet written");
  ExpectIoError([&] { file.Close(); }, "/dev/full", ENOSPC);
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

}  // namespace
}  // namespace et
