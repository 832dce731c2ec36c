// Which footer and row cells a report gets under which switches, checked
// against the HTML: the Average and Total footer rows with their blank cells
// under the row cells, the row cells and their headers (Average always
// before Total), hidden columns and the shown-field list, the per-field
// lists that switch their rows on, and the browser-computed "[eval]"
// footers whose row values stay numbers.
#include "grid/render/footer_rows.h"

#include <gtest/gtest.h>

#include <string>

#include "fennick/grid_report.h"
#include "grid/render/summary_box.h"
#include "grid/render_fixture.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

class FooterRowsTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    AddRows(3);  // amounts 10, 20, 30
  }

  // The footer rows of the page (from the first footer row to the end of
  // the table), "" when there are none.
  static std::string Footers(const std::string& html) {
    const size_t at = html.find("<tr ><td colspan=");
    if (at == std::string::npos) return "";
    return html.substr(at, html.find("</table>", at) - at);
  }
  // The header row from its last column caption on, and the first data
  // row from its last column on.
  static std::string HeaderEnd(const std::string& html) {
    const size_t caption = html.find(">Amount</a>");
    const size_t from = html.find("</th>", caption);
    return html.substr(from, html.find("</tr>", from) + 5 - from);
  }
  static std::string FirstRowEnd(const std::string& html) {
    const size_t row = html.find("<tr><td nowrap width=1>1</td>");
    const size_t end = html.find("</tr>", row);
    const size_t from = html.rfind("<td class=\"number\">", end);
    return html.substr(from, end + 5 - from);
  }

  static constexpr char kAverageRow[] =
      "<tr ><td colspan=2 class=col_footerLabel>Average</td><td class=col_footer></td>"
      "<td class=col_footer>20</td>";
  static constexpr char kTotalRow[] =
      "<tr ><td colspan=2 class=col_footerLabel>Total</td><td class=col_footer></td>"
      "<td class=col_footer>60</td>";
};

TEST_F(FooterRowsTest, FooterAndRowCellsUnderEachSwitch) {
  // Nothing switched on: no footer, no row cells.
  Grid({});
  std::string html = Show();
  EXPECT_EQ(Footers(html), "");
  EXPECT_EQ(Count(html, "row_footer"), 0u);

  Grid({});
  SetColumnTotals(*grid_, true);
  EXPECT_EQ(Footers(Show()), std::string(kTotalRow) + "</tr>");

  Grid({});
  SetColumnAverages(*grid_, true);
  EXPECT_EQ(Footers(Show()), std::string(kAverageRow) + "</tr>");

  // Everything on: Average before Total in the header, in every row and in
  // the footers; the Average row spans both row-cell positions, the Total
  // row leaves the average position blank and fills in the grand total.
  Grid({});
  SetColumnTotals(*grid_, true);
  SetColumnAverages(*grid_, true);
  SetRowTotals(*grid_, true);
  SetRowAverages(*grid_, true);
  html = Show();
  EXPECT_EQ(HeaderEnd(html), "</th><th><span>Average</span></th><th><span>Total</span></th></tr>");
  EXPECT_EQ(FirstRowEnd(html),
            "<td class=\"number\">10</td><td class=row_footer>10</td>"
            "<td class=row_footer>10</td></tr>");
  EXPECT_EQ(Count(html, "<td class=row_footer>"), 6u);
  EXPECT_EQ(Footers(html), std::string(kAverageRow) +
                               "<td class=col_footer colspan=2>&nbsp;</td></tr>" + kTotalRow +
                               "<td class=col_footer>&nbsp;</td><td class=col_footer>60</td></tr>");

  // Row totals alone: one header, one cell per row, one position filled.
  Grid({});
  SetColumnTotals(*grid_, true);
  SetColumnAverages(*grid_, true);
  SetRowTotals(*grid_, true);
  html = Show();
  EXPECT_EQ(HeaderEnd(html), "</th><th><span>Total</span></th></tr>");
  EXPECT_EQ(FirstRowEnd(html), "<td class=\"number\">10</td><td class=row_footer>10</td></tr>");
  EXPECT_EQ(Footers(html), std::string(kAverageRow) + "<td class=col_footer>&nbsp;</td></tr>" +
                               kTotalRow + "<td class=col_footer>60</td></tr>");

  // Row averages alone: the Total row keeps a blank under the average.
  Grid({});
  SetColumnTotals(*grid_, true);
  SetRowAverages(*grid_, true);
  EXPECT_EQ(Footers(Show()), std::string(kTotalRow) + "<td class=col_footer>&nbsp;</td></tr>");

  // Without a summed column the average is empty, the total 0.
  Grid({}, "SELECT Id,Name FROM Orders");
  SetRowAverages(*grid_, true);
  SetRowTotals(*grid_, true);
  EXPECT_THAT(Show(),
      HasSubstr(">N1</td><td class=row_footer></td><td class=row_footer>0</td></tr>"));
}

TEST_F(FooterRowsTest, SettingsBelongToThePageNotTheRequestAfter) {
  // Set on one grid, the settings reach every grid of the page (as the
  // report designer's do) and are gone on the next request.
  Grid({});
  SetColumnTotals(*grid_, true);
  SetAggregateFields(*grid_, AggregateList::kVar, "Amount");
  SetShownFields(*grid_, "Id,Amount");
  {
    DataGrid second;
    const SummarySettings& s = GridInternals(second).page->summary;
    EXPECT_TRUE(s.column_totals);
    EXPECT_EQ(s.var_fields, "Amount");
    EXPECT_TRUE(s.HasAggregateLists());
    EXPECT_EQ(GridInternals(second).page->shown_fields, "Id,Amount");
  }
  Grid({});
  EXPECT_EQ(Footers(Show()), "");
  EXPECT_FALSE(Internals().page->summary.HasAggregateLists());
}

TEST_F(FooterRowsTest, HiddenAndUnlistedColumnsGetNoCell) {
  const std::string without_name =
      "<tr ><td colspan=2 class=col_footerLabel>Total</td><td class=col_footer>60</td></tr>";
  Grid({});
  grid_->HiddenColumn("Name");
  SetColumnTotals(*grid_, true);
  EXPECT_EQ(Footers(Show()), without_name);

  Grid({});
  SetShownFields(*grid_, "id,AMOUNT");
  SetColumnTotals(*grid_, true);
  std::string html = Show();
  EXPECT_EQ(Footers(html), without_name);
  EXPECT_THAT(html, Not(HasSubstr(">N1<")));

  // Without row numbers the label spans one column.
  Grid({});
  grid_->AddRowNumbers(false);
  SetColumnTotals(*grid_, true);
  EXPECT_THAT(Show(), HasSubstr("<td colspan=1 class=col_footerLabel>Total</td>"));
}

TEST_F(FooterRowsTest, PerFieldListsSwitchTheirRowsOnAndKeepOnlyTheirValues) {
  // A total list naming Name alone: the Total row appears, with no value
  // under Amount (and none under Name, which is text).
  Grid({});
  SetTotalFields(*grid_, "Name");
  EXPECT_EQ(Footers(Show()),
            "<tr ><td colspan=2 class=col_footerLabel>Total</td><td class=col_footer></td>"
            "<td class=col_footer></td></tr>");

  // Names compare without regard to case; the average list works alike.
  Grid({});
  SetTotalFields(*grid_, "id,amount");
  SetAverageFields(*grid_, "AMOUNT");
  EXPECT_EQ(Footers(Show()), std::string(kAverageRow) + "</tr>" + kTotalRow + "</tr>");
}

TEST_F(FooterRowsTest, FootersCountTheShownRowsAndTakeTheColumnFormat) {
  // The second page of two rows holds only row 3.
  Grid({{"start", "3"}, {"pagesize", "2"}});
  grid_->PageSize(2);
  SetColumnTotals(*grid_, true);
  SetColumnAverages(*grid_, true);
  std::string html = Show();
  EXPECT_THAT(Footers(html), HasSubstr("<td class=col_footer>30</td>")) << html;
  EXPECT_EQ(Count(Footers(html), "<td class=col_footer>30</td>"), 2u);

  // The first page: rows 1 and 2, total 30, average 15.
  Grid({});
  grid_->PageSize(2);
  grid_->CurrencyColumn("Amount", 2);
  SetColumnTotals(*grid_, true);
  SetColumnAverages(*grid_, true);
  SetRowTotals(*grid_, true);
  html = Show();
  EXPECT_THAT(Footers(html), HasSubstr("Average</td><td class=col_footer></td>"
                                       "<td class=col_footer>$15.00</td>"));
  EXPECT_THAT(Footers(html),
      HasSubstr("Total</td><td class=col_footer></td>"
                "<td class=col_footer>$30.00</td><td class=col_footer>$30.00</td>"));
  EXPECT_THAT(html, HasSubstr("<td class=row_footer>$20.00</td></tr>"));
}

TEST_F(FooterRowsTest, AFilteredExpressionColumnKeepsItsNumberType) {
  // SQLite types an expression by its values; the filter's describe query
  // has none, so the rows' type must decide.
  Grid({{"rsfilter", "Id > 1"}}, "SELECT Id, Name, Amount * 2 AS Doubled FROM Orders");
  SetColumnTotals(*grid_, true);
  const std::string html = Show();
  EXPECT_EQ(Footers(html),
            "<tr ><td colspan=2 class=col_footerLabel>Total</td><td class=col_footer></td>"
            "<td class=col_footer>100</td></tr>")
      << html;
  EXPECT_THAT(html, HasSubstr("<td class=\"number\">40</td>"));
}

TEST_F(FooterRowsTest, EvalFootersKeepRowValuesNumbers) {
  // Row 4's name would close the expression and run script if it were
  // pasted in; it becomes 0. The markup around the block is the cell's,
  // not the sum's.
  connection_->Execute("INSERT INTO Orders VALUES (4, '1));alert(1);((', 40, 'East')");
  Grid({}, "SELECT Id, SUM(Amount) AS SUM_1, MAX(Name) AS Label FROM Orders GROUP BY Id");
  grid_->ReplaceColumn("Amount", "<b>[eval]#TEMP#*{{Id}}+{{Label}}[/eval]</b> kg");
  SetColumnTotals(*grid_, true);
  SetColumnAverages(*grid_, true);
  SetRowTotals(*grid_, true);
  const std::string html = Show();
  // A row's total is what its cells show, computed alike.
  EXPECT_THAT(html,
      HasSubstr("<td class=row_footer><script>document.write(eval(\"Math.round((0+((20)*(2)"
                "+(0)))*100)/100\"));</script></td></tr>"));
  const std::string expression = "0+((10)*(1)+(0))+((20)*(2)+(0))+((30)*(3)+(0))+((40)*(4)+(0))";
  EXPECT_THAT(Footers(html),
      HasSubstr("Average</td><td class=col_footer><script>document.write(eval(\"Math.round(((" +
                expression + ")/(3-0+1))*100)/100\"));</script></td>"));
  EXPECT_THAT(Footers(html),
      HasSubstr("Total</td><td class=col_footer><script>document.write(eval(\"Math.round((" +
                expression + ")*100)/100\"));</script></td><td class=col_footer></td><td class=col_footer>"
                "<script>document.write(eval(\"Math.round((0+(" +
                expression + "))*100)/100\"));</script></td></tr>"));
  EXPECT_THAT(Footers(html), Not(HasSubstr("alert")));
}

TEST_F(FooterRowsTest, AnErrorEndsTheRowEncoded) {
  // A footer asked for a column the rows do not have: the row ends with
  // the error and the column reached, and the rendering goes on.
  Recordset rows = connection_->Execute("SELECT Id, Amount FROM Orders");
  rows.MoveFirst();
  std::vector<GridColumn> columns(3);
  columns[0].name = "Id";
  columns[1].name = "Amount";
  columns[2].name = "Gone";
  for (GridColumn& c : columns) c.type_class = TypeClass::kNumber;
  std::vector<bool> hidden(3, false);
  SummarySettings settings;
  settings.column_totals = true;
  GridPageState page;
  std::string out;
  SummaryContext context;
  context.out = &out;
  context.settings = &settings;
  context.page = &page;
  context.columns = &columns;
  context.hidden = &hidden;
  context.rows = &rows;
  context.last_row = 2;
  std::string description;
  try {
    rows.Fields(2);
  } catch (const Error& e) {
    description = e.description();
  }
  ASSERT_FALSE(description.empty());
  WriteFooterRows(context, 0, 2, 3);
  EXPECT_EQ(out,
            "<tr ><td colspan=2 class=col_footerLabel>Total</td><td class=col_footer>60</td>"
            "<td class=col_footer><td><font color=red><b>Error #:" +
                std::to_string(kErrDataItemNotFound) + "</B> - " + HtmlEncode(description) +
                "</font></td></tr><p>Footer stopped at column 3</p>");
}

// A summary context over a recordset of its own, as a grid other than
// DataGrid builds one.
struct DirectContext {
  DirectContext(Recordset& rs, std::vector<GridColumn> cols) : columns(std::move(cols)) {
    hidden.assign(columns.size(), false);
    context.out = &out;
    context.settings = &settings;
    context.page = &page;
    context.columns = &columns;
    context.hidden = &hidden;
    context.rows = &rs;
    context.last_row = rs.RecordCount() - 1;
  }
  std::vector<GridColumn> columns;
  std::vector<bool> hidden;
  SummarySettings settings;
  GridPageState page;
  std::string out;
  SummaryContext context;
};

GridColumn Column(const std::string& table, const std::string& name, TypeClass type_class) {
  GridColumn c;
  c.table = table;
  c.name = name;
  c.type_class = type_class;
  return c;
}

TEST_F(FooterRowsTest, MasterTableFootersCloseTheDetailsTable) {
  Recordset rs = connection_->Execute(
      "SELECT 'C1' AS CustomerID, 'Ann' AS Name, 7 AS OrderID, 10 AS Amount, 4 AS SUM_1, "
      "2 AS COUNT_1 UNION ALL SELECT 'C1', 'Ann', 8, 20, 6, 3");
  DirectContext d(
      rs, {Column("Customers", "CustomerID", TypeClass::kText),
           Column("customers", "Name", TypeClass::kText),
           Column("Orders", "OrderID", TypeClass::kNumber),
           Column("Orders", "Amount", TypeClass::kNumber), Column("", "SUM_1", TypeClass::kNumber),
           Column("", "COUNT_1", TypeClass::kNumber)});
  // The footers follow the master columns the grid grouped by, whatever
  // the columns' qualifiers spell (an alias, another case).
  d.page.master_table = "CUSTOMERS";
  d.page.master_columns = ",0,1,";
  d.settings.column_totals = true;
  d.settings.row_totals = true;
  // The master's columns get no cell, nor the first details column; no
  // aggregate lists: number columns and aggregates carry values, and the
  // row cells add the same columns, so the rows' totals make the grand
  // total.
  WriteFooterRows(d.context, 0, 1, 2);
  EXPECT_EQ(d.out,
            "<tr ><td colspan=2 class=col_footerLabel>Total</td><td class=col_footer>30</td>"
            "<td class=col_footer>10</td><td class=col_footer>5</td>"
            "<td class=col_footer>45</td></tr>");
  EXPECT_EQ(SummedColumnCount(d.context), 3);
  EXPECT_EQ(RowsTotal(d.context, 0, 0).sum + RowsTotal(d.context, 1, 1).sum, 45);
  EXPECT_EQ(RowsTotal(d.context, 0, 1).cells, 6);

  // A summary report (aggregate lists set): plain number columns keep a
  // blank cell and are not added; a hidden column neither.
  d.out.clear();
  d.settings.sum_fields = "Amount";
  WriteFooterRows(d.context, 0, 1, 2);
  EXPECT_EQ(d.out,
            "<tr ><td colspan=2 class=col_footerLabel>Total</td><td class=col_footer></td>"
            "<td class=col_footer>10</td><td class=col_footer>5</td>"
            "<td class=col_footer>15</td></tr>");
  EXPECT_EQ(RowsTotal(d.context, 1, 1).sum, 9);
  d.hidden[5] = true;
  EXPECT_EQ(RowsTotal(d.context, 1, 1).sum, 6);
}

TEST_F(FooterRowsTest, AggregateColumnsTakeTheFormatOfWhatTheyAggregate) {
  Recordset rs = connection_->Execute("SELECT 1 AS Id");
  DirectContext d(rs, {Column("", "Id", TypeClass::kNumber)});
  d.context.command = "SELECT Region, SUM([Price]) AS SUM_2, AVG(Price) AS AVG_20 FROM Orders";
  const std::string numbers = "|||PRICE|=|32|||AVG_20|=|10|||SUM_2|=|11|||";
  d.context.formats.number_list = numbers;
  auto format = [&](const char* name) {
    return FormatAggregateValue(d.context, Column("", name, TypeClass::kNumber), 1234.5);
  };
  EXPECT_EQ(format("SUM_2"), "$1,234.50");
  EXPECT_EQ(format("avg_20"), "$1,234.50");
  EXPECT_EQ(format("Region"), "1234.5");
  // The report grid's box formats by the entry's own field.
  d.context.aggregate_keys = false;
  EXPECT_EQ(format("SUM_2"), "1,234.5");
}

TEST_F(FooterRowsTest, RoundingHalvesToEven) {
  EXPECT_EQ(RoundAggregate(2.125), 2.12);
  EXPECT_EQ(RoundAggregate(0.375), 0.38);
  EXPECT_EQ(RoundAggregate(-1.005), -1.0);
  EXPECT_EQ(RoundAggregate(10.0 / 3), 3.33);
}

}  // namespace
}  // namespace fennick
