// The host among several servers: behind a trusted proxy (client address,
// scheme, secure cookie, no connection cap for the proxy), the health
// check, draining for a shutdown, the metrics listener, and the page a
// session store that fails gives.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fennick/error.h"
#include "fennick/server.h"
#include "fennick/session_stores.h"
#include "platform/web/test_server.h"

namespace fennick {
namespace {

using testing::TestServer;

void RegisterWhoAmI(TestServer& t) {
  t.server().RegisterPage("/who", [](PageContext& page) {
    Request& r = page.request();
    page.session().Set("seen", Variant(true));
    page.response().Write(r.ServerVariables("REMOTE_ADDR") + " " + r.ServerVariables("HTTPS"));
  });
}

TEST(ProxyHostTest, ForwardedHeadersCountOnlyFromTrustedProxies) {
  const httplib::Headers forged = {{"X-Forwarded-For", "198.51.100.7"},
                                   {"X-Forwarded-Proto", "https"}};
  {
    TestServer t;  // trusts nobody
    RegisterWhoAmI(t);
    t.Start();
    auto res = t.Client().Get("/who", forged);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "127.0.0.1 off");
    EXPECT_EQ(res->get_header_value("Set-Cookie").find("Secure"), std::string::npos);
    EXPECT_NE(res->get_header_value("Set-Cookie").find("; HttpOnly"), std::string::npos);
    EXPECT_NE(res->get_header_value("Set-Cookie").find("; SameSite=Lax"), std::string::npos);
  }
  {
    ServerOptions options;
    options.trusted_proxies = {"10.9.9.9", "::ffff:127.0.0.1"};
    TestServer t(options);
    RegisterWhoAmI(t);
    t.Start();
    auto res = t.Client().Get("/who", forged);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "198.51.100.7 on");
    EXPECT_NE(res->get_header_value("Set-Cookie").find("; Secure"), std::string::npos);
    // Garbage from the proxy leaves the proxy as the client.
    auto junk = t.Client().Get(
        "/who", {{"X-Forwarded-For", "'; DROP TABLE x; --"}, {"X-Forwarded-Proto", "gopher"}});
    ASSERT_TRUE(junk);
    EXPECT_EQ(junk->body, "127.0.0.1 off");
  }
  ServerOptions bad;
  bad.trusted_proxies = {"127.0.0.1,proxy.example"};
  try {
    WebServer server(bad);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.description(), "Not a proxy address: proxy.example");
  }
}

TEST(ProxyHostTest, ATrustedProxyIsNotHeldToTheConnectionCap) {
  for (bool trusted : {false, true}) {
    ServerOptions options;
    options.max_connections_per_address = 2;
    if (trusted) options.trusted_proxies = {"127.0.0.1"};
    TestServer t(options);
    t.Start();
    // Five connections kept open: those beyond the cap are answered 503
    // at once.
    std::vector<std::unique_ptr<testing::RawClient>> clients;
    for (int i = 0; i < 5; ++i) clients.push_back(std::make_unique<testing::RawClient>(t.port()));
    int refused = 0;
    for (auto& c : clients)
      refused += c->ReadAll(std::chrono::milliseconds(300)).find(" 503 ") != std::string::npos;
    EXPECT_EQ(refused, trusted ? 0 : 3) << trusted;
  }
}

TEST(ProxyHostTest, HealthCheckDrainAndMetrics) {
  ServerOptions options;
  options.basic_auth_users = {{"u", "p"}};
  options.metrics_address = "127.0.0.1";
  options.metrics_port = 0;
  TestServer t(options);
  std::atomic<bool> release{false};
  t.server().RegisterPage("/slow", [&release](PageContext& page) {
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    page.response().Write("finished");
  });
  // Port 0 with an address still asks for a metrics listener.
  t.Start();
  ASSERT_NE(t.server().metrics_port(), 0);

  // The health check needs no password and no page.
  auto health = t.Client().Get("/healthz");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);
  EXPECT_EQ(health->body, "ok\n");
  EXPECT_EQ(t.Client().Get("/nothing")->status, 401);

  httplib::Client metrics("127.0.0.1", t.server().metrics_port());
  auto text = metrics.Get("/metrics");
  ASSERT_TRUE(text);
  EXPECT_NE(text->body.find("fennick_requests_total{status=\"200\"} 1\n"), std::string::npos)
      << text->body;
  EXPECT_NE(text->body.find("fennick_requests_total{status=\"401\"} 1\n"), std::string::npos);

  // A request in flight when the drain starts still gets its answer; the
  // metrics show it as active meanwhile.
  int slow_status = 0;
  std::string slow_body, slow_connection;
  std::thread client([&] {
    auto c = t.Client();
    c.set_basic_auth("u", "p");
    if (auto res = c.Get("/slow")) {
      slow_status = res->status;
      slow_body = res->body;
      slow_connection = res->get_header_value("Connection");
    }
  });
  for (int i = 0; i < 400; ++i) {
    if (metrics.Get("/metrics")->body.find("fennick_active_requests 1\n") != std::string::npos)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_NE(metrics.Get("/metrics")->body.find("fennick_active_requests 1\n"), std::string::npos);
  t.server().Drain(std::chrono::seconds(20));
  // No new connection is accepted.
  httplib::Client late("127.0.0.1", t.port());
  late.set_connection_timeout(1);
  for (int i = 0; i < 100 && late.Get("/healthz"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(late.Get("/healthz"));
  release = true;
  client.join();
  EXPECT_EQ(slow_status, 200);
  EXPECT_EQ(slow_body, "finished");
  EXPECT_EQ(slow_connection, "close");
  t.Stop();
}

// A store whose every call fails as an unreachable Redis does; it records
// the ids it was asked about.
class DownStore : public SessionStore {
 public:
  Variant Get(std::string_view, std::string_view) override { Fail(); }
  void Set(std::string_view, std::string_view, Variant) override { Fail(); }
  void Remove(std::string_view, std::string_view) override { Fail(); }
  void Abandon(std::string_view) override { Fail(); }
  bool Touch(std::string_view id) override {
    touched.emplace_back(id);
    Fail();
  }
  bool Create(std::string_view) override { Fail(); }
  int32_t TimeoutMinutes() const override { return 20; }
  [[noreturn]] static void Fail() {
    throw Error(kErrSessionStore, "The session store (Redis at 10.0.0.5:6379) cannot be reached",
                "Session object");
  }
  std::vector<std::string> touched;
};

TEST(ProxyHostTest, AFailingSessionStoreGivesAClearPageEvenWhenThePageCaughtIt) {
  auto store = std::make_shared<DownStore>();
  ServerOptions options;
  options.session_store = store;
  std::vector<std::string> logged;
  std::mutex log_mutex;
  options.log = [&](const std::string& line) {
    std::lock_guard<std::mutex> lock(log_mutex);
    logged.push_back(line);
  };
  TestServer t(options);
  t.server().RegisterPage("/cart", [](PageContext& page) {
    try {
      page.session().Set("item", Variant("x"));
    } catch (const Error&) {
      page.response().Write("pretending all is well");
    }
  });
  t.server().RegisterPage("/plain", [](PageContext& page) { page.response().Write("no session"); });
  t.Start();
  const std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>503 Service "
      "Unavailable</title></head><body style=\"font-family:arial,sans-serif\"><h1>Service "
      "Unavailable</h1><p>Sessions are unavailable at the moment: the session store cannot be "
      "reached. Please try again in a moment.</p></body></html>\n";
  auto res = t.Client().Get("/cart");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 503);
  EXPECT_EQ(res->body, page);
  EXPECT_EQ(res->get_header_value("Retry-After"), "5");
  EXPECT_FALSE(res->has_header("Set-Cookie"));

  // A page that never uses the session is served with the cookie, without
  // asking the store. A cookie that cannot be one of our ids never reaches
  // the store; a well-formed one does when the page uses the session, and
  // the store's failure is the same clear page.
  const std::string real = "FennickSessionID=0123456789abcdef0123456789abcdef";
  auto plain = t.Client().Get("/plain", {{"Cookie", real}});
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->status, 200);
  EXPECT_EQ(plain->body, "no session");
  t.Client().Get(
      "/cart",
      {{"Cookie", "FennickSessionID=../../etc; FennickSessionID=" + std::string(5000, 'a') +
                      "; FennickSessionID=0123456789ABCDEF0123456789ABCDEF"}});
  EXPECT_TRUE(store->touched.empty());
  auto cart = t.Client().Get("/cart", {{"Cookie", real}});
  ASSERT_TRUE(cart);
  EXPECT_EQ(cart->status, 503);
  EXPECT_EQ(cart->body, page);
  ASSERT_EQ(store->touched.size(), 1u);
  t.Stop();
  // The operator's log names the cause; the user's page does not.
  bool named = false;
  for (const auto& line : logged) {
    if (line == "session store: The session store (Redis at 10.0.0.5:6379) cannot be reached")
      named = true;
  }
  EXPECT_TRUE(named);
}

TEST(ProxyHostTest, DrainWaitsForDownloadsToTheirEndAndCutsThoseStillGoingWhenTimeIsUp) {
  // The drain starts while the page still runs, before its download has
  // sent a byte; the download then takes half a second.
  for (const bool time_enough : {true, false}) {
    TestServer t;
    t.server().RegisterPage("/export", [](PageContext& page) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      page.response().ContentType("text/csv");
      page.response().StreamBody([](const Response::BodySink& sink) {
        for (int i = 1; i <= 10; ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
          if (!sink("row " + std::to_string(i) + "\n")) return;
        }
      });
    });
    t.Start();
    std::string got;
    std::thread client([&] {
      got = testing::RawRequest(t.port(), "GET /export HTTP/1.1\r\nHost: x\r\n\r\n");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    t.server().Drain(std::chrono::milliseconds(time_enough ? 5000 : 400));
    t.Stop();
    const auto took = std::chrono::steady_clock::now() - start;
    client.join();
    SCOPED_TRACE(time_enough);
    EXPECT_EQ(got.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << got;
    EXPECT_EQ(got.find("row 10\n") != std::string::npos, time_enough) << got;
    ASSERT_GE(got.size(), 5u);
    EXPECT_EQ(got.substr(got.size() - 5) == "0\r\n\r\n", time_enough) << got;
    EXPECT_EQ(t.server().CutResponses(), time_enough ? 0u : 1u);
    if (!time_enough) {
      EXPECT_LT(took, std::chrono::milliseconds(700));
    }
  }
}

TEST(ProxyHostTest, RequestLogCountsTheBytesSentAndNamesTheClient) {
  ServerOptions options;
  options.trusted_proxies = {"127.0.0.1"};
  std::vector<std::string> logged;
  std::mutex log_mutex;
  options.log = [&](const std::string& line) {
    std::lock_guard<std::mutex> lock(log_mutex);
    logged.push_back(line);
  };
  TestServer t(options);
  t.server().RegisterPage("/export", [](PageContext& page) {
    page.response().ContentType("text/csv");
    page.response().StreamBody([](const Response::BodySink& sink) {
      for (int i = 0; i < 200; ++i) sink("row " + std::to_string(i) + ",some text\n");
    });
  });
  t.server().RegisterPage("/page", [](PageContext& page) {
    page.response().Write(std::string(3000, 'x'));
  });
  t.Start();
  const struct {
    const char* path;
    const char* extra;  // further request headers
    const char* client;
  } cases[] = {
      {"/export", "X-Forwarded-For: 203.0.113.7\r\n", "203.0.113.7"},
      {"/export", "Accept-Encoding: br\r\n", "127.0.0.1"},
      {"/page", "Accept-Encoding: gzip\r\nX-Forwarded-For: 198.51.100.2\r\n", "198.51.100.2"},
  };
  for (const auto& c : cases) {
    std::string raw = testing::RawRequest(
        t.port(), std::string("GET ") + c.path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" +
                      c.extra + "\r\n");
    size_t head = raw.find("\r\n\r\n");
    ASSERT_NE(head, std::string::npos) << raw;
    const std::string sent = std::to_string(raw.size() - head - 4);
    std::lock_guard<std::mutex> lock(log_mutex);
    ASSERT_FALSE(logged.empty());
    const std::string& line = logged.back();
    EXPECT_EQ(line.rfind(std::string("GET ") + c.path + " 200 " + sent + " ", 0), 0u)
        << line << " / " << sent;
    EXPECT_EQ(line.substr(line.rfind(' ') + 1), c.client) << line;
  }
}

}  // namespace
}  // namespace fennick
