// Remote paths and the URLs that carry them to libcurl, shared by the FTP
// and the SFTP connections.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "publish/curl_handles.h"
#include "publish/ftp_host.h"

namespace et::detail {

// Percent-encodes every byte except the unreserved characters, '/' included:
// the URL path is decoded again by libcurl before it splits off the
// directory, so an absolute directory keeps its leading '/' and names with
// blanks, '#', '%' or ';' reach the server unchanged.
std::string EncodeUrlPath(std::string_view text);

// "SCHEME://host:port" for the endpoint; the host is checked by libcurl, so
// a setting with '/', '@' or blanks cannot point the URL elsewhere. Raises
// FtpError when it cannot be built.
std::string BaseUrl(const FtpEndpoint& endpoint, const char* scheme);

// The remote directory after a change to dir from current.
std::string JoinRemote(const std::string& current, const std::string& dir);

// A list of texts for libcurl, such as raw commands around a transfer.
// Raises FtpError when out of memory.
CurlSlist MakeCommandList(const std::vector<std::string>& texts);

}  // namespace et::detail
