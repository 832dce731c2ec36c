// A master-details grid drawn from SQLite: customers as master rows over
// their orders. Expanding one master, showing and collapsing all details,
// paging by masters, the columnar layout and the print view, and what a
// post may not change (the master columns, a current master off the page).
#include "fennick/grid_report.h"
#include "grid/render_fixture.h"

namespace fennick {
namespace {

class MasterDetailsTest : public RenderTest {
 protected:
  // Customers Co01..Co<masters>, each with `orders` orders whose Region
  // names the customer; order ids count from 1 in customer order, amounts
  // are id * 10.
  void AddMasters(int masters, int orders) {
    connection_->Execute("CREATE TABLE Customers (Cid VARCHAR(5), Company VARCHAR(40))");
    connection_->Execute("BEGIN");
    int id = 1;
    for (int m = 1; m <= masters; ++m) {
      const std::string number = (m < 10 ? "0" : "") + std::to_string(m);
      connection_->Execute("INSERT INTO Customers VALUES ('C" + number + "', 'Co" + number + "')");
      for (int o = 0; o < orders; ++o, ++id) {
        connection_->Execute("INSERT INTO Orders VALUES (" + std::to_string(id) + ", 'N" +
                             std::to_string(id) + "', " + std::to_string(id * 10) + ", 'C" +
                             number + "')");
      }
    }
    connection_->Execute("COMMIT");
  }

  // A master-details grid over customers and orders, sorted by customer.
  DataGrid& MasterGrid(const Fields& form) {
    DataGrid& grid = Grid(form, kMasterSelect);
    grid.MasterTable("Customers");
    grid.DefaultSortOrder("Customers.Company,Orders.Id");
    return grid;
  }

  // The master row of customer `m` (0-based) with default styles.
  static std::string MasterRow(int m, const std::string& attributes = "") {
    const std::string number = (m < 9 ? "0" : "") + std::to_string(m + 1);
    return "<tr" + attributes + "><td nowrap width=1><a href=\"" +
           Href("6;curidx:" + std::to_string(m) + ";") + "\"><font" + attributes + ">" +
           std::to_string(m + 1) + "</font></a></td><td class=\"text\">Co" + number +
           "</td></tr>";
  }

  static constexpr char kMasterSelect[] =
      "SELECT Customers.Company,Orders.Id,Orders.Amount FROM Customers,Orders "
      "WHERE Orders.Region = Customers.Cid";
  static constexpr char kDetailsOpen[] =
      "<tr><td align=right colspan=100 bgcolor=white><table class=details width=\"97%\"><tr><td>";
};

TEST_F(MasterDetailsTest, FirstPageShowsMasterRowsAndTheFirstMastersDetails) {
  AddMasters(3, 2);
  MasterGrid({});
  const std::string html = Show();
  // The header holds the master columns only.
  EXPECT_THAT(html,
      HasSubstr("<table width=\"100%\" border=\"0\" cellpadding=\"2\" cellspacing=\"1\">"
                "<tr ><th><a  href=\"" + Href("3start:1;rsort:0;") +
                "\"><font face='MS OUTLOOK'>C</font></a></th><th><a  href=\"" +
                Href("1sort:1;lastsort:;rsort:0;") + "\">Company</a></th></tr>" +
                MasterRow(0)));
  // The current master's details: the other columns, no row numbers.
  EXPECT_THAT(html,
      HasSubstr(MasterRow(0) + kDetailsOpen +
                "<table width=\"100%\" border=\"0\" cellpadding=\"2\" cellspacing=\"1\">"
                "<tr ><th><a  href=\"" + Href("1sort:2;lastsort:;rsort:0;") +
                "\">Id</a></th><th><a  href=\"" + Href("1sort:3;lastsort:;rsort:0;") +
                "\">Amount</a></th></tr>"
                "<tr><td class=\"number\">1</td><td class=\"number\">10</td></tr>"
                "<tr><td class=\"number\">2</td><td class=\"number\">20</td></tr>"
                "</table></td></tr></table></td></tr>" +
                MasterRow(1) + MasterRow(2) + "</table>"));
  EXPECT_EQ(Count(html, "<table class=details"), 1u);
  EXPECT_THAT(html, HasSubstr("<td class=leftCell><a  href=\"" + Href("5") + "\">Print</a>"
                              "&nbsp;&#183;&nbsp;<a href=\"" + Href("7") +
                              "\" >Show all Details</a></td>"));
  EXPECT_THAT(html, HasSubstr("Page 1 of 1 (3 recs)"));
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=mastercols value=\",0,\">"));
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=curidx value=\"0\">"
                              "<input type=hidden name=showall value=\"False\">"));

  // Row numbers off: the first master cell carries the expand link.
  MasterGrid({}).AddRowNumbers(false);
  const std::string plain = Show();
  EXPECT_THAT(plain, HasSubstr("<tr><td class=\"text\"><a href=\"" + Href("6;curidx:0;") +
                               "\"><font>-</font></a>&nbsp;Co01</td></tr>" + kDetailsOpen));
  EXPECT_THAT(plain, HasSubstr("<tr><td class=\"text\"><a href=\"" + Href("6;curidx:1;") +
                               "\"><font>+</font></a>&nbsp;Co02</td></tr><tr><td class=\"text\">"));
}

TEST_F(MasterDetailsTest, ExpandShowAllAndCollapse) {
  AddMasters(3, 2);
  // The second master's link.
  MasterGrid(Click("6;curidx:1;"));
  std::string html = Show();
  EXPECT_EQ(Count(html, "<table class=details"), 1u);
  EXPECT_THAT(html, HasSubstr(MasterRow(1) + kDetailsOpen));
  EXPECT_THAT(html, HasSubstr("<td class=\"number\">3</td><td class=\"number\">30</td>"));
  EXPECT_THAT(html, Not(HasSubstr("<td class=\"number\">1</td><td class=\"number\">10</td>")));
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=curidx value=\"1\">"));

  // Show all: every master expanded, every row styled as the first, the
  // tool bar offers to collapse back to the current master.
  Fields show_all = Click("7");
  show_all.push_back({"curidx", "1"});
  MasterGrid(show_all).ItemClassName("even");
  grid_->AltItemClassName("odd");
  grid_->AddRowNumbers(false);
  html = Show();
  EXPECT_EQ(Count(html, "<table class=details"), 3u);
  for (int m = 0; m < 3; ++m) {
    EXPECT_THAT(html,
        HasSubstr("<tr class=\"even\"><td class=\"text\"><a href=\"" +
                  Href("6;curidx:" + std::to_string(m) + ";") +
                  "\"><font class=\"even\">-</font></a>&nbsp;Co0" + std::to_string(m + 1) +
                  "</td></tr>" + kDetailsOpen))
        << m << html;
  }
  EXPECT_THAT(html,
      HasSubstr("&nbsp;&nbsp;<a href=\"" + Href("6;curidx:1;") + "\" >Collapse Details</a>"));
  EXPECT_THAT(html, Not(HasSubstr("Show all Details")));
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=showall value=\"True\">"));

  // Collapse: the link's post, with the hidden fields of the page above.
  Fields collapse = Click("6;curidx:1;");
  collapse.push_back({"showall", "True"});
  MasterGrid(collapse);
  html = Show();
  EXPECT_EQ(Count(html, "<table class=details"), 1u);
  EXPECT_THAT(html, HasSubstr(MasterRow(1) + kDetailsOpen));
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=showall value=\"False\">"));
}

TEST_F(MasterDetailsTest, PagesCountMasters) {
  AddMasters(25, 2);
  MasterGrid({});
  std::string html = Show();
  EXPECT_THAT(html, HasSubstr("Page 1 of 3 (25 recs)"));
  EXPECT_THAT(html, HasSubstr(MasterRow(9)));
  EXPECT_THAT(html, Not(HasSubstr(MasterRow(10))));
  EXPECT_THAT(html, HasSubstr("<a  href=\"" + Href("2start:11;") + "\">&raquo;</a>"));

  Fields last_page = Click("2start:21;");
  last_page.push_back({"curidx", "20"});
  MasterGrid(last_page);
  html = Show();
  EXPECT_THAT(html, HasSubstr("Page 3 of 3 (25 recs)"));
  EXPECT_THAT(html, Not(HasSubstr(MasterRow(19))));
  EXPECT_THAT(html, HasSubstr(MasterRow(20) + kDetailsOpen));
  EXPECT_THAT(html, HasSubstr(MasterRow(24) + "</table>"));
  // Master 21 has orders 41 and 42.
  EXPECT_THAT(html, HasSubstr("<td class=\"number\">41</td><td class=\"number\">410</td>"));

  // A start past the masters moves to the last page; page size 0 shows
  // every master.
  MasterGrid({{"start", "31"}, {"pagesize", "10"}});
  html = Show();
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=start value=\"21\">"));
  MasterGrid({}).PageSize(0);
  html = Show();
  EXPECT_THAT(html, HasSubstr(MasterRow(24) + "</table>"));
  EXPECT_THAT(html, Not(HasSubstr("recs)")));
}

TEST_F(MasterDetailsTest, ACurrentMasterOffThePageFallsBackToThePagesFirst) {
  AddMasters(25, 1);
  // The page shows masters 10..19; the post names master 7.
  MasterGrid({{"start", "11"}, {"pagesize", "10"}, {"curidx", "7"}});
  std::string html = Show();
  EXPECT_EQ(Count(html, "<table class=details"), 1u);
  EXPECT_THAT(html, HasSubstr(MasterRow(10) + kDetailsOpen));
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=curidx value=\"10\">"));

  // Hostile values take the same way.
  for (const char* value : {"-3", "99999999999999999999", "abc", "1e300", "12;curidx:3"}) {
    MasterGrid({{"start", "11"}, {"pagesize", "10"}, {"curidx", value}});
    html = Show();
    EXPECT_EQ(Count(html, "<table class=details"), 1u) << value;
    EXPECT_THAT(html, HasSubstr(MasterRow(10) + kDetailsOpen)) << value;
    EXPECT_THAT(html, HasSubstr("<input type=hidden name=curidx value=\"10\">"))
        << value;
  }
  // The link argument likewise: the current master is on the page or is
  // its first.
  MasterGrid(Click("6;curidx:-1;"));
  html = Show();
  EXPECT_THAT(html, HasSubstr(MasterRow(0) + kDetailsOpen));
}

TEST_F(MasterDetailsTest, ThePostedMasterColumnsAreNeverUsed) {
  AddMasters(3, 2);
  // A post claims column 1 as master: a sort click on it would then take
  // the lead of the ORDER BY in place of the required order.
  Fields post = Click("1sort:2;lastsort:;rsort:0;");
  post.push_back({"mastercols", ",1,2,"});
  MasterGrid(post).RequiredSortOrder("Customers.Company");
  const std::string html = Show();
  EXPECT_EQ(grid_->Command(), std::string(kMasterSelect) + " ORDER BY Customers.Company,2");
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=mastercols value=\",0,\">"));
  EXPECT_EQ(Count(html, "<table class=details"), 1u);
  EXPECT_THAT(html, HasSubstr("Page 1 of 1 (3 recs)"));
}

TEST_F(MasterDetailsTest, NoMasterTableOrOneTheResultDoesNotHold) {
  AddMasters(2, 2);
  MasterGrid({}).MasterTable("");
  std::string html = Show();
  EXPECT_EQ(html,
            "<font color=red><b>Master table not selected<b><br>You must first select a master "
            "table</font>");

  // No column belongs to Shippers: the box names it (grouping by no column
  // would make the whole result one master row and hide the mistake).
  MasterGrid({}).MasterTable("Shippers");
  EXPECT_EQ(Show(),
            "<font color=red><b>Master table not selected<b><br>No column of the result belongs "
            "to the master table &quot;Shippers&quot;</font>");
}

TEST_F(MasterDetailsTest, ColumnarLayoutShowsEveryMasterWithItsDetails) {
  AddMasters(3, 2);
  MasterGrid({}).IsColumnar(true);
  const std::string html = Show();
  EXPECT_EQ(Count(html, "<table class=details"), 3u);
  EXPECT_THAT(html,
      HasSubstr("<table width=\"100%\" border=\"0\" cellpadding=\"2\" cellspacing=\"1\">"
                "<tr><td valign=top><table border=0><tr><td valign=top >Company</td>"
                "<td >Co01</td></tr><tr><td colspan=3>&nbsp;</td></tr></table></td>"
                "<td valign=top><table class=details width=\"97%\"><tr><td>"));
  EXPECT_THAT(html, Not(HasSubstr("Show all Details")));
  EXPECT_THAT(html, Not(HasSubstr(Href("6;curidx:0;"))));
}

TEST_F(MasterDetailsTest, PrintViewPagesMastersWithoutLinks) {
  AddMasters(3, 2);
  MasterGrid(Click("5")).PageSize(2);
  grid_->PrintHeader("<h2>@CurrentPage/@NumOfPages (@NumOfRecs)</h2>");
  const std::string html = Show();
  const size_t first = html.find("<h2>1/2 (3)</h2>");
  const size_t second = html.find("<h2>2/2 (3)</h2>");
  ASSERT_NE(first, std::string::npos) << html;
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(html.find("Co02"), second);
  EXPECT_GT(html.find("Co03"), second);
  EXPECT_EQ(Count(html, "page-break-after:always"), 1u);
  EXPECT_THAT(html, Not(HasSubstr("Show all Details")));
  EXPECT_THAT(html, Not(HasSubstr("1sort:")));
  EXPECT_THAT(html, Not(HasSubstr("name=search_field")));
  EXPECT_THAT(html, Not(HasSubstr("recs)")));
  // Each printed page expands its own first master.
  EXPECT_EQ(Count(html, "<table class=details"), 2u);
}

// Row cells: the header has them, so every master row ends with its
// details' totals (the first details column names the row and is not
// added). The required order leads and the default one follows it, so the
// details come newest first.
TEST_F(MasterDetailsTest, MasterRowsTotalTheirDetailsInTheDefaultOrder) {
  AddMasters(2, 2);
  MasterGrid({}).RequiredSortOrder("Customers.Company");
  grid_->DefaultSortOrder("Orders.Id desc");
  SetRowAverages(*grid_, true);
  SetRowTotals(*grid_, true);
  const std::string html = Show();
  EXPECT_EQ(grid_->Command(),
            std::string(kMasterSelect) + " ORDER BY Customers.Company,Orders.Id desc");
  const std::string cells = "<th><span>Average</span></th><th><span>Total</span></th></tr>";
  EXPECT_THAT(html, HasSubstr("\">Company</a></th>" + cells));
  EXPECT_THAT(html, HasSubstr("\">Amount</a></th>" + cells));
  std::string first = MasterRow(0);
  first.insert(first.size() - 5, "<td class=row_footer>15</td><td class=row_footer>30</td>");
  EXPECT_THAT(html, HasSubstr(first + kDetailsOpen));
  EXPECT_THAT(html, HasSubstr("<tr><td class=\"number\">2</td><td class=\"number\">20</td>"
                              "<td class=row_footer>20</td><td class=row_footer>20</td></tr>"
                              "<tr><td class=\"number\">1</td><td class=\"number\">10</td>"));
}

TEST_F(MasterDetailsTest, MasterValuesStayText) {
  AddMasters(1, 1);
  connection_->Execute("UPDATE Customers SET Company = '<b>\"x\"</b>'");
  MasterGrid({});
  const std::string html = Show();
  EXPECT_THAT(html, Not(HasSubstr("<b>\"x\"</b>")));
  EXPECT_THAT(html, HasSubstr("&lt;b&gt;&quot;x&quot;&lt;/b&gt;"));
}

}  // namespace
}  // namespace fennick
