// Compressed responses: the coding a browser's Accept-Encoding gets, at
// most one Content-Encoding, bodies (buffered and streamed) that decode to
// what the page wrote, and streamed pieces that reach the browser as they
// are produced rather than when the encoder pleases.
#include "platform/web/content_coding.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>

#include "fennick/server.h"
#include "platform/web/test_server.h"

namespace fennick {
namespace {

using testing::TestServer;

TEST(ContentCodingTest, BrotliThenGzipUnlessRefused) {
  const struct {
    const char* accept;
    ContentCoding coding;
  } cases[] = {
      {"", ContentCoding::kIdentity},
      {"gzip, deflate, br", ContentCoding::kBrotli},
      {"gzip", ContentCoding::kGzip},
      {"x-gzip", ContentCoding::kGzip},
      {"br;q=0, gzip", ContentCoding::kGzip},
      {" BR ; Q=0.5 , gzip;q=0.8", ContentCoding::kGzip},
      {"gzip;q=0,br;q=0", ContentCoding::kIdentity},
      {"*", ContentCoding::kBrotli},
      {"*;q=0", ContentCoding::kIdentity},
      {"br;q=0, *", ContentCoding::kGzip},
      {"identity, deflate", ContentCoding::kIdentity},
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseContentCoding(c.accept), c.coding) << c.accept;
}

TEST(ContentCodingTest, ResponsesAreCompressedOnceAndDecodeToThePage) {
  TestServer t;
  std::string html, csv_head = "id,name\n", csv;
  for (int i = 0; i < 400; ++i) html += "<tr><td>" + std::to_string(i) + "</td><td>Ann</td></tr>\n";
  for (int i = 0; i < 3000; ++i) csv += std::to_string(i) + ",row " + std::to_string(i) + "\n";
  t.server().RegisterPage("/page", [&](PageContext& page) { page.response().Write(html); });
  t.server().RegisterPage("/tiny", [](PageContext& page) { page.response().Write("<p>hi</p>"); });
  t.server().RegisterPage("/png", [&](PageContext& page) {
    page.response().ContentType("image/png");
    page.response().Write(html);
  });
  // A page that encoded its body itself keeps its own Content-Encoding.
  t.server().RegisterPage("/own", [&](PageContext& page) {
    page.response().AddHeader("Content-Encoding", "gzip");
    page.response().Write(html);
  });
  t.server().RegisterPage("/export", [&](PageContext& page) {
    page.response().ContentType("text/csv");
    page.response().Write(csv_head);
    page.response().StreamBody([&](const Response::BodySink& sink) {
      for (size_t at = 0; at < csv.size(); at += 5000) {
        if (!sink(std::string_view(csv).substr(at, 5000))) return;
      }
    });
  });
  t.Start();

  const struct {
    const char* path;
    const std::string& body;
    bool compressible;
  } pages[] = {{"/page", html, true},   {"/export", csv_head + csv, true},
               {"/png", html, false},   {"/own", html, false}};
  for (const char* accept : {"br", "gzip", "identity"}) {
    for (const auto& p : pages) {
      auto c = t.Client();
      c.set_decompress(std::string(p.path) != "/own");
      auto res = c.Get(p.path, {{"Accept-Encoding", accept}});
      ASSERT_TRUE(res) << p.path << " " << accept;
      SCOPED_TRACE(std::string(p.path) + " with " + accept);
      EXPECT_EQ(res->status, 200);
      EXPECT_EQ(res->body, p.body);
      const std::string expected = std::string(p.path) == "/own" ? "gzip"
                                   : !p.compressible || accept == std::string("identity")
                                       ? ""
                                       : accept;
      EXPECT_EQ(res->get_header_value_count("Content-Encoding"), expected.empty() ? 0u : 1u);
      EXPECT_EQ(res->get_header_value("Content-Encoding"), expected);
      EXPECT_EQ(res->get_header_value("Vary"), p.compressible ? "Accept-Encoding" : "");
    }
  }
  // Too small to gain anything.
  auto tiny = t.Client().Get("/tiny", {{"Accept-Encoding", "br"}});
  ASSERT_TRUE(tiny);
  EXPECT_FALSE(tiny->has_header("Content-Encoding"));
}

TEST(ContentCodingTest, StreamedPiecesReachTheBrowserAsTheyAreProduced) {
  TestServer t;
  // The producer holds its second piece back until the browser decoded the
  // first; an encoder that kept the first piece back would make it wait
  // the full three seconds and send "late".
  std::shared_ptr<std::promise<void>> seen;
  t.server().RegisterPage("/drip", [&](PageContext& page) {
    std::shared_future<void> first_seen = seen->get_future().share();
    page.response().ContentType("text/csv");
    page.response().StreamBody([first_seen](const Response::BodySink& sink) {
      sink(std::string(3000, 'a') + "\n");
      bool in_time = first_seen.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
      sink(in_time ? "second\n" : "late\n");
    });
  });
  t.Start();
  for (const char* accept : {"br", "gzip", "identity"}) {
    seen = std::make_shared<std::promise<void>>();
    std::string got;
    bool signalled = false;
    auto res = t.Client().Get("/drip", {{"Accept-Encoding", accept}},
                              [&](const char* data, size_t length) {
                                got.append(data, length);
                                if (!signalled && got.find('\n') != std::string::npos) {
                                  signalled = true;
                                  seen->set_value();
                                }
                                return true;
                              });
    ASSERT_TRUE(res) << accept;
    EXPECT_EQ(got, std::string(3000, 'a') + "\nsecond\n") << accept;
  }
}

}  // namespace
}  // namespace fennick
