// The big demo: `fennick serve --demo --big` generates data/big.db once and
// the page /demo/big.asp shows it; without --big the page says how to ask.
// The tests generate a thousand rows (--big-rows), never the full million.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "apps/demo_server.h"
#include "fennick/data.h"

namespace {

namespace fs = std::filesystem;
using fennick::test_support::DemoServer;

const fs::path kSite = fs::path(FENNICK_SOURCE_DIR) / "site";

// A copy of the demo site's pages in a folder of its own, so the test's
// small table never replaces a big.db of the checkout.
class BigDemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = fs::temp_directory_path() / ("fennick-big-" + std::to_string(getpid()));
    fs::remove_all(site_);
    fs::create_directories(site_);
    for (const char* folder : {"demo", "include", "css"}) {
      fs::copy(kSite / folder, site_ / folder, fs::copy_options::recursive);
    }
  }
  void TearDown() override { fs::remove_all(site_); }

  fs::path site_;
};

std::string Get(int port, const std::string& path) {
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(20);
  auto res = client.Get(path);
  if (!res) return "no answer";
  return std::to_string(res->status) + "\n" + res->body;
}

TEST_F(BigDemoTest, BigBuildsTheTableOnceAndThePageShowsIt) {
  const fs::path database = site_ / "data" / "big.db";
  {
    DemoServer server({"--demo", "--big", "--big-rows", "1000", "--site", site_.string()});
    ASSERT_GT(server.port(), 0);
    const std::string page = Get(server.port(), "/demo/big.asp");
    EXPECT_EQ(page.rfind("200\n", 0), 0u) << page;
    EXPECT_NE(page.find("(1000 recs)"), std::string::npos) << page;
    EXPECT_NE(page.find("Customer 07919"), std::string::npos) << page;  // row 1
    EXPECT_EQ(page.find("Error #:"), std::string::npos) << page;
  }
  fennick::Connection connection;
  connection.Open("Provider=SQLite;Data Source=" + database.string() + ";Mode=Read");
  fennick::Recordset count = connection.Execute("SELECT count(*), min(ID), max(ID) FROM BigOrders");
  EXPECT_EQ(count.Fields(0).Value().AsInt64(), 1000);
  EXPECT_EQ(count.Fields(1).Value().AsInt64(), 1);
  EXPECT_EQ(count.Fields(2).Value().AsInt64(), 1000);
  // The rows follow from their number alone.
  fennick::Recordset first = connection.Execute(
      "SELECT Customer, Region, OrderDate, Quantity, Amount FROM BigOrders WHERE ID = 1");
  EXPECT_EQ(first.Fields(0).Value().AsString(), "Customer 07919");
  EXPECT_EQ(first.Fields(1).Value().AsString(), "South");
  EXPECT_EQ(first.Fields(2).Value().AsString(), "2015-02-07");
  EXPECT_EQ(first.Fields(3).Value().AsInt64(), 14);
  EXPECT_DOUBLE_EQ(first.Fields(4).Value().AsDouble(), 77.27);
  // Every column the page sorts by has its index.
  fennick::Recordset indexes = connection.Execute(
      "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = 'BigOrders'");
  EXPECT_EQ(indexes.Fields(0).Value().AsInt64(), 5);
  connection.Close();

  // A second start with the same count keeps the file; another count
  // builds it again.
  const auto built = fs::last_write_time(database);
  {
    DemoServer again({"--demo", "--big", "--big-rows", "1000", "--site", site_.string()});
    ASSERT_GT(again.port(), 0);
  }
  EXPECT_EQ(fs::last_write_time(database), built);
  {
    DemoServer smaller({"--demo", "--big", "--big-rows", "10", "--site", site_.string()});
    ASSERT_GT(smaller.port(), 0);
    EXPECT_NE(Get(smaller.port(), "/demo/big.asp").find("(10 recs)"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(site_ / "data" / ("big.db.building." + std::to_string(getpid()))));
}

TEST_F(BigDemoTest, AnXslExportOverThePageMemoryCapIsStopped) {
  // A page's own export template transforms the whole table at once: 30,000
  // rows make a document of about 130 MB in libxml2, where the page may hold
  // 24 MiB. (The built-in XML export streams and stays small.)
  DemoServer server(
      {"--demo", "--big", "--big-rows", "30000", "--page-memory", "24", "--site", site_.string()});
  ASSERT_GT(server.port(), 0);
  std::ofstream(site_ / "demo" / "xsl.asp")
      << "<%@ Language=\"JScript\" %><%\n"
         "var grid = Server.CreateObject('Fennick.DataGrid');\n"
         "grid.Command = 'SELECT ID, Customer, Region, Amount FROM BigOrders';\n"
         "grid.XslExportTemplate = '<xsl:stylesheet version=\"1.0\" "
         "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:template match=\"/\">"
         "<xsl:copy-of select=\".\"/></xsl:template></xsl:stylesheet>';\n"
         "grid.XslExportRowLimit = 100000;\n"
         "grid.CreateConnection('Provider=SQLite;Data Source=' + Server.MapPath('/data/big.db'));\n"
         "grid.Display(); %>";
  httplib::Client client = server.Client(60);
  auto shown = client.Get("/demo/xsl.asp");
  ASSERT_TRUE(shown);
  std::smatch button;
  ASSERT_TRUE(
      std::regex_search(shown->body, button, std::regex("name=btnExpxml value=\"([^\"]+)\"")))
      << shown->body.substr(0, 2000);
  auto exported = client.Post("/demo/xsl.asp", httplib::Params{{"__FARGS", button[1]}});
  ASSERT_TRUE(exported);
  EXPECT_EQ(exported->status, 500);
  EXPECT_NE(exported->body.find("Out of memory: the page used more than the 24 MiB"),
            std::string::npos)
      << exported->body.substr(0, 2000);
  EXPECT_LT(exported->body.size(), 4000u);
  // The server goes on serving.
  EXPECT_EQ(client.Get("/demo/big.asp")->status, 200);
}

TEST_F(BigDemoTest, WithoutBigThePageSaysHowToStartIt) {
  DemoServer server({"--demo", "--site", site_.string()});
  ASSERT_GT(server.port(), 0);
  const std::string page = Get(server.port(), "/demo/big.asp");
  EXPECT_EQ(page.rfind("200\n", 0), 0u) << page;
  EXPECT_NE(page.find("start the server with\n<code>fennick serve --demo --big</code>"),
            std::string::npos)
      << page;
  EXPECT_EQ(page.find("<table"), std::string::npos) << page;
  EXPECT_FALSE(fs::exists(site_ / "data" / "big.db"));

  // The options are checked before anything is built.
  DemoServer alone({"--big"});
  EXPECT_EQ(alone.port(), 0);
  DemoServer no_count({"--demo", "--big", "--big-rows", "none"});
  EXPECT_EQ(no_count.port(), 0);
}

}  // namespace
