// The fennick executable: serving the demo site, version, usage errors,
// the limits of `serve` against slow and greedy clients.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "apps/demo_server.h"

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

// A connected loopback socket that has sent `bytes`; -1 when the server
// cannot be reached.
int OpenAndSend(int port, const std::string& bytes) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  (void)!send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  return fd;
}

// What the server sends on `fd` within `ms` milliseconds.
std::string ReadFor(int fd, int ms) {
  std::string out;
  char buf[4096];
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (true) {
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    end - std::chrono::steady_clock::now())
                                    .count());
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, left) <= 0) break;
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

TEST(ServeTest, ConnectionCapAndRequestDeadlineOptionsHold) {
  std::string templ = (std::filesystem::temp_directory_path() / "fennick-serve-XXXXXX").string();
  std::filesystem::path site = mkdtemp(templ.data());
  fennick::test_support::DemoServer server(
      {"--site", site.string(), "--max-connections-per-address", "2", "--request-deadline", "1"});
  const int port = server.port();
  ASSERT_NE(port, 0);

  // Two connections dripping their heads are all this address may hold:
  // a third is refused at once.
  int first = OpenAndSend(port, "GET / HTTP/1.1\r\nHost: x\r\n");
  int second = OpenAndSend(port, "GET / HTTP/1.1\r\nHost: x\r\n");
  int third = OpenAndSend(port, "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  std::string refused = ReadFor(third, 2000);
  EXPECT_EQ(refused.rfind("HTTP/1.1 503 ", 0), 0u) << refused;

  // Neither dripper finishes within the one-second deadline.
  for (int i = 0; i < 6; ++i) {
    (void)!send(first, "X", 1, MSG_NOSIGNAL);
    (void)!send(second, "X", 1, MSG_NOSIGNAL);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  std::string late = ReadFor(first, 2000);
  EXPECT_EQ(late.rfind("HTTP/1.1 408 ", 0), 0u) << late;
  close(first);
  close(second);
  close(third);

  EXPECT_TRUE(WIFEXITED(server.Stop()));
  std::error_code ec;
  std::filesystem::remove_all(site, ec);
}

TEST(ServeTest, DemoAnswersTheHomePageAndStopsOnSigterm) {
  fennick::test_support::DemoServer server;
  const int port = server.port();
  ASSERT_NE(port, 0);

  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(5);
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
  namespace fs = std::filesystem;
  const fs::path site = fs::temp_directory_path() / ("fennick-site-" + std::to_string(getpid()));
  fs::remove_all(site);
  fs::create_directories(site);
  std::ofstream(site / "index.html") << "<p>my own site</p>";

  {
    fennick::test_support::DemoServer server({"--demo", "--site", site.string()});
    ASSERT_NE(server.port(), 0);
    httplib::Client client("127.0.0.1", server.port());
    client.set_read_timeout(5);
    auto res = client.Get("/index.html");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, "<p>my own site</p>");
    EXPECT_TRUE(fs::is_regular_file(site / "data" / "demo.db"));
  }
  fs::remove_all(site);
}

TEST(ServeTest, SqlServerStringsOpenThroughTheOdbcDriverTheSiteNames) {
  namespace fs = std::filesystem;
  const fs::path site =
      fs::temp_directory_path() / ("fennick-odbc-site-" + std::to_string(getpid()));
  fs::remove_all(site);
  fs::create_directories(site);
  std::ofstream(site / "sqlserver.asp")
      << "<%@ Language=\"JScript\" %>\n<%\n"
         "  var grid = Server.CreateObject(\"Fennick.DataGrid\");\n"
         "  grid.CreateConnection(\"Provider=SQLOLEDB;Data Source=db1;Initial Catalog=Sales;"
         "User ID=report;Password=Hunter2Secret\");\n%>\n";
  {
    fennick::test_support::DemoServer server(
        {"--site", site.string(), "--sqlserver-odbc-driver", "Fennick Site Driver"});
    ASSERT_NE(server.port(), 0);
    httplib::Client client("127.0.0.1", server.port());
    client.set_read_timeout(10);
    auto res = client.Get("/sqlserver.asp");
    ASSERT_TRUE(res);
    // No such driver is installed: the driver manager's refusal names the
    // one the site chose, and the password stays out of the page.
    EXPECT_NE(res->body.find("Fennick Site Driver"), std::string::npos) << res->body;
    EXPECT_EQ(res->body.find("Hunter2Secret"), std::string::npos) << res->body;
  }
  fs::remove_all(site);
}

}  // namespace
