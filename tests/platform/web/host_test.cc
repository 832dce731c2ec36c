// The web host over real HTTP: static files and what is never served, form
// and query parsing, sessions, redirects, limits, concurrency.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <set>
#include <vector>

#include "fennick/error.h"
#include "test_server.h"

namespace fennick {
namespace {

using testing::TestServer;

TEST(HostTest, ServesAllowedStaticFilesOnly) {
  TestServer t;
  t.site().Write("index.html", "<p>home</p>");
  t.site().Write("css/a.css", "body{}");
  t.site().Write("report.csv", "a,b\n");
  t.site().Write("notes.md", "secret notes");
  t.site().Write("page.asp", "<% secret source %>");
  t.site().Write("data/demo.db", "database bytes");
  t.site().Write("data/export.csv", "private");
  t.site().Write("DATA/upper.txt", "private too");
  t.site().Write(".hidden.txt", "hidden");
  t.Start();
  auto c = t.Client();

  auto res = c.Get("/css/a.css");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body, "body{}");
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/css; charset=utf-8");
  EXPECT_EQ(c.Get("/report.csv")->status, 200);
  auto home = c.Get("/");
  EXPECT_EQ(home->status, 200);
  EXPECT_EQ(home->body, "<p>home</p>");

  for (const char* path : {"/notes.md", "/page.asp", "/data/demo.db", "/data/export.csv",
                           "/Data/export.csv", "/DATA/upper.txt", "/.hidden.txt",
                           "/missing.html"}) {
    auto r = c.Get(path);
    ASSERT_TRUE(r) << path;
    EXPECT_GE(r->status, 400) << path;
    EXPECT_EQ(r->body.find("secret"), std::string::npos) << path;
    EXPECT_EQ(r->body.find("private"), std::string::npos) << path;
  }
}

TEST(HostTest, RefusesPathsLeavingTheSite) {
  TestServer t;
  t.site().Write("ok.txt", "inside");
  std::filesystem::path outside = t.site().root().parent_path() / "fennick-outside.txt";
  std::ofstream(outside) << "outside secret";
  std::filesystem::create_symlink(outside, t.site().root() / "link.txt");
  t.Start();
  for (const char* target : {"/../fennick-outside.txt", "/%2e%2e/fennick-outside.txt",
                             "/%2E%2E%2Ffennick-outside.txt", "/css/..%2f..%2ffennick-outside.txt",
                             "/link.txt", "/ok.txt%00.html"}) {
    std::string raw =
        testing::RawRequest(t.port(), std::string("GET ") + target +
                                          " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    ASSERT_FALSE(raw.empty()) << target;
    EXPECT_EQ(raw.find("outside secret"), std::string::npos) << target;
    EXPECT_TRUE(raw.rfind("HTTP/1.1 4", 0) == 0) << target << ": " << raw.substr(0, 40);
  }
  std::filesystem::remove(outside);
}

TEST(HostTest, ParsesQueryFormAndMultipartFields) {
  TestServer t;
  t.server().RegisterPage("/echo", [](PageContext& page) {
    Request& r = page.request();
    Response& out = page.response();
    out.Write("color=" + r.Form("COLOR") + "\n");
    out.Write("count=" + std::to_string(r.FormFields().Count()) + "\n");
    for (size_t i = 0; i < r.FormFields().Count(); ++i) {
      out.Write("name=" + r.FormFields().Name(i) + "\n");
    }
    out.Write("q=" + r.QueryString("q") + "\n");
    out.Write("item=" + r("x") + "\n");
    out.Write("method=" + r.ServerVariables("REQUEST_METHOD") + "\n");
    out.Write("url=" + r.ServerVariables("URL") + "\n");
    out.Write("qs=" + r.ServerVariables("QUERY_STRING") + "\n");
    out.Write("agent=" + r.ServerVariables("HTTP_USER_AGENT") + "\n");
    out.Write("custom=" + r.ServerVariables("HTTP_X_CUSTOM_THING") + "\n");
    out.Write("port=" + r.ServerVariables("SERVER_PORT") + "\n");
    out.Write("remote=" + r.ServerVariables("REMOTE_ADDR") + "\n");
  });
  t.Start();
  auto c = t.Client();

  httplib::Headers headers = {{"User-Agent", "probe/1"}, {"X-Custom-Thing", "v"}};
  auto res = c.Post("/echo?q=a%20b&x=fromquery", headers,
                    "color=red&size=9&color=blue&x=fromform&empty=", "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  const std::string& b = res->body;
  // The query's x comes before the form's.
  for (const std::string& line : std::vector<std::string>{
           "color=red, blue\n", "count=4\n", "name=color\nname=size\nname=x\nname=empty\n",
           "q=a b\n", "item=fromquery\n", "method=POST\n", "url=/echo\n",
           "qs=q=a%20b&x=fromquery\n", "agent=probe/1\n", "custom=v\n",
           "port=" + std::to_string(t.port()) + "\n", "remote=127.0.0.1\n"}) {
    EXPECT_NE(b.find(line), std::string::npos) << line << " in " << b;
  }

  httplib::MultipartFormDataItems items = {
      {"size", "10", "", ""}, {"color", "green", "", ""}, {"color", "teal", "", ""},
      {"x", "multi", "", ""}};
  res = c.Post("/echo", items);
  ASSERT_TRUE(res);
  EXPECT_NE(res->body.find("color=green, teal\n"), std::string::npos) << res->body;
  EXPECT_NE(res->body.find("name=size\nname=color\nname=x\n"), std::string::npos) << res->body;
  EXPECT_NE(res->body.find("item=multi\n"), std::string::npos) << res->body;
}

TEST(HostTest, RequestItemSearchesQueryFormCookiesThenVariables) {
  Request r;
  r.MutableQuery().Add("a", "q");
  r.MutableForm().Add("a", "f");
  r.MutableForm().Add("b", "f");
  r.MutableCookies().Add("b", "c");
  r.MutableCookies().Add("c", "c");
  r.SetVariable("c", "v");
  r.SetVariable("URL", "/p");
  EXPECT_EQ(r("a"), "q");
  EXPECT_EQ(r("B"), "f");
  EXPECT_EQ(r("c"), "c");
  EXPECT_EQ(r("url"), "/p");
  EXPECT_EQ(r("none"), "");
}

TEST(HostTest, ServerUtilities) {
  EXPECT_EQ(Server::URLEncode("a b+c/é"), "a+b%2Bc%2F%C3%A9");
  EXPECT_EQ(Server::HTMLEncode("<a href=\"x\">&</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;");

  Server s("/srv/site", "/reports/list.asp", nullptr, "en_US");
  EXPECT_EQ(s.MapPath("/data/demo.db"), std::filesystem::path("/srv/site/data/demo.db"));
  EXPECT_EQ(s.MapPath("tmp/x.xls"), std::filesystem::path("/srv/site/reports/tmp/x.xls"));
  EXPECT_EQ(s.MapPath("../img/a.png"), std::filesystem::path("/srv/site/img/a.png"));
  EXPECT_EQ(s.MapPath("/"), std::filesystem::path("/srv/site"));
  for (const char* escape : {"../../etc/passwd", "/../x", "/a/../../x", "%2e%2e/%2e%2e/x",
                             "..%2F..%2Fx", "..\\..\\x", "/%2E%2E"}) {
    EXPECT_THROW(s.MapPath(escape), Error) << escape;
  }
}

TEST(HostTest, SessionsPersistPerClientAndStayApart) {
  TestServer t;
  t.server().RegisterPage("/count", [](PageContext& page) {
    Variant n = page.session().Get("n");
    int64_t next = n.IsEmpty() ? 1 : n.AsInt64() + 1;
    page.session().Set("N", Variant(next));
    page.response().Write(std::to_string(next));
  });
  t.Start();
  auto a = t.Client();
  auto b = t.Client();
  auto first = a.Get("/count");
  ASSERT_TRUE(first);
  std::string cookie = first->get_header_value("Set-Cookie");
  EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
  EXPECT_NE(cookie.find("SameSite=Lax"), std::string::npos);
  std::string id = cookie.substr(0, cookie.find(';'));
  EXPECT_EQ(id.size(), std::string("FennickSessionID=").size() + 32);

  httplib::Headers with_a = {{"Cookie", id}};
  EXPECT_EQ(a.Get("/count", with_a)->body, "2");
  EXPECT_EQ(a.Get("/count", with_a)->body, "3");
  EXPECT_EQ(b.Get("/count")->body, "1");  // another browser
  EXPECT_EQ(a.Get("/count", with_a)->body, "4");

  // An id the server never issued is replaced, not adopted.
  httplib::Headers forged = {{"Cookie", "FennickSessionID=00000000000000000000000000000000"}};
  auto res = b.Get("/count", forged);
  EXPECT_EQ(res->body, "1");
  EXPECT_EQ(res->get_header_value("Set-Cookie").find("00000000000000000000000000000000"),
            std::string::npos);
}

TEST(HostTest, RedirectEndsThePageAndResponseMembersReachTheBrowser) {
  TestServer t;
  t.server().RegisterPage("/go", [](PageContext& page) {
    page.response().Write("before");
    page.response().Redirect("/target?x=1");
    page.response().Write("never");
  });
  t.server().RegisterPage("/headers", [](PageContext& page) {
    Response& r = page.response();
    r.ContentType("text/plain");
    r.Charset("iso-8859-1");
    r.AddHeader("X-Report", "yes\r\nInjected: 1");
    r.Status("404 Nothing Here");
    r.Expires(0);
    r.SetCookie("theme", "dark blue");
    r.Write("dropped");
    r.Clear();
    r.Write("kept");
    r.End();
    r.Write("never");
  });
  t.Start();
  auto c = t.Client();
  auto res = c.Get("/go");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 302);
  EXPECT_EQ(res->get_header_value("Location"), "/target?x=1");
  EXPECT_EQ(res->body.find("never"), std::string::npos);
  EXPECT_EQ(res->body.find("before"), std::string::npos);

  res = c.Get("/headers");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
  EXPECT_EQ(res->body, "kept");
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/plain; charset=iso-8859-1");
  EXPECT_EQ(res->get_header_value("X-Report"), "yesInjected: 1");
  EXPECT_FALSE(res->has_header("Injected"));
  EXPECT_EQ(res->get_header_value("Cache-Control"), "no-cache");
  bool theme = false;
  for (size_t i = 0; i < res->get_header_value_count("Set-Cookie"); ++i) {
    if (res->get_header_value("Set-Cookie", i).rfind("theme=dark+blue;", 0) == 0) theme = true;
  }
  EXPECT_TRUE(theme);
}

TEST(HostTest, RejectsOversizedAndMalformedRequests) {
  ServerOptions options;
  options.max_fields = 50;
  TestServer t(options);
  t.server().RegisterPage("/p", [](PageContext& page) { page.response().Write("ran"); });
  t.Start();
  auto c = t.Client();
  std::string big(2 * 1024 * 1024, 'a');
  auto res = c.Post("/p", "f=" + big, "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 413);

  std::string many;
  for (int i = 0; i < 60; ++i) many += "f" + std::to_string(i) + "=1&";
  res = c.Post("/p", many, "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 413);

  httplib::Headers huge = {{"X-Big", std::string(8000, 'h')}, {"X-Big2", std::string(8000, 'h')},
                           {"X-Big3", std::string(8000, 'h')}};
  res = c.Get("/p", huge);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 431);

  std::string garbage = testing::RawRequest(t.port(), "GARBAGE\r\n\r\n");
  EXPECT_TRUE(garbage.empty() || garbage.rfind("HTTP/1.1 4", 0) == 0) << garbage;
  // The server is still alive after all of it.
  res = c.Get("/p");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, "ran");
}

struct PageValue {
  std::string value;
};

TEST(HostTest, ConcurrentPagesSeeOnlyTheirOwnState) {
  TestServer t;
  std::atomic<int> pages_run{0};
  t.server().RegisterPage("/state", [&pages_run](PageContext& page) {
    // Two lookups of the state with a pause between them: another page's
    // value showing up would mean state shared between requests.
    page.State<PageValue>().value = page.request().QueryString("v");
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    PageContext* current = CurrentPage();
    page.response().Write(current ? current->State<PageValue>().value : "none");
    ++pages_run;
  });
  t.Start();
  std::atomic<int> wrong{0}, failed{0};
  std::vector<std::thread> clients;
  for (int conn = 0; conn < 8; ++conn) {
    clients.emplace_back([&, conn] {
      auto c = t.Client();
      c.set_keep_alive(true);
      for (int i = 0; i < 8; ++i) {
        std::string v = std::to_string(conn * 100 + i);
        auto res = c.Get(("/state?v=" + v).c_str());
        if (!res) {
          ++failed;
        } else if (res->body != v) {
          ++wrong;
        }
      }
    });
  }
  for (auto& th : clients) th.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(pages_run.load(), 64);
}

TEST(HostTest, IdleKeepAliveConnectionsDoNotStarveNewClients) {
  ServerOptions options;
  options.threads = 24;
  TestServer t(options);
  t.server().RegisterPage("/p", [](PageContext& page) { page.response().Write("ok"); });
  t.Start();
  std::vector<httplib::Client> idle;
  idle.reserve(20);
  for (int i = 0; i < 20; ++i) {
    idle.emplace_back("127.0.0.1", t.port());
    idle.back().set_keep_alive(true);
    ASSERT_TRUE(idle.back().Get("/p"));
  }
  // The twenty connections stay open and hold their workers; a new client
  // must still get through promptly.
  httplib::Client fresh("127.0.0.1", t.port());
  fresh.set_connection_timeout(1);
  fresh.set_read_timeout(1);
  auto res = fresh.Get("/p");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, "ok");
}

TEST(HostTest, BasicAuthenticationFillsRemoteUser) {
  ServerOptions options;
  options.basic_auth_users = {{"ann", "s3cret"}};
  TestServer t(options);
  t.server().RegisterPage("/who", [](PageContext& page) {
    page.response().Write(page.request().ServerVariables("REMOTE_USER"));
  });
  t.Start();
  auto c = t.Client();
  auto res = c.Get("/who");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 401);
  EXPECT_NE(res->get_header_value("WWW-Authenticate").find("Basic"), std::string::npos);
  c.set_basic_auth("ann", "wrong");
  EXPECT_EQ(c.Get("/who")->status, 401);
  c.set_basic_auth("ann", "s3cret");
  res = c.Get("/who");
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body, "ann");
}

TEST(HostTest, WithoutAuthenticationRemoteUserIsEmpty) {
  TestServer t;
  t.server().RegisterPage("/who", [](PageContext& page) {
    page.response().Write("[" + page.request().ServerVariables("REMOTE_USER") + "]");
  });
  t.Start();
  auto c = t.Client();
  c.set_basic_auth("ann", "whatever");
  EXPECT_EQ(c.Get("/who")->body, "[]");
}

TEST(HostTest, StreamedBodiesAreChunkedUncappedAndAbortWithoutTheFinalChunk) {
  ServerOptions options;
  // Far below the streamed size: streamed pieces are never held whole, so
  // the cap on buffered output does not apply to them.
  options.max_response_bytes = 1000;
  TestServer t(options);
  auto rows = [](int count, int fail_at) {
    return [count, fail_at](const Response::BodySink& sink) {
      for (int i = 1; i <= count; ++i) {
        if (i == fail_at) throw Error(-1, "database gone at row " + std::to_string(i), "test");
        if (!sink("row " + std::to_string(i) + "\n")) return;
      }
    };
  };
  t.server().RegisterPage("/stream", [&](PageContext& page) {
    page.response().ContentType("text/csv");
    page.response().Write("head\n");
    auto inner = rows(5000, 0);
    PageContext* expected = &page;
    page.response().StreamBody([inner, expected](const Response::BodySink& sink) {
      // The producer still runs as the page: its deadline applies.
      if (CurrentPage() != expected) throw Error(-1, "not bound", "test");
      inner(sink);
    });
    page.response().End();
  });
  t.server().RegisterPage("/broken", [&](PageContext& page) {
    page.response().StreamBody(rows(5000, 3000));
  });
  t.server().RegisterPage("/late", [&](PageContext& page) {
    page.response().StreamBody(rows(10, 0));
    throw Error(-1, "failed before the end", "test");
  });
  t.server().RegisterPage("/overdue", [&](PageContext& page) {
    page.Deadline(std::chrono::steady_clock::now() - std::chrono::seconds(1));
    page.response().StreamBody([](const Response::BodySink& sink) {
      sink("first\n");
      CheckPageDeadline("test");
      sink("never\n");
    });
  });
  t.Start();

  std::string expected = "head\n";
  for (int i = 1; i <= 5000; ++i) expected += "row " + std::to_string(i) + "\n";
  auto c = t.Client();
  auto res = c.Get("/stream");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Transfer-Encoding"), "chunked");
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/csv; charset=utf-8");
  EXPECT_EQ(res->body, expected);

  // A whole stream ends with the final chunk; a failed one stops after the
  // rows already sent and the connection closes without it.
  const std::string request = "GET /stream HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  std::string whole = testing::RawRequest(t.port(), request);
  ASSERT_GE(whole.size(), 5u);
  EXPECT_EQ(whole.substr(whole.size() - 5), "0\r\n\r\n");
  std::string broken =
      testing::RawRequest(t.port(), "GET /broken HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_NE(broken.find("row 2999\n"), std::string::npos);
  EXPECT_EQ(broken.find("row 3000\n"), std::string::npos);
  EXPECT_NE(broken.substr(broken.size() - 5), "0\r\n\r\n");
  EXPECT_FALSE(c.Get("/broken"));  // the client library sees a failed download

  // An error escaping the page drops the stream for the error page.
  res = c.Get("/late");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 500);
  EXPECT_NE(res->body.find("failed before the end"), std::string::npos);
  EXPECT_EQ(res->body.find("row 1"), std::string::npos);

  // An HTTP/1.0 client knows no chunks: the body goes as it is and ends
  // with the connection. HEAD gets the head alone.
  std::string old = testing::RawRequest(t.port(), "GET /stream HTTP/1.0\r\n\r\n");
  EXPECT_EQ(old.find("Transfer-Encoding"), std::string::npos) << old.substr(0, 300);
  EXPECT_NE(old.find("Connection: close\r\n"), std::string::npos);
  ASSERT_NE(old.find("\r\n\r\n"), std::string::npos);
  EXPECT_EQ(old.substr(old.find("\r\n\r\n") + 4), expected);
  std::string head = testing::RawRequest(
      t.port(), "HEAD /stream HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n") << head;

  std::string overdue = testing::RawRequest(
      t.port(), "GET /overdue HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_NE(overdue.find("first\n"), std::string::npos);
  EXPECT_EQ(overdue.find("never"), std::string::npos);
  EXPECT_NE(overdue.substr(overdue.size() - 5), "0\r\n\r\n");
}

}  // namespace
}  // namespace fennick
