// The pings of a monitoring service (healthchecks-style URLs): a GET of
// URL/start when a run begins, then of URL when it completed or of URL/fail
// when it did not. A ping only reports: it never changes the run.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace et {

enum class PingEvent { kStart, kSuccess, kFail };

// "start", "success", "fail".
std::string_view PingEventName(PingEvent event);

// The URL of the event: "/start" or "/fail" added to the path of the base
// URL (before its query), which is used as it is for success.
std::string PingUrl(const std::string& base, PingEvent event);

// Each ping's own bound: a monitoring service that does not answer may not
// hold a run up.
inline constexpr std::chrono::seconds kPingTimeLimit(10);

// Requests the URL ("http" or "https") with GET and returns when the reply
// is 2xx; the server's certificate is not checked, as for the triggers.
// Gives up after `time_limit`. A ping started before a stop is cut short by
// it; one started after a stop (the run's last word) is not, and must be
// given a limit within the stop's grace. Raises HttpError or NetworkError.
void SendPing(const std::string& url, std::chrono::milliseconds time_limit = kPingTimeLimit);

}  // namespace et
