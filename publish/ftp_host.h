// The FTP host setting: a host name or address, optionally with a port.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace et {

inline constexpr int kDefaultFtpPort = 21;

struct FtpEndpoint {
  std::string host;  // name or address, IPv6 without brackets
  int port = kDefaultFtpPort;
  bool port_given = false;  // the text named the port
};

// Reads "host", "host:port", "[v6addr]", "[v6addr]:port" or a bare IPv6
// address ("::1", port 21). Empty when the text has an empty host or a port
// that is not a number from 1 to 65535.
std::optional<FtpEndpoint> ParseFtpHost(std::string_view text);

// The host setting as the run log may show it: without control characters
// (which would break the log's line) and without a "user:password@" part in
// front of the host, which would put a password into the log.
std::string FtpHostForLog(std::string_view host);

}  // namespace et
