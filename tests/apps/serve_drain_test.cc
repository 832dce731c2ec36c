// `fennick serve` and SIGTERM: a request in flight is finished within the
// drain period, and one that would outlast it does not keep the process.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>

#include "demo_server.h"
#include "platform/web/test_server.h"

namespace fennick {
namespace {

using test_support::DemoServer;
using testing::TempSite;

// Spins for ms=N milliseconds, then answers.
const char kBusyPage[] =
    "<%@ Language=\"JScript\" %><% var ms = Number(Request.QueryString('ms'));\n"
    "var t = new Date().getTime(); while (new Date().getTime() - t < ms) {} %>done after <%= ms %>";

TEST(ServeDrainTest, SigtermFinishesRequestsInFlightWithinTheDrainPeriod) {
  TempSite site;
  site.Write("busy.asp", kBusyPage);
  {
    DemoServer server({"--site", site.root().string(), "--drain-seconds", "20"});
    ASSERT_GT(server.port(), 0);
    std::string body;
    std::thread client([&] {
      httplib::Client c("127.0.0.1", server.port());
      c.set_read_timeout(60);
      if (auto res = c.Get("/busy.asp?ms=1500")) body = res->body;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const int status = server.Stop();  // SIGTERM while the page runs
    client.join();
    EXPECT_EQ(body, "done after 1500");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  {
    // The page would run for a minute; the process leaves after its one
    // second of drain (and the two seconds' margin), saying why.
    DemoServer server(
        {"--site", site.root().string(), "--drain-seconds", "1", "--page-timeout", "120"});
    ASSERT_GT(server.port(), 0);
    std::thread client([&] {
      httplib::Client c("127.0.0.1", server.port());
      c.set_read_timeout(120);
      c.Get("/busy.asp?ms=60000");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto start = std::chrono::steady_clock::now();
    const int status = server.Stop();
    const auto waited = std::chrono::steady_clock::now() - start;
    client.join();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_LT(waited, std::chrono::seconds(30));
  }
}

}  // namespace
}  // namespace fennick
