// The grid's bar graph: which columns and rows it draws, its legend, the
// link between the current page's rows and all rows, and the message when
// nothing can be drawn.
#include <gtest/gtest.h>

#include <string>

#include "grid/render_fixture.h"

namespace fennick {
namespace {

constexpr char kRowsNotAdded[] =
    "<font color=navy><b>Rows not added!</b><br>You must first add rows to the graph before "
    "create graphs.</font><br>";
constexpr char kBreak[] = "<div style='page-break-after:always;'></div>";

class GridGraphTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    connection_->Execute(
        "CREATE TABLE Sales (Name VARCHAR(20), Q1 DOUBLE PRECISION, Q2 DOUBLE PRECISION, "
        "Note VARCHAR(20))");
    connection_->Execute(
        "INSERT INTO Sales VALUES ('Alpha', 10, 40, 'x'), ('Bravo', 30, 20, 'y'), "
        "('Charlie', 60, 5, 'z')");
  }
  static Fields WithPageGraph(Fields form) {
    form.emplace_back("pgraph", "True");
    return form;
  }
  static constexpr char kSales[] = "SELECT Name,Q1,Q2 FROM Sales";
};

TEST_F(GridGraphTest, TwoNumberColumnsGiveLabelledGroupsAndANamedLegend) {
  DataGrid& grid = Grid({}, kSales);
  grid.GraphType(1);
  grid.GraphLegendColumn("Name");
  grid.ColumnCaption("Q1", "First quarter");
  grid.SetGraphLabels("Sales title", "Units", "Quarters");
  const std::string html = Show();
  EXPECT_EQ(Internals().result.graph_columns, (std::vector<int>{1, 2}));
  EXPECT_THAT(html, HasSubstr("First quarter"));
  EXPECT_THAT(html, HasSubstr("Q2"));
  for (const char* name : {"Alpha", "Bravo", "Charlie"}) {
    EXPECT_GE(Count(html, name), 2u) << name;  // grid cell and legend
  }
  EXPECT_THAT(html, HasSubstr("graph_title"));
  EXPECT_THAT(html, HasSubstr("Sales title"));
  EXPECT_THAT(html, HasSubstr("U<br>n<br>i<br>t<br>s<br>"));  // written vertically
  EXPECT_THAT(html, HasSubstr("Quarters"));
  EXPECT_THAT(html, HasSubstr(kBreak));
  EXPECT_THAT(html, Not(HasSubstr("Rows not added!")));
}

TEST_F(GridGraphTest, OneNumberColumnShowsEachNameWithItsShare) {
  DataGrid& grid = Grid({}, "SELECT Name,Q1 FROM Sales");
  grid.GraphType(1);
  grid.GraphLegendColumn("0");
  const std::string html = Show();
  EXPECT_EQ(Internals().result.graph_columns, (std::vector<int>{1}));
  // Totals 100: each record's share equals its value.
  EXPECT_THAT(html, HasSubstr("60%"));
  EXPECT_THAT(html, HasSubstr("30%"));
  EXPECT_THAT(html, HasSubstr("10%"));
}

TEST_F(GridGraphTest, GraphFieldsStorageAndQualifiedEntries) {
  DataGrid& grid = Grid({}, kSales);
  grid.GraphFields("Q1 , Q2");
  EXPECT_EQ(Internals().settings.graph_fields, ",Q1,Q2,");
  grid.GraphFields("orders.Q1");
  grid.GraphType(1);
  grid.GraphLegendColumn("Name");
  Show();
  EXPECT_EQ(Internals().result.graph_columns, (std::vector<int>{1}));
}

TEST_F(GridGraphTest, EmptyGraphFieldsKeepThePreviousList) {
  DataGrid& grid = Grid({}, kSales);
  grid.GraphFields("");
  EXPECT_EQ(Internals().settings.graph_fields, "");
  grid.GraphType(1);
  grid.GraphLegendColumn("Name");
  std::string html = Show();
  EXPECT_EQ(Internals().result.graph_columns, (std::vector<int>{1, 2}));
  EXPECT_THAT(html, Not(HasSubstr("Rows not added!")));

  DataGrid& narrowed = Grid({}, kSales);
  narrowed.GraphFields("Q2");
  narrowed.GraphFields("  ");
  EXPECT_EQ(Internals().settings.graph_fields, ",Q2,");
  narrowed.GraphType(1);
  html = Show();
  EXPECT_EQ(Internals().result.graph_columns, (std::vector<int>{2}));
}

TEST_F(GridGraphTest, GraphComesAfterTheStateFieldsSummaryAndForm) {
  DataGrid& grid = Grid(Click("1sort:2;lastsort:;rsort:0;"), kSales);
  grid.GraphType(1);
  grid.GraphLegendColumn("Name");
  grid.SetGraphLabels("Sales title", "", "");
  const std::string html = Show();
  const size_t state = html.find("<input type=hidden name=pgraph");
  const size_t summary = html.find("<b>Sort Order:</b>");
  const size_t form_end = html.find("</form>");
  const size_t graph = html.find("Sales title");
  ASSERT_NE(state, std::string::npos);
  ASSERT_NE(summary, std::string::npos);
  ASSERT_NE(form_end, std::string::npos);
  ASSERT_NE(graph, std::string::npos);
  EXPECT_LT(state, summary);
  EXPECT_LT(summary, form_end);
  EXPECT_LT(form_end, graph);
  EXPECT_EQ(Count(html, "</form>"), 1u);
  // The graph and its page break are the last thing the grid writes.
  ASSERT_GT(html.size(), std::string(kBreak).size());
  EXPECT_EQ(html.substr(html.size() - std::string(kBreak).size()), kBreak);
}

TEST_F(GridGraphTest, GraphFieldsNamingNoColumnWritesTheMessage) {
  DataGrid& grid = Grid({}, kSales);
  grid.GraphFields("Other");
  grid.GraphType(1);
  const std::string html = Show();
  EXPECT_THAT(html, HasSubstr(kRowsNotAdded));
}

TEST_F(GridGraphTest, NoNumberColumnWritesTheMessage) {
  DataGrid& grid = Grid({}, "SELECT Name,Note FROM Sales");
  grid.GraphType(2);
  const std::string html = Show();
  EXPECT_THAT(html, HasSubstr(kRowsNotAdded));
  EXPECT_THAT(html, Not(HasSubstr(kBreak)));
}

TEST_F(GridGraphTest, TheLegendColumnIsNotGraphed) {
  DataGrid& grid = Grid({}, kSales);
  grid.GraphType(1);
  grid.GraphLegendColumn("Q1");
  Show();
  EXPECT_EQ(Internals().result.graph_columns, (std::vector<int>{2}));
}

TEST_F(GridGraphTest, GraphTypeZeroDrawsNothingEvenGraphOnly) {
  DataGrid& grid = Grid({}, kSales);
  grid.GraphOnly(true);
  const std::string html = Show();
  EXPECT_THAT(html, Not(HasSubstr(kBreak)));
  EXPECT_THAT(html, Not(HasSubstr("Rows not added!")));
  EXPECT_TRUE(Internals().result.graph_columns.empty());
}

TEST_F(GridGraphTest, GraphOnlyDrawsTheGraphInsteadOfTheGrid) {
  DataGrid& grid = Grid({}, kSales);
  grid.GraphType(1);
  grid.GraphOnly(true);
  grid.GraphLegendColumn("Name");
  const std::string html = Show();
  EXPECT_EQ(Count(html, kBreak), 1u);
  EXPECT_THAT(html, Not(HasSubstr("pgraph")));  // no grid state written
  EXPECT_THAT(html, HasSubstr("Alpha"));
}

TEST_F(GridGraphTest, EmptyLegendColumnGivesNoLegend) {
  DataGrid& grid = Grid({}, kSales);
  grid.GraphType(1);
  grid.GraphOnly(true);
  const std::string without = Show();
  EXPECT_EQ(Internals().result.graph_columns, (std::vector<int>{1, 2}));
  EXPECT_THAT(without, Not(HasSubstr("Alpha")));
  DataGrid& named = Grid({}, kSales);
  named.GraphType(1);
  named.GraphOnly(true);
  named.GraphLegendColumn("Name");
  const std::string with = Show();
  EXPECT_THAT(with, HasSubstr("Alpha"));
}

TEST_F(GridGraphTest, AnEmptyLegendValueShiftsLaterNamesUp) {
  connection_->Execute("UPDATE Sales SET Name = '' WHERE Name = 'Alpha'");
  DataGrid& grid = Grid({}, "SELECT Name,Q1 FROM Sales ORDER BY Q1");
  grid.GraphType(1);
  grid.GraphLegendColumn("Name");
  const std::string html = Show();
  // The unnamed record is still graphed; the names that follow keep
  // their legend entries.
  EXPECT_EQ(Internals().result.graph_columns, (std::vector<int>{1}));
  EXPECT_GE(Count(html, "Bravo"), 2u);
  EXPECT_GE(Count(html, "Charlie"), 2u);
  EXPECT_THAT(html, Not(HasSubstr("Rows not added!")));
}

TEST_F(GridGraphTest, PageGraphLinkOnEarlierPagesOnly) {
  DataGrid& grid = Grid({}, kSales);
  grid.GraphType(1);
  grid.PageSize(2);
  std::string html = Show();
  // Page graph on (first request), first page: the link to all rows.
  EXPECT_THAT(html, HasSubstr(Href("8")));
  EXPECT_THAT(html, HasSubstr("View All"));
  EXPECT_THAT(html, HasSubstr("View all records"));
  EXPECT_EQ(Internals().result.graph_columns, (std::vector<int>{1, 2}));

  // Last page: no link.
  DataGrid& last = Grid(WithPageGraph(Click("2start:3;")), kSales);
  last.GraphType(1);
  last.PageSize(2);
  html = Show();
  EXPECT_THAT(html, Not(HasSubstr(Href("8"))));
  EXPECT_THAT(html, Not(HasSubstr("View All")));
  EXPECT_THAT(html, Not(HasSubstr("View Current")));
}

TEST_F(GridGraphTest, PageGraphOffDrawsAllRowsWithTheCurrentLink) {
  DataGrid& grid = Grid(Click("8"), kSales);
  grid.GraphType(1);
  grid.PageSize(1);
  grid.GraphLegendColumn("Name");
  const std::string html = Show();
  EXPECT_FALSE(Internals().req.page_graph);
  EXPECT_THAT(html, HasSubstr(Href("9")));
  EXPECT_THAT(html, HasSubstr("View Current"));
  EXPECT_THAT(html, HasSubstr("View only current records"));
  // All three names in the legend although the page shows one row.
  EXPECT_THAT(html, HasSubstr("Charlie"));
}

TEST_F(GridGraphTest, PrintViewDrawsAGraphAfterEachPageWithoutLinks) {
  DataGrid& grid = Grid(WithPageGraph(Click("5")), kSales);
  grid.GraphType(1);
  grid.PageSize(2);
  const std::string html = Show();
  ASSERT_TRUE(Internals().req.print_view);
  EXPECT_THAT(html, Not(HasSubstr("View All")));
  EXPECT_THAT(html, Not(HasSubstr(kBreak)));  // no break after page graphs
  // Two printed pages, each followed by the graph of its rows.
  EXPECT_EQ(Count(html, "<table cellSpacing=0 cellPadding=4 border=0 >"), 2u);
  EXPECT_EQ(Internals().result.graph_columns, (std::vector<int>{1, 2}));
}

TEST_F(GridGraphTest, CellTextIsReadWithADotAsDecimalPoint) {
  connection_->Execute("CREATE TABLE Money (Name VARCHAR(20), Amount NUMERIC)");
  connection_->Execute("INSERT INTO Money VALUES ('a', '1.234,50'), ('b', '2.5')");
  DataGrid& grid = Grid({}, "SELECT Name,Amount FROM Money");
  grid.GraphType(1);
  grid.GraphLegendColumn("Name");
  const std::string html = Show();
  if (Internals().result.columns.size() == 2 &&
      (Internals().result.columns[1].type_class == TypeClass::kNumber ||
       Internals().result.columns[1].type_class == TypeClass::kMoney)) {
    // 1.234 and 2.5 of a total 3.734: shares 33% and 67%.
    EXPECT_THAT(html, HasSubstr("33"));
    EXPECT_THAT(html, Not(HasSubstr("1234")));
  }
}

}  // namespace
}  // namespace fennick
