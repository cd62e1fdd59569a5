// The request that triggers a web-side import script: one HTTP GET of the
// configured URL, whose reply content is read and dropped.
#pragma once

#include <string>

namespace et {

// The user agent of every trigger request, as the web side expects it.
inline constexpr const char* kTriggerUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/52.0.2743.116 Safari/537.36";

// Requests the URL ("http" or "https", used unchanged) with GET over
// HTTP/1.1 and returns when the reply status is 2xx. Redirects are not
// followed and the server's certificate is not checked. Raises HttpError
// with the reply's status line for any other status, and NetworkError when
// there is no reply (empty or malformed URL, unknown host, refused or broken
// connection, failed TLS handshake).
void EseguiRichiestaHTTP(const std::string& url);

}  // namespace et
