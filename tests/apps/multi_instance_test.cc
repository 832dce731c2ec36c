// Several `fennick serve` processes on one site folder, sharing one secret
// and one Redis, as a site runs them behind a load balancer: sessions,
// sealed action tokens, download links, export files and designer saves
// work whichever process a request lands on; through a real nginx a
// stopped process loses no request, and a Redis outage gives a clear page
// and heals without a restart.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/file.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "demo_server.h"
#include "designer/reports_file.h"
#include "export/export_files.h"
#include "fennick/data.h"
#include "platform/web/test_server.h"
#include "platform/web/test_services.h"

namespace fennick {
namespace {

using test_support::DemoServer;
using testing::PrivateRedis;
using testing::ServiceEnv;
using testing::TempSite;

// Sets or shows the session value "PopUpFilters" (the one the grid's popup
// filter window keeps) and says which process served it and whom it saw.
const char kSessionPage[] =
    "<%@ Language=\"JScript\" %><%\n"
    "if (String(Request.QueryString('v')) != '') "
    "Session.Set('PopUpFilters', String(Request.QueryString('v')));\n"
    "%>port=<%= Request.ServerVariables('SERVER_PORT') %>;value=<%= Session('PopUpFilters') %>;"
    "addr=<%= Request.ServerVariables('REMOTE_ADDR') %>;https=<%= "
    "Request.ServerVariables('HTTPS') %>";

const char kAdminPage[] =
    "<% var q = Server.CreateObject('Fennick.Quillon2');\n"
    "q.ReportsFile = 'data/reports.xml';\n"
    "q.LocaleFolder = 'data';\n"
    "q.Init('');\n"
    "q.DisplayReports(); %>";

// A grid over a table with a picture column, exporting in file mode into
// the site's "exports" folder. `?who=b` shows (and exports) a smaller
// result, so two users' export files differ in their content.
std::string GridPage(const std::string& connection_string) {
  return "<%@ Language=\"JScript\" %><%\n"
         "var grid = Server.CreateObject('Fennick.DataGrid');\n"
         "grid.CreateExportFile = true;\n"
         "grid.TempFolderUrl = 'exports';\n"
         "grid.Command = String(Request.QueryString('who')) == 'b' ? "
         "'SELECT Id, Name, Pic FROM Pics WHERE Id > 1 ORDER BY Id' : "
         "String(Request.QueryString('who')) == 'names' ? 'SELECT Id, Name FROM Pics ORDER BY Id' : "
         "'SELECT Id, Name, Pic FROM Pics ORDER BY Id';\n"
         "grid.CreateConnection('" +
         connection_string +
         "');\n"
         "grid.Display(); %>";
}

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + std::string("\0\0\0\rIHDRpng", 11);

std::string Field(const std::string& body, const std::string& name) {
  size_t at = body.find(name + "=");
  if (at == std::string::npos) return "";
  at += name.size() + 1;
  return body.substr(at, body.find(';', at) - at);
}

class MultiInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.Write("session.asp", kSessionPage);
    site_.Write("admin.asp", kAdminPage);
    std::filesystem::create_directories(site_.root() / "data");
    const std::string db =
        "Provider=SQLite;Data Source=" + (site_.root() / "data" / "pics.db").string() + ";";
    Connection setup;
    setup.Open(db + "Mode=ReadWriteCreate");
    setup.Execute("CREATE TABLE Pics (Id INTEGER, Name TEXT, Pic BLOB)");
    // Row 1's picture is kPng's bytes.
    setup.Execute(
        "INSERT INTO Pics VALUES (1, 'First', X'89504E470D0A1A0A0000000D49484452706E67'), "
        "(2, 'Second', NULL), (3, 'Third', NULL)");
    setup.Close();
    site_.Write("grid.asp", GridPage(db));
    ASSERT_TRUE(redis_.Start()) << "no redis-server: run the tests with `make test`, which "
                                   "starts the Redis service (scripts/services/redis-start.sh)";
  }

  // Starts `n` instances on the site, all with the same secret (the
  // helper's FENNICK_SECRET) and Redis.
  void StartInstances(int n) {
    for (int i = 0; i < n; ++i) {
      instances_.push_back(std::make_unique<DemoServer>(std::vector<std::string>{
          "--site", site_.root().string(), "--sessions", redis_.url(), "--trust-proxy", "127.0.0.2",
          "--drain-seconds", "10", "--threads", "8"}));
      ASSERT_GT(instances_.back()->port(), 0);
    }
  }

  httplib::Result Get(int port, const std::string& url, const std::string& cookie = "") {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(5);
    client.set_read_timeout(30);
    httplib::Headers headers;
    if (!cookie.empty()) headers.emplace("Cookie", cookie);
    return client.Get(url, headers);
  }
  int Port(int i) const { return instances_[i]->port(); }

  // A browser session started on instance i: its cookie.
  std::string Login(int i) {
    auto res = Get(Port(i), "/session.asp?v=start");
    if (!res) return "";
    std::string cookie = res->get_header_value("Set-Cookie");
    return cookie.substr(0, cookie.find(';'));
  }
  std::string FormToken(int i, const std::string& cookie) {
    auto res = Get(Port(i), "/admin.asp?a=n", cookie);
    std::smatch m;
    std::regex re("name=tk value=\"([A-Za-z0-9_-]+)\"");
    if (!res || !std::regex_search(res->body, m, re)) return "";
    return m[1];
  }
  std::string DeleteGroupToken(int i, const std::string& cookie, const std::string& id) {
    auto res = Get(Port(i), "/admin.asp?a=n&gi=" + id + "&gn=x", cookie);
    std::smatch m;
    std::regex re("this\\.form\\.tk\\.value='([A-Za-z0-9_-]+)'");
    if (!res || !std::regex_search(res->body, m, re)) return "";
    return m[1];
  }
  // Shows the grid at `url` on instance i and presses its CSV button, as a
  // browser posts the form back: the Location the export redirects to,
  // made absolute ("" when there was no redirect).
  std::string ExportCsv(int i, const std::string& url, const std::string& cookie) {
    auto shown = Get(Port(i), url, cookie);
    std::smatch m;
    std::regex re("name=btnExpcsv value=\"([^\"]+)\"");
    if (!shown || !std::regex_search(shown->body, m, re)) return "";
    httplib::Client client("127.0.0.1", Port(i));
    client.set_read_timeout(30);
    auto posted = client.Post(url, {{"Cookie", cookie}}, httplib::Params{{"__FARGS", m[1]}});
    if (!posted || posted->status != 302) return "";
    return "/" + posted->get_header_value("Location");
  }
  std::set<std::string> GroupIds() {
    std::set<std::string> ids;
    for (const auto& g : designer::ReportsFile(site_.root() / "data" / "reports.xml").Groups())
      ids.insert(g.id);
    return ids;
  }

  TempSite site_;
  PrivateRedis redis_;
  std::vector<std::unique_ptr<DemoServer>> instances_;
};

TEST_F(MultiInstanceTest, SessionsAndSealedTokensWorkOnEveryInstance) {
  StartInstances(3);
  const std::string cookie = Login(0);
  ASSERT_FALSE(cookie.empty());
  auto set = Get(Port(0), "/session.asp?v=MTpDaXR5PSdCZXJsaW4n", cookie);
  ASSERT_TRUE(set);
  EXPECT_EQ(Field(set->body, "value"), "MTpDaXR5PSdCZXJsaW4n");
  for (int i : {1, 2}) {
    auto res = Get(Port(i), "/session.asp", cookie);
    ASSERT_TRUE(res);
    EXPECT_EQ(Field(res->body, "port"), std::to_string(Port(i)));
    EXPECT_EQ(Field(res->body, "value"), "MTpDaXR5PSdCZXJsaW4n") << res->body;
    EXPECT_FALSE(res->has_header("Set-Cookie"));  // the same session, not a new one
  }

  // A designer token sealed by one instance for this session is accepted by
  // another; for another session it is not.
  const std::string token = FormToken(0, cookie);
  ASSERT_FALSE(token.empty());
  auto saved = Get(Port(1), "/admin.asp?a=g&gi=Sales&gn=Sales&tk=" + token, cookie);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->status, 302) << saved->body;
  const std::string stranger = Login(2);
  auto refused = Get(Port(2), "/admin.asp?a=g&gi=Other&gn=Other&tk=" + token, stranger);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 403);
  EXPECT_EQ(GroupIds(), (std::set<std::string>{"", "SALES"}));
}

TEST_F(MultiInstanceTest, ConcurrentSavesAndDeletesOnTwoProcessesAllLand) {
  StartInstances(2);
  const std::string cookie = Login(0);
  const std::string g = FormToken(0, cookie);
  ASSERT_FALSE(g.empty());
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(Get(Port(0), "/admin.asp?a=g&gi=D" + std::to_string(i) + "&gn=Doomed&tk=" + g, cookie)
                  ->status,
              302);
  }
  std::vector<std::string> d2;
  for (int i = 0; i < 6; ++i) d2.push_back(DeleteGroupToken(1, cookie, "D" + std::to_string(i)));

  // Each process adds its own groups while the second also deletes: every
  // change is a read-modify-write of the one reports file.
  std::atomic<int> failures{0};
  auto adder = [&](int instance, const std::string& prefix) {
    for (int i = 0; i < 12; ++i) {
      auto res = Get(
          Port(instance),
          "/admin.asp?a=g&gi=" + prefix + std::to_string(i) + "&gn=Group%20" + prefix + "&tk=" + g,
          cookie);
      if (!res || res->status != 302) ++failures;
      if (instance == 1 && i < 6) {
        auto del =
            Get(Port(1), "/admin.asp?a=d2&gi=D" + std::to_string(i) + "&tk=" + d2[i], cookie);
        if (!del || del->status != 302) ++failures;
      }
    }
  };
  std::thread a(adder, 0, "A"), b(adder, 1, "B");
  a.join();
  b.join();
  EXPECT_EQ(failures.load(), 0);
  std::set<std::string> expected = {""};  // the default group
  for (int i = 0; i < 12; ++i) {
    expected.insert("A" + std::to_string(i));
    expected.insert("B" + std::to_string(i));
  }
  EXPECT_EQ(GroupIds(), expected);
}

TEST_F(MultiInstanceTest, ExportFilesAndDownloadLinksOpenOnAnotherInstance) {
  StartInstances(2);
  const std::string cookie = Login(0);
  ASSERT_FALSE(cookie.empty());

  // The export made on one instance is a file in the shared site, so the
  // other instance serves the same bytes from the redirect.
  const std::string location = ExportCsv(0, "/grid.asp", cookie);
  ASSERT_EQ(location.rfind("/exports/", 0), 0u) << location;
  EXPECT_TRUE(IsExportFileName(location.substr(9))) << location;
  std::ifstream file(site_.root() / location.substr(1), std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
  EXPECT_NE(written.find("Third"), std::string::npos) << written;
  auto on_other = Get(Port(1), location, cookie);
  ASSERT_TRUE(on_other);
  EXPECT_EQ(on_other->status, 200);
  EXPECT_EQ(on_other->body, written);

  // The picture cell's download link, sealed by one instance, opens on the
  // other.
  auto page = Get(Port(0), "/grid.asp", cookie);
  ASSERT_TRUE(page);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(page->body, m, std::regex("<img src=\"([^\"]+)\""))) << page->body;
  const std::string link = std::regex_replace(m[1].str(), std::regex("&amp;"), "&");
  auto picture = Get(Port(1), (link[0] == '/' ? "" : "/") + link, cookie);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->status, 200) << link << " " << picture->body;
  EXPECT_EQ(picture->get_header_value("Content-Type"), "image/png");
  EXPECT_EQ(picture->body, kPng);

  // Two instances exporting at the same time, each its own result: every
  // export gets its own file and keeps its own rows.
  std::vector<std::string> a_files, b_files;
  auto exporter = [&](int instance, const std::string& url, std::vector<std::string>& out) {
    for (int i = 0; i < 8; ++i) out.push_back(ExportCsv(instance, url, cookie));
  };
  std::thread a(exporter, 0, "/grid.asp", std::ref(a_files));
  std::thread b(exporter, 1, "/grid.asp?who=b", std::ref(b_files));
  a.join();
  b.join();
  std::set<std::string> names;
  for (const auto* files : {&a_files, &b_files}) {
    for (const std::string& name : *files) {
      ASSERT_FALSE(name.empty());
      names.insert(name);
      auto res = Get(Port(files == &a_files ? 1 : 0), name, cookie);
      ASSERT_TRUE(res);
      EXPECT_EQ(res->body.find("First") != std::string::npos, files == &a_files) << res->body;
      EXPECT_NE(res->body.find("Third"), std::string::npos) << res->body;
    }
  }
  EXPECT_EQ(names.size(), 16u);
}

// nginx from the nginx service, pointed at this test's instances for the
// test's duration (one test at a time holds it).
class NginxFront {
 public:
  explicit NginxFront(const std::vector<int>& ports) {
    env_ = ServiceEnv("nginx");
    if (env_["FENNICK_NGINX_PORT"].empty()) return;
    // Close-on-exec: the processes the test starts must not hold the lock.
    lock_ = open((env_["FENNICK_NGINX_DIR"] + "/upstream.lock").c_str(), O_RDWR | O_CLOEXEC);
    flock(lock_, LOCK_EX);
    std::ofstream out(env_["FENNICK_NGINX_DIR"] + "/upstream-servers.conf");
    for (int port : ports) out << "server 127.0.0.1:" << port << " max_fails=1 fail_timeout=10s;\n";
    out.close();
    Reload();
    port_ = std::stoi(env_["FENNICK_NGINX_PORT"]);
    // The reload is done when the old configuration's 502 gives way.
    for (int i = 0; i < 200; ++i) {
      httplib::Client c("127.0.0.1", port_);
      auto res = c.Get("/healthz");
      if (res && res->status == 200) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    port_ = 0;
  }
  ~NginxFront() {
    if (lock_ < 0) return;
    std::ofstream(env_["FENNICK_NGINX_DIR"] + "/upstream-servers.conf") << "server 127.0.0.1:9;\n";
    Reload();
    flock(lock_, LOCK_UN);
    close(lock_);
  }
  int port() const { return port_; }

 private:
  // The worker processes of nginx's master.
  std::set<std::string> Workers() {
    std::ifstream pid_file(env_["FENNICK_NGINX_DIR"] + "/nginx.pid");
    std::string master;
    pid_file >> master;
    std::ifstream children("/proc/" + master + "/task/" + master + "/children");
    std::set<std::string> out;
    std::string pid;
    while (children >> pid) out.insert(pid);
    return out;
  }
  // Reloads the configuration and waits until the workers of the old one
  // are gone: until then they still accept connections with the old
  // upstreams.
  void Reload() {
    const std::set<std::string> old = Workers();
    std::string command = env_["FENNICK_NGINX_BIN"] + " -p " + env_["FENNICK_NGINX_DIR"] + " -c " +
                          env_["FENNICK_NGINX_DIR"] + "/nginx.conf -s reload 2>/dev/null";
    // Checked through the workers and the health check that follow.
    (void)!std::system(command.c_str());
    for (int i = 0; i < 400; ++i) {
      std::set<std::string> now = Workers();
      bool renewed = !now.empty();
      for (const auto& pid : now) renewed = renewed && !old.count(pid);
      if (renewed) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  std::map<std::string, std::string> env_;
  int lock_ = -1;
  int port_ = 0;
};

TEST_F(MultiInstanceTest, ThroughNginxNothingIsLostAndRedisOutagesHeal) {
  StartInstances(3);
  NginxFront nginx({Port(0), Port(1), Port(2)});
  ASSERT_NE(nginx.port(), 0) << "no nginx: run the tests with `make test`, which starts the "
                                "nginx service (scripts/services/nginx-start.sh)";
  httplib::Client browser("127.0.0.1", nginx.port());
  browser.set_read_timeout(30);

  // The session follows the user from instance to instance; the instances
  // see the client nginx saw (not an address the client forged) and the
  // scheme nginx was reached by.
  auto first = browser.Get("/session.asp?v=MTpFbXBsb3llZUlEPTM=",
                           {{"X-Forwarded-For", "6.6.6.6"}, {"X-Forwarded-Proto", "https"}});
  ASSERT_TRUE(first);
  std::string cookie = first->get_header_value("Set-Cookie");
  EXPECT_EQ(cookie.find("Secure"), std::string::npos) << cookie;
  cookie = cookie.substr(0, cookie.find(';'));
  EXPECT_EQ(Field(first->body, "addr"), "127.0.0.1") << first->body;
  EXPECT_EQ(Field(first->body, "https"), "off");
  std::set<std::string> ports;
  for (int i = 0; i < 6; ++i) {
    auto res = browser.Get("/session.asp", {{"Cookie", cookie}});
    ASSERT_TRUE(res);
    EXPECT_EQ(Field(res->body, "value"), "MTpFbXBsb3llZUlEPTM=") << res->body;
    ports.insert(Field(res->body, "port"));
  }
  EXPECT_EQ(ports.size(), 3u);  // round robin: every instance served it

  // Under load, one instance is told to stop: the requests it had started
  // finish, nginx sends the rest elsewhere, and no client sees an error.
  std::atomic<bool> stop{false};
  std::atomic<int> ok{0}, failed{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 4; ++t) {
    clients.emplace_back([&] {
      httplib::Client c("127.0.0.1", nginx.port());
      c.set_read_timeout(30);
      while (!stop.load()) {
        auto res = c.Get("/session.asp", {{"Cookie", cookie}});
        if (res && res->status == 200 && Field(res->body, "value") == "MTpFbXBsb3llZUlEPTM=") {
          ++ok;
        } else {
          ++failed;
        }
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const int status = instances_[2]->Stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  stop = true;
  for (auto& t : clients) t.join();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(failed.load(), 0);
  EXPECT_GT(ok.load(), 20);

  // Redis stops: a page that needs the session says so clearly...
  redis_.Stop();
  auto down = browser.Get("/session.asp", {{"Cookie", cookie}});
  ASSERT_TRUE(down);
  EXPECT_EQ(down->status, 503);
  EXPECT_NE(down->body.find("Sessions are unavailable at the moment: the session store cannot "
                            "be reached. Please try again in a moment."),
            std::string::npos)
      << down->body;
  // ... while pages without Session (a grid without picture cells, whose
  // download links would be bound to the session; whichever instance serves
  // it) and the health check answer as before, and once Redis is back the
  // same processes serve sessions again (the old ones went with Redis).
  for (int i = 0; i < 3; ++i) {
    auto grid = browser.Get("/grid.asp?who=names", {{"Cookie", cookie}});
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->status, 200) << grid->body;
    EXPECT_NE(grid->body.find("Third"), std::string::npos);
  }
  EXPECT_EQ(browser.Get("/healthz")->status, 200);
  ASSERT_TRUE(redis_.Start());
  for (int i = 0; i < 4; ++i) {
    auto res = browser.Get("/session.asp?v=again");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200) << res->body;
    EXPECT_EQ(Field(res->body, "value"), "again");
  }
}

}  // namespace
}  // namespace fennick
