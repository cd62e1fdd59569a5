#include "publish/remote_paths.h"

#include "publish/errors.h"

namespace et::detail {

std::string EncodeUrlPath(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string BaseUrl(const FtpEndpoint& endpoint, const char* scheme) {
  CurlUrl u(curl_url());
  if (!u) throw FtpError("Out of memory");
  const std::string host =
      endpoint.host.find(':') != std::string::npos ? "[" + endpoint.host + "]" : endpoint.host;
  const std::string port = std::to_string(endpoint.port);
  CURLUcode rc = curl_url_set(u.get(), CURLUPART_SCHEME, scheme, 0);
  if (!rc) rc = curl_url_set(u.get(), CURLUPART_HOST, host.c_str(), 0);
  if (!rc) rc = curl_url_set(u.get(), CURLUPART_PORT, port.c_str(), 0);
  char* text = nullptr;
  if (!rc) rc = curl_url_get(u.get(), CURLUPART_URL, &text, 0);
  if (rc)
    throw FtpError("Server FTP non valido: " + FtpHostForLog(endpoint.host) + " (" +
                   curl_url_strerror(rc) + ")");
  std::string url = text;
  curl_free(text);
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

std::string JoinRemote(const std::string& current, const std::string& dir) {
  if (current.empty() || dir.front() == '/') return dir;
  if (current.back() == '/') return current + dir;
  return current + "/" + dir;
}

CurlSlist MakeCommandList(const std::vector<std::string>& texts) {
  CurlSlist list;
  for (const auto& text : texts) {
    curl_slist* longer = curl_slist_append(list.get(), text.c_str());
    if (!longer) throw FtpError("Out of memory");
    list.release();
    list.reset(longer);
  }
  return list;
}

}  // namespace et::detail
