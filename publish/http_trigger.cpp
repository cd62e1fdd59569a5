#include "publish/http_trigger.h"

#include <curl/curl.h>

#include <memory>

#include "platform/strings.h"
#include "publish/curl_global.h"
#include "publish/curl_handles.h"
#include "publish/errors.h"

namespace et {
namespace {

// Keep-alive probes on an idle connection: the first after this many idle
// seconds, then one at each interval. Linux gives up after nine unanswered
// probes, so a vanished server ends the request after about a minute.
constexpr long kKeepAliveIdleSeconds = 15;
constexpr long kKeepAliveIntervalSeconds = 5;

template <typename Value>
void SetOption(CURL* handle, CURLoption option, Value value) {
  detail::SetOption<NetworkError>(handle, option, value);
}

size_t DiscardBody(char*, size_t size, size_t count, void*) { return size * count; }

// Keeps the status line of the last reply; with redirects not followed that
// is the reply to the request.
size_t KeepStatusLine(char* data, size_t size, size_t count, void* status_line) {
  std::string_view line(data, size * count);
  if (line.substr(0, 5) == "HTTP/") {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    *static_cast<std::string*>(status_line) = std::string(line);
  }
  return size * count;
}

}  // namespace

void RequestTrigger(const std::string& url, std::chrono::seconds time_limit) {
  // libcurl would refuse CR and LF too; refusing them here keeps any URL
  // from adding a header line, and NUL from cutting the URL short.
  if (HasLineBreakOrNul(url)) throw NetworkError("URL contiene caratteri di controllo");
  detail::EnsureCurlInitialized();
  // A fresh handle per request: no connection or TLS session is reused.
  detail::CurlEasy handle(curl_easy_init());
  if (!handle) throw NetworkError("Cannot create the HTTP client");
  CURL* h = handle.get();
  char error_buffer[CURL_ERROR_SIZE] = {};
  std::string status_line;

  SetOption(h, CURLOPT_URL, url.c_str());
  SetOption(h, CURLOPT_PROTOCOLS_STR, "http,https");
  SetOption(h, CURLOPT_HTTPGET, 1L);
  SetOption(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  SetOption(h, CURLOPT_USERAGENT, kTriggerUserAgent);
  SetOption(h, CURLOPT_FOLLOWLOCATION, 0L);
  SetOption(h, CURLOPT_PROXY, "");  // no proxy from the environment
  SetOption(h, CURLOPT_NOSIGNAL, 1L);
  detail::AcceptAnyServerCertificate<NetworkError>(h);
  SetOption(h, CURLOPT_WRITEFUNCTION, DiscardBody);
  SetOption(h, CURLOPT_HEADERFUNCTION, KeepStatusLine);
  SetOption(h, CURLOPT_HEADERDATA, &status_line);
  SetOption(h, CURLOPT_ERRORBUFFER, error_buffer);
  SetOption(h, CURLOPT_TCP_KEEPALIVE, 1L);
  SetOption(h, CURLOPT_TCP_KEEPIDLE, kKeepAliveIdleSeconds);
  SetOption(h, CURLOPT_TCP_KEEPINTVL, kKeepAliveIntervalSeconds);
  if (time_limit.count() > 0) SetOption(h, CURLOPT_TIMEOUT, static_cast<long>(time_limit.count()));
  SetOption(h, CURLOPT_PATH_AS_IS, 1L);  // the path as written, dot segments included
  detail::AbortTransfersOnStop<NetworkError>(h);

  const CURLcode code = curl_easy_perform(h);
  // A request cut short by a stop is no failure of the web side.
  if (code != CURLE_OK) ThrowIfStopRequested();
  if (code != CURLE_OK)
    throw NetworkError(error_buffer[0] ? error_buffer : curl_easy_strerror(code));
  long status = 0;
  detail::GetInfo<NetworkError>(h, CURLINFO_RESPONSE_CODE, &status);
  if (status < 200 || status > 299)
    throw HttpError(status_line.empty() ? "HTTP " + std::to_string(status) : status_line);
}

}  // namespace et
