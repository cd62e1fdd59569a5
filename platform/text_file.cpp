#include "platform/text_file.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/codepage.h"
#include "platform/error.h"

namespace et {
namespace {

// The wording follows the platform's own file errors: what failed, the path,
// then the system's description of the cause.
[[noreturn]] void ThrowIo(const char* what, const std::string& path, int error_number) {
  throw IoError(std::string(what) + " \"" + path + "\". " + std::strerror(error_number));
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

TextFileWriter::TextFileWriter(const std::string& path, Mode mode) : path_(path) {
  file_ = std::fopen(path.c_str(), mode == Mode::kCreate ? "wb" : "ab");
  if (!file_)
    ThrowIo(mode == Mode::kCreate ? "Cannot create file" : "Cannot open file", path, errno);
}

TextFileWriter::~TextFileWriter() {
  if (file_) std::fclose(file_);
}

void TextFileWriter::WriteLine(std::string_view utf8) {
  WriteBytes(Utf8ToCp1252(utf8) + "\r\n");
  // Each line reaches the system at once, so a run that ends abruptly loses
  // nothing already written.
  if (std::fflush(file_) != 0) ThrowIo("Cannot write to file", path_, errno);
}

void TextFileWriter::Write(std::string_view utf8) { WriteBytes(Utf8ToCp1252(utf8)); }

void TextFileWriter::WriteBytes(std::string_view bytes) {
  if (!file_) ThrowIo("Cannot write to file", path_, EBADF);
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    ThrowIo("Cannot write to file", path_, errno);
  }
}

void TextFileWriter::Close() {
  if (!file_) return;
  std::FILE* f = file_;
  file_ = nullptr;
  // fclose reports a failed flush of what was still buffered.
  if (std::fclose(f) != 0) ThrowIo("Cannot close file", path_, errno);
}

std::string ReadFileBytes(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) ThrowIo("Cannot open file", path, errno);
  std::string bytes;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) bytes.append(buffer, n);
  if (std::ferror(f.get())) ThrowIo("Cannot read file", path, errno);
  return bytes;
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "wb"));
  if (!f) ThrowIo("Cannot create file", path, errno);
  if (std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
    ThrowIo("Cannot write to file", path, errno);
  }
  if (std::fclose(f.release()) != 0) ThrowIo("Cannot write to file", path, errno);
}

}  // namespace et
