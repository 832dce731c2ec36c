// `fennick serve` and SIGTERM: a request in flight (a download until its
// last byte) is finished within the drain period, and one that would
// outlast it does not keep the process, and says so in the exit status.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <regex>
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
      httplib::Client c = server.Client(60);
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
      httplib::Client c = server.Client(120);
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

// Posts `form` to `path` and reads the response slowly, `per_read` bytes
// every 10 ms, through a small receive buffer, so that the server's writes
// wait for the client: a download in progress. Returns what arrived.
std::string SlowDownload(int port, const std::string& path, const std::string& form,
                         size_t per_read) {
  testing::RawClient client(port, nullptr, 16 * 1024);
  if (!client.connected()) return "";
  client.Send("POST " + path +
              " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\n"
              "Content-Length: " + std::to_string(form.size()) + "\r\n\r\n" + form);
  return client.ReadUntilClosed(30, per_read, std::chrono::milliseconds(10));
}

TEST(ServeDrainTest, SigtermLetsADownloadFinishOrCutsItWithAFailingExitStatus) {
  // 100,000 rows make a CSV of some 4 MB: more than the sockets' buffers
  // hold, so the export is still being written while the client reads.
  TempSite site;
  site.Write("export.asp",
             "<%@ Language=\"JScript\" %><% var grid = Server.CreateObject('Fennick.DataGrid');\n"
             "grid.Command = 'SELECT ID, Customer, Region, Amount FROM BigOrders';\n"
             "grid.CreateConnection('Provider=SQLite;Data Source=' + "
             "Server.MapPath('/data/big.db'));\n"
             "grid.PageSize = 20; grid.Display(); %>");
  const struct {
    const char* drain_seconds;
    size_t per_read;  // bytes the client takes every 10 ms
    bool whole;
  } cases[] = {{"30", 32 * 1024, true}, {"1", 4 * 1024, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.drain_seconds);
    DemoServer server({"--demo", "--big", "--big-rows", "100000", "--site", site.root().string(),
                       "--drain-seconds", c.drain_seconds});
    ASSERT_GT(server.port(), 0);
    httplib::Client client("127.0.0.1", server.port());
    auto shown = client.Get("/export.asp");
    ASSERT_TRUE(shown);
    std::smatch button;
    ASSERT_TRUE(std::regex_search(shown->body, button,
                                  std::regex("name=btnExpcsv value=\"([^\"]+)\"")));
    std::string form = "__FARGS=";
    for (unsigned char ch : button[1].str()) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", ch);
      form += std::isalnum(ch) ? std::string(1, static_cast<char>(ch)) : std::string(escaped);
    }
    std::string got;
    std::chrono::steady_clock::time_point done_at;
    std::thread download([&] {
      got = SlowDownload(server.port(), "/export.asp", form, c.per_read);
      done_at = std::chrono::steady_clock::now();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    const int status = server.Stop();  // SIGTERM while the download goes on
    const auto waited = std::chrono::steady_clock::now() - start;
    download.join();
    ASSERT_EQ(got.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << got.substr(0, 300);
    ASSERT_GE(got.size(), 5u);
    EXPECT_EQ(got.substr(got.size() - 5) == "0\r\n\r\n", c.whole) << got.size();
    EXPECT_EQ(got.size() > 4000000, c.whole) << got.size();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (c.whole ? 0 : 1)) << status;
    // The process waited for the download, which was still going when it
    // was told to stop, or cut it at the end of the drain period, not later
    // by the last resort.
    if (c.whole) {
      EXPECT_GT(done_at, start);
    } else {
      EXPECT_LT(waited, std::chrono::milliseconds(2500));
    }
  }
}

}  // namespace
}  // namespace fennick
