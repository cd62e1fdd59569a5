// Text files as the system writes them: Windows-1252 bytes, no byte-order
// mark, every line ended by CR LF.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace et {

class TextFileWriter {
 public:
  enum class Mode { kCreate, kAppend };

  // Opens the file: kCreate creates or truncates it, kAppend opens it at its
  // end, creating it when missing. Raises IoError carrying the platform's
  // description (and the path) on failure.
  TextFileWriter(const std::string& path, Mode mode);
  ~TextFileWriter();  // closes the file; never throws
  TextFileWriter(const TextFileWriter&) = delete;
  TextFileWriter& operator=(const TextFileWriter&) = delete;

  // Writes the UTF-8 text converted to Windows-1252, then CR LF. The line is
  // handed to the operating system before the call returns.
  void WriteLine(std::string_view utf8);

  // Writes the UTF-8 text converted to Windows-1252, with no line end.
  void Write(std::string_view utf8);

  // Flushes and closes; raises IoError when that fails.
  void Close();

  const std::string& Path() const { return path_; }

 private:
  void WriteBytes(std::string_view bytes);
  std::string path_;
  std::FILE* file_ = nullptr;
};

// Reads a whole file as bytes; raises IoError when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// Creates or replaces the file with exactly these bytes; raises IoError
// carrying the platform's description (and the path) on failure.
void WriteFileBytes(const std::string& path, std::string_view bytes);

}  // namespace et
