// An advisory lock on a file (flock(2)), so that two processes do not write
// into the same place at once. The lock ends with the object, or with the
// process however it ends. The object removes the file while it still holds
// the lock, so a directory is left as it was found; a process that locked
// the file just removed sees that the name no longer leads to it and starts
// over on the new file.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>

namespace et {

class FileLock {
 public:
  // Holds no lock.
  FileLock() = default;
  // Releases the lock held, if any.
  ~FileLock();
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Opens the file (creating it when missing) and takes an exclusive lock
  // on it, waiting up to `wait` while another process holds it. nullopt when
  // the wait ran out. Raises Error when the file cannot be opened or locked
  // (a symbolic link at `path` is refused, never followed), and
  // StopRequestedError when a stop arrives during the wait.
  static std::optional<FileLock> Acquire(const std::string& path, std::chrono::milliseconds wait);

  // True while the lock is held.
  bool Held() const { return fd_ >= 0; }

 private:
  FileLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  void Release();

  std::string path_;
  int fd_ = -1;
};

}  // namespace et
