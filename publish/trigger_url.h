// Checking a trigger URL without requesting it: a request would start the
// web side's import, so only the form of the URL and its host name are tried.
#pragma once

#include <string>

namespace et {

// Raises NetworkError with the reason when the URL holds control characters,
// cannot be parsed, has a scheme other than "http" or "https", has no host,
// or names a host the resolver does not know. Nothing is sent to the host;
// resolving a name may ask the system's name servers.
void CheckTriggerUrl(const std::string& url);

}  // namespace et
