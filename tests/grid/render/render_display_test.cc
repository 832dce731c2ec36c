// A whole grid drawn from SQLite: the first page, sorting, paging and
// start correction, page sizes, filters, the columnar layout, the print
// view, empty results, and data that must stay text.
#include "grid/render_fixture.h"
#include "grid/state/state_fields.h"

namespace fennick {
namespace {

TEST_F(RenderTest, FirstPageWritesFormToolBarHeaderRowsBarAndState) {
  AddRows(25);
  Grid({});
  const std::string html = Show();
  const std::string form = "<form name=FNKQuillon method=post action=\"/orders.asp\">";
  ASSERT_THAT(html, HasSubstr(form));
  EXPECT_EQ(html.find(kPostBackScript), html.find(form) - std::string(kPostBackScript).size());
  EXPECT_THAT(html,
      HasSubstr("<div class=filterButtons><table border=0 width=\"100%\"><tr>"
                "<td class=leftCell><a  href=\"" + Href("5") + "\">Print</a></td>"
                "<td align=right nowrap class=rightCell><div class=export>&nbsp;"
                "<input type=hidden name=btnExpdoc value=\"" +
                EncodeArgument("4fmt:doc;hdr:Id,Name,Amount;ttl:Quillon;;dat:;num:;") +
                "\"><a  href=\"javascript:__doPostBack('_doc')\">Doc</a>&nbsp;&nbsp;"
                "<input type=hidden name=btnExpexcel value=\""));
  EXPECT_THAT(html, HasSubstr("<a  href=\"javascript:__doPostBack('_text')\">Text</a>&nbsp;</div>"
                              "</td></tr></table></div>"));
  EXPECT_THAT(html,
      HasSubstr("<table width=\"100%\" border=\"0\" cellpadding=\"2\" cellspacing=\"1\">"
                "<tr ><th><a  href=\"" + Href("3start:1;rsort:0;") +
                "\"><font face='MS OUTLOOK'>C</font></a></th><th><a  href=\"" +
                Href("1sort:1;lastsort:;rsort:0;") + "\">Id</a></th>"));
  EXPECT_THAT(html, HasSubstr("<tr><td nowrap width=1>1</td><td class=\"number\">1</td>"
                              "<td class=\"text\">N1</td><td class=\"number\">10</td></tr>"));
  EXPECT_THAT(html, HasSubstr("<td nowrap width=1>10</td>"));
  EXPECT_THAT(html, Not(HasSubstr("<td nowrap width=1>11</td>")));
  EXPECT_THAT(html, HasSubstr("Page 1 of 3 (25 recs)"));
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=start value=\"1\">"));
  EXPECT_EQ(html.substr(html.size() - 7), "</form>");
  // No filter and no order: no summary.
  EXPECT_THAT(html, Not(HasSubstr("Sort Order:")));
}

TEST_F(RenderTest, StartPastTheRowsMovesToTheLastPage) {
  AddRows(25);
  Grid({{"start", "31"}, {"pagesize", "10"}});
  std::string html = Show();
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=start value=\"21\">"));
  EXPECT_THAT(html, HasSubstr("<td nowrap width=1>21</td>"));
  EXPECT_THAT(html, HasSubstr("<td nowrap width=1>25</td>"));
  EXPECT_THAT(html, Not(HasSubstr("<td nowrap width=1>20</td>")));

  connection_->Execute("DELETE FROM Orders WHERE Id > 20");
  Grid({{"start", "25"}, {"pagesize", "10"}});
  html = Show();
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=start value=\"11\">"));
  EXPECT_THAT(html, HasSubstr("<td nowrap width=1>11</td>"));
  EXPECT_THAT(html, HasSubstr("<td nowrap width=1>20</td>"));
}

TEST_F(RenderTest, PagingLinksAndRowNumbersFollowTheStart) {
  AddRows(25);
  Grid(Click("2start:11;"));
  const std::string html = Show();
  EXPECT_THAT(html, HasSubstr("<td nowrap width=1>11</td>"));
  EXPECT_THAT(html, Not(HasSubstr("<td nowrap width=1>10</td>")));
  EXPECT_THAT(html, Not(HasSubstr("<td nowrap width=1>21</td>")));
  EXPECT_THAT(html, HasSubstr("Page 2 of 3 (25 recs)"));
  EXPECT_THAT(html, HasSubstr("&nbsp;[2]&nbsp;"));
  EXPECT_THAT(html, HasSubstr("<a  href=\"" + Href("2start:1;") + "\">&laquo;</a>"));
  EXPECT_THAT(html, HasSubstr("<a  href=\"" + Href("2start:21;") + "\">&raquo;</a>"));
}

TEST_F(RenderTest, PageSizeChangesAndPageSizeZero) {
  AddRows(25);
  Grid({{"npagesize", "5"}, {"start", "1"}});
  std::string html = Show();
  EXPECT_THAT(html, HasSubstr("Page 1 of 5 (25 recs)"));
  EXPECT_THAT(html, HasSubstr("<td nowrap width=1>5</td>"));
  EXPECT_THAT(html, Not(HasSubstr("<td nowrap width=1>6</td>")));
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=pagesize value=\"5\">"));
  EXPECT_THAT(html, HasSubstr("<input size=2 name=npagesize value=\"5\" "));

  Grid({}).PageSize(0);
  html = Show();
  EXPECT_THAT(html, HasSubstr("<td nowrap width=1>25</td>"));
  EXPECT_THAT(html, Not(HasSubstr("recs)")));
  EXPECT_THAT(html, Not(HasSubstr(Href("2start:11;"))));
}

TEST_F(RenderTest, ALargerPageSizeMovesTheStartToItsPageBeginning) {
  AddRows(60);
  // On record 41 with pages of 10, the user asks for pages of 50.
  Grid({{"start", "41"}, {"pagesize", "10"}, {"npagesize", "50"}});
  const std::string html = Show();
  EXPECT_THAT(html, HasSubstr("Page 1 of 2 (60 recs)"));
  EXPECT_THAT(html, HasSubstr("<td nowrap width=1>1</td>"));
  EXPECT_THAT(html, HasSubstr("<td nowrap width=1>50</td>"));
  EXPECT_THAT(html, Not(HasSubstr("<td nowrap width=1>51</td>")));
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=start value=\"1\">"));
}

TEST_F(RenderTest, SortClicksShowIconsAndLinksThatToggleAndRemove) {
  AddRows(3);
  Grid(Click("1sort:2;lastsort:;rsort:0;"));
  std::string html = Show();
  EXPECT_THAT(html,
      HasSubstr("<a  href=\"" + Href("1sort:2;lastsort:2;rsort:0;") + "\">Name</a>&nbsp;"
                "<a  href=\"" + Href("1sort:2;lastsort:2;rsort:1;") + "\">+</a>"));
  EXPECT_THAT(html, HasSubstr("<b>Sort Order:</b> Name</td>"));

  Grid(Click("1sort:2;lastsort:2;rsort:0;")).SetDisplayText("removesorttitle", "Unsort");
  html = Show();
  EXPECT_THAT(html,
      HasSubstr("<a  href=\"" + Href("1sort:2;lastsort:2 desc;rsort:0;") + "\">Name</a>"
                "&nbsp;<a  href=\"" + Href("1sort:2;lastsort:2 desc;rsort:1;") +
                "\" title=\"Unsort\">-</a>"));
  EXPECT_THAT(html, HasSubstr("<b>Sort Order:</b> Name <i>descending</i>"));
  // Descending by name: N3 comes first.
  EXPECT_LT(html.find(">N3<"), html.find(">N1<"));

  Grid(Click("1sort:2;lastsort:2 desc;rsort:1;"));
  html = Show();
  EXPECT_EQ(Internals().req.order_list, "");
  EXPECT_THAT(html, Not(HasSubstr("&nbsp;<a  href=\"" + Href("1sort:2;lastsort:;rsort:1;"))));
  EXPECT_THAT(html, Not(HasSubstr("Sort Order:")));
}

TEST_F(RenderTest, HeaderWithoutSortLinksAndWithTextStyle) {
  AddRows(2);
  DataGrid& grid = Grid(Click("1sort:1;lastsort:;rsort:0;"));
  grid.HeaderTextStyle("color:red");
  GridInternals(grid).page->header_sort_links = false;
  grid.AddRowNumbers(false);
  const std::string html = Show();
  EXPECT_THAT(html, HasSubstr("<th><a><font style=\"color:red\">Id</font></a></th>"));
  EXPECT_THAT(html, Not(HasSubstr("<td nowrap width=1>")));
}

TEST_F(RenderTest, EmptyResultWritesTheFormAndTheMessageOnly) {
  Grid({});
  const std::string html = Show();
  EXPECT_EQ(html, std::string(kPostBackScript) +
                      "<form name=FNKQuillon method=post action=\"/orders.asp\">"
                      "No records returned!");
}

TEST_F(RenderTest, MissingConnectionOrCommandIsShownNotCrashed) {
  Grid({}).Connection(nullptr);
  std::string html = Show();
  EXPECT_THAT(html,
      HasSubstr("Your Database Connection must be set before calling .Display() method"));
  Grid({}, "");
  html = Show();
  EXPECT_THAT(html, HasSubstr("Your SQL Command must be set before calling .Display() method"));
  EXPECT_THAT(html, Not(HasSubstr("<form")));
}

TEST_F(RenderTest, RowsThatFailWhileReadingShowTheErrorBoxInPlaceOfTheTable) {
  AddRows(5);
  // SQLite accepts the statement and fails on the third row.
  const std::string failing =
      "SELECT Id, abs(CASE WHEN Id = 3 THEN -9223372036854775807 - 1 ELSE Id END) AS A "
      "FROM Orders";
  const std::string expected = std::string(kPostBackScript) +
                               "<form name=FNKQuillon method=post action=\"/orders.asp\">"
                               "<div style='color:red;'><b>Error #:</b> -2147217900<br>"
                               "integer overflow (reference ";
  Grid({}, failing);
  const std::string box = Show();
  EXPECT_EQ(box.substr(0, expected.size()), expected);
  EXPECT_EQ(box.size(), expected.size() + std::string("0A1B2C3D)</div>").size()) << box;

  // A filter the database accepted is not blamed for the failure.
  Grid({{"rsfilter", "Id > 0"}}, failing);
  const std::string html = Show();
  EXPECT_THAT(html, Not(HasSubstr("Your filter is invalid!")));
  EXPECT_THAT(html, HasSubstr("<b>Error #:</b> -2147217900<br>integer overflow (reference "));
}

TEST_F(RenderTest, WhatWasDrawnReachesThePageBeforeAnError) {
  AddRows(5);
  // Rows 1 and 2 format as numbers; row 3's text cannot.
  DataGrid& grid = Grid({}, "SELECT Id, CASE WHEN Id < 3 THEN '5' ELSE 'x' END AS V FROM Orders");
  grid.NumberColumn("V", 0);
  try {
    grid.Display();
    FAIL() << "the text in a number column must raise";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 13);
    EXPECT_THAT(e.source(), HasSubstr("<br> Bind Line: 12"));
  }
  const std::string html = Output();
  const std::string form = "<form name=FNKQuillon method=post action=\"/orders.asp\">";
  EXPECT_EQ(html.find(std::string(kPostBackScript) + form), 0u) << html;
  EXPECT_THAT(html, HasSubstr("<div class=filterButtons>"));
  EXPECT_THAT(html, HasSubstr("<tr><td nowrap width=1>2</td><td class=\"number\">2</td>"
                              "<td class=\"text\">5</td></tr>"));
  // The failing row is drawn up to its failing cell; nothing after it.
  const std::string tail =
      "<tr><td nowrap width=1>3</td><td class=\"number\">3</td><td class=\"text\">";
  ASSERT_GT(html.size(), tail.size());
  EXPECT_EQ(html.substr(html.size() - tail.size()), tail);
  EXPECT_THAT(html, Not(HasSubstr("name=pgraph")));
}

TEST_F(RenderTest, ColumnarLayoutWritesOneCaptionAndValuePerLine) {
  AddRows(3);
  DataGrid& grid = Grid({});
  grid.IsColumnar(true);
  grid.ColumnCaption("Name", "Customer");
  const std::string html = Show();
  EXPECT_THAT(html,
      HasSubstr("<table width=\"100%\" border=\"0\" cellpadding=\"2\" cellspacing=\"1\">"
                "<tr><td valign=top >Id</td><td >1</td></tr>"
                "<tr><td valign=top >Customer</td><td >N1</td></tr>"
                "<tr><td valign=top >Amount</td><td >10</td></tr>"
                "<tr><td colspan=3>&nbsp;</td></tr>"));
  // No export area in the columnar layout, and no header row.
  EXPECT_THAT(html, Not(HasSubstr("class=export")));
  EXPECT_THAT(html, Not(HasSubstr("<th>")));
}

TEST_F(RenderTest, PrintViewCutsTheRowsIntoPagesWithHeadersFootersAndBreaks) {
  AddRows(25);
  DataGrid& grid = Grid({{"pagesize", "10"}, {"start", "1"}, {"__FARGS", EncodeArgument("5")}});
  grid.Title("Orders");
  grid.PrintHeader("<h1>@ReportTitle @CurrentPage/@NumOfPages</h1>");
  grid.PrintFooter("<i>@NumOfRecs rows</i>");
  const std::string html = Show();
  EXPECT_THAT(html, HasSubstr("<h1>Orders 1/3</h1>"));
  EXPECT_THAT(html, HasSubstr("<h1>Orders 2/3</h1>"));
  EXPECT_THAT(html, HasSubstr("<h1>Orders 3/3</h1>"));
  EXPECT_EQ(Count(html, "<i>25 rows</i>"), 3u);
  const std::string page_break = "<div style=\"page-break-after:always;\">&nbsp;</div>";
  EXPECT_EQ(Count(html, page_break), 2u);
  EXPECT_GT(html.find(page_break), html.find("<td nowrap width=1>10</td>"));
  EXPECT_LT(html.find(page_break), html.find("<td nowrap width=1>11</td>"));
  EXPECT_THAT(html, HasSubstr("<td nowrap width=1>25</td>"));
  // No paging, filtering, print link or sort links while printing; a Close
  // link leads back.
  EXPECT_EQ(Count(html, "<th>"), 3u * 4u);
  EXPECT_THAT(html, Not(HasSubstr("Page 1 of")));
  EXPECT_THAT(html, Not(HasSubstr("search_field")));
  EXPECT_THAT(html, Not(HasSubstr(Href("5"))));
  EXPECT_THAT(html, Not(HasSubstr(Href("1sort:1;lastsort:;rsort:0;"))));
  EXPECT_THAT(html, HasSubstr("<a  href=\"" + Href("2start:1;") +
                              "\" title=\"Reset grid\"><font color=gray>Close</font></a>"));
}

TEST_F(RenderTest, FilterNarrowsRowsAndTheSummaryShowsItEncoded) {
  AddRows(9);
  Grid({{"search_field", "[Orders].[Name]"},
        {"search_condition", " LIKE '%v%'"},
        {"search_text", "N1"}});
  std::string html = Show();
  EXPECT_THAT(html, HasSubstr(">N1<"));
  EXPECT_THAT(html, Not(HasSubstr(">N2<")));
  EXPECT_THAT(html, HasSubstr("<b>Filter(s):</b> [Orders].[Name] LIKE '%N1%'</td>"));
  EXPECT_THAT(html, HasSubstr("<div style='display:block;'>"));

  connection_->Execute("UPDATE Orders SET Name = '<i>x</i>' WHERE Id = 3");
  Grid({{"rsfilter", "Name LIKE '%<i>%'"}});
  html = Show();
  EXPECT_THAT(html, HasSubstr("<b>Filter(s):</b> Name LIKE '%&lt;i&gt;%'</td>"));
  EXPECT_THAT(html, Not(HasSubstr("'%<i>%'")));
}

TEST_F(RenderTest, DataWithMarkupStaysTextInBothLayouts) {
  connection_->Execute(
      "INSERT INTO Orders VALUES (1, '<script>alert(1)</script> & \"q\"', 1, 'East')");
  const std::string encoded = "&lt;script&gt;alert(1)&lt;/script&gt; &amp; &quot;q&quot;";
  Grid({});
  std::string html = Show();
  EXPECT_THAT(html, Not(HasSubstr("<script>alert")));
  EXPECT_THAT(html, HasSubstr("<td class=\"text\">" + encoded + "</td>"));

  Grid({}).IsColumnar(true);
  html = Show();
  EXPECT_THAT(html, Not(HasSubstr("<script>alert")));
  EXPECT_THAT(html, HasSubstr("<td >" + encoded + "</td>"));

  // A page that trusts its data may let it through.
  Grid({}).AllowHtmlInData(true);
  html = Show();
  EXPECT_THAT(html, HasSubstr("<script>alert(1)</script>"));
}

TEST_F(RenderTest, ReturnLinkCarriesTheReportEncoded) {
  AddRows(1);
  Grid({}, kSelect, {{"rurl1", "7\"><b>"}});
  const std::string html = Show();
  EXPECT_THAT(html,
      HasSubstr("<div align=center><a  href=\"/orders.asp?rid=7%22%3E%3Cb%3E\">Return</a>"
                "</div><input type=hidden name=rurl1 value=\"7&quot;&gt;&lt;b&gt;\">"));
}

}  // namespace
}  // namespace fennick

namespace fennick {
namespace {

TEST_F(RenderTest, ReportDesignerSwitchesShownFieldsFilterTextAndPageBreaks) {
  AddRows(3);
  DataGrid& grid = Grid({{"pagesize", "10"}, {"start", "1"}, {"__FARGS", EncodeArgument("5")}});
  GridObject& g = GridInternals(grid);
  g.page->shown_fields = "Name,ID";
  g.designer.designer_filter_text = "Region is West";
  g.designer.filter_text_summary = true;
  g.designer.page_break_after_report = true;
  std::string html = Show();
  EXPECT_THAT(html, HasSubstr("<th><a>Id</a></th><th><a>Name</a></th></tr>"));
  EXPECT_THAT(html, Not(HasSubstr(">Amount<")));
  EXPECT_THAT(html, Not(HasSubstr("<td class=\"number\">10</td>")));
  EXPECT_EQ(Count(html, "<div style=\"page-break-after:always;\">&nbsp;</div>"), 1u);
  EXPECT_THAT(html,
      HasSubstr("<table cellpadding=4 width=\"100%\"><tr><td><div class=filters>Region is "
                "West</div></td></tr></table>"));

  connection_->Execute("DELETE FROM Orders");
  GridInternals(Grid({})).designer.designer_filter_text = "Region is West";
  Internals().designer.filter_text_when_empty = true;
  html = Show();
  EXPECT_THAT(html, HasSubstr("No records returned!<div class=filters>Region is West</div>"));
}

}  // namespace
}  // namespace fennick

namespace fennick {
namespace {

TEST_F(RenderTest, EmptyBinaryFieldsDrawNoImage) {
  connection_->Execute("CREATE TABLE Pictures (Id INTEGER, Photo BLOB)");
  connection_->Execute("INSERT INTO Pictures VALUES (1, X'89504E470D0A1A0A'), (2, NULL)");
  Grid({}, "SELECT Id,Photo FROM Pictures");
  const std::string html = Show();
  size_t first = html.find("<img src=\"/orders.asp?a=i&amp;r=0&amp;cell=");
  EXPECT_NE(first, std::string::npos) << html;
  EXPECT_THAT(html, Not(HasSubstr("?a=i&amp;r=1&amp;")));
}

}  // namespace
}  // namespace fennick
