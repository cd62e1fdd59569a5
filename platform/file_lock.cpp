#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/error.h"
#include "platform/stop_signals.h"

namespace et {
namespace {

// How often a waiting process tries the lock again; also how soon it sees a
// stop request.
constexpr std::chrono::milliseconds kRetryInterval(100);

// True when `path` itself (not what a link there points to) still names the
// open file `fd`.
bool StillNamed(const std::string& path, int fd) {
  struct stat open_file {};
  struct stat named {};
  return ::fstat(fd, &open_file) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

}  // namespace

void FileLock::Release() {
  if (fd_ < 0) return;
  // Removed while still locked; closing the only descriptor of the open
  // file then releases the lock.
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

FileLock::~FileLock() { Release(); }

FileLock::FileLock(FileLock&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Release();
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

std::optional<FileLock> FileLock::Acquire(const std::string& path, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    // A symbolic link at the lock's name is never followed: the lock would
    // create or lock whatever file the link points to.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno == ELOOP) {
      throw Error("Il file di blocco \"" + path +
                  "\" è un collegamento simbolico: non viene seguito. Rimuovere il collegamento");
    }
    if (fd < 0) {
      throw Error("Impossibile aprire il file di blocco \"" + path + "\": " + std::strerror(errno));
    }
    // Closes the file on every way out but the lock's success.
    struct Closer {
      int fd;
      ~Closer() {
        if (fd >= 0) ::close(fd);
      }
    } closer{fd};
    for (;;) {
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        // The holder before may have removed the file in the meantime.
        if (!StillNamed(path, fd)) break;
        closer.fd = -1;
        return FileLock(path, fd);
      }
      if (errno != EWOULDBLOCK && errno != EINTR) {
        throw Error("Impossibile bloccare il file \"" + path + "\": " + std::strerror(errno));
      }
      ThrowIfStopRequested();
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return std::nullopt;
      std::this_thread::sleep_for(
          std::min<std::chrono::steady_clock::duration>(kRetryInterval, deadline - now));
    }
  }
}

}  // namespace et
