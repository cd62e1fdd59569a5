#include "publish/masked_credentials.h"

namespace et {

std::string MaskCredentials(std::string_view text) {
  const size_t scheme_end = text.find("://");
  const size_t start = scheme_end == std::string_view::npos ? 0 : scheme_end + 3;
  // A query or fragment may hold an '@' of its own (an e-mail address).
  const size_t end = text.find_first_of("?#", start);
  const size_t at = text.substr(0, end).rfind('@');
  if (at == std::string_view::npos || at < start) return std::string(text);
  return std::string(text.substr(0, start)) + "***" + std::string(text.substr(at));
}

}  // namespace et
