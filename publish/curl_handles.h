// Owners of the network library's handles, shared by the FTP uploader and
// the trigger requests.
#pragma once

#include <curl/curl.h>

#include <memory>

#include "platform/stop_signals.h"

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

// libcurl calls this about once a second while a transfer waits, and more
// often while data flows; a stop request aborts the transfer
// (CURLE_ABORTED_BY_CALLBACK).
inline int AbortWhenStopRequested(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return StopRequested() ? 1 : 0;
}

// Makes every transfer of the handle end within about a second of a stop
// request, also while it waits for a server that does not answer.
inline void AbortTransfersOnStop(CURL* handle) {
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, AbortWhenStopRequested);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
}

// The TLS rule of every request to the web side: any certificate is accepted,
// and the old protocol versions such servers may still speak are allowed (SSL
// 2 and 3 no longer exist in OpenSSL).
inline void AcceptAnyServerCertificate(CURL* handle) {
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(handle, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_0));
  curl_easy_setopt(handle, CURLOPT_SSL_CIPHER_LIST, "DEFAULT:@SECLEVEL=0");
}

}  // namespace et::detail
