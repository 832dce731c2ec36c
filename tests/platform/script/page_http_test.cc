// Script pages served over HTTP: changes on disk, the time limit, error
// answers, many pages at once on the pool of heaps, and values stored the
// classic way in both session stores.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "fennick/error.h"
#include "fennick/session_stores.h"
#include "platform/script/page_harness.h"
#include "platform/web/test_services.h"

namespace fennick {
namespace {

using testing::StartWithScriptPages;
using testing::TestServer;

TEST(PageHttpTest, APageChangedOnDiskIsServedInItsNewForm) {
  TestServer t;
  t.site().Write("page.asp", "<%= 'version ' + 'AAAA' %>");
  t.site().Write("inc/part.inc", "part 1");
  t.site().Write("with.asp", "<!-- #include file=\"inc/part.inc\" -->");
  StartWithScriptPages(t);
  auto c = t.Client();
  EXPECT_EQ(c.Get("/page.asp")->body, "version AAAA");
  EXPECT_EQ(c.Get("/with.asp")->body, "part 1");

  // Rewritten in place with the same size and its old modification time
  // restored: the compiled page stands, so the file was not read again.
  auto file = t.site().root() / "page.asp";
  auto stamp = std::filesystem::last_write_time(file);
  t.site().Write("page.asp", "<%= 'version ' + 'BBBB' %>");
  std::filesystem::last_write_time(file, stamp);
  EXPECT_EQ(c.Get("/page.asp")->body, "version AAAA");

  // A real change (a later modification time) is served on the next request.
  std::filesystem::last_write_time(file, stamp + std::chrono::seconds(2));
  EXPECT_EQ(c.Get("/page.asp")->body, "version BBBB");
  t.site().Write("page.asp", "<%= 'changed again, longer' %>");
  EXPECT_EQ(c.Get("/page.asp")->body, "changed again, longer");

  // So does a change of an include.
  t.site().Write("inc/part.inc", "part 2, edited");
  EXPECT_EQ(c.Get("/with.asp")->body, "part 2, edited");

  // And a broken page that gets fixed.
  t.site().Write("page.asp", "<% if ( %>");
  EXPECT_EQ(c.Get("/page.asp")->status, 500);
  t.site().Write("page.asp", "<%= 'fixed' %>");
  EXPECT_EQ(c.Get("/page.asp")->body, "fixed");
}

TEST(PageHttpTest, APageOverItsTimeLimitIsStoppedWhileOthersAreServed) {
  TestServer t;
  t.site().Write("loop.asp", "<% Response.Write('started');\nwhile (true) {\n  try { for (;;) {} } "
                             "catch (e) { Response.Write('caught'); }\n} %>");
  t.site().Write("quick.asp", "<%= 'quick ' + Request.QueryString('n') %>");
  ScriptPageOptions options;
  // Long enough that the quick pages finish inside it on a loaded machine.
  options.time_limit = std::chrono::seconds(3);
  StartWithScriptPages(t, options);

  std::atomic<bool> loop_done{false};
  int loop_status = 0;
  std::string loop_body;
  auto start = std::chrono::steady_clock::now();
  std::thread looping([&] {
    auto c = t.Client();
    if (auto res = c.Get("/loop.asp")) {
      loop_status = res->status;
      loop_body = res->body;
    }
    loop_done = true;
  });
  // While the loop runs, another client is served, again and again.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto c = t.Client();
  for (int i = 0; i < 5; ++i) {
    auto res = c.Get("/quick.asp?n=" + std::to_string(i));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "quick " + std::to_string(i));
  }
  EXPECT_FALSE(loop_done.load());
  looping.join();
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(loop_status, 500);
  EXPECT_EQ(loop_body.rfind("<div", 0), 0u) << loop_body;  // nothing of what it wrote
  EXPECT_NE(loop_body.find("<b>Page stopped</b> in /loop.asp, line 3"), std::string::npos)
      << loop_body;
  EXPECT_NE(loop_body.find("time limit of 3 seconds"), std::string::npos);
  EXPECT_EQ(loop_body.find("caught"), std::string::npos);
  EXPECT_GE(seconds, 3.0);
  EXPECT_LT(seconds, 15.0);

  // The server goes on serving the stopped page's neighbours.
  EXPECT_EQ(c.Get("/quick.asp?n=x")->body, "quick x");
}

TEST(PageHttpTest, AnErrorAnswerCarriesOnlyTheErrorPage) {
  TestServer t;
  // Each page writes a partial page, makes it a download, and then fails.
  const std::string partial =
      "<% Response.ContentType = 'application/vnd.ms-excel';\n"
      "Response.AddHeader('Content-Disposition', 'attachment; filename=x.xls');\n"
      "Response.Write('partial page'); %>";
  t.site().Write("script.asp", partial + "<% null.x; %>");
  t.site().Write("component.asp", partial + "<% Server.CreateObject('No.Such'); %>");
  // 64 MiB of output against a 32 MiB cap: the response buffer counts.
  t.site().Write("memory.asp", partial +
                                   "<% var mib = new Array((1 << 20) + 1).join('x');\n"
                                   "for (var i = 0; i < 64; i++) Response.Write(mib); %>");
  t.server().RegisterPage("/handler", [](PageContext& page) {
    page.response().ContentType("text/csv");
    page.response().Write(std::string(1 << 20, 'p'));
    throw Error(5, "handler failed", "Test");
  });
  ScriptPageOptions options;
  options.heap_memory_limit = size_t{32} << 20;
  StartWithScriptPages(t, options);
  const struct {
    const char* path;
    const char* says;
  } cases[] = {
      {"/script.asp", "Script error</b> in /script.asp, line 3"},
      {"/component.asp", "Invalid ProgID"},
      {"/memory.asp", "Out of memory: the page used more than the 32 MiB"},
      {"/handler", "handler failed"},
  };
  for (const auto& c : cases) {
    auto res = t.Client().Get(c.path);
    ASSERT_TRUE(res) << c.path;
    EXPECT_EQ(res->status, 500) << c.path;
    EXPECT_EQ(res->body.rfind("<div", 0), 0u) << c.path << ": " << res->body.substr(0, 80);
    EXPECT_LT(res->body.size(), 2000u) << c.path;
    EXPECT_NE(res->body.find(c.says), std::string::npos) << c.path << ": " << res->body;
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8") << c.path;
    EXPECT_FALSE(res->has_header("Content-Disposition")) << c.path;
  }
}

TEST(PageHttpTest, ConcurrentPagesEachSeeTheirOwnRequest) {
  TestServer t;
  t.site().Write("echo.asp",
                 "<% var sb = Server.CreateObject('Fennick.StringBuffer');\n"
                 "   for (var i = 0; i < 200; i++) sb.Append(Request('n'));\n"
                 "   mine = Request('n'); %><%= mine %>:<%= sb.ToString().length %>");
  StartWithScriptPages(t);
  std::atomic<int> good{0};
  std::vector<std::thread> clients;
  for (int k = 0; k < 8; ++k) {
    clients.emplace_back([&, k] {
      auto c = t.Client();
      for (int i = 0; i < 10; ++i) {
        std::string n = std::to_string(k * 100 + i);
        auto res = c.Get("/echo.asp?n=" + n);
        if (res && res->body == n + ":" + std::to_string(200 * n.size())) ++good;
      }
    });
  }
  for (auto& th : clients) th.join();
  EXPECT_EQ(good.load(), 80);
}

// `Session(k) = v` and its kin store through the setters in the in-process
// store and in Redis; a Request item stores its text. An assignment to any
// other call is an error naming its own line.
TEST(PageHttpTest, ClassicAssignmentsStoreInBothSessionStores) {
  auto env = testing::ServiceEnv("redis");
  ASSERT_FALSE(env["FENNICK_REDIS_PORT"].empty())
      << "No Redis test server: run scripts/services/redis-start.sh";
  for (bool redis : {false, true}) {
    ServerOptions options;
    if (redis) {
      options.session_store = MakeRedisSessionStore(
          RedisAddress{"127.0.0.1", std::atoi(env["FENNICK_REDIS_PORT"].c_str()), 3, "", ""});
    }
    TestServer t(options);
    t.site().Write(
        "store.asp",
        "<% Session(\"user\") = Request.QueryString(\"user\")\n"
        "   Session.Item('multi') = Request.Form('v'); Application.Contents('hits') = 7\n"
        "   if (Request('n')) Session('n') = +Request('n'); else Session('n') += 1\n"
        "   Response.Cookies('lang') = Session.Contents('lang') = 'fr' %>stored");
    t.site().Write("read.asp",
                   "<%= Session('user') %>|<%= Session.Contents('multi') %>|"
                   "<%= typeof Session('n') %> <%= Session('n') %>|<%= Application('hits') %>|"
                   "<%= Session('lang') %>");
    t.site().Write("broken.asp", "<% Session('a') = 1\nSession('b') = 2 %>\n<% foo(1) = 2 %>");
    StartWithScriptPages(t);
    auto c = t.Client();
    auto stored = c.Post("/store.asp?user=%3Cb%3E%22ann%22&n=4", "v=a&v=%3Cx%3E",
                         "application/x-www-form-urlencoded");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->body, "stored");
    httplib::Headers session;
    for (size_t i = 0; i < stored->get_header_value_count("Set-Cookie"); ++i) {
      std::string cookie = stored->get_header_value("Set-Cookie", i);
      if (cookie.rfind("FennickSessionID=", 0) == 0) {
        session = {{"Cookie", cookie.substr(0, cookie.find(';'))}};
      } else {
        EXPECT_EQ(cookie.substr(0, 8), "lang=fr;");
      }
    }
    ASSERT_FALSE(session.empty());
    EXPECT_EQ(c.Get("/read.asp", session)->body, "<b>\"ann\"|a, <x>|number 4|7|fr");
    c.Get("/store.asp", session);
    EXPECT_EQ(c.Get("/read.asp", session)->body, "||number 5|7|fr");

    auto broken = c.Get("/broken.asp");
    EXPECT_EQ(broken->status, 500);
    EXPECT_NE(broken->body.find("/broken.asp, line 3<br>"), std::string::npos) << broken->body;
  }
}

}  // namespace
}  // namespace fennick
