#include "publish/monitoring_ping.h"

#include <curl/curl.h>

#include <algorithm>

#include "platform/stop_signals.h"
#include "publish/curl_global.h"
#include "publish/curl_handles.h"
#include "publish/errors.h"
#include "publish/http_trigger.h"

namespace et {
namespace {

size_t DiscardBody(char*, size_t size, size_t count, void*) { return size * count; }

}  // namespace

std::string_view PingEventName(PingEvent event) {
  switch (event) {
    case PingEvent::kStart:
      return "start";
    case PingEvent::kSuccess:
      return "success";
    case PingEvent::kFail:
      return "fail";
  }
  return "fail";
}

std::string PingUrl(const std::string& base, PingEvent event) {
  if (event == PingEvent::kSuccess) return base;
  const std::size_t query = base.find_first_of("?#");
  std::string path = base.substr(0, query);
  while (!path.empty() && path.back() == '/') path.pop_back();
  path += event == PingEvent::kStart ? "/start" : "/fail";
  if (query != std::string::npos) path += base.substr(query);
  return path;
}

void SendPing(const std::string& url, std::chrono::milliseconds time_limit) {
  if (url.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
    throw NetworkError("URL contiene caratteri di controllo");
  detail::EnsureCurlInitialized();
  detail::CurlEasy handle(curl_easy_init());
  if (!handle) throw NetworkError("Cannot create the HTTP client");
  CURL* h = handle.get();
  char error_buffer[CURL_ERROR_SIZE] = {};

  const auto set = [h](CURLoption option, auto value) {
    detail::SetOption<NetworkError>(h, option, value);
  };
  set(CURLOPT_URL, url.c_str());
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_HTTPGET, 1L);
  set(CURLOPT_USERAGENT, kTriggerUserAgent);
  set(CURLOPT_FOLLOWLOCATION, 0L);
  set(CURLOPT_PROXY, "");  // no proxy from the environment
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_PATH_AS_IS, 1L);  // the URL as written, as for the triggers
  detail::AcceptAnyServerCertificate<NetworkError>(h);
  set(CURLOPT_WRITEFUNCTION, DiscardBody);
  set(CURLOPT_ERRORBUFFER, error_buffer);
  set(CURLOPT_TIMEOUT_MS, static_cast<long>(std::max<long long>(1, time_limit.count())));
  // The ping that reports a stop must still go out after it.
  if (!StopRequested()) detail::AbortTransfersOnStop<NetworkError>(h);

  const CURLcode code = curl_easy_perform(h);
  if (code != CURLE_OK)
    throw NetworkError(error_buffer[0] ? error_buffer : curl_easy_strerror(code));
  long status = 0;
  detail::GetInfo<NetworkError>(h, CURLINFO_RESPONSE_CODE, &status);
  if (status < 200 || status > 299) throw HttpError("HTTP " + std::to_string(status));
}

}  // namespace et
