#include "publish/ftp_host.h"

#include <algorithm>

#include "platform/strings.h"

namespace et {
namespace {

std::optional<int> ParsePort(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int port = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

}  // namespace

std::optional<FtpEndpoint> ParseFtpHost(std::string_view text) {
  FtpEndpoint endpoint;
  std::string_view port_text;
  bool has_port = false;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    endpoint.host = std::string(text.substr(1, close - 1));
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port_text = rest.substr(1);
      has_port = true;
    }
  } else if (std::count(text.begin(), text.end(), ':') == 1) {
    const size_t colon = text.find(':');
    endpoint.host = std::string(text.substr(0, colon));
    port_text = text.substr(colon + 1);
    has_port = true;
  } else {
    // No colon, or several: a bare IPv6 address cannot carry a port.
    endpoint.host = std::string(text);
  }
  if (endpoint.host.empty()) return std::nullopt;
  if (has_port) {
    std::optional<int> port = ParsePort(port_text);
    if (!port) return std::nullopt;
    endpoint.port = *port;
    endpoint.port_given = true;
  }
  return endpoint;
}

std::optional<UploadAddress> ParseUploadAddress(std::string_view text) {
  struct Scheme {
    std::string_view prefix;
    UploadProtocol protocol;
    int port;
  };
  static constexpr Scheme kSchemes[] = {
      {"ftps://", UploadProtocol::kFtps, kDefaultFtpsPort},
      {"sftp://", UploadProtocol::kSftp, kDefaultSftpPort},
  };
  UploadAddress address;
  int default_port = kDefaultFtpPort;
  for (const Scheme& scheme : kSchemes) {
    if (text.size() >= scheme.prefix.size() &&
        EqualsIgnoringAsciiCase(text.substr(0, scheme.prefix.size()), scheme.prefix)) {
      address.protocol = scheme.protocol;
      default_port = scheme.port;
      text.remove_prefix(scheme.prefix.size());
      break;
    }
  }
  std::optional<FtpEndpoint> endpoint = ParseFtpHost(text);
  if (!endpoint) return std::nullopt;
  if (!endpoint->port_given) endpoint->port = default_port;
  address.endpoint = std::move(*endpoint);
  return address;
}

std::string FtpHostForLog(std::string_view host) {
  std::string text;
  for (char c : host) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) text += c;
  }
  // The credentials end at the last '@' (a password may hold one); a scheme
  // in front of them stays.
  const size_t at = text.rfind('@');
  if (at == std::string::npos) return text;
  const size_t scheme_end = text.find("://");
  const size_t credentials =
      scheme_end != std::string::npos && scheme_end < at ? scheme_end + 3 : 0;
  text.erase(credentials, at + 1 - credentials);
  return text;
}

}  // namespace et
