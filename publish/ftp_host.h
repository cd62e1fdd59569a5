// The FTP host setting: a host name or address, optionally with a port, and
// optionally a scheme in front that names the protocol.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace et {

inline constexpr int kDefaultFtpPort = 21;
inline constexpr int kDefaultFtpsPort = 990;
inline constexpr int kDefaultSftpPort = 22;

struct FtpEndpoint {
  std::string host;  // name or address, IPv6 without brackets
  int port = kDefaultFtpPort;
  bool port_given = false;  // the text named the port
};

// Reads "host", "host:port", "[v6addr]", "[v6addr]:port" or a bare IPv6
// address ("::1", port 21). Empty when the text has an empty host or a port
// that is not a number from 1 to 65535.
std::optional<FtpEndpoint> ParseFtpHost(std::string_view text);

// How files reach the web side.
enum class UploadProtocol {
  kFtp,   // "host": FTP, port 21; TLS as CAT_FTP_TLS asks
  kFtps,  // "ftps://host": FTP inside TLS from the first byte, port 990
  kSftp,  // "sftp://host": SFTP over SSH, port 22
};

struct UploadAddress {
  UploadProtocol protocol = UploadProtocol::kFtp;
  FtpEndpoint endpoint;
};

// Reads the host setting: "ftps://" or "sftp://" (in any case) in front of
// what ParseFtpHost reads, the port defaulting to the protocol's. Empty
// when ParseFtpHost refuses the rest.
std::optional<UploadAddress> ParseUploadAddress(std::string_view text);

// The host setting as the run log may show it: without control characters
// (which would break the log's line) and without a "user:password@" part in
// front of the host, which would put a password into the log.
std::string FtpHostForLog(std::string_view host);

}  // namespace et
