// A /dev/log of a test's own: the datagram socket syslog(3) writes to, made
// where a chrooted program looks for it, whose messages are appended to a log
// file as they arrive, one line each, without their priority, time and tag.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace et::test {

class SyslogSocket {
 public:
  // Binds the socket at path (writable by every account) and starts reading.
  SyslogSocket(const std::string& path, const std::string& log_file);
  ~SyslogSocket();
  SyslogSocket(const SyslogSocket&) = delete;
  SyslogSocket& operator=(const SyslogSocket&) = delete;

  // Appends the messages already sent to the log file now. A message logged
  // before its program answered a request is in the file once the answer
  // arrived.
  void Flush();

 private:
  void Read();

  std::string path_;
  int socket_ = -1;
  int log_ = -1;
  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  std::thread reader_;
};

}  // namespace et::test
