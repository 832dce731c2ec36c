// The fennick executable: serving the demo site, version, usage errors,
// the limits of `serve` against slow and greedy clients.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "apps/demo_server.h"
#include "platform/web/test_server.h"

namespace {

std::string RunCommand(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  char buf[512];
  while (pipe && fgets(buf, sizeof buf, pipe)) out += buf;
  int rc = pipe ? pclose(pipe) : -1;
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

TEST(ServeTest, VersionAndUsage) {
  int status = 0;
  EXPECT_EQ(RunCommand(std::string(FENNICK_BINARY) + " version", &status), "2.0.643\n");
  EXPECT_EQ(status, 0);
  // A command's --help is the usage, even after an option that is wrong.
  for (const char* help :
       {" --help", " serve --help", " serve --port nope -h", " version --help"}) {
    std::string out = RunCommand(std::string(FENNICK_BINARY) + help + " 2>&1", &status);
    EXPECT_EQ(out.rfind("Usage:\n  fennick serve", 0), 0u) << help << ": " << out;
    EXPECT_EQ(status, 0) << help;
  }
  RunCommand(std::string(FENNICK_BINARY) + " serve --port nope 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
  RunCommand(std::string(FENNICK_BINARY) + " serve --site /no/such/folder 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
  RunCommand(std::string(FENNICK_BINARY) + " serve --page-timeout 0 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
  RunCommand(std::string(FENNICK_BINARY) + " serve --request-deadline 0 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
  for (const char* bad : {"--max-sessions many", "--max-new-sessions many", "--page-memory 0"}) {
    RunCommand(std::string(FENNICK_BINARY) + " serve " + bad + " 2>/dev/null", &status);
    EXPECT_EQ(status, 2) << bad;
  }
  RunCommand(std::string(FENNICK_BINARY) + " serve --sqlserver-odbc-driver 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
}

TEST(ServeTest, ConnectionCapAndRequestDeadlineOptionsHold) {
  fennick::testing::TempSite site;
  fennick::test_support::DemoServer server({"--site", site.root().string(),
                                            "--max-connections-per-address", "2",
                                            "--request-deadline", "1"});
  const int port = server.port();
  ASSERT_NE(port, 0);

  // Two connections dripping their heads are all this address may hold:
  // a third is refused at once.
  using fennick::testing::RawClient;
  RawClient first(port), second(port), third(port);
  first.Send("GET / HTTP/1.1\r\nHost: x\r\n");
  second.Send("GET / HTTP/1.1\r\nHost: x\r\n");
  third.Send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  std::string refused = third.ReadAll(std::chrono::milliseconds(2000));
  EXPECT_EQ(refused.rfind("HTTP/1.1 503 ", 0), 0u) << refused;

  // Neither dripper finishes within the one-second deadline.
  for (int i = 0; i < 6; ++i) {
    first.Send("X");
    second.Send("X");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  std::string late = first.ReadAll(std::chrono::milliseconds(2000));
  EXPECT_EQ(late.rfind("HTTP/1.1 408 ", 0), 0u) << late;

  EXPECT_TRUE(WIFEXITED(server.Stop()));
}

TEST(ServeTest, DemoAnswersTheHomePageAndStopsOnSigterm) {
  fennick::test_support::DemoServer server;
  const int port = server.port();
  ASSERT_NE(port, 0);

  httplib::Client client = server.Client(5);
  auto res = client.Get("/");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_NE(res->body.find("Fennick"), std::string::npos);
  EXPECT_NE(res->body.find("2.0.643"), std::string::npos);
  // The home page is a script page: this sentence is assembled by a
  // StringBuffer that the page creates.
  EXPECT_NE(res->body.find("<em>pages drive the component's objects by their members, as they "
                           "always did.</em>"),
            std::string::npos)
      << res->body;
  auto css = client.Get("/css/site.css");
  ASSERT_TRUE(css);
  EXPECT_EQ(css->status, 200);

  // The home page links the graph examples; each example is a whole graph.
  EXPECT_NE(res->body.find("href=\"/graphs\""), std::string::npos);
  auto graphs = client.Get("/graphs");
  ASSERT_TRUE(graphs);
  EXPECT_EQ(graphs->status, 200);
  size_t examples = 0;
  for (size_t at = graphs->body.find("<table cellSpacing=0 cellPadding=4 border=0 ");
       at != std::string::npos;
       at = graphs->body.find("<table cellSpacing=0 cellPadding=4 border=0 ", at + 1)) {
    ++examples;
  }
  EXPECT_EQ(examples, 6u);

  const int status = server.Stop();
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ServeTest, DemoWithSiteServesThatSiteOverTheDemoDatabase) {
  fennick::testing::TempSite site;
  site.Write("index.html", "<p>my own site</p>");
  fennick::test_support::DemoServer server({"--demo", "--site", site.root().string()});
  ASSERT_NE(server.port(), 0);
  auto res = server.Client(5).Get("/index.html");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body, "<p>my own site</p>");
  EXPECT_TRUE(std::filesystem::is_regular_file(site.root() / "data" / "demo.db"));
}

TEST(ServeTest, SqlServerStringsOpenThroughTheOdbcDriverTheSiteNames) {
  fennick::testing::TempSite site;
  site.Write("sqlserver.asp",
             "<%@ Language=\"JScript\" %>\n<%\n"
             "  var grid = Server.CreateObject(\"Fennick.DataGrid\");\n"
             "  grid.CreateConnection(\"Provider=SQLOLEDB;Data Source=db1;Initial Catalog=Sales;"
             "User ID=report;Password=Hunter2Secret\");\n%>\n");
  fennick::test_support::DemoServer server(
      {"--site", site.root().string(), "--sqlserver-odbc-driver", "Fennick Site Driver"});
  ASSERT_NE(server.port(), 0);
  auto res = server.Client(10).Get("/sqlserver.asp");
  ASSERT_TRUE(res);
  // No such driver is installed: the driver manager's refusal names the
  // one the site chose, and the password stays out of the page.
  EXPECT_NE(res->body.find("Fennick Site Driver"), std::string::npos) << res->body;
  EXPECT_EQ(res->body.find("Hunter2Secret"), std::string::npos) << res->body;
}

}  // namespace
