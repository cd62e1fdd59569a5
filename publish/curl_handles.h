// Owners of the network library's handles, shared by the FTP uploader and
// the trigger requests.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace et::detail {

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlUrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlSlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// An easy handle: one transfer at a time, with the connections it keeps.
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
// A parsed URL.
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;
// A list of texts, such as the raw FTP commands sent around a transfer.
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;

}  // namespace et::detail
