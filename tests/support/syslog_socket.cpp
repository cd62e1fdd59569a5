#include "support/syslog_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace et::test {
namespace {

// "<38>Dec 10 19:27:30 internal-sftp[7121]: open ..." -> "open ...": the
// time has no ": ", the tag ends with the first one.
std::string Message(std::string datagram) {
  while (!datagram.empty() && (datagram.back() == '\n' || datagram.back() == '\0'))
    datagram.pop_back();
  size_t start = 0;
  if (datagram.starts_with('<')) {
    const size_t close = datagram.find('>');
    if (close != std::string::npos) start = close + 1;
  }
  const size_t tag_end = datagram.find(": ", start);
  if (tag_end != std::string::npos) start = tag_end + 2;
  return datagram.substr(start);
}

}  // namespace

SyslogSocket::SyslogSocket(const std::string& path, const std::string& log_file) : path_(path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path)
    throw std::runtime_error("socket path too long: " + path);
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (socket_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  log_ = ::open(log_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::chmod(path.c_str(), 0666) != 0) {
    const std::string error = std::strerror(errno);
    if (log_ >= 0) ::close(log_);
    ::close(socket_);
    throw std::runtime_error("cannot receive syslog messages at " + path + ": " + error);
  }
  reader_ = std::thread([this] { Read(); });
}

SyslogSocket::~SyslogSocket() {
  stop_ = true;
  reader_.join();
  Flush();
  ::close(socket_);
  ::close(log_);
  ::unlink(path_.c_str());
}

void SyslogSocket::Flush() {
  std::lock_guard lock(mutex_);
  char buf[8192];
  for (;;) {
    const ssize_t n = ::recv(socket_, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;  // EAGAIN: nothing more for now
    if (n == 0) continue;
    const std::string line = Message(std::string(buf, static_cast<size_t>(n))) + "\n";
    // One write with O_APPEND: the line never splits another writer's.
    (void)!::write(log_, line.data(), line.size());
  }
}

void SyslogSocket::Read() {
  while (!stop_) {
    pollfd pfd{socket_, POLLIN, 0};
    if (::poll(&pfd, 1, 50) > 0) Flush();
  }
}

}  // namespace et::test
