// Request framing: where a request ends, what the HTTP library is handed,
// and the framings that are refused because readers could disagree on them.
#include "platform/web/request_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fennick {
namespace {

struct Outcome {
  RequestFramer::Result result;
  int status = 0;
  std::string request;  // what the library reads, when complete
  size_t consumed = 0;
};

// Feeds `bytes` one byte at a time, as a dripping client sends them, so
// every resumption point of the framer is crossed.
Outcome FrameByBytes(const std::string& bytes, FramingLimits limits = {}) {
  RequestFramer framer(limits);
  Outcome out;
  out.result = RequestFramer::Result::kNeedMore;
  for (size_t n = 1; n <= bytes.size(); ++n) {
    out.result = framer.Advance(std::string_view(bytes).substr(0, n));
    if (out.result != RequestFramer::Result::kNeedMore) break;
  }
  if (out.result == RequestFramer::Result::kComplete) {
    out.consumed = framer.Consumed();
    out.request = framer.TakeRequest();
  } else if (out.result == RequestFramer::Result::kFailed) {
    out.status = framer.FailureStatus();
  }
  return out;
}

// Feeds everything at once.
Outcome Frame(const std::string& bytes, FramingLimits limits = {}) {
  RequestFramer framer(limits);
  Outcome out;
  out.result = framer.Advance(bytes);
  if (out.result == RequestFramer::Result::kComplete) {
    out.consumed = framer.Consumed();
    out.request = framer.TakeRequest();
  } else if (out.result == RequestFramer::Result::kFailed) {
    out.status = framer.FailureStatus();
  }
  return out;
}

TEST(RequestFramerTest, SoundRequestsAreRewrittenWithOneContentLength) {
  const std::string get = "GET /a?b=1 HTTP/1.1\r\nHost: x\r\nX-Note:  padded \t\r\n\r\n";
  for (auto frame : {Frame, FrameByBytes}) {
    Outcome out = frame(get + "GET /next", {});
    ASSERT_EQ(out.result, RequestFramer::Result::kComplete);
    EXPECT_EQ(out.request, "GET /a?b=1 HTTP/1.1\r\nHost: x\r\nX-Note: padded\r\n\r\n");
  }
  // The pipelined bytes after the request are left for the next one.
  EXPECT_EQ(Frame(get + "GET /next").consumed, get.size());

  const std::string post = "POST /p HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello";
  Outcome out = FrameByBytes(post + "extra");
  ASSERT_EQ(out.result, RequestFramer::Result::kComplete);
  EXPECT_EQ(out.request, "POST /p HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello");
  EXPECT_EQ(out.consumed, post.size());

  // The same length twice is one length.
  out = Frame("POST /p HTTP/1.0\r\nContent-Length: 3\r\nContent-Length: 3, 3\r\n\r\nabc");
  ASSERT_EQ(out.result, RequestFramer::Result::kComplete);
  EXPECT_EQ(out.request, "POST /p HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc");

  // A chunked body arrives decoded, with its length; extensions and
  // trailers are dropped, the coding name is case-insensitive.
  const std::string chunked =
      "POST /p HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: Chunked\r\nExpect: 100-continue\r\n\r\n"
      "5;name=v\r\nhello\r\n1\r\n \r\n5\r\nworld\r\n0\r\nX-Trailer: t\r\n\r\n";
  for (auto frame : {Frame, FrameByBytes}) {
    out = frame(chunked, {});
    ASSERT_EQ(out.result, RequestFramer::Result::kComplete);
    EXPECT_EQ(out.request, "POST /p HTTP/1.1\r\nHost: x\r\nContent-Length: 11\r\n\r\nhello world");
    EXPECT_EQ(out.consumed, chunked.size());
  }

  // Blank lines before a request and bare LF line ends are tolerated.
  out = Frame("\r\n\r\nGET / HTTP/1.0\nHost: x\n\n");
  ASSERT_EQ(out.result, RequestFramer::Result::kComplete);
  EXPECT_EQ(out.request, "GET / HTTP/1.0\r\nHost: x\r\n\r\n");

  // A header line the HTTP library would refuse (over 8 KB) travels beside
  // the head, which carries a mark in its place.
  const std::string cookie(10000, 'c');
  RequestFramer framer({});
  ASSERT_EQ(framer.Advance("GET / HTTP/1.1\r\nHost: x\r\nCookie: " + cookie + "\r\n\r\n"),
            RequestFramer::Result::kComplete);
  EXPECT_EQ(framer.TakeRequest(),
            "GET / HTTP/1.1\r\nHost: x\r\nCookie: \x01"
            "0\r\n\r\n");
  EXPECT_EQ(framer.TakeSetAsideValues(), std::vector<std::string>{cookie});
}

TEST(RequestFramerTest, AmbiguousFramingIsRefused) {
  struct Case {
    const char* bytes;
    int status;
  };
  const std::vector<Case> cases = {
      // Two readers could each pick a different length.
      {"POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 50\r\n\r\nhello", 400},
      {"POST / HTTP/1.1\r\nContent-Length: 5, 6\r\n\r\nhello", 400},
      {"POST / HTTP/1.1\r\nContent-Length: abc\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nContent-Length: 0x10\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nContent-Length: \r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nContent-Length : 5\r\n\r\nhello", 400},
      // A chunk without its CRLF, a bad size line, a size line without CR.
      {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhelloXX0\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n0\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\nhello\r\n0\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked, chunked\r\n\r\n0\r\n\r\n", 400},
      {"POST / HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 400},
      // Transfer codings Fennick does not decode.
      {"POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n", 501},
      {"POST / HTTP/1.1\r\nTransfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n", 501},
      {"POST / HTTP/1.1\r\nTransfer-Encoding: identity\r\n\r\n", 501},
      // Malformed heads.
      {"GARBAGE\r\n\r\n", 400},
      {"GET  / HTTP/1.1\r\n\r\n", 400},
      {"GET / x HTTP/1.1\r\n\r\n", 400},
      {"GET / HTTP/2.0\r\n\r\n", 505},
      {"GET / HTTP/1.1\r\nHost: x\r\n folded\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nNo colon\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nX: a\rb\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nExpect: something\r\n\r\n", 417},
      // No host, or more than one: each reader could take another.
      {"GET / HTTP/1.1\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", 400},
      {"GET / HTTP/1.0\r\nHost: a\r\nhost: a\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nHost: a, b\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nHost: user@evil/x\r\n\r\n", 400},
  };
  for (const Case& c : cases) {
    for (auto frame : {Frame, FrameByBytes}) {
      Outcome out = frame(c.bytes, {});
      EXPECT_EQ(out.result, RequestFramer::Result::kFailed) << c.bytes;
      EXPECT_EQ(out.status, c.status) << c.bytes;
    }
  }
}

TEST(RequestFramerTest, LimitsAreEnforcedBeforeTheBytesArrive) {
  FramingLimits limits;
  limits.max_head_bytes = 200;
  limits.max_body_bytes = 100;
  // A declared length over the limit fails at once, without its body.
  Outcome out = Frame("POST / HTTP/1.1\r\nContent-Length: 101\r\n\r\n", limits);
  EXPECT_EQ(out.status, 413);
  out = Frame("POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n", limits);
  EXPECT_EQ(out.status, 413);
  // Chunks add up; a single huge chunk size fails before its data.
  out = Frame("POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n40\r\n" +
                  std::string(64, 'a') + "\r\n40\r\n",
              limits);
  EXPECT_EQ(out.status, 413);
  out = Frame(
      "POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffffff\r\n",
      limits);
  EXPECT_EQ(out.status, 413);
  // A head that never ends fails as soon as it passes the limit.
  out = Frame("GET / HTTP/1.1\r\nX-Drip: " + std::string(300, 'd'), limits);
  EXPECT_EQ(out.status, 431);
  out = Frame("GET /" + std::string(9000, 'p'), {});
  EXPECT_EQ(out.status, 414);
  // A body exactly at the limit is fine.
  out = Frame("POST / HTTP/1.0\r\nContent-Length: 100\r\n\r\n" + std::string(100, 'b'), limits);
  EXPECT_EQ(out.result, RequestFramer::Result::kComplete);
}

TEST(RequestFramerTest, ContinueIsWantedOnlyWhileTheBodyIsAwaited) {
  RequestFramer framer({});
  std::string bytes = "POST / HTTP/1.0\r\nExpect: 100-Continue\r\nContent-Length: 2\r\n";
  EXPECT_EQ(framer.Advance(bytes), RequestFramer::Result::kNeedMore);
  EXPECT_FALSE(framer.WantsContinue());  // the head is not complete yet
  bytes += "\r\n";
  EXPECT_EQ(framer.Advance(bytes), RequestFramer::Result::kNeedMore);
  EXPECT_TRUE(framer.WantsContinue());
  bytes += "ok";
  EXPECT_EQ(framer.Advance(bytes), RequestFramer::Result::kComplete);
  EXPECT_FALSE(framer.WantsContinue());
  EXPECT_EQ(framer.TakeRequest(), "POST / HTTP/1.0\r\nContent-Length: 2\r\n\r\nok");

  // Reset readies the framer for the next request on the connection.
  framer.Reset();
  EXPECT_EQ(framer.Advance("GET / HTTP/1.1\r\nHost: x\r\n\r\n"), RequestFramer::Result::kComplete);
  EXPECT_EQ(framer.TakeRequest(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
}

}  // namespace
}  // namespace fennick
