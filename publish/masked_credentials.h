// Settings shown to a person: a server or URL setting may carry a user name
// and password in front of its host ("user:password@host"), which must not
// be printed.
#pragma once

#include <string>
#include <string_view>

namespace et {

// The text with the "user:password@" part in front of its host replaced by
// "***@": "ftp://***@host:21", "https://***@web/x.php?a=b". The part ends at
// the last '@' before the query or fragment, since a password may hold '@'
// or '/'; a text without it is returned unchanged.
std::string MaskCredentials(std::string_view text);

}  // namespace et
