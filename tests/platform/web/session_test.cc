// Sessions over real HTTP: started only when a page needs one, capped
// without ever dropping sessions in use, limited per client, and a doubled
// cookie never trades the live session for another.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "fennick/script_pages.h"
#include "test_server.h"

namespace fennick {
namespace {

using testing::TestServer;

// The memory store, counting the sessions created in it.
class CountingStore : public SessionStore {
 public:
  explicit CountingStore(size_t max_sessions) : inner_(MakeMemorySessionStore(20, max_sessions)) {}
  Variant Get(std::string_view id, std::string_view name) override { return inner_->Get(id, name); }
  void Set(std::string_view id, std::string_view name, Variant value) override {
    inner_->Set(id, name, std::move(value));
  }
  void Remove(std::string_view id, std::string_view name) override { inner_->Remove(id, name); }
  void Abandon(std::string_view id) override { inner_->Abandon(id); }
  bool Touch(std::string_view id) override { return inner_->Touch(id); }
  bool Create(std::string_view id) override {
    ++created;
    return inner_->Create(id);
  }
  int32_t TimeoutMinutes() const override { return inner_->TimeoutMinutes(); }
  int32_t SessionTimeoutMinutes(std::string_view id) override {
    return inner_->SessionTimeoutMinutes(id);
  }
  void SetSessionTimeout(std::string_view id, int32_t minutes) override {
    inner_->SetSessionTimeout(id, minutes);
  }

  std::atomic<int> created{0};

 private:
  std::shared_ptr<SessionStore> inner_;
};

// "FennickSessionID=<id>" from a response's Set-Cookie; "" without one.
std::string SessionCookie(const httplib::Result& res) {
  if (!res || !res->has_header("Set-Cookie")) return "";
  std::string cookie = res->get_header_value("Set-Cookie");
  return cookie.substr(0, cookie.find(';'));
}

void RegisterCounter(WebServer& server) {
  server.RegisterPage("/count", [](PageContext& page) {
    Variant n = page.session().Get("n");
    int64_t next = n.IsEmpty() ? 1 : n.AsInt64() + 1;
    page.session().Set("n", Variant(next));
    page.response().Write(std::to_string(next));
  });
}

TEST(SessionTest, StartsOnlyWhenAPageStoresReadsTheIdOrSetsTheTimeout) {
  auto store = std::make_shared<CountingStore>(0);
  ServerOptions options;
  options.session_store = store;
  TestServer t(options);
  WebServer& server = t.server();
  server.RegisterPage("/read", [](PageContext& page) {
    Session& s = page.session();
    s.Remove("x");
    s.Abandon();
    page.response().Write("[" + s.Get("x").AsString() + "] " + std::to_string(s.Timeout()));
  });
  server.RegisterPage("/store", [](PageContext& page) { page.session().Set("x", Variant("v")); });
  server.RegisterPage("/id", [](PageContext& page) {
    page.response().Write(page.session().SessionID());
  });
  server.RegisterPage("/timeout", [](PageContext& page) { page.session().Timeout(5); });
  server.SetObjectFactory([](std::string_view) { return nullptr; });
  EnableScriptPages(server);
  t.site().Write("read.asp", "<%= typeof Session('x') %> <%= Session.Timeout %>");
  t.site().Write("timeout.asp", "<% Session.Timeout = 7 %><%= Session.Timeout %>");
  t.Start();
  auto c = t.Client();

  // A flood of requests that only read creates nothing and sets no cookie.
  for (int i = 0; i < 200; ++i) {
    auto res = c.Get("/read");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->body, "[] 20");
    ASSERT_FALSE(res->has_header("Set-Cookie"));
  }
  auto script = c.Get("/read.asp");
  EXPECT_EQ(script->body, "undefined 20");
  EXPECT_FALSE(script->has_header("Set-Cookie"));
  EXPECT_EQ(store->created.load(), 0);

  // Storing a value starts the session; the browser keeps it after that.
  auto stored = c.Get("/store");
  std::string cookie = SessionCookie(stored);
  ASSERT_EQ(cookie.size(), std::string("FennickSessionID=").size() + 32);
  EXPECT_EQ(store->created.load(), 1);
  auto again = c.Get("/read", {{"Cookie", cookie}});
  EXPECT_FALSE(again->has_header("Set-Cookie"));
  EXPECT_EQ(again->body, "[] 20");  // the page removed and abandoned it
  EXPECT_EQ(store->created.load(), 1);

  // Reading the id starts one, and the id is the cookie's.
  auto id = c.Get("/id");
  EXPECT_EQ(SessionCookie(id), "FennickSessionID=" + id->body);
  EXPECT_EQ(store->created.load(), 2);

  // So does setting the timeout, which that session then keeps.
  auto timed = c.Get("/timeout");
  cookie = SessionCookie(timed);
  ASSERT_FALSE(cookie.empty());
  EXPECT_EQ(c.Get("/read", {{"Cookie", cookie}})->body, "[] 5");
  auto script_timed = c.Get("/timeout.asp");
  EXPECT_EQ(script_timed->body, "7");
  EXPECT_FALSE(SessionCookie(script_timed).empty());
  EXPECT_EQ(store->created.load(), 4);
}

// Cookie headers of a new session and of its second request: a user who
// came back.
httplib::Headers ReturningUser(httplib::Client& c) {
  httplib::Headers user = {{"Cookie", SessionCookie(c.Get("/count"))}};
  c.Get("/count", user);
  return user;
}

TEST(SessionTest, AtTheCapNewSessionsNeverPushOutSessionsInUse) {
  ServerOptions options;
  options.max_sessions = 3;
  TestServer t(options);
  RegisterCounter(t.server());
  t.Start();
  auto c = t.Client();
  httplib::Headers a = ReturningUser(c), b = ReturningUser(c);
  httplib::Headers once = {{"Cookie", SessionCookie(c.Get("/count"))}};
  // The next newcomer takes the place of the one that never came back, not
  // of the least recently used (a).
  httplib::Headers next = {{"Cookie", SessionCookie(c.Get("/count"))}};
  EXPECT_EQ(c.Get("/count", a)->body, "3");
  EXPECT_EQ(c.Get("/count", b)->body, "3");
  EXPECT_EQ(c.Get("/count", next)->body, "2");
  auto gone = c.Get("/count", once);
  EXPECT_EQ(gone->body, "1");
  // Now every session is in use: a newcomer's page runs with a session of
  // its own that is not kept, and gets no cookie.
  EXPECT_EQ(SessionCookie(gone), "");
  EXPECT_EQ(c.Get("/count", a)->body, "4");
}

TEST(SessionTest, AFloodOfCookielessRequestsLogsNobodyOut) {
  ServerOptions options;
  options.max_new_sessions_per_address = 0;  // one address plays every attacker
  TestServer t(options);
  RegisterCounter(t.server());
  t.Start();
  auto c = t.Client();
  std::vector<httplib::Headers> users;
  for (int i = 0; i < 3; ++i) users.push_back(ReturningUser(c));
  // 10,001 new sessions against the default cap of 10,000, over four
  // kept-alive connections.
  std::atomic<int> flood{0}, failed{0};
  std::vector<std::thread> attackers;
  for (int k = 0; k < 4; ++k) {
    attackers.emplace_back([&] {
      auto client = t.Client();
      client.set_keep_alive(true);
      while (flood++ < 10001) {
        auto res = client.Get("/count");
        if (!res || res->status != 200) ++failed;
      }
    });
  }
  for (auto& th : attackers) th.join();
  EXPECT_EQ(failed.load(), 0);
  for (auto& user : users) EXPECT_EQ(c.Get("/count", user)->body, "3");
  EXPECT_FALSE(SessionCookie(c.Get("/count")).empty());  // newcomers still get one
}

TEST(SessionTest, OneClientStartsAtMostTheLimitOfNewSessionsAMinute) {
  ServerOptions options;
  options.max_new_sessions_per_address = 3;
  options.trusted_proxies = {"127.0.0.1"};
  TestServer t(options);
  RegisterCounter(t.server());
  t.Start();
  auto c = t.Client();
  auto from = [&](const char* client, const std::string& cookie = "") {
    httplib::Headers headers = {{"X-Forwarded-For", client}};
    if (!cookie.empty()) headers.emplace("Cookie", cookie);
    return c.Get("/count", headers);
  };
  std::string first = SessionCookie(from("203.0.113.7"));
  for (int i = 0; i < 2; ++i) EXPECT_FALSE(SessionCookie(from("203.0.113.7")).empty());
  // Over the limit the page still runs, with a session that is not kept.
  auto refused = from("203.0.113.7");
  EXPECT_EQ(refused->status, 200);
  EXPECT_EQ(refused->body, "1");
  EXPECT_EQ(SessionCookie(refused), "");
  // Its sessions go on; other clients behind the same proxy are not held.
  EXPECT_EQ(from("203.0.113.7", first)->body, "2");
  EXPECT_FALSE(SessionCookie(from("203.0.113.8")).empty());
}

TEST(SessionTest, ACookieSentTwiceKeepsTheLiveSession) {
  TestServer t;
  RegisterCounter(t.server());
  t.Start();
  auto c = t.Client();
  std::string live = SessionCookie(c.Get("/count"));
  ASSERT_FALSE(live.empty());
  const std::string forged = "FennickSessionID=0123456789abcdef0123456789abcdef";

  auto res = c.Get("/count", {{"Cookie", live + "; " + forged}});
  EXPECT_EQ(res->body, "2");
  EXPECT_FALSE(res->has_header("Set-Cookie"));
  res = c.Get("/count", {{"Cookie", forged + "; " + live}});
  EXPECT_EQ(res->body, "3");
  EXPECT_FALSE(res->has_header("Set-Cookie"));
  res = c.Get("/count", {{"Cookie", forged}, {"Cookie", "theme=dark; " + live}});
  EXPECT_EQ(res->body, "4");
  EXPECT_FALSE(res->has_header("Set-Cookie"));

  // Two ids the server issued: the first one is kept, the other untouched.
  std::string other = SessionCookie(c.Get("/count"));
  res = c.Get("/count", {{"Cookie", live + "; " + other}});
  EXPECT_EQ(res->body, "5");
  EXPECT_EQ(c.Get("/count", {{"Cookie", other}})->body, "2");
}

}  // namespace
}  // namespace fennick
