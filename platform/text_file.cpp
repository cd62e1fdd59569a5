#include "platform/text_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/file_handle.h"

namespace et {
namespace {

// An export file of a few hundred thousand lines goes out in a few dozen
// writes instead of one per line.
constexpr std::size_t kBufferSize = 256 * 1024;

// The wording follows the platform's own file errors: what failed, the path,
// then the system's description of the cause.
[[noreturn]] void ThrowIo(const char* what, const std::string& path, int error_number) {
  throw IoError(std::string(what) + " \"" + path + "\". " + std::strerror(error_number));
}

constexpr std::string_view kTemporaryMark = ".tmp-";
constexpr std::size_t kTemporarySuffixLength = 6;
constexpr char kTemporaryLetters[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool IsTemporaryName(std::string_view name) {
  const std::size_t tail = kTemporaryMark.size() + kTemporarySuffixLength;
  if (name.size() < 1 + 1 + tail || name.front() != '.') return false;
  const std::string_view end = name.substr(name.size() - tail);
  if (end.substr(0, kTemporaryMark.size()) != kTemporaryMark) return false;
  return end.find_first_not_of(kTemporaryLetters, kTemporaryMark.size()) == std::string_view::npos;
}

// A new file beside `path`, named ".NAME.tmp-XXXXXX", created exclusively
// with the mode a plain create gives (0666 less the umask). Returns its
// descriptor and sets `temporary_path`; -1 with errno set on failure.
int CreateTemporaryBeside(const std::string& path, std::string& temporary_path) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  thread_local std::mt19937_64 random(
      std::random_device{}() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      static_cast<std::uint64_t>(::getpid()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = directory + "." + name + std::string(kTemporaryMark);
    for (std::size_t i = 0; i < kTemporarySuffixLength; ++i) {
      candidate += kTemporaryLetters[random() % (sizeof kTemporaryLetters - 1)];
    }
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      temporary_path = std::move(candidate);
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

TextFileWriter::TextFileWriter(const std::string& path, Mode mode) : path_(path), mode_(mode) {
  if (mode == Mode::kAppend) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd_ < 0) ThrowIo("Cannot open file", path, errno);
    return;
  }
  buffer_.reserve(kBufferSize);
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    // A directory at the final name would only refuse the rename at Close.
    if (S_ISDIR(st.st_mode)) ThrowIo("Cannot create file", path, EISDIR);
    // A device or pipe is written in place: renaming over it would replace
    // the device itself.
    fd_ = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd_ < 0) ThrowIo("Cannot create file", path, errno);
    return;
  }
  fd_ = CreateTemporaryBeside(path, temporary_path_);
  if (fd_ < 0) ThrowIo("Cannot create file", path, errno);
}

TextFileWriter::~TextFileWriter() { Discard(); }

void TextFileWriter::Discard() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_path_.empty()) ::unlink(temporary_path_.c_str());
  temporary_path_.clear();
  buffer_.clear();
}

void TextFileWriter::WriteLine(std::string_view utf8) {
  Append(Utf8ToCp1252(utf8));
  Append("\r\n");
  LineEnded();
}

void TextFileWriter::Write(std::string_view utf8) { Append(Utf8ToCp1252(utf8)); }

void TextFileWriter::WriteBytesLine(std::string_view cp1252) {
  Append(cp1252);
  Append("\r\n");
  LineEnded();
}

void TextFileWriter::Append(std::string_view bytes) {
  if (fd_ < 0) ThrowIo("Cannot write to file", path_, EBADF);
  // The buffer never grows beyond its size: what would not fit goes out
  // first, and bytes larger than the whole buffer go out directly.
  if (buffer_.size() + bytes.size() > kBufferSize) {
    Flush();
    if (bytes.size() > kBufferSize) return WriteAll(bytes);
  }
  buffer_.append(bytes);
}

void TextFileWriter::LineEnded() {
  // A log line reaches the system at once, so a run that ends abruptly loses
  // nothing already logged.
  if (mode_ == Mode::kAppend) Flush();
}

void TextFileWriter::Flush() {
  // Emptied also when the write fails: those bytes are not tried again.
  struct Emptied {
    std::string& buffer;
    ~Emptied() { buffer.clear(); }
  } emptied{buffer_};
  WriteAll(buffer_);
}

void TextFileWriter::WriteAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowIo("Cannot write to file", path_, errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void TextFileWriter::Close() {
  if (fd_ < 0) return;
  try {
    Flush();
  } catch (...) {
    Discard();
    throw;
  }
  // An export file reaches the disk before it takes the final name, so that
  // the name always holds a complete file, even after a crash.
  if (!temporary_path_.empty() && ::fsync(fd_) != 0) {
    const int error_number = errno;
    Discard();
    ThrowIo("Cannot write to file", path_, error_number);
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    const int error_number = errno;
    Discard();
    ThrowIo("Cannot close file", path_, error_number);
  }
  if (!temporary_path_.empty()) {
    // rename(2) replaces whatever has the final name, a symbolic link
    // included, and never follows it.
    if (::rename(temporary_path_.c_str(), path_.c_str()) != 0) {
      const int error_number = errno;
      Discard();
      ThrowIo("Cannot create file", path_, error_number);
    }
    temporary_path_.clear();
  }
}

std::string ReadFileBytes(const std::string& path) {
  FileHandle f(std::fopen(path.c_str(), "rb"));
  if (!f) ThrowIo("Cannot open file", path, errno);
  std::string bytes;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) bytes.append(buffer, n);
  if (std::ferror(f.get())) ThrowIo("Cannot read file", path, errno);
  return bytes;
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  FileHandle f(std::fopen(path.c_str(), "wb"));
  if (!f) ThrowIo("Cannot create file", path, errno);
  if (std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
    ThrowIo("Cannot write to file", path, errno);
  }
  if (std::fclose(f.release()) != 0) ThrowIo("Cannot write to file", path, errno);
}

std::vector<std::string> RemoveAbandonedTemporaryFiles(const std::string& directory) {
  std::vector<std::string> removed;
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) return removed;
  const std::string prefix =
      directory.empty() || directory.back() == '/' ? directory : directory + "/";
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (!IsTemporaryName(name)) continue;
    const std::string path = prefix + std::string(name);
    struct stat st {};
    // Only a regular file: what else carries such a name is not ours.
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::unlink(path.c_str()) == 0) removed.emplace_back(name);
  }
  ::closedir(dir);
  return removed;
}

FileMeasure MeasureTextFile(const std::string& path) {
  FileHandle f(std::fopen(path.c_str(), "rb"));
  if (!f) ThrowIo("Cannot open file", path, errno);
  FileMeasure measure;
  char buffer[65536];
  char last = '\n';
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) {
    measure.bytes += static_cast<long long>(n);
    for (std::size_t i = 0; i < n; ++i) measure.lines += buffer[i] == '\n';
    last = buffer[n - 1];
  }
  if (std::ferror(f.get())) ThrowIo("Cannot read file", path, errno);
  if (last != '\n') ++measure.lines;
  return measure;
}

void ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
  std::string temporary_path;
  const int fd = CreateTemporaryBeside(path, temporary_path);
  if (fd < 0) ThrowIo("Cannot create file", path, errno);
  int error_number = 0;
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      error_number = errno;
      break;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  if (error_number == 0 && ::fsync(fd) != 0) error_number = errno;
  if (::close(fd) != 0 && error_number == 0) error_number = errno;
  if (error_number == 0 && ::rename(temporary_path.c_str(), path.c_str()) != 0) {
    error_number = errno;
  }
  if (error_number != 0) {
    ::unlink(temporary_path.c_str());
    ThrowIo("Cannot write to file", path, error_number);
  }
}

}  // namespace et
