// The pages the documentation's examples come from, served by
// `fennick serve --demo`: every site page that a code block of the README
// or of docs/ names answers without an error, and each shows what the text
// around its examples says it shows.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <set>
#include <string>

#include "apps/demo_server.h"
#include "support/markdown.h"

namespace fennick {
namespace {

using test_support::DemoServer;
using test_support::kSourceDir;

// The site pages named by code blocks, as URL paths ("/examples/report.asp").
std::set<std::string> ExamplePages() {
  std::set<std::string> pages;
  std::vector<std::filesystem::path> files = {kSourceDir / "README.md"};
  for (const auto& entry : std::filesystem::directory_iterator(kSourceDir / "docs")) {
    if (entry.path().extension() == ".md") files.push_back(entry.path());
  }
  for (const auto& file : files) {
    for (const auto& block : test_support::CodeBlocks(test_support::ReadText(file))) {
      if (block.page.rfind("site/", 0) == 0) pages.insert(block.page.substr(4));
    }
  }
  return pages;
}

class DocExamplesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(server_.port(), 0);
    client_ = std::make_unique<httplib::Client>("127.0.0.1", server_.port());
    client_->set_read_timeout(20);
  }

  // The page's HTML; fails the test when the page ended in an error or a
  // grid reported one.
  std::string Page(const std::string& path) {
    auto res = client_->Get(path);
    if (!res) {
      ADD_FAILURE() << path << ": no answer";
      return "";
    }
    EXPECT_EQ(res->status, 200) << path << "\n" << res->body;
    EXPECT_EQ(res->body.find("fennick-error"), std::string::npos) << res->body;
    EXPECT_EQ(res->body.find("<font color=red"), std::string::npos) << res->body;
    EXPECT_EQ(res->body.find("\r\n<!--\r\n"), std::string::npos) << res->body;
    EXPECT_NE(res->body.find("</html>"), std::string::npos) << res->body;
    return res->body;
  }

  DemoServer server_;
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(DocExamplesTest, EveryExamplePageShowsWhatItsTextSays) {
  const std::set<std::string> pages = ExamplePages();
  for (const char* path : {"/examples/first-report.asp", "/examples/report.asp",
                           "/examples/simple-graph.asp", "/examples/string-buffer.asp",
                           "/examples/designer.asp"}) {
    EXPECT_TRUE(pages.count(path)) << path << " is no longer named by an example";
  }
  for (const std::string& path : pages) {
    SCOPED_TRACE(path);
    Page(path);
  }

  // The README's first report: the products ten to a page, sortable
  // headers, the filter bar, the print link.
  const std::string first = Page("/examples/first-report.asp");
  EXPECT_NE(first.find("Page 1 of 4 (36 recs)"), std::string::npos);
  EXPECT_NE(first.find("<td class=\"text\">Harbour Black Tea</td>"), std::string::npos);
  EXPECT_NE(first.find(">ProductName</a>"), std::string::npos);
  EXPECT_NE(first.find("name=search_field"), std::string::npos);
  EXPECT_NE(first.find(">Print</a>"), std::string::npos);

  // Grown: sorted by name, twelve to a page, formats, the filter bar's
  // start, the graph of the page's products.
  const std::string report = Page("/examples/report.asp");
  EXPECT_NE(report.find("Page 1 of 3 (36 recs)"), std::string::npos);
  EXPECT_LT(report.find(">Aged Cheddar<"), report.find(">Alpine Gruy"));
  EXPECT_NE(report.find(">Packed as</a>"), std::string::npos);
  EXPECT_NE(report.find("<td class=\"money\">$34.80</td>"), std::string::npos);
  EXPECT_NE(report.find("<div style=\"color:#b42318;\">Discontinued</div>"), std::string::npos);
  EXPECT_NE(report.find(">Available<"), std::string::npos);
  EXPECT_EQ(report.find(">ProductID<"), std::string::npos);  // hidden
  EXPECT_NE(report.find("<option  selected value=\"[Products].[ProductName]\">Product</option>"),
            std::string::npos);
  EXPECT_NE(report.find(" selected  value=\" LIKE '%v%'\">contains</option>"), std::string::npos);
  EXPECT_NE(report.find(">Stock</font>"), std::string::npos);
  EXPECT_NE(report.find("title=\"Alpine Gruyère: 79, In stock\""), std::string::npos);
  EXPECT_NE(report.find(">View All</a>"), std::string::npos);
  // Totals: the stock of every product, and the average price.
  EXPECT_NE(report.find("class=col_footerLabel>Total</td>"), std::string::npos);
  EXPECT_NE(report.find("<span class=summary_name>Average price</span>"), std::string::npos);

  // The filter bar as the README describes it, and a value that tries to
  // leave its quotes.
  httplib::Params filter = {{"search_field", "[Products].[ProductName]"},
                            {"search_condition", " LIKE '%v%'"},
                            {"search_text", "Tea"}};
  auto tea = client_->Post("/examples/report.asp", filter);
  ASSERT_TRUE(tea);
  EXPECT_NE(tea->body.find("(1 recs)"), std::string::npos) << tea->body;
  EXPECT_NE(tea->body.find(">Harbour Black Tea<"), std::string::npos);
  filter.erase("search_text");
  filter.emplace("search_text", "x' OR 1=1 --");
  auto injected = client_->Post("/examples/report.asp", filter);
  ASSERT_TRUE(injected);
  EXPECT_NE(injected->body.find("No records returned!"), std::string::npos) << injected->body;
  // The bar stays under the text, so the user can change the filter.
  const size_t bar = injected->body.find("name=search_field");
  EXPECT_NE(bar, std::string::npos);
  EXPECT_LT(injected->body.find("No records returned!"), bar);

  const std::string graph = Page("/examples/simple-graph.asp");
  EXPECT_NE(graph.find("title=\"North: 12, Q1\""), std::string::npos);
  EXPECT_NE(graph.find("title=\"South: 14, Q4\""), std::string::npos);
  EXPECT_NE(graph.find("title=\"North: 60%, Q1\""), std::string::npos);
  EXPECT_NE(graph.find("title=\"Result: -80\""), std::string::npos);
  EXPECT_NE(graph.find("<p>Without rows: error 5</p>"), std::string::npos);

  // The designer alone, on a folder without styles.css: the built-in sheet.
  const std::string designer = Page("/examples/designer.asp");
  EXPECT_NE(designer.find("<style>\n:where(body)"), std::string::npos);
  EXPECT_NE(designer.find("class=\"report_title\""), std::string::npos);

  const std::string buffer = Page("/examples/string-buffer.asp");
  EXPECT_NE(buffer.find("<ul><li>Line 1</li><li>Line 2</li><li>Line 3</li></ul>"),
            std::string::npos);
  EXPECT_NE(buffer.find("<p>Total: 3 lines</p>"), std::string::npos);
  EXPECT_NE(buffer.find("<p>[]</p>"), std::string::npos);
}

}  // namespace
}  // namespace fennick
