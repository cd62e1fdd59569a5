// Errors of the publishing layer. The type names appear in the diagnostic
// line of a failed trigger request ("EHTTPProtocolError: HTTP/1.1 404 Not
// Found").
#pragma once

#include "platform/error.h"

namespace et {

// The FTP server refused a command (its reply is the message), or the
// uploader was used without a connection.
class FtpError : public Error {
 public:
  using Error::Error;
  std::string_view TypeName() const override { return "EFTPError"; }
};

// An HTTP reply with a status outside 2xx; the message is the reply's status
// line as received ("HTTP/1.1 404 Not Found").
class HttpError : public Error {
 public:
  using Error::Error;
  std::string_view TypeName() const override { return "EHTTPProtocolError"; }
};

// A request that got no reply: an empty or malformed URL, a host that cannot
// be resolved or reached, a refused or broken connection, a failed TLS
// handshake. The message is the network library's description.
class NetworkError : public Error {
 public:
  using Error::Error;
  std::string_view TypeName() const override { return "ESocketError"; }
};

}  // namespace et
