// Owners of the network library's handles, shared by the FTP uploader and
// the trigger requests.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/stop_signals.h"

// The options set on the handles need libcurl 7.85 (CURLOPT_PROTOCOLS_STR);
// an older library would refuse them at run time.
static_assert(LIBCURL_VERSION_NUM >= 0x075500, "libcurl 7.85 or later is needed");

namespace et::detail {

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlUrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlMultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct CurlSlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// An easy handle: one transfer at a time, with the connections it keeps.
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
// A multi handle: transfers driven by a loop of the caller's, and the
// connections they keep.
using CurlMulti = std::unique_ptr<CURLM, CurlMultiDeleter>;
// A parsed URL.
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;
// A list of texts, such as the raw FTP commands sent around a transfer.
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// Sets one option of the handle. A refused option raises ErrorType: a lost
// option would silently weaken the transfer (its protocols, its time limits,
// its checks of the server).
template <typename ErrorType, typename Value>
void SetOption(CURL* handle, CURLoption option, Value value) {
  const CURLcode code = curl_easy_setopt(handle, option, value);
  if (code == CURLE_OK) return;
  const curl_easyoption* known = curl_easy_option_by_id(option);
  throw ErrorType(std::string("libcurl refused the option ") +
                  (known ? std::string("CURLOPT_") + known->name : std::to_string(option)) + ": " +
                  curl_easy_strerror(code));
}

// Reads one piece of information about the handle's last transfer; raises
// ErrorType when libcurl has none.
template <typename ErrorType, typename Value>
void GetInfo(CURL* handle, CURLINFO info, Value* value) {
  const CURLcode code = curl_easy_getinfo(handle, info, value);
  if (code != CURLE_OK)
    throw ErrorType(std::string("libcurl information ") + std::to_string(info) +
                    " not available: " + curl_easy_strerror(code));
}

// libcurl calls this about once a second while a transfer waits, and more
// often while data flows; a stop request aborts the transfer
// (CURLE_ABORTED_BY_CALLBACK).
inline int AbortWhenStopRequested(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return StopRequested() ? 1 : 0;
}

// Makes every transfer of the handle end within about a second of a stop
// request, also while it waits for a server that does not answer.
template <typename ErrorType>
void AbortTransfersOnStop(CURL* handle) {
  SetOption<ErrorType>(handle, CURLOPT_XFERINFOFUNCTION, AbortWhenStopRequested);
  SetOption<ErrorType>(handle, CURLOPT_NOPROGRESS, 0L);
}

// True while the handle keeps a connection that is still open.
inline bool HasOpenConnection(CURL* handle) {
  curl_socket_t socket = CURL_SOCKET_BAD;
  return curl_easy_getinfo(handle, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
         socket != CURL_SOCKET_BAD;
}

// The limits of an upload connection: no proxy from the environment, no
// signals, the connection awaited at most `wait` and a transfer that moves
// no byte for that long broken off.
template <typename ErrorType>
void SetUploadLimits(CURL* handle, std::chrono::seconds wait) {
  SetOption<ErrorType>(handle, CURLOPT_PROXY, "");
  SetOption<ErrorType>(handle, CURLOPT_NOSIGNAL, 1L);
  SetOption<ErrorType>(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(wait.count()));
  SetOption<ErrorType>(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  SetOption<ErrorType>(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(wait.count()));
}

// Bounds everything the handle does, the connection included, by limit:
// for the short clean-up after a stop.
template <typename ErrorType>
void BoundEveryTransfer(CURL* handle, std::chrono::milliseconds limit) {
  SetOption<ErrorType>(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(limit.count()));
  SetOption<ErrorType>(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limit.count()));
}

// The TLS rule of every HTTP request to the web side and the monitoring
// service: any certificate is accepted,
// and the old protocol versions such servers may still speak are allowed (SSL
// 2 and 3 no longer exist in OpenSSL).
template <typename ErrorType>
void AcceptAnyServerCertificate(CURL* handle) {
  SetOption<ErrorType>(handle, CURLOPT_SSL_VERIFYPEER, 0L);
  SetOption<ErrorType>(handle, CURLOPT_SSL_VERIFYHOST, 0L);
  SetOption<ErrorType>(handle, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_0));
  SetOption<ErrorType>(handle, CURLOPT_SSL_CIPHER_LIST, "DEFAULT:@SECLEVEL=0");
}

}  // namespace et::detail
