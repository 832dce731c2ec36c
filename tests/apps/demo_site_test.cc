// The demo site: `fennick serve --demo` builds its database from
// site/data/demo.sql, and every demo grid page answers with its grid.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <string>

#include "apps/demo_server.h"
#include "fennick/data.h"

namespace {

const std::filesystem::path kSite = std::filesystem::path(FENNICK_SOURCE_DIR) / "site";

using fennick::test_support::DemoServer;

int64_t Count(fennick::Connection& connection, const std::string& sql) {
  fennick::Recordset rs = connection.Execute(sql);
  return rs.Fields(0).Value().AsInt64();
}

TEST(DemoSiteTest, TheDatabaseIsBuiltFromItsScript) {
  DemoServer server;
  ASSERT_GT(server.port(), 0);
  const std::filesystem::path database = kSite / "data" / "demo.db";
  ASSERT_TRUE(std::filesystem::exists(database));
  EXPECT_GE(std::filesystem::last_write_time(database),
            std::filesystem::last_write_time(kSite / "data" / "demo.sql"));

  fennick::Connection connection;
  connection.Open("Provider=SQLite;Data Source=" + database.string());
  EXPECT_EQ(Count(connection, "SELECT count(*) FROM OrderLines"), 10000);
  EXPECT_EQ(Count(connection, "SELECT count(*) FROM Orders"), 2500);
  EXPECT_EQ(Count(connection, "SELECT count(*) FROM Customers"), 60);
  EXPECT_EQ(Count(connection, "SELECT count(*) FROM Employees"), 9);
  EXPECT_EQ(Count(connection, "SELECT count(*) FROM Products"), 36);
  EXPECT_EQ(Count(connection, "SELECT count(*) FROM Suppliers"), 10);
  // Every order line belongs to an order and a product.
  EXPECT_EQ(Count(connection,
                  "SELECT count(*) FROM OrderLines ol LEFT JOIN Orders o ON o.OrderID = ol.OrderID "
                  "LEFT JOIN Products p ON p.ProductID = ol.ProductID "
                  "WHERE o.OrderID IS NULL OR p.ProductID IS NULL"),
            0);
  // Orders not shipped have no date; pictures are PNG files.
  EXPECT_GT(Count(connection, "SELECT count(*) FROM Orders WHERE ShippedDate IS NULL"), 0);
  EXPECT_EQ(Count(connection, "SELECT count(*) FROM Categories WHERE Picture IS NOT NULL"), 7);
  fennick::Recordset picture =
      connection.Execute("SELECT Picture FROM Categories WHERE CategoryID = 1");
  const fennick::Variant png = picture.Fields(0).Value();
  ASSERT_TRUE(png.IsBinary());
  EXPECT_EQ(png.Bytes().substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  // The data follow from the script alone: a known row.
  fennick::Recordset first = connection.Execute(
      "SELECT CustomerID, Quantity FROM Orders o JOIN OrderLines ol ON ol.OrderID = o.OrderID "
      "WHERE o.OrderID = 10001 AND ol.LineNumber = 1");
  EXPECT_EQ(first.Fields(0).Value().AsString(), "COPGR");
  EXPECT_EQ(first.Fields(1).Value().AsInt64(), 23);
}

struct DemoPage {
  const char* path;
  const char* counter;  // the navigation bar's record count
};

TEST(DemoSiteTest, EachDemoPageShowsItsGrid) {
  DemoServer server;
  ASSERT_GT(server.port(), 0);
  httplib::Client client = server.Client(20);

  auto home = client.Get("/");
  ASSERT_TRUE(home);
  ASSERT_EQ(home->status, 200);

  const DemoPage pages[] = {
      {"/demo/plain.asp", "(10000 recs)"},  {"/demo/formats.asp", "(10000 recs)"},
      {"/demo/columnar.asp", "(60 recs)"},  {"/demo/popup.asp", "(2500 recs)"},
      {"/demo/topnav.asp", "(36 recs)"},    {"/demo/print.asp", "(8 recs)"},
      {"/demo/styled.asp", "(10 recs)"},    {"/grid", "(2500 recs)"},
      {"/demo/masters.asp", "(60 recs)"},   {"/demo/masters-columnar.asp", "(60 recs)"},
      {"/demo/totals.asp", "col_footerLabel>Total</td>"},
  };
  for (const DemoPage& page : pages) {
    SCOPED_TRACE(page.path);
    if (std::string(page.path).rfind("/demo/", 0) == 0) {
      EXPECT_NE(home->body.find(std::string("href=\"") + page.path + "\""), std::string::npos);
    }
    auto res = client.Get(page.path);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find(page.counter), std::string::npos) << res->body;
    // A grid that could not run its command writes the command as an HTML
    // comment before its message; a failed row fetch writes "Error #:".
    EXPECT_EQ(res->body.find("\r\n<!--\r\n"), std::string::npos) << res->body;
    EXPECT_EQ(res->body.find("Error #:"), std::string::npos) << res->body;
    EXPECT_NE(res->body.find("</html>"), std::string::npos);
  }

  // The one customer a link of the formats page asks for.
  auto card = client.Get("/demo/columnar.asp?customer=BLUGR");
  ASSERT_TRUE(card);
  EXPECT_NE(card->body.find("(1 recs)"), std::string::npos) << card->body;
  EXPECT_NE(card->body.find("Blue Heron Grocers"), std::string::npos);
  auto formats = client.Get("/demo/formats.asp");
  ASSERT_TRUE(formats);
  EXPECT_NE(formats->body.find("columnar.asp?customer=COPGR"), std::string::npos);
  EXPECT_NE(formats->body.find("+43 311 314187"), std::string::npos);
  const size_t picture = formats->body.find("<img src=\"/demo/formats.asp?a=i&amp;r=0&amp;cell=");
  ASSERT_NE(picture, std::string::npos);
  {
    // The picture's link, as the browser follows it (with the session the
    // page started for it), serves the picture.
    std::string link = formats->body.substr(picture + 10);
    link = link.substr(0, link.find('"'));
    for (size_t at = link.find("&amp;"); at != std::string::npos; at = link.find("&amp;", at)) {
      link.replace(at, 5, "&");
    }
    const std::string cookie = formats->get_header_value("Set-Cookie");
    auto image = client.Get(link, httplib::Headers{{"Cookie", cookie.substr(0, cookie.find(';'))}});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->status, 200) << link;
    EXPECT_EQ(image->get_header_value("Content-Type").rfind("image/", 0), 0u);
  }
  EXPECT_NE(formats->body.find("<div style=\"color:#b42318;font-weight:600;\">Discontinued"),
            std::string::npos);
  EXPECT_EQ(formats->body.find(">COPGR<"), std::string::npos);  // the key column is hidden

  // The database's folder is never served.
  auto script = client.Get("/data/demo.sql");
  ASSERT_TRUE(script);
  EXPECT_NE(script->status, 200);
}

TEST(DemoSiteTest, DesignerPageListsTheSeededCatalogueInTwoLanguages) {
  DemoServer server;
  ASSERT_GT(server.port(), 0);
  httplib::Client client = server.Client(20);
  auto home = client.Get("/");
  ASSERT_TRUE(home);
  EXPECT_NE(home->body.find("href=\"/demo/designer.asp\""), std::string::npos);

  auto english = client.Get("/demo/designer.asp");
  ASSERT_TRUE(english);
  EXPECT_EQ(english->status, 200);
  for (const char* text : {">Sales</a>", ">Human resources</a>", ">Product list</a>",
                           ">Orders by customer</a>", ">New Group</a>", "</html>"}) {
    EXPECT_NE(english->body.find(text), std::string::npos) << text;
  }
  httplib::Headers french = {{"Accept-Language", "fr-FR,fr;q=0.9"}};
  auto page = client.Get("/demo/designer.asp", french);
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find(">Nouveau groupe</a>"), std::string::npos);

  // The designer's files stay on the server.
  for (const char* path : {"/data/reports.xml", "/data/reports.seed.xml", "/data/locale_fr.xml",
                           "/data/locale.xml"}) {
    auto file = client.Get(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->status, 404) << path;
  }
}

}  // namespace
