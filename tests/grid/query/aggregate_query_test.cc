// The summary box's aggregates on real databases: they count exactly the
// rows the grid shows (a WHERE holding OR with a filter, GROUP BY,
// DISTINCT, aliases, the row limit), every aggregate type, names that are
// no aggregate, and captions and fields that must not become markup or SQL.
#include "grid/query/aggregate_query.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/grid_report.h"
#include "fennick/page.h"
#include "frame/module_state.h"
#include "grid/grid_object.h"
#include "grid/query/database_type.h"
#include "grid/query/orders_engine_fixture.h"
#include "grid/query/sql_text.h"
#include "platform/crypto/seal.h"
#include "platform/data/aggregate_functions.h"
#include "platform/data/test_databases.h"

namespace fennick {
namespace {

using data::Aggregate;

TEST(AggregateSqlTest, DerivedTableOverTheOpenedStatementPerEngine) {
  EXPECT_EQ(
      AggregateSql("SELECT Id,Amount FROM Orders WHERE  (Amount < 5) ORDER BY 2 desc", "Amount",
                   Aggregate::kSum, kDbSQLite, "SQLite"),
      "SELECT SUM(q.\"Amount\") FROM (SELECT Id,Amount FROM Orders WHERE  (Amount < 5)) AS q");
  EXPECT_EQ(AggregateSql("SELECT a FROM t", "a", Aggregate::kStdev, kDbPostgreSql, "PostgreSQL"),
            "SELECT stddev_samp(q.\"a\") FROM (SELECT a FROM t) AS q");
  EXPECT_EQ(AggregateSql("SELECT a FROM t", "a", Aggregate::kVar, kDbPostgreSql, "PostgreSQL"),
            "SELECT var_samp(q.\"a\") FROM (SELECT a FROM t) AS q");
  EXPECT_EQ(AggregateSql("SELECT a FROM t", "a", Aggregate::kVar, kDbMySql, "MySQL"),
            "SELECT var_samp(q.`a`) FROM (SELECT a FROM t) AS q");
  EXPECT_EQ(AggregateSql("SELECT a FROM t", "a", Aggregate::kStdev, kDbSQLite, "SQLite"),
            "SELECT STDEV(q.\"a\") FROM (SELECT a FROM t) AS q");
  EXPECT_EQ(
      AggregateSql("SELECT a FROM t ORDER BY 1", "a]b", Aggregate::kMax, kDbSqlServer, "SQLOLEDB"),
      "SELECT MAX(q.[a]]b]) FROM (SELECT a FROM t) AS q");
  // A quote in a result name stays inside its delimiters.
  EXPECT_EQ(QuoteResultColumn(kDbPostgreSql, "x\") FROM t; --"), "\"x\"\") FROM t; --\"");
  EXPECT_EQ(QuoteResultColumn(kDbMySql, "a`b"), "`a``b`");

  // The grid read only its first rows in its order: the same rows here.
  EXPECT_EQ(
      AggregateSql("SELECT a FROM t ORDER BY 1 desc", "a", Aggregate::kSum, kDbSQLite, "SQLite", 2),
      "SELECT SUM(q.\"a\") FROM (SELECT a FROM t ORDER BY 1 desc LIMIT 2) AS q");

  // The footer rows' sums over the whole result: one statement, the row
  // count first, over the same derived table.
  EXPECT_EQ(ColumnSumsSql("SELECT a,[b c] FROM t ORDER BY 1", {"a", "b c"}, kDbSqlServer),
            "SELECT COUNT(*), SUM(q.[a]), SUM(q.[b c]) FROM (SELECT a,[b c] FROM t) AS q");
  EXPECT_EQ(ColumnSumsSql("SELECT a FROM t ORDER BY 1", {"a"}, kDbSQLite, 5),
            "SELECT COUNT(*), SUM(q.\"a\") FROM (SELECT a FROM t ORDER BY 1 LIMIT 5) AS q");
}

TEST(AggregateSqlTest, OnlyTheTrailingOrderByGoes) {
  EXPECT_EQ(WithoutTrailingOrderBy("SELECT a FROM t order by a"), "SELECT a FROM t");
  EXPECT_EQ(WithoutTrailingOrderBy("SELECT a FROM (SELECT a FROM t ORDER BY a) x"),
            "SELECT a FROM (SELECT a FROM t ORDER BY a) x");
  EXPECT_EQ(WithoutTrailingOrderBy("SELECT ' ORDER BY ' AS a FROM t"),
            "SELECT ' ORDER BY ' AS a FROM t");
  EXPECT_EQ(WithoutTrailingOrderBy("SELECT a FROM t ORDER BY a LIMIT 3"),
            "SELECT a FROM t ORDER BY a LIMIT 3");
  EXPECT_EQ(WithoutTrailingOrderBy("SELECT TOP 5 a FROM t ORDER BY a"),
            "SELECT TOP 5 a FROM t ORDER BY a");
  EXPECT_EQ(WithoutTrailingOrderBy("SELECT a FROM t ORDER BY b ORDER BY a"),
            "SELECT a FROM t ORDER BY b");
}

TEST(AggregateSqlTest, ExactlyTheSevenAggregateNames) {
  EXPECT_EQ(data::ParseAggregate(" sum "), Aggregate::kSum);
  EXPECT_EQ(data::ParseAggregate("Stdev"), Aggregate::kStdev);
  EXPECT_EQ(data::ParseAggregate("COUNT"), Aggregate::kCount);
  for (const char* bad : {"", "_", "M", "MIN_MAX", "SUMX", "X_AVG", "STDEVP", "VAR_"}) {
    EXPECT_FALSE(data::ParseAggregate(bad).has_value()) << bad;
  }
  EXPECT_EQ(data::AggregateFunction(Aggregate::kStdev, "mariadb"), "stddev_samp");
  EXPECT_EQ(data::AggregateFunction(Aggregate::kAvg, "PostgreSQL"), "AVG");
}

using Fields = OrdersEngineTest::Fields;

class SummaryBoxTest : public OrdersEngineTest {
 protected:
  SummaryBoxTest() : OrdersEngineTest("summary box tests", "fnk_sum_", false) {}

  // Shows a grid of `command` with the summary specification and the posted
  // form, and returns the summary box (from its table to its end).
  std::string Box(const std::string& command, const std::string& spec, const Fields& form = {},
                  const std::function<void(DataGrid&)>& setup = {}) {
    Grid(form, command);
    grid_->PageSize(2);  // the box counts every row, not the page's
    SetSummarySpecification(*grid_, spec);
    if (setup) setup(*grid_);
    grid_->Display();
    const std::string html = page_->response().Body();
    const size_t at = html.find("<table class=summary");
    if (at == std::string::npos) return "no box: " + html;
    return html.substr(at, html.find("</table>", at) + 8 - at);
  }

  static std::string Line(const std::string& caption, const std::string& value) {
    return "<span class=summary_name>" + caption + "</span> <i><span class=summary_value>" + value +
           "</span></i><br>";
  }
};

TEST_P(SummaryBoxTest, SumIsTheSumOfTheRowsShownUnderOrAndAFilter) {
  // The rows shown: 1 (12.5), 2 (7) and 5 (20); the West row 3 fails the
  // filter, which must bind to both branches of the OR.
  const std::string box =
      Box("SELECT Id,Name,Amount FROM Orders WHERE Region = 'West' OR Region = 'East'",
          "Amount__SUM__Total,Id__COUNT__Rows", {{"rsfilter", "Amount < 25"}});
  EXPECT_EQ(box, "<table class=summary cellpadding=4 width=\"100%\"><tr><td><b>Summary:</b><br>" +
                     Line("Total", "39.5") + Line("Rows", "3") + "</td></tr></table>");
  // The same figure from the rows the grid itself read.
  double shown = 0;
  Recordset rows = connection_->Execute(GridInternals(*grid_).result.opened_sql);
  for (; !rows.Eof(); rows.MoveNext()) shown += rows.Fields(2).Value().AsDouble();
  EXPECT_EQ(shown, 39.5);

  // Sorted by a click: the ORDER BY does not reach the aggregate.
  EXPECT_NE(Box("SELECT Id,Amount FROM Orders WHERE Region = 'West' OR Region = 'East'",
                "Amount__SUM__", {{"sort", "2 desc"}})
                .find(Line("SUM Amount", "69.5")),
            std::string::npos);
}

TEST_P(SummaryBoxTest, GroupByDistinctAndAliasesKeepTheGridsRows) {
  // Per region: East 27, North 3, West 42.5; the filter lands before the
  // GROUP BY.
  std::string box =
      Box("SELECT Region, SUM(Amount) AS Total FROM Orders GROUP BY Region",
          "Total__SUM__,Total__COUNT__,Region__COUNT__Groups", {{"rsfilter", "Region <> 'North'"}});
  EXPECT_THAT(box,
      HasSubstr(Line("SUM Total", "69.5") + Line("COUNT Total", "2") + Line("Groups", "2")));

  box = Box("SELECT DISTINCT Region FROM Orders", "Region__COUNT__Regions");
  EXPECT_THAT(box, HasSubstr(Line("Regions", "3")));

  // An aliased column, and a filter on the alias.
  box = Box("SELECT Id, Amount AS Price FROM Orders", "Price__MAX__,price__MIN__");
  EXPECT_THAT(box, HasSubstr(Line("MAX Price", "30") + Line("MIN price", "3")));
  // SQLite filters on the alias; PostgreSQL and MySQL refuse a select
  // alias in WHERE, so the grid shows its rows unfiltered, and the box
  // follows it.
  const bool refuses_alias = IsPostgres() || IsMysql();
  box = Box("SELECT Id, Amount AS Price FROM Orders", "Price__MIN__", {{"rsfilter", "Price > 10"}});
  EXPECT_THAT(box, HasSubstr(Line("MIN Price", refuses_alias ? "3" : "12.5")));
  EXPECT_EQ(GridInternals(*grid_).result.opened_sql.find("> 10") != std::string::npos,
            !refuses_alias);
}

TEST_P(SummaryBoxTest, EveryAggregateTypeAndTextValues) {
  // Amounts 12.5, 7, 30, 3, 20: mean 14.5, squared deviations 463, sample
  // variance 115.75, deviation 10.7587...
  std::string box = Box("SELECT Id,Name,Amount FROM Orders",
                        "Amount__SUM__,Amount__AVG__,Amount__MIN__,Amount__MAX__,"
                        "Amount__COUNT__,Amount__VAR__,Amount__STDEV__");
  EXPECT_THAT(box,
      HasSubstr(Line("SUM Amount", "72.5") + Line("AVG Amount", "14.5") +
                Line("MIN Amount", "3") + Line("MAX Amount", "30") + Line("COUNT Amount", "5") +
                Line("VAR Amount", "115.75") + Line("STDEV Amount", "10.76")));

  // MIN and MAX of text are the texts, written as data.
  connection_->Execute("INSERT INTO Orders VALUES (6, '<b>Zed', 1, 'East')");
  box = Box("SELECT Id,Name,Amount FROM Orders", "Name__MIN__,Name__MAX__");
  EXPECT_THAT(box, HasSubstr(Line("MIN Name", "&lt;b&gt;Zed") + Line("MAX Name", "Smythe")));

  // MIN and MAX of a date column are dates, as the cells show them.
  connection_->Execute("CREATE TABLE Visits (Id INTEGER, Day DATE)");
  connection_->Execute("INSERT INTO Visits VALUES (1, '2024-03-05'), (2, '2023-01-02')");
  box = Box("SELECT Id, Day FROM Visits", "Day__MIN__,Day__MAX__");
  EXPECT_THAT(box, HasSubstr(Line("MIN Day", "1/2/2023") + Line("MAX Day", "3/5/2024")));

  // A currency format on the column formats its aggregates.
  box = Box("SELECT Id,Name,Amount FROM Orders", "Amount__AVG__", {},
            [](DataGrid& g) { g.CurrencyColumn("Amount", 2); });
  EXPECT_THAT(box, HasSubstr(Line("AVG Amount", "$12.25")));
}

TEST_P(SummaryBoxTest, HostileFieldsAndTypesAreSkippedOrNamedAsText) {
  const std::string box =
      Box("SELECT Id,Name,Amount FROM Orders",
          "Amount__SUM__<script>alert('x')</script>,Amount__M__m,Amount____blank,Amount___ __u,"
          "Amount\") FROM Orders; DROP TABLE Orders; --__SUM__drop,Nothing__SUM__none,"
          "Amount__SUMX__x,__SUM__nofield,Amount");
  // The caption is the author's HTML; a field the result lacks is named,
  // as text.
  EXPECT_EQ(box, "<table class=summary cellpadding=4 width=\"100%\"><tr><td><b>Summary:</b><br>" +
                     Line("<script>alert('x')</script>", "72.5") +
                     "<font color=red>No summary of <b>Amount&quot;) FROM Orders; DROP TABLE "
                     "Orders; --</b>: the report does not show it</font><br>"
                     "<font color=red>No summary of <b>Nothing</b>: the report does not show "
                     "it</font><br></td></tr></table>");
  // The table is still there.
  EXPECT_EQ(connection_->Execute("SELECT COUNT(*) FROM Orders").Fields(0).Value().AsString(), "5");
  // Too short a specification: no box at all.
  EXPECT_EQ(Box("SELECT Id FROM Orders", "a_").substr(0, 7), "no box:");
}

TEST_P(SummaryBoxTest, AFailingAggregateRaisesThroughDisplaysTrace) {
  // PostgreSQL has no SUM of text; SQLite sums text as numbers (0 here).
  if (IsPostgres()) {
    try {
      Box("SELECT Id,Name FROM Orders", "Name__SUM__");
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_THAT(e.description(), HasSubstr("sum"));
      EXPECT_THAT(e.source(), HasSubstr("<br> Bind Line: "));
    }
  } else {
    EXPECT_NE(Box("SELECT Id,Name FROM Orders", "Name__SUM__").find(Line("SUM Name", "0")),
              std::string::npos);
  }
}

TEST_P(SummaryBoxTest, TheRowLimitBoundsTheAggregate) {
  // The grid shows the two largest amounts, 30 and 20.
  const std::string box = Box("SELECT Id,Amount FROM Orders", "Amount__SUM__", {{"sort", "2 desc"}},
                              [](DataGrid&) { CurrentModuleState().max_records = 2; });
  EXPECT_THAT(box, HasSubstr(Line("SUM Amount", "50")));
}

INSTANTIATE_TEST_SUITE_P(Engines, SummaryBoxTest,
                         ::testing::Values("SQLite", "PostgreSQL", "MySQL", "ODBC"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace fennick
