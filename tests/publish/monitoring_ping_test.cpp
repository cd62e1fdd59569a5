// The monitoring pings against real HTTP and HTTPS servers on the loopback
// interface: their URLs, their success and failures, and their time limit.
#include "publish/monitoring_ping.h"

#include <gtest/gtest.h>

#include <chrono>

#include "publish/errors.h"
#include "support/servers.h"

namespace et {
namespace {

using test::HttpServer;
using Clock = std::chrono::steady_clock;

TEST(PingUrl, StartAndFailAreAddedToThePathBeforeTheQuery) {
  const struct {
    const char* base;
    const char* start;
    const char* fail;
  } cases[] = {
      {"https://hc.example.com/ping/abc", "https://hc.example.com/ping/abc/start",
       "https://hc.example.com/ping/abc/fail"},
      {"https://hc.example.com/ping/abc/", "https://hc.example.com/ping/abc/start",
       "https://hc.example.com/ping/abc/fail"},
      {"http://h:8000/p?rid=1", "http://h:8000/p/start?rid=1", "http://h:8000/p/fail?rid=1"},
      {"http://h/p#x", "http://h/p/start#x", "http://h/p/fail#x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PingUrl(c.base, PingEvent::kSuccess), c.base);
    EXPECT_EQ(PingUrl(c.base, PingEvent::kStart), c.start);
    EXPECT_EQ(PingUrl(c.base, PingEvent::kFail), c.fail);
  }
}

TEST(SendPing, A2xxReplySucceedsOverHttpAndHttpsWithASelfSignedCertificate) {
  for (const HttpServer::Scheme scheme : {HttpServer::Scheme::kHttp, HttpServer::Scheme::kHttps}) {
    HttpServer server(scheme);
    ASSERT_NO_THROW(SendPing(server.BaseUrl() + "/ping/abc/start"));
    ASSERT_NO_THROW(SendPing(server.BaseUrl() + "/status/204"));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/ping/abc/start");
  }
}

TEST(SendPing, FailuresRaiseTheirError) {
  HttpServer server;
  EXPECT_THROW(SendPing(server.BaseUrl() + "/status/500"), HttpError);
  EXPECT_THROW(SendPing(server.BaseUrl() + "/status/302"), HttpError);
  EXPECT_THROW(SendPing("http://127.0.0.1:" + std::to_string(test::ClosedPort()) + "/p"),
               NetworkError);
  EXPECT_THROW(SendPing("ftp://127.0.0.1/p"), NetworkError);
  EXPECT_THROW(SendPing(""), NetworkError);
  EXPECT_THROW(SendPing(server.BaseUrl() + "/p\r\nX-Injected: 1"), NetworkError);
  // Nothing reached the server for the last one.
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(SendPing, AServerThatNeverAnswersIsLeftAfterTheTimeLimit) {
  HttpServer server;
  const auto started = Clock::now();
  EXPECT_THROW(SendPing(server.BaseUrl() + "/silent", std::chrono::milliseconds(1500)),
               NetworkError);
  const auto took = Clock::now() - started;
  EXPECT_GE(took, std::chrono::milliseconds(1400));
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_EQ(kPingTimeLimit, std::chrono::seconds(10));
}

}  // namespace
}  // namespace et
