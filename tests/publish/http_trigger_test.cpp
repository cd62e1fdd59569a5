#include "publish/http_trigger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "publish/errors.h"
#include "support/servers.h"

namespace et {
namespace {

using test::HttpServer;

const char* const kUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/52.0.2743.116 "
    "Safari/537.36";

// The message of the error the request raises; empty when it succeeds.
template <typename E>
std::optional<std::string> ErrorOf(const std::string& url,
                                   std::chrono::seconds time_limit = std::chrono::seconds(0)) {
  try {
    RequestTrigger(url, time_limit);
  } catch (const E& e) {
    return std::string(e.what());
  }
  return std::nullopt;
}

TEST(HttpTrigger, GetWithTheFixedUserAgentSucceedsOn2xx) {
  HttpServer server;
  const std::string path = "/script/importa.php?tipo=giacenze&ditta=1";
  ASSERT_NO_THROW(RequestTrigger(server.BaseUrl() + path));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].path, path);
  EXPECT_EQ(requests[0].version, "HTTP/1.1");
  EXPECT_EQ(requests[0].user_agent, kUserAgent);
}

TEST(HttpTrigger, PathIsSentExactlyAsWritten) {
  // Dot segments, doubled slashes and encoded bytes reach the web side as the
  // setting writes them: the script there decides what they mean.
  const std::vector<std::string> paths{
      "/import/./a/../g.php",
      "/import/../g.php?x=./y/../z",
      "/a//b/./c.php",
      "/%2e%2e/g%20h.php",
  };
  for (const auto scheme : {HttpServer::Scheme::kHttp, HttpServer::Scheme::kHttps}) {
    HttpServer server(scheme);
    for (const std::string& path : paths) {
      SCOPED_TRACE(server.BaseUrl() + path);
      ASSERT_NO_THROW(RequestTrigger(server.BaseUrl() + path));
      const auto requests = server.Requests();
      ASSERT_FALSE(requests.empty());
      EXPECT_EQ(requests.back().path, path);
    }
    EXPECT_EQ(server.Requests().size(), paths.size());
  }
}

TEST(HttpTrigger, StatusOutside2xxRaisesTheStatusLine) {
  struct Case {
    const char* path;
    const char* status_line;  // nullptr: success
  };
  const Case cases[] = {
      {"/status/200", nullptr},
      {"/status/201", nullptr},
      {"/status/204", nullptr},
      {"/status/299", nullptr},
      {"/status/404/script.php", "HTTP/1.1 404 Not Found"},
      {"/status/500", "HTTP/1.1 500 Internal Server Error"},
      {"/status/401", "HTTP/1.1 401 Unauthorized"},
      {"/status/403", "HTTP/1.1 403 Forbidden"},
      {"/status/599", "HTTP/1.1 599 Unknown"},
      {"/status/302", "HTTP/1.1 302 Found"},
      {"/status/301", "HTTP/1.1 301 Moved Permanently"},
      {"/status/307", "HTTP/1.1 307 Temporary Redirect"},
  };
  HttpServer server;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    try {
      RequestTrigger(server.BaseUrl() + c.path);
      EXPECT_EQ(c.status_line, nullptr) << "no error raised";
    } catch (const HttpError& e) {
      ASSERT_NE(c.status_line, nullptr) << e.what();
      EXPECT_EQ(std::string(e.what()), c.status_line);
      EXPECT_EQ(e.TypeName(), "EHTTPProtocolError");
    }
  }
  // Every case was requested once, and no redirect was followed.
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), std::size(cases));
  for (const auto& r : requests) EXPECT_NE(r.path, "/redirected");
}

TEST(HttpTrigger, RequestsWithoutReplyRaiseNetworkErrors) {
  const std::string closed =
      "http://127.0.0.1:" + std::to_string(test::ClosedPort()) + "/script.php";
  HttpServer server;
  const std::string ftp_url = "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/script.php";
  for (const std::string& url :
       std::vector<std::string>{"", "http://", "http://[::1/x", closed, ftp_url}) {
    SCOPED_TRACE("url '" + url + "'");
    try {
      RequestTrigger(url);
      ADD_FAILURE() << "no error raised";
    } catch (const NetworkError& e) {
      EXPECT_NE(std::string(e.what()), "");
      EXPECT_EQ(e.TypeName(), "ESocketError");
    }
  }
  EXPECT_TRUE(server.Requests().empty()) << "a non-HTTP URL reached the server";
  const auto message = ErrorOf<NetworkError>(closed);
  ASSERT_TRUE(message);
  EXPECT_NE(message->find(closed.substr(17, closed.find('/', 17) - 17)), std::string::npos)
      << *message;
}

TEST(HttpTrigger, HttpsWithASelfSignedCertificateGoesAhead) {
  HttpServer server(HttpServer::Scheme::kHttps);
  ASSERT_NO_THROW(RequestTrigger(server.BaseUrl() + "/importa.php?x=1"));
  EXPECT_EQ(ErrorOf<HttpError>(server.BaseUrl() + "/status/404"), "HTTP/1.1 404 Not Found");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].path, "/importa.php?x=1");
  EXPECT_EQ(requests[0].user_agent, kUserAgent);
  EXPECT_EQ(requests[0].version, "HTTP/1.1");
}

TEST(HttpTrigger, HttpsServerOfferingOnlyTls10IsAccepted) {
  std::optional<HttpServer> server;
  server.emplace(HttpServer::Options{HttpServer::Scheme::kHttps, "127.0.0.1", "1.0"});
  ASSERT_NO_THROW(RequestTrigger(server->BaseUrl() + "/vecchio.php"));
  ASSERT_EQ(server->Requests().size(), 1u);
}

TEST(HttpTrigger, HttpsUrlToAPlainHttpServerIsANetworkError) {
  HttpServer server;
  const std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/x";
  EXPECT_TRUE(ErrorOf<NetworkError>(url));
}

TEST(HttpTrigger, UrlWithALineBreakOrNulIsRefusedBeforeAnyRequest) {
  HttpServer server;
  const std::string base = server.BaseUrl();
  const std::vector<std::string> urls{
      base + "/script.php\r\nX-Iniettato: 1",
      base + "/script.php\nX-Iniettato: 1",
      base + "/script.php\r",
      base + "/script.php" + std::string(1, '\0') + "coda",
      base + "/script.php?a=1 HTTP/1.1\r\nHost: altro\r\n\r\nGET /altro",
  };
  for (const auto& url : urls) {
    SCOPED_TRACE("case " + std::to_string(&url - urls.data()));
    EXPECT_EQ(ErrorOf<NetworkError>(url), "URL contiene caratteri di controllo");
  }
  ASSERT_NO_THROW(RequestTrigger(base + "/dopo.php"));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u) << "a refused URL reached the server";
  EXPECT_EQ(requests[0].path, "/dopo.php");
}

TEST(HttpTrigger, WaitsForASlowScriptUpToTheTimeLimit) {
  using std::chrono::seconds;
  struct Case {
    const char* path;
    seconds limit;  // zero: none
    bool answered;
    seconds at_least;  // the request cannot end before the reply is due
  };
  const Case cases[] = {
      {"/delay/3/importa.php", seconds(0), true, seconds(3)},
      {"/delay/1/importa.php", seconds(10), true, seconds(1)},
      {"/silent/importa.php", seconds(2), false, seconds(1)},
  };
  HttpServer server;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto start = std::chrono::steady_clock::now();
    const auto error = ErrorOf<NetworkError>(server.BaseUrl() + c.path, c.limit);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(error.has_value(), !c.answered) << error.value_or("");
    EXPECT_GE(elapsed, c.at_least);
    // Ended, not hanging: far below the server's own two-minute hold.
    EXPECT_LT(elapsed, seconds(60));
  }
  EXPECT_EQ(server.Requests().size(), std::size(cases));
}

}  // namespace
}  // namespace et
