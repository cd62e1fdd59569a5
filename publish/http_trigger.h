// The request that triggers a web-side import script: one HTTP GET of the
// configured URL, whose reply content is read and dropped.
#pragma once

#include <chrono>
#include <string>

namespace et {

// The user agent of every trigger request, as the web side expects it.
inline constexpr const char* kTriggerUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/52.0.2743.116 Safari/537.36";

// Requests the URL ("http" or "https", used unchanged) with GET over
// HTTP/1.1 and returns when the reply status is 2xx. Redirects are not
// followed and the server's certificate is not checked. An import script may
// take long to answer: the request waits for it without limit, or for at
// most time_limit when that is above zero; TCP keep-alive probes end the
// wait early when the server's machine has vanished from the network.
// Raises HttpError with the reply's status line for any other status, and
// NetworkError when there is no reply: a URL holding CR, LF or NUL ("URL
// contiene caratteri di controllo", nothing is sent), an empty or
// malformed URL, an unknown host, a refused or broken connection, a failed
// TLS handshake, the time limit passed (the network library's description).
void RequestTrigger(const std::string& url,
                    std::chrono::seconds time_limit = std::chrono::seconds::zero());

}  // namespace et
