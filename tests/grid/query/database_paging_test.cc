// Paging in the database on both engines: the page read from the database
// draws exactly what reading every row draws (start past the end, page
// size changes, filters, the row limit, footers, the page's graph, binary
// cells), pages of a unique sort key fit together, every feature that
// needs every row reads them, and the read snapshot ends with the page.
#include "grid/query/database_paging.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "frame/argument_codec.h"
#include "frame/module_state.h"
#include "grid/download_link.h"
#include "grid/grid_object.h"
#include "grid/paging_record.h"
#include "grid/query/database_type.h"
#include "grid/query/orders_engine_fixture.h"

namespace fennick {
namespace {

using Fields = OrdersEngineTest::Fields;
using GridSetup = std::function<void(DataGrid&)>;

constexpr int kItems = 37;
const char kSelectItems[] = "SELECT Id,Name,Amount,Region,Pic FROM Items";

Fields Click(const std::string& argument) { return {{"__FARGS", EncodeArgument(argument)}}; }

// Items 1..37: unique names "Item 01".."Item 37" and unique amounts
// (Id * 7 mod 37 + 0.5), regions cycling East, North, West (ties), and a
// picture of one byte (the Id) on every third item.
class DatabasePagingTest : public OrdersEngineTest {
 protected:
  DatabasePagingTest() : OrdersEngineTest("database paging tests", "fnk_page_", false) {}

  void SetUp() override {
    OrdersEngineTest::SetUp();
    if (HasFatalFailure()) return;
    connection_->Execute(std::string("CREATE TABLE Items (Id INTEGER, Name VARCHAR(20), ") +
                         "Amount DOUBLE PRECISION, Region VARCHAR(10), Pic " +
                         (IsPostgres() ? "BYTEA)" : "BLOB)"));
    static const char* kRegions[] = {"East", "North", "West"};
    for (int id = 1; id <= kItems; ++id) {
      char name[16];
      std::snprintf(name, sizeof name, "Item %02d", id);
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", id);
      std::string pic = "NULL";
      if (id % 3 == 0)
        pic = IsPostgres() ? "'\\x" + std::string(hex) + "'::bytea" : "X'" + std::string(hex) + "'";
      connection_->Execute("INSERT INTO Items VALUES (" + std::to_string(id) + ", '" + name +
                           "', " + std::to_string(id * 7 % kItems) + ".5, '" + kRegions[id % 3] +
                           "', " + pic + ")");
    }
  }

  // Draws the Items grid with `form` posted in one mode; the page with its
  // sealed tokens masked.
  std::string Draw(const Fields& form, bool database_paging, const GridSetup& setup = {}) {
    DataGrid& grid = Grid(form, kSelectItems);
    grid.DatabasePaging(database_paging);
    if (setup) setup(grid);
    grid.Display();
    return testing::MaskSealedTokens(page_->response().Body());
  }

  // Draws the request in both modes and expects the same page; returns it.
  std::string Same(const Fields& form, const GridSetup& setup = {}) {
    const std::string all_rows = Draw(form, false, setup);
    EXPECT_FALSE(Result().paged);
    const std::string paged = Draw(form, true, setup);
    EXPECT_EQ(all_rows, paged);
    return paged;
  }

  const OpenResult& Result() { return GridInternals(*grid_).result; }

  // The item names of a drawn page, in order.
  static std::vector<std::string> Names(const std::string& html) {
    std::vector<std::string> names;
    for (size_t at = html.find(">Item "); at != std::string::npos;
         at = html.find(">Item ", at + 1)) {
      names.push_back(html.substr(at + 1, 7));
    }
    return names;
  }
};

TEST(DatabasePagingRuleTest, PageClausesAndStartsPerEngine) {
  EXPECT_EQ(PageClause(kDbSQLite, 10, 20), " LIMIT 10 OFFSET 20");
  EXPECT_EQ(PageClause(kDbPostgreSql, 10, 0), " LIMIT 10 OFFSET 0");
  EXPECT_EQ(PageClause(kDbMySql, 5, 995), " LIMIT 5 OFFSET 995");
  for (int type :
       {kDbUnknown, kDbAccess, kDbSqlServer, kDbOracle, kDbSybase, kDbSqlNativeClient, kDbExcel}) {
    EXPECT_FALSE(PageClause(type, 10, 0)) << type;
  }
  EXPECT_EQ(PageStart(31, 25, 10), 21);  // past the end: the last page
  EXPECT_EQ(PageStart(25, 20, 10), 11);
  EXPECT_EQ(PageStart(15, 37, 10), 11);  // inside a page: its first row
  EXPECT_EQ(PageStart(7, 0, 10), 1);     // nothing to show
  EXPECT_EQ(PageStart(-4, 37, 10), 1);
  EXPECT_EQ(CorrectedStart(15, 37, 10), 15);
  EXPECT_EQ(CorrectedStart(15, 37, 0), 1);
}

TEST_P(DatabasePagingTest, OnePageReadFromTheDatabaseDrawsWhatEveryRowDraws) {
  // First page, and the counter of the whole result.
  std::string page = Same({{"sort", "1"}});
  EXPECT_TRUE(Result().paged);
  EXPECT_EQ(Result().row_count, kItems);
  EXPECT_EQ(Result().page_offset, 0);
  EXPECT_EQ(Names(page).size(), 10u);

  // Sorted descending by amount, third page.
  page = Same({{"sort", "3 desc"}, {"start", "21"}});
  EXPECT_EQ(Result().page_offset, 20);
  EXPECT_NE(page.find("<td nowrap width=1>21</td>"), std::string::npos);

  // A start past the end shows the last page.
  page = Same({{"sort", "2"}, {"start", "91"}});
  EXPECT_EQ(Result().page_offset, 30);
  EXPECT_EQ(Names(page), (std::vector<std::string>{"Item 31", "Item 32", "Item 33", "Item 34",
                                                   "Item 35", "Item 36", "Item 37"}));

  // Starts the browser made up: before the first row, far past the last.
  Same({{"sort", "2"}, {"start", "-5"}});
  EXPECT_EQ(Result().page_offset, 0);
  Same({{"sort", "2"}, {"start", "2147483647"}});
  EXPECT_EQ(Result().page_offset, 30);

  // A new page size moves the start to the beginning of its page.
  page = Same({{"sort", "2"}, {"start", "11"}, {"npagesize", "25"}, {"pagesize", "10"}});
  EXPECT_EQ(Result().page_offset, 0);
  EXPECT_EQ(Names(page).size(), 25u);

  // A filter narrows the count; one that empties the result says so.
  Same({{"sort", "1 desc"}, {"start", "11"}, {"rsfilter", "Region = 'East'"}});
  EXPECT_EQ(Result().row_count, 12);
  page = Same({{"sort", "1"}, {"rsfilter", "Amount > 1000"}});
  EXPECT_TRUE(Result().paged);
  EXPECT_NE(page.find("No records returned!"), std::string::npos) << page;

  // A filter the grammar or the database refuses is reported the same way.
  page = Same({{"rsfilter", "Nope = 1"}, {"start", "11"}});
  EXPECT_NE(page.find("Your filter is invalid!"), std::string::npos);
  page = Same({{"rsfilter", "Name = 'x'' OR 1=1 --"}, {"sort", "1"}});
  EXPECT_NE(page.find("Your filter is invalid!"), std::string::npos);
  page = Same({{"rsfilter", "Name = 'x'' OR ''1''=''1'"}, {"sort", "1"}});
  EXPECT_NE(page.find("No records returned!"), std::string::npos);

  // The row limit caps the count and the last page.
  Same({{"sort", "1"}, {"start", "21"}}, [](DataGrid&) { CurrentModuleState().max_records = 15; });
  EXPECT_EQ(Result().row_count, 15);
  EXPECT_EQ(Result().page_offset, 10);

  // Columnar layout, no row numbers, top navigation bar.
  Same({{"sort", "3"}, {"start", "11"}}, [](DataGrid& grid) {
    grid.IsColumnar(true);
    grid.AddRowNumbers(false);
    grid.AddTopNavigationBar(true);
  });

  // Row cells and footers over the shown rows, and the page's graph.
  page = Same({{"sort", "3"}, {"start", "21"}, {"pgraph", "True"}}, [](DataGrid& grid) {
    GridPageState& p = *GridInternals(grid).page;
    p.summary.row_totals = true;
    p.summary.column_totals = true;
    p.summary.column_averages = true;
    grid.GraphType(1);
    grid.GraphLegendColumn("Name");
  });
  EXPECT_TRUE(Result().paged);
  EXPECT_NE(page.find("col_footerLabel>Total"), std::string::npos);
  EXPECT_NE(page.find("View All"), std::string::npos);

  // The summary box is the database's over the whole filtered result.
  page =
      Same({{"sort", "1"}, {"start", "11"}, {"rsfilter", "Region = 'West'"}}, [](DataGrid& grid) {
        GridInternals(grid).page->summary.specification = "Amount__SUM__Sum,Id__COUNT__N";
      });
  EXPECT_NE(page.find("<span class=summary_value>12</span>"), std::string::npos) << page;
}

TEST_P(DatabasePagingTest, PagesOfAUniqueKeyFitTogetherAndTiesKeepTheSortOrder) {
  // Sorted by a unique key, consecutive pages hold every row once.
  std::vector<std::string> seen;
  for (int start = 1; start <= kItems; start += 10) {
    std::vector<std::string> names =
        Names(Draw({{"sort", "3 desc"}, {"start", std::to_string(start)}}, true));
    EXPECT_TRUE(Result().paged);
    seen.insert(seen.end(), names.begin(), names.end());
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kItems));
  EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), static_cast<size_t>(kItems));

  // Ties in the sort order come in the database's order (in both modes):
  // the pages still follow the sort key from one page to the next.
  std::vector<std::string> regions;
  for (int start = 1; start <= kItems; start += 10) {
    const std::string page = Draw({{"sort", "4"}, {"start", std::to_string(start)}}, true);
    for (const char* region : {"East", "North", "West"}) {
      if (page.find(std::string(">") + region + "<") != std::string::npos) {
        if (regions.empty() || regions.back() != region) regions.push_back(region);
      }
    }
  }
  EXPECT_EQ(regions, (std::vector<std::string>{"East", "North", "West"}));
}

TEST_P(DatabasePagingTest, FeaturesThatNeedEveryRowReadEveryRow) {
  auto reason = [&](const Fields& form, const GridSetup& setup) {
    Draw(form, true, setup);
    EXPECT_FALSE(Result().paged);
    return Result().all_rows_reason;
  };
  const Fields sorted = {{"sort", "1"}};
  EXPECT_EQ(reason(Click("5"), {}), AllRowsReason::kPrintView);
  EXPECT_EQ(reason(sorted, [](DataGrid& g) { g.MasterTable("Items"); }),
            AllRowsReason::kMasterDetails);
  EXPECT_EQ(reason(Click("8"), [](DataGrid& g) { g.GraphType(1); }),
            AllRowsReason::kGraphOfAllRows);
  EXPECT_EQ(reason(sorted,
                   [](DataGrid& g) {
                     g.GraphType(1);
                     g.GraphOnly(true);
                   }),
            AllRowsReason::kGraphOnly);
  EXPECT_EQ(reason(sorted, [](DataGrid& g) { g.PageResults(false); }), AllRowsReason::kNoPaging);
  EXPECT_EQ(reason(sorted, [](DataGrid& g) { g.PageSize(0); }), AllRowsReason::kNoPaging);
  EXPECT_EQ(reason(sorted, [](DataGrid& g) { g.DatabasePaging(false); }),
            AllRowsReason::kSwitchedOff);
  // The page graph alone is drawn from the page.
  Draw({{"sort", "1"}, {"pgraph", "True"}}, true, [](DataGrid& g) { g.GraphType(1); });
  EXPECT_TRUE(Result().paged);

  // Without an ORDER BY only SQLite's order is the same from page to page.
  Draw({}, true);
  if (IsPostgres()) {
    EXPECT_FALSE(Result().paged);
    EXPECT_EQ(Result().all_rows_reason, AllRowsReason::kUnstableOrder);
  } else {
    EXPECT_TRUE(Result().paged);
  }

  // A database type the grid knows no paging clause for.
  EXPECT_EQ(reason(sorted, [](DataGrid& g) { GridInternals(g).req.database_type = kDbOracle; }),
            AllRowsReason::kEngine);

  if (IsPostgres()) {
    // A procedure's rows are sorted and filtered once fetched.
    connection_->Execute(
        "CREATE FUNCTION items_between(lo DOUBLE PRECISION, hi DOUBLE PRECISION) "
        "RETURNS TABLE(id INTEGER, name VARCHAR) AS $$ SELECT Id, Name FROM Items "
        "WHERE Amount BETWEEN lo AND hi $$ LANGUAGE SQL");
    DataGrid& grid = Grid({{"rsfilter", "name LIKE 'Item 1%'"}, {"sort", "2"}}, "");
    grid.DatabasePaging(true);
    grid.SetProcedure("items_between");
    grid.AddParameter("lo", "0");
    grid.AddParameter("hi", "100");
    grid.Display();
    EXPECT_FALSE(Result().paged);
    EXPECT_EQ(Result().all_rows_reason, AllRowsReason::kProcedure);
    EXPECT_EQ(Names(page_->response().Body()).size(), 10u);  // Item 10 .. Item 19
  }
}

TEST_P(DatabasePagingTest, SqliteReadsEveryRowForAPageDeepInAnOrderNoIndexGives) {
  if (IsPostgres()) return;  // PostgreSQL skips sorted rows in a bounded heap
  connection_->Execute(
      "CREATE TABLE Many AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
      "WHERE i < 10050) SELECT i AS Id, (i * 7919) % 10050 AS Code FROM n");
  auto draw = [&](const std::string& start) {
    DataGrid& grid = Grid({{"sort", "2"}, {"start", start}}, "SELECT Id,Code FROM Many");
    grid.DatabasePaging(true);
    grid.Display();
    return page_->response().Body();
  };
  const std::string shallow = draw("9991");
  EXPECT_TRUE(Result().paged);
  EXPECT_NE(shallow.find("<td nowrap width=1>9991</td>"), std::string::npos);
  const std::string deep = draw("10041");
  EXPECT_FALSE(Result().paged);
  EXPECT_EQ(Result().all_rows_reason, AllRowsReason::kDeepSortedPage);
  EXPECT_NE(deep.find("<td nowrap width=1>10050</td>"), std::string::npos);
  // With an index giving the order, the deep page is read alone.
  connection_->Execute("CREATE INDEX many_code ON Many(Code)");
  EXPECT_EQ(testing::MaskSealedTokens(draw("10041")), testing::MaskSealedTokens(deep));
  EXPECT_TRUE(Result().paged);
}

TEST_P(DatabasePagingTest, ReadingsThatCouldDrawDifferentlyReadEveryRow) {
  auto both = [&](const Fields& form, const std::string& command) {
    DataGrid& all = Grid(form, command);
    all.DatabasePaging(false);
    all.Display();
    const std::string all_rows = testing::MaskSealedTokens(page_->response().Body());
    DataGrid& paged = Grid(form, command);
    paged.DatabasePaging(true);
    paged.Display();
    EXPECT_EQ(testing::MaskSealedTokens(page_->response().Body()), all_rows);
  };
  // A trailing comment would swallow the paging clause: the count over the
  // command as a derived table fails, and every row is read.
  both({{"sort", "1"}}, "SELECT Id,Name FROM Items -- the items");
  EXPECT_FALSE(Result().paged);
  EXPECT_EQ(Result().all_rows_reason, AllRowsReason::kRefused);

  // A column without a declared type, null throughout the page: SQLite
  // would type it from the page alone.
  const std::string late = "SELECT Id,CASE WHEN Id > 30 THEN Amount END AS Late FROM Items";
  both({{"sort", "1"}}, late);
  if (IsPostgres()) {
    EXPECT_TRUE(Result().paged);
  } else {
    EXPECT_FALSE(Result().paged);
    EXPECT_EQ(Result().all_rows_reason, AllRowsReason::kUntypedColumn);
  }
  both({{"sort", "1"}, {"start", "31"}}, late);
  EXPECT_TRUE(Result().paged);
}

TEST_P(DatabasePagingTest, BinaryCellLinksNumberTheirRowInTheWholeFilteredResult) {
  const Fields form = {{"sort", "3 desc"}, {"start", "11"}, {"rsfilter", "Region <> 'North'"}};
  DataGrid& grid = Grid(form, kSelectItems);
  grid.DatabasePaging(true);
  grid.Display();
  ASSERT_TRUE(Result().paged);
  const std::string page = page_->response().Body();
  size_t links = 0;
  for (size_t at = page.find("?a=i&amp;r="); at != std::string::npos;
       at = page.find("?a=i&amp;r=", at + 1)) {
    const size_t r_at = at + 11;
    const int64_t row = std::stoll(page.substr(r_at, page.find('&', r_at) - r_at));
    EXPECT_GE(row, 10);  // numbered in the whole result, not in the page
    const size_t t_at = page.find("cell=", at) + 5;
    const std::string token = page.substr(t_at, page.find_first_of("&\"", t_at) - t_at);
    std::optional<DownloadTarget> target = OpenDownloadLink(token);
    ASSERT_TRUE(target);
    // The link's statement is the unpaged filtered one: its row `row` is
    // the row drawn with that number.
    EXPECT_EQ(target->command.find("LIMIT"), std::string::npos) << target->command;
    Recordset all;
    all.Open(target->command, *connection_);
    all.AbsolutePosition(static_cast<int32_t>(row + 1));
    const std::string name = all.Fields(1).Value().AsString();
    const size_t row_at = page.rfind("<td nowrap width=1>" + std::to_string(row + 1) + "</td>", at);
    ASSERT_NE(row_at, std::string::npos);
    EXPECT_EQ(page.find(">" + name + "<", row_at), page.find(">Item ", row_at)) << name;
    EXPECT_EQ(all.Fields(4).Value().Bytes().size(), 1u);
    ++links;
  }
  EXPECT_GT(links, 0u);
}

TEST_P(DatabasePagingTest, TheReadSnapshotEndsWithThePage) {
  Draw({{"sort", "2"}, {"start", "11"}}, true);
  ASSERT_TRUE(Result().paged);
  // No transaction is left open: the next statement starts its own.
  if (IsPostgres()) {
    EXPECT_THROW(connection_->Execute("SAVEPOINT after_page"), Error);
  } else {
    connection_->Execute("BEGIN");
    connection_->Execute("COMMIT");
  }
  // A transaction the page opened stays open, and its own, even when the
  // paged reading fails inside it.
  connection_->Execute("BEGIN");
  Draw({{"sort", "2"}, {"start", "21"}}, true);
  EXPECT_TRUE(Result().paged);
  DataGrid& grid = Grid({{"sort", "1"}}, "SELECT Id,Name FROM Items -- the items");
  grid.DatabasePaging(true);
  grid.Display();
  EXPECT_EQ(Result().all_rows_reason, AllRowsReason::kRefused);
  EXPECT_NE(page_->response().Body().find("Item 01"), std::string::npos);
  connection_->Execute("SAVEPOINT still_inside");
  connection_->Execute("ROLLBACK");
}

INSTANTIATE_TEST_SUITE_P(Engines, DatabasePagingTest, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace fennick
