#include "publish/curl_global.h"

#include <curl/curl.h>

#include <stdexcept>

namespace et::detail {

void EnsureCurlInitialized() {
  // A function-local static is initialised exactly once, even with threads.
  static const CURLcode code = curl_global_init(CURL_GLOBAL_ALL);
  if (code != CURLE_OK)
    throw std::runtime_error(std::string("curl_global_init: ") + curl_easy_strerror(code));
}

}  // namespace et::detail
