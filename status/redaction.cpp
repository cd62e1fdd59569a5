#include "status/redaction.h"

namespace et {
namespace {

// The end of the authority that starts at `from`: the first '/', '?' or '#'.
std::size_t AuthorityEnd(std::string_view text, std::size_t from) {
  const std::size_t end = text.find_first_of("/?# \t\r\n\"'", from);
  return end == std::string_view::npos ? text.size() : end;
}

}  // namespace

std::string Redacted(std::string_view text, const std::vector<std::string>& secrets) {
  std::string out;
  std::size_t at = 0;
  while (true) {
    const std::size_t scheme_end = text.find("://", at);
    if (scheme_end == std::string_view::npos) break;
    const std::size_t authority = scheme_end + 3;
    const std::size_t end = AuthorityEnd(text, authority);
    const std::size_t credentials_end = text.rfind('@', end == 0 ? 0 : end - 1);
    out.append(text.substr(at, authority - at));
    at = authority;
    if (credentials_end != std::string_view::npos && credentials_end >= authority &&
        credentials_end < end) {
      at = credentials_end + 1;  // the "user:password@" part is dropped
    }
  }
  out.append(text.substr(at));
  for (const std::string& secret : secrets) {
    if (secret.empty()) continue;
    for (std::size_t found = out.find(secret); found != std::string::npos;
         found = out.find(secret, found + 3)) {
      out.replace(found, secret.size(), "***");
    }
  }
  return out;
}

std::string UrlPassword(std::string_view url) {
  const std::size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos) return {};
  const std::size_t authority = scheme_end + 3;
  const std::size_t end = AuthorityEnd(url, authority);
  const std::size_t at_sign = url.rfind('@', end == 0 ? 0 : end - 1);
  if (at_sign == std::string_view::npos || at_sign < authority || at_sign >= end) return {};
  const std::size_t colon = url.find(':', authority);
  if (colon == std::string_view::npos || colon > at_sign) return {};
  return std::string(url.substr(colon + 1, at_sign - colon - 1));
}

}  // namespace et
