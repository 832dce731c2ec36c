// What one page can do to the pages after it, over HTTP: built-in objects it
// changes, queries that outrun its time limit, output and native memory
// beyond the caps.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/script/page_harness.h"

namespace fennick {
namespace {

using testing::StartWithScriptPages;
using testing::TestServer;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(PageIsolationTest, BuiltInObjectsComeBackAfterEveryPage) {
  ServerOptions server_options;
  server_options.threads = 1;  // one heap: every page runs where the last one did
  TestServer t(server_options);
  t.site().Write("attack.asp",
                 "<% Array.prototype.sum = function () { return 42; };\n"
                 "   String.prototype.toUpperCase = function () { return 'pwned'; };\n"
                 "   Math.max = function () { return -1; };\n"
                 "   JSON.stringify = function () { return 'stolen'; };\n"
                 "   Object.defineProperty(Object.prototype, 'evil',\n"
                 "       { get: function () { return 'leak'; }, configurable: true });\n"
                 "   Object.defineProperty(Array.prototype, 'push', { enumerable: true });\n"
                 "   Object.getPrototypeOf(this).leaked = 'secret';\n"
                 "   Object.setPrototypeOf(Date.prototype, null);\n"
                 "   delete Array.prototype.join; %>"
                 "<%= [1].sum() + 'abc'.toUpperCase() + Math.max(1, 2) + ({}).evil %>");
  t.site().Write("victim.asp",
                 "<%= typeof [].sum %>|<%= 'abc'.toUpperCase() %>|<%= Math.max(1, 2) %>|"
                 "<%= JSON.stringify([1]) %>|<%= typeof ({}).evil %>|<%= typeof leaked %>|"
                 "<% var keys = []; for (var k in [7]) keys.push(k); %><%= keys.join(',') %>|"
                 "<%= typeof new Date(0).getTime %>");
  // An include that extends a prototype works on every page that uses it.
  t.site().Write("inc/helpers.inc",
                 "<% Array.prototype.total = function () {\n"
                 "     var s = 0; for (var i = 0; i < this.length; ++i) s += this[i]; return s; }; %>");
  t.site().Write("helped.asp", "<!-- #include file=\"inc/helpers.inc\" --><%= [1, 2, 3].total() %>");
  t.site().Write("freeze.asp", "<% Object.freeze(Array.prototype); Object.freeze(Math); %>done");
  t.site().Write("extend.asp", "<% Array.prototype.x = 5; Math.y = 6; %><%= [].x + Math.y %>");
  StartWithScriptPages(t);
  auto c = t.Client();

  const std::string clean = "undefined|ABC|2|[1]|undefined|undefined|0|function";
  EXPECT_EQ(c.Get("/victim.asp")->body, clean);
  EXPECT_EQ(c.Get("/attack.asp")->body, "42pwned-1leak");
  EXPECT_EQ(c.Get("/victim.asp")->body, clean);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(c.Get("/helped.asp")->body, "6");
    EXPECT_EQ(c.Get("/victim.asp")->body, clean);
  }
  // Freezing cannot be undone in place: that heap is retired, and the next
  // page extends the built-ins as usual.
  EXPECT_EQ(c.Get("/freeze.asp")->body, "done");
  EXPECT_EQ(c.Get("/extend.asp")->body, "11");
  EXPECT_EQ(c.Get("/victim.asp")->body, clean);
}

TEST(PageIsolationTest, AQueryStopsAtThePageTimeLimit) {
  TestServer t;
  t.site().Write("data/readme.txt", "the test database is made here");
  // Counts for ever: only a deadline ends it. CommandTimeout stays at 30 s.
  t.site().Write("slow.asp",
                 "<% var conn = Server.CreateObject('ADODB.Connection');\n"
                 "   conn.Open('Provider=SQLite;Data Source=data/t.db;Mode=ReadWriteCreate');\n"
                 "   if (conn.CommandTimeout != 30) throw new Error('timeout changed');\n"
                 "   var rs = conn.Execute('WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL '\n"
                 "       + 'SELECT x + 1 FROM c) SELECT count(*) FROM c');\n"
                 "   Response.Write('finished'); %>");
  ScriptPageOptions options;
  options.time_limit = std::chrono::seconds(1);
  StartWithScriptPages(t, options);
  auto c = t.Client();
  auto start = std::chrono::steady_clock::now();
  auto res = c.Get("/slow.asp");
  double seconds = SecondsSince(start);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 500) << res->body;
  EXPECT_NE(res->body.find("<b>Page stopped</b> in /slow.asp, line 5"), std::string::npos)
      << res->body;
  EXPECT_NE(res->body.find("time limit of 1 second and was stopped."), std::string::npos);
  EXPECT_EQ(res->body.find("finished"), std::string::npos);
  EXPECT_GE(seconds, 0.9);
  EXPECT_LT(seconds, 5.0);
}

TEST(PageIsolationTest, AResponseOverTheCapIsAnErrorPage) {
  ServerOptions server_options;
  server_options.max_response_bytes = 1 << 20;
  TestServer t(server_options);
  // The page catches the refusal and goes on: the output still is not sent.
  t.site().Write("big.asp",
                 "<% var chunk = new Array(65537).join('x');\n"
                 "   for (var i = 0; i < 100; ++i) {\n"
                 "     try { Response.Write(chunk); } catch (e) { }\n"
                 "   } %>");
  t.site().Write("fits.asp", "<% Response.Write(new Array(65537).join('y')); %>");
  StartWithScriptPages(t);
  auto c = t.Client();
  auto res = c.Get("/big.asp");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 500);
  EXPECT_LT(res->body.size(), 4096u) << res->body.substr(0, 300);
  EXPECT_NE(res->body.find("The page's output is larger than the server's limit of "
                           "1048576 bytes for one response"),
            std::string::npos)
      << res->body;
  EXPECT_EQ(c.Get("/fits.asp")->body.size(), 65536u);
}

TEST(PageIsolationTest, NativeObjectsCountAgainstThePageMemoryCap) {
  TestServer t;
  t.site().Write("buffer.asp",
                 "<% var sb = Server.CreateObject('Fennick.StringBuffer');\n"
                 "   var chunk = new Array(1 << 20).join('z');\n"
                 "   for (var i = 0; i < 200; ++i) sb.Append(chunk);\n"
                 "   Response.Write('kept'); %>");
  t.site().Write("grids.asp",
                 "<% var grids = [];\n"
                 "   for (var i = 0; i < 100000; ++i)\n"
                 "     grids.push(Server.CreateObject('Fennick.DataGrid'));\n"
                 "   Response.Write('made ' + grids.length); %>");
  t.site().Write("small.asp", "<%= new Array(1000).join('s').length %>");
  ScriptPageOptions options;
  options.heap_memory_limit = size_t{32} << 20;
  StartWithScriptPages(t, options);
  auto c = t.Client();
  for (const char* page : {"/buffer.asp", "/grids.asp"}) {
    auto res = c.Get(page);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 500) << page;
    // Stopped at a call into a page object, or by a script allocation
    // refused for what the objects hold.
    EXPECT_NE(res->body.find(" in " + std::string(page) + "<br>Out of memory: the page used "
                             "more than the 32 MiB a page may hold (its script and the "
                             "objects it made)"),
              std::string::npos)
        << res->body;
    EXPECT_EQ(res->body.find("kept"), std::string::npos);
    EXPECT_EQ(res->body.find("made 100000"), std::string::npos);
    EXPECT_EQ(c.Get("/small.asp")->body, "999");
  }
}

}  // namespace
}  // namespace fennick
