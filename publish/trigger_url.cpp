#include "publish/trigger_url.h"

#include <curl/curl.h>
#include <netdb.h>
#include <sys/socket.h>

#include <string_view>

#include "platform/strings.h"
#include "publish/curl_global.h"
#include "publish/curl_handles.h"
#include "publish/errors.h"

namespace et {
namespace {

// One part of a parsed URL; empty when the URL has none.
std::string UrlPart(CURLU* url, CURLUPart part) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, 0) != CURLUE_OK || text == nullptr) return {};
  std::string result(text);
  curl_free(text);
  return result;
}

}  // namespace

void CheckTriggerUrl(const std::string& url) {
  if (HasLineBreakOrNul(url)) {
    throw NetworkError("URL contiene caratteri di controllo");
  }
  detail::EnsureCurlInitialized();
  detail::CurlUrl parsed(curl_url());
  if (!parsed) throw NetworkError("URL non verificabile: memoria esaurita");
  // Without a default scheme a URL such as "example.com/x" is refused rather
  // than read as http.
  const CURLUcode code = curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0);
  if (code != CURLUE_OK) {
    throw NetworkError(std::string("URL non valido: ") + curl_url_strerror(code));
  }
  const std::string scheme = UrlPart(parsed.get(), CURLUPART_SCHEME);
  if (scheme != "http" && scheme != "https") {
    throw NetworkError("URL non valido: lo schema \"" + scheme + "\" non è http né https");
  }
  std::string host = UrlPart(parsed.get(), CURLUPART_HOST);
  if (host.empty()) throw NetworkError("URL non valido: manca il nome del server");
  // An IPv6 address comes back in brackets.
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (status != 0) {
    throw NetworkError("server \"" + host + "\" non risolto: " + gai_strerror(status));
  }
  freeaddrinfo(found);
}

}  // namespace et
