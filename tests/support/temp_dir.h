// A temporary directory for one test, removed with everything in it when the
// object dies.
#pragma once

#include <string>

namespace et::test {

class TempDir {
 public:
  TempDir();
  // Below parent (made when missing) instead of $TMPDIR or /tmp.
  explicit TempDir(const std::string& parent);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory, without a trailing separator.
  const std::string& Path() const { return path_; }
  // Path() + "/" + name.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes bytes to a file (creating or replacing it); fails the test on error.
void WriteFile(const std::string& path, const std::string& bytes);
// Reads a whole file as bytes; empty when it does not exist.
std::string ReadFile(const std::string& path);

}  // namespace et::test
