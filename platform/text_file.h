// Text files as the system writes them: Windows-1252 bytes, no byte-order
// mark, every line ended by CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace et {

class TextFileWriter {
 public:
  enum class Mode {
    // An export file: written through a large buffer into a new file beside
    // the final one, which takes the final name at Close. Until then the
    // previous file stays as it was; a symbolic link at the final name is
    // replaced, never followed. A device (such as /dev/null) at the final
    // name is written in place.
    kCreate,
    // A log: opened at its end (created when missing); every line is handed
    // to the system before the call that wrote it returns.
    kAppend,
  };

  // Opens the file. Raises IoError carrying the platform's description (and
  // the path) on failure.
  TextFileWriter(const std::string& path, Mode mode);
  // Closes the file; never throws. A kCreate file not closed successfully is
  // removed, so the previous file at the path stays untouched.
  ~TextFileWriter();
  TextFileWriter(const TextFileWriter&) = delete;
  TextFileWriter& operator=(const TextFileWriter&) = delete;

  // Writes the UTF-8 text converted to Windows-1252, then CR LF.
  void WriteLine(std::string_view utf8);

  // Writes the UTF-8 text converted to Windows-1252, with no line end.
  void Write(std::string_view utf8);

  // Writes Windows-1252 bytes as they are, then CR LF: for callers that
  // already hold the file's bytes.
  void WriteBytesLine(std::string_view cp1252);

  // Writes what is still buffered and closes; a kCreate file then takes its
  // final name. Raises IoError when any of that fails.
  void Close();

  const std::string& Path() const { return path_; }

 private:
  void Append(std::string_view bytes);
  void LineEnded();
  void Flush();
  void WriteAll(std::string_view bytes);
  void Discard() noexcept;

  std::string path_;
  std::string temporary_path_;  // kCreate only: the file being written
  Mode mode_;
  int fd_ = -1;
  std::string buffer_;
};

// Reads a whole file as bytes; raises IoError when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// Creates or replaces the file with exactly these bytes; raises IoError
// carrying the platform's description (and the path) on failure.
void WriteFileBytes(const std::string& path, std::string_view bytes);

// Removes from `directory` the temporary files (".NAME.tmp-XXXXXX") that a
// kCreate writer leaves when its process is killed before Close. Only for a
// directory that no other writer uses meanwhile (a run holds the export
// directory's lock). Returns the names removed; raises nothing, as what
// cannot be removed only stays.
std::vector<std::string> RemoveAbandonedTemporaryFiles(const std::string& directory);

// The size of a file and its number of lines (line feeds, and one more for a
// last line without one). Raises IoError when it cannot be read.
struct FileMeasure {
  long long bytes = 0;
  long long lines = 0;
};
FileMeasure MeasureTextFile(const std::string& path);

// Replaces the file with exactly these bytes so that a reader sees either the
// previous file or the whole new one, never a part: the bytes go into a new
// file beside it (".NAME.tmp-XXXXXX": hidden, and with another ending, so a
// reader that picks files by their ending never sees it), reach the disk,
// and then take the name. A symbolic link
// at the name is replaced, never followed. Raises IoError carrying the
// platform's description (and the path) on failure; the previous file then
// stays as it was.
void ReplaceFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace et
