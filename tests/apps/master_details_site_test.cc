// The master-details demo pages over real HTTP: a browser's round trips
// (expand a customer, show all details, collapse, page through customers)
// made by posting the grid's form back as the page's links do.
#include <gtest/gtest.h>
#include <httplib.h>

#include <regex>
#include <string>

#include "apps/demo_server.h"
#include "frame/argument_codec.h"

namespace {

using fennick::EncodeArgument;
using fennick::test_support::DemoServer;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string AttributeText(std::string value) {
  static const std::pair<const char*, const char*> kEntities[] = {
      {"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&#39;", "'"}, {"&amp;", "&"}};
  for (const auto& [entity, text] : kEntities) {
    for (size_t at = value.find(entity); at != std::string::npos;
         at = value.find(entity, at + 1)) {
      value.replace(at, std::string(entity).size(), text);
    }
  }
  return value;
}

// The link href that posts `argument`, as the grid writes it.
std::string Href(const std::string& argument) {
  return "javascript:__doPostBack('" + EncodeArgument(argument) + "')";
}

class MasterDetailsSiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(server_.port(), 0);
    client_.set_read_timeout(20);
  }

  std::string Get(const std::string& path) {
    auto res = client_.Get(path);
    EXPECT_TRUE(res);
    if (!res) return "";
    EXPECT_EQ(res->status, 200);
    return res->body;
  }

  // What a click on the link posting `argument` sends: the form's hidden
  // fields as `page` holds them and the argument in __FARGS. The link
  // must be on the page.
  std::string Follow(const std::string& path, const std::string& page,
                     const std::string& argument, httplib::Params extra = {}) {
    EXPECT_NE(page.find("href=\"" + Href(argument) + "\""), std::string::npos) << argument;
    static const std::regex kHidden("<input type=hidden name=(\\w+) value=\"([^\"]*)\">");
    httplib::Params form;
    for (std::sregex_iterator it(page.begin(), page.end(), kHidden), end; it != end; ++it) {
      form.emplace((*it)[1].str(), AttributeText((*it)[2].str()));
    }
    form.erase("__FARGS");
    form.emplace("__FARGS", EncodeArgument(argument));
    for (auto& [name, value] : extra) {
      form.erase(name);
      form.emplace(name, value);
    }
    auto res = client_.Post(path, form);
    EXPECT_TRUE(res);
    if (!res) return "";
    EXPECT_EQ(res->status, 200);
    return res->body;
  }

  // A click on the first link whose text is `text`.
  std::string Click(const std::string& path, const std::string& page, const std::string& text) {
    const std::regex link("href=\"javascript:__doPostBack\\('([^']*)'\\)\"[^>]*>" + text +
                          "</a>");
    std::smatch found;
    EXPECT_TRUE(std::regex_search(page, found, link)) << text;
    if (found.empty()) return "";
    return Follow(path, page, fennick::DecodeArgument(found[1].str()));
  }

  DemoServer server_;
  httplib::Client client_{"127.0.0.1", server_.port()};
};

constexpr char kPage[] = "/demo/masters.asp";

TEST_F(MasterDetailsSiteTest, ShowAllCollapseAndExpandOneCustomer) {
  std::string page = Get(kPage);
  EXPECT_NE(page.find("Page 1 of 6 (60 recs)"), std::string::npos) << page;
  EXPECT_EQ(Count(page, "<table class=details"), 1u);
  EXPECT_NE(page.find(">Show all Details</a>"), std::string::npos);
  EXPECT_NE(page.find("<input type=hidden name=mastercols value=\",0,1,\">"),
            std::string::npos);
  // The first customer's orders are open, under its row.
  EXPECT_LT(page.find("Blue Heron Bistro"), page.find("<table class=details"));
  EXPECT_GT(page.find("Blue Heron Delicatessen"), page.find("<table class=details"));

  page = Follow(kPage, page, "7");
  EXPECT_EQ(Count(page, "<table class=details"), 10u);
  EXPECT_NE(page.find("href=\"" + Href("6;curidx:0;") + "\" >Collapse Details</a>"),
            std::string::npos);
  EXPECT_NE(page.find("<input type=hidden name=showall value=\"True\">"), std::string::npos);

  page = Follow(kPage, page, "6;curidx:0;");
  EXPECT_EQ(Count(page, "<table class=details"), 1u);
  EXPECT_NE(page.find(">Show all Details</a>"), std::string::npos);

  // The third customer's row number.
  page = Follow(kPage, page, "6;curidx:2;");
  EXPECT_EQ(Count(page, "<table class=details"), 1u);
  EXPECT_NE(page.find("<input type=hidden name=curidx value=\"2\">"), std::string::npos);
  EXPECT_LT(page.find("Blue Heron Grocers"), page.find("<table class=details"));
  EXPECT_GT(page.find("Blue Heron Market"), page.find("<table class=details"));
}

TEST_F(MasterDetailsSiteTest, PagesThroughCustomers) {
  std::string page = Get(kPage);
  page = Follow(kPage, page, "2start:11;");
  EXPECT_NE(page.find("Page 2 of 6 (60 recs)"), std::string::npos) << page;
  // The open customer was on page 1: the page's first opens instead.
  EXPECT_NE(page.find("<input type=hidden name=curidx value=\"10\">"), std::string::npos);
  EXPECT_NE(page.find(">11</font></a></td>"), std::string::npos);
  EXPECT_NE(page.find(">20</font></a></td>"), std::string::npos);
  EXPECT_EQ(page.find(">10</font></a></td>"), std::string::npos);
  EXPECT_EQ(Count(page, "<table class=details"), 1u);

  page = Follow(kPage, page, "2start:51;");
  EXPECT_NE(page.find("Page 6 of 6 (60 recs)"), std::string::npos);
  EXPECT_NE(page.find(">60</font></a></td>"), std::string::npos);

  // Show all on the last page opens its ten customers only.
  page = Follow(kPage, page, "7");
  EXPECT_EQ(Count(page, "<table class=details"), 10u);
  EXPECT_NE(page.find("Page 6 of 6 (60 recs)"), std::string::npos);
}

TEST_F(MasterDetailsSiteTest, SortingKeepsEachCustomerTogether) {
  std::string page = Get(kPage);
  // The Ordered header of the open customer's orders, twice: newest first.
  page = Follow(kPage, page, "1sort:4;lastsort:;rsort:0;");
  page = Follow(kPage, page, "1sort:4;lastsort:4;rsort:0;");
  EXPECT_NE(page.find("Page 1 of 6 (60 recs)"), std::string::npos) << page;
  EXPECT_NE(page.find("<input type=hidden name=sort value=\"4 desc\">"), std::string::npos);
  const size_t details = page.find("<table class=details");
  const size_t first = page.find("12 Nov 2025", details);
  const size_t earlier = page.find("7 Feb 2025", details);
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(earlier, std::string::npos);
  EXPECT_LT(first, earlier);
  // The customers' header sorts the masters, descending on the second click.
  page = Get(kPage);
  page = Click(kPage, page, "Customer");
  page = Click(kPage, page, "Customer");
  EXPECT_NE(page.find("Page 1 of 6 (60 recs)"), std::string::npos);
  EXPECT_LT(page.find("Wildflower Trading"), page.find("Wildflower Market"));
}

TEST_F(MasterDetailsSiteTest, PostedStateCannotChangeTheMasters) {
  std::string page = Get(kPage);
  // Master columns claimed by the post, and a current customer that is
  // not a number.
  page = Follow(kPage, page, "7", {{"mastercols", ",3,<script>"}, {"curidx", "\"><b>x"}});
  EXPECT_NE(page.find("<input type=hidden name=mastercols value=\",0,1,\">"),
            std::string::npos);
  EXPECT_EQ(page.find("<script>\""), std::string::npos);
  EXPECT_EQ(page.find("<b>x"), std::string::npos);
  EXPECT_EQ(Count(page, "<table class=details"), 10u);
  EXPECT_NE(page.find("Page 1 of 6 (60 recs)"), std::string::npos);
}

TEST_F(MasterDetailsSiteTest, ColumnarPageShowsEveryCustomersOrders) {
  const std::string page = Get("/demo/masters-columnar.asp");
  EXPECT_NE(page.find("Page 1 of 20 (60 recs)"), std::string::npos) << page;
  EXPECT_EQ(Count(page, "<table class=details"), 3u);
  EXPECT_EQ(page.find("Show all Details"), std::string::npos);
}

}  // namespace
