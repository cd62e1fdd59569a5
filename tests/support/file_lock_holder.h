// A test standing in for another run: it holds the advisory lock (flock) of
// a file, as a run holds its export directory's lock, until released.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace et::test {

class FileLockHolder {
 public:
  // Opens (creating) the file and locks it; raises std::runtime_error when
  // the lock is not free.
  explicit FileLockHolder(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fd_ < 0 || ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      Release();
      throw std::runtime_error("cannot lock " + path);
    }
  }
  ~FileLockHolder() { Release(); }
  FileLockHolder(const FileLockHolder&) = delete;
  FileLockHolder& operator=(const FileLockHolder&) = delete;

  // Lets go of the lock (the file stays).
  void Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

}  // namespace et::test
