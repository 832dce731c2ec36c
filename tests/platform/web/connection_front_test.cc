// The host's connection side over real sockets: dripping clients, the
// per-address cap, pipelined requests, and requests whose framing is loose.
// Each test is the attack that once worked against the host.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "test_server.h"

namespace fennick {
namespace {

using testing::RawClient;
using testing::TestServer;
using Clock = std::chrono::steady_clock;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A server whose /echo page answers its method, query and posted body, and
// counts the pages run.
class ConnectionFrontTest : public ::testing::Test {
 protected:
  void StartServer(ServerOptions options) {
    server_ = std::make_unique<TestServer>(std::move(options));
    server_->server().RegisterPage("/echo", [this](PageContext& page) {
      ++pages_run_;
      page.response().Write(page.request().Method() + " " +
                            page.request().QueryString("i") + " [" + page.request().Body() +
                            "] " + page.request().Form("f"));
    });
    server_->server().RegisterPage("/header", [](PageContext& page) {
      std::string value = page.request().ServerVariables("HTTP_X_LONG");
      page.response().Write(std::to_string(value.size()) + " " + value.substr(0, 3));
    });
    server_->Start();
  }
  int port() const { return server_->port(); }

  std::unique_ptr<TestServer> server_;
  std::atomic<int> pages_run_{0};
};

TEST_F(ConnectionFrontTest, DrippingClientsNeitherHoldWorkersNorCrowdOutOthers) {
  ServerOptions options;
  options.threads = 4;  // far fewer workers than drippers
  options.max_connections_per_address = 8;
  StartServer(options);

  // 100 clients from 100 addresses, each within its address's share, and
  // 100 more from one address, all sending a header byte now and then.
  std::vector<std::unique_ptr<RawClient>> drippers;
  for (int i = 0; i < 100; ++i) {
    std::string from = "127.0.1." + std::to_string(i + 1);
    drippers.push_back(std::make_unique<RawClient>(port(), from.c_str()));
    ASSERT_TRUE(drippers.back()->connected());
    drippers.back()->Send("GET /echo HTTP/1.1\r\nHost: x\r\nX-Drip: ");
  }
  std::vector<std::unique_ptr<RawClient>> crowd;
  for (int i = 0; i < 100; ++i) {
    crowd.push_back(std::make_unique<RawClient>(port(), "127.0.2.1"));
    crowd.back()->Send("GET /echo HTTP/1.1\r\nHost: x\r\nX-Drip: ");
  }
  std::atomic<bool> dripping{true};
  std::thread drip([&] {
    while (dripping) {
      for (auto& d : drippers) d->Send("d");
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });

  // A new client is served promptly.
  auto start = Clock::now();
  httplib::Client fresh("127.0.0.1", port());
  fresh.set_connection_timeout(1);
  fresh.set_read_timeout(1);
  auto res = fresh.Get("/echo?i=fresh");
  auto elapsed = Clock::now() - start;
  dripping = false;
  drip.join();
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, "GET fresh [] ");
  EXPECT_LT(elapsed, std::chrono::seconds(1));

  // The crowd from one address got its share; the rest were refused at once.
  size_t refused = 0;
  for (auto& c : crowd) {
    if (c->Answered()) {
      std::string answer = c->ReadAll(std::chrono::milliseconds(500));
      EXPECT_EQ(answer.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u) << answer;
      ++refused;
    }
  }
  EXPECT_EQ(refused, 92u);
  // No dripper was refused or answered: each is within its share.
  for (auto& d : drippers) EXPECT_FALSE(d->Answered());
  EXPECT_EQ(pages_run_.load(), 1);
}

TEST_F(ConnectionFrontTest, RequestsMustArriveWithinTheDeadline) {
  ServerOptions options;
  options.request_deadline_seconds = 1;
  StartServer(options);

  RawClient dripper(port());
  ASSERT_TRUE(dripper.Send("GET /echo HTTP/1.1\r\nHost: x\r\n"));
  auto start = Clock::now();
  std::string answer;
  while (Clock::now() - start < std::chrono::seconds(3) && !dripper.Answered()) {
    dripper.Send("X");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  auto elapsed = Clock::now() - start;
  answer = dripper.ReadAll(std::chrono::milliseconds(500));
  EXPECT_EQ(answer.rfind("HTTP/1.1 408 Request Timeout\r\n", 0), 0u) << answer;
  EXPECT_NE(answer.find("Connection: close"), std::string::npos);
  EXPECT_GE(elapsed, std::chrono::milliseconds(900));
  EXPECT_LT(elapsed, std::chrono::milliseconds(2500));

  // A slow body counts against the same deadline.
  RawClient slow_body(port());
  slow_body.Send("POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n");
  start = Clock::now();
  while (Clock::now() - start < std::chrono::seconds(3) && !slow_body.Answered()) {
    slow_body.Send("b");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  answer = slow_body.ReadAll(std::chrono::milliseconds(500));
  EXPECT_EQ(answer.rfind("HTTP/1.1 408 Request Timeout\r\n", 0), 0u) << answer;
  EXPECT_EQ(pages_run_.load(), 0);
}

TEST_F(ConnectionFrontTest, PipelinedRequestsAreAnsweredInOrder) {
  StartServer({});
  RawClient client(port());
  ASSERT_TRUE(client.Send(
      "GET /echo?i=1 HTTP/1.1\r\nHost: x\r\n\r\n"
      "POST /echo?i=2 HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
      "Content-Length: 5\r\n\r\nf=two"
      "GET /echo?i=3 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
  std::string answers = client.ReadAll();
  EXPECT_EQ(Count(answers, "HTTP/1.1 200 OK\r\n"), 3u) << answers;
  size_t first = answers.find("GET 1 [] ");
  size_t second = answers.find("POST 2 [f=two] two");
  size_t third = answers.find("GET 3 [] ");
  ASSERT_NE(first, std::string::npos) << answers;
  ASSERT_NE(second, std::string::npos) << answers;
  ASSERT_NE(third, std::string::npos) << answers;
  EXPECT_LT(first, second);
  EXPECT_LT(second, third);

  // Requests after one that closes the connection are not answered, and
  // the answer says the connection closes.
  RawClient closing(port());
  closing.Send("GET /echo?i=a HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"
               "GET /echo?i=b HTTP/1.1\r\nHost: x\r\n\r\n");
  answers = closing.ReadAll();
  EXPECT_EQ(Count(answers, "HTTP/1.1 "), 1u) << answers;
  EXPECT_NE(answers.find("Connection: close\r\n"), std::string::npos);
  EXPECT_NE(answers.find("GET a [] "), std::string::npos);

  // A client that sends its requests and half-closes still gets them all.
  RawClient half(port());
  half.Send("GET /echo?i=x HTTP/1.1\r\nHost: x\r\n\r\nGET /echo?i=y HTTP/1.1\r\nHost: x\r\n\r\n");
  half.ShutdownWrite();
  answers = half.ReadAll();
  EXPECT_EQ(Count(answers, "HTTP/1.1 200 OK\r\n"), 2u) << answers;
  EXPECT_LT(answers.find("GET x [] "), answers.find("GET y [] "));
}

TEST_F(ConnectionFrontTest, LooselyFramedRequestsAreRefused) {
  ServerOptions options;
  options.max_body_bytes = 4096;
  StartServer(options);
  struct Case {
    std::string request;
    const char* status_line;
  };
  const std::vector<Case> cases = {
      {"POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nContent-Length: 32\r\n\r\n"
       "hello" "GET /echo?i=smuggled HTTP/1.1\r\nHost: x\r\n\r\n",
       "HTTP/1.1 400 Bad Request\r\n"},
      {"POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: five\r\n\r\nhello",
       "HTTP/1.1 400 Bad Request\r\n"},
      {"POST /echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
       "5\r\nhelloGET /echo?i=smuggled HTTP/1.1\r\n\r\n0\r\n\r\n",
       "HTTP/1.1 400 Bad Request\r\n"},
      {"POST /echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\n\r\nxxxx",
       "HTTP/1.1 501 Not Implemented\r\n"},
      {"POST /echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n"
       "0\r\n\r\n",
       "HTTP/1.1 400 Bad Request\r\n"},
      {"POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 5000\r\n\r\n",
       "HTTP/1.1 413 Payload Too Large\r\n"},
      // Which host is meant must be beyond doubt.
      {"GET /echo HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"GET /echo HTTP/1.1\r\nConnection: close\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      // One header line over the head limit (16 KB by default).
      {"GET /echo HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(17000, 'l') + "\r\n\r\n",
       "HTTP/1.1 431 Request Header Fields Too Large\r\n"},
  };
  for (const Case& c : cases) {
    RawClient client(port());
    client.Send(c.request);
    std::string answer = client.ReadAll();
    EXPECT_EQ(answer.rfind(c.status_line, 0), 0u) << c.request << "\n->\n" << answer;
    // One answer, and the connection closed: nothing after the refused
    // request is read as a request of its own.
    EXPECT_EQ(Count(answer, "HTTP/1.1 "), 1u) << answer;
    EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos) << answer;
  }
  EXPECT_EQ(pages_run_.load(), 0);

  // A sound chunked body reaches the page decoded.
  RawClient chunked(port());
  chunked.Send("POST /echo?i=c HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
               "Content-Type: application/x-www-form-urlencoded\r\nConnection: close\r\n\r\n"
               "3\r\nf=a\r\n2\r\nbc\r\n0\r\n\r\n");
  std::string answer = chunked.ReadAll();
  EXPECT_NE(answer.find("POST c [f=abc] abc"), std::string::npos) << answer;
  // So does a header line over the HTTP library's own 8 KB but within the
  // head limit, whole.
  auto long_line = server_->Client().Get("/header", {{"X-Long", "abc" + std::string(12000, 'l')}});
  ASSERT_TRUE(long_line);
  EXPECT_EQ(long_line->body, "12003 abc");

  // A multipart body over the limit is 413 too.
  httplib::Client client("127.0.0.1", port());
  httplib::MultipartFormDataItems items = {{"f", std::string(5000, 'm'), "", ""}};
  auto res = client.Post("/echo", items);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 413);
  EXPECT_EQ(pages_run_.load(), 1);
}

}  // namespace
}  // namespace fennick
