// Paging in the database on every engine: the page read from the database
// draws exactly what reading every row draws (start past the end, page
// size changes, filters, the row limit, footers, the page's graph, binary
// cells), pages fit together in every order, sorted or not, also with
// several clients at once, a page read from the far end holds what
// reading forward gives, every feature that needs every row reads them,
// and the read snapshot ends with the page.
#include "grid/query/database_paging.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <thread>
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
#include "grid/test_page.h"

namespace fennick {
namespace {

using Fields = OrdersEngineTest::Fields;
using GridSetup = std::function<void(DataGrid&)>;

constexpr int kItems = 37;
const char kSelectItems[] = "SELECT Id,Name,Amount,Region,Pic FROM Items";

Fields Click(const std::string& argument) { return {{"__FARGS", EncodeArgument(argument)}}; }

// Items 1..37: unique names "Item 01".."Item 37" and unique amounts
// (Id * 7 mod 37 + 0.5), regions cycling East, North, West (ties), a
// picture of one byte (the Id) on every third item, and a grade (Id mod 3,
// null on every fourth item). Keyed holds Id, Name, Region and Grade under
// a primary key, inserted last key first.
class DatabasePagingTest : public OrdersEngineTest {
 protected:
  DatabasePagingTest() : OrdersEngineTest("database paging tests", "fnk_page_", false) {}

  void SetUp() override {
    OrdersEngineTest::SetUp();
    if (HasFatalFailure()) return;
    connection_->Execute(std::string("CREATE TABLE Items (Id INTEGER, Name VARCHAR(20), ") +
                         "Amount DOUBLE PRECISION, Region VARCHAR(10), Pic " +
                         (IsPostgres() ? "BYTEA" : "BLOB") + ", Grade INTEGER)");
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
                           "', " + pic + ", " + (id % 4 == 0 ? "NULL" : std::to_string(id % 3)) +
                           ")");
    }
    // The same items under a primary key, stored last key first.
    connection_->Execute(
        "CREATE TABLE Keyed (Id INTEGER PRIMARY KEY, Name VARCHAR(20), Region VARCHAR(10), "
        "Grade INTEGER)");
    for (int id = kItems; id >= 1; --id) {
      connection_->Execute(
          "INSERT INTO Keyed SELECT Id, Name, Region, Grade FROM Items WHERE Id = " +
          std::to_string(id));
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
  EXPECT_THAT(page, HasSubstr("<td nowrap width=1>21</td>"));

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
  EXPECT_THAT(page, HasSubstr("No records returned!"));

  // A filter the grammar or the database refuses is reported the same way.
  page = Same({{"rsfilter", "Nope = 1"}, {"start", "11"}});
  EXPECT_THAT(page, HasSubstr("Your filter is invalid!"));
  page = Same({{"rsfilter", "Name = 'x'' OR 1=1 --"}, {"sort", "1"}});
  EXPECT_THAT(page, HasSubstr("Your filter is invalid!"));
  page = Same({{"rsfilter", "Name = 'x'' OR ''1''=''1'"}, {"sort", "1"}});
  EXPECT_THAT(page, HasSubstr("No records returned!"));

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
  EXPECT_THAT(page, HasSubstr("col_footerLabel>Total"));
  EXPECT_THAT(page, HasSubstr("View All"));

  // The summary box is the database's over the whole filtered result.
  page =
      Same({{"sort", "1"}, {"start", "11"}, {"rsfilter", "Region = 'West'"}}, [](DataGrid& grid) {
        GridInternals(grid).page->summary.specification = "Amount__SUM__Sum,Id__COUNT__N";
      });
  EXPECT_THAT(page, HasSubstr("<span class=summary_value>12</span>"));
}

TEST_P(DatabasePagingTest, PagesHoldEveryRowOnceAndDeepPagesReadWhatForwardReads) {
  const char* commands[] = {
      "SELECT Id,Name,Grade,Region FROM Keyed",  // a primary key breaks ties
      "SELECT Name,Region,Grade FROM Items",     // every column does
      "SELECT i.Name,k.Grade,i.Region FROM Items i JOIN Keyed k ON k.Id = i.Id",
  };
  // Unsorted; ties with nulls first or last either way; a unique key.
  const char* sorts[] = {"", "3", "3 desc", "3,2 desc", "1 desc"};
  for (const char* command : commands) {
    for (const char* sort : sorts) {
      SCOPED_TRACE(std::string(command) + " / sort " + sort);
      std::vector<std::string> seen;
      for (int start = 1; start <= kItems; start += 10) {
        const std::vector<std::string> names = Names(Draw(
            {{"sort", sort}, {"start", std::to_string(start)}}, true,
            [&](DataGrid& grid) { grid.Command(command); }));
        ASSERT_TRUE(Result().paged) << static_cast<int>(Result().all_rows_reason);
        // The page is exactly its rows of the whole result read forward
        // (pages past the middle are read from the other end).
        Recordset all;
        all.Open(Result().opened_sql, *connection_);
        std::vector<std::string> forward;
        for (all.Move(start - 1); !all.Eof() && forward.size() < 10; all.MoveNext()) {
          forward.push_back(all.Fields("Name").Value().AsString());
        }
        EXPECT_EQ(names, forward) << Result().opened_sql;
        seen.insert(seen.end(), names.begin(), names.end());
      }
      // The key comes from the catalogue (as each engine spells it).
      if (command == commands[0] && std::string(sort) == "3") {
        const char* key = IsMysql()      ? ",Keyed.`Id`"
                          : IsPostgres() ? ",Keyed.\"id\""
                                         : ",Keyed.\"Id\"";
        EXPECT_EQ(Result().opened_sql, std::string(command) + " ORDER BY 3" + key);
      }
      EXPECT_EQ(seen.size(), static_cast<size_t>(kItems));
      EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(),
                static_cast<size_t>(kItems));
    }
  }
}

TEST_P(DatabasePagingTest, ClientsPagingAtOnceEachSeeEveryRowOnce) {
  if (GetParam() != "PostgreSQL" && !IsMysql()) return;  // a server's concurrent scans
  const std::string cs =
      IsMysql() ? testing::MysqlConnectionString() : testing::PostgresConnectionString();
  constexpr int kClients = 8;
  std::vector<std::vector<std::string>> seen(kClients);
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      auto connection = std::make_shared<Connection>();
      connection->Open(cs);
      connection->Execute(IsMysql() ? "USE " + schema_ : "SET search_path TO " + schema_);
      testing::TestPage page;
      for (int round = 0; round < 5; ++round) {
        for (int start = 1; start <= kItems; start += 10) {
          page.Open({{"start", std::to_string(start)}});
          DataGrid grid;
          grid.Connection(connection);
          grid.Command("SELECT Name,Region,Grade FROM Items");
          grid.DatabasePaging(true);
          grid.Display();
          if (round == 0 || !GridInternals(grid).result.paged) {
            const std::vector<std::string> names = Names(page->response().Body());
            seen[c].insert(seen[c].end(), names.begin(), names.end());
            if (!GridInternals(grid).result.paged) seen[c].push_back("(every row read)");
          }
        }
      }
    });
  }
  for (std::thread& t : clients) t.join();
  for (const std::vector<std::string>& names : seen) {
    EXPECT_EQ(names.size(), static_cast<size_t>(kItems));
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(),
              static_cast<size_t>(kItems));
    EXPECT_EQ(names, seen[0]);
  }
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

  // Without an ORDER BY the grid orders by a tie-break of its own; only
  // where there is nothing to order by (no key, binary columns only) does
  // an engine whose order may change read every row.
  Draw({}, true);
  EXPECT_TRUE(Result().paged);
  Draw({}, true, [](DataGrid& g) { g.Command("SELECT Pic FROM Items"); });
  if (GetParam() == "SQLite") {
    EXPECT_TRUE(Result().paged);
  } else {
    EXPECT_FALSE(Result().paged);
    EXPECT_EQ(Result().all_rows_reason, AllRowsReason::kUnstableOrder);
  }
  if (IsPostgres()) {
    // PostgreSQL cannot order by json: the page's reading is refused, and
    // every row is read in the command's own order, drawn as always.
    Draw({}, true, [](DataGrid& g) { g.Command("SELECT Name, '{}'::json AS J FROM Items"); });
    EXPECT_EQ(Result().all_rows_reason, AllRowsReason::kRefused);
    EXPECT_EQ(Names(page_->response().Body()).size(), 10u);
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
  if (GetParam() != "SQLite") return;  // the servers skip sorted rows in a bounded heap
  // 20,100 rows: a page in the middle is more than 10,000 rows from
  // either end.
  connection_->Execute("CREATE TABLE Many (Id INTEGER PRIMARY KEY, Code INTEGER)");
  connection_->Execute(
      "INSERT INTO Many WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
      "WHERE i < 20100) SELECT i, (i * 7919) % 20100 FROM n");
  auto draw = [&](const std::string& start) {
    DataGrid& grid = Grid({{"sort", "2"}, {"start", start}}, "SELECT Id,Code FROM Many");
    grid.DatabasePaging(true);
    grid.Display();
    return page_->response().Body();
  };
  const std::string middle = draw("10011");
  EXPECT_FALSE(Result().paged);
  EXPECT_EQ(Result().all_rows_reason, AllRowsReason::kDeepSortedPage);
  EXPECT_THAT(middle, HasSubstr("<td nowrap width=1>10011</td>"));
  // The last page is read from the end of the order.
  draw("20091");
  EXPECT_TRUE(Result().paged);
  // With an index giving the order, the middle page is read alone.
  connection_->Execute("CREATE INDEX many_code ON Many(Code)");
  EXPECT_EQ(testing::MaskSealedTokens(draw("10011")), testing::MaskSealedTokens(middle));
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
  if (GetParam() != "SQLite") {
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
    EXPECT_THAT(target->command, Not(HasSubstr("LIMIT")));
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
  // Through ODBC the grid cannot tell whether a transaction is open, and
  // reads without a snapshot of its own.
  if (IsOdbc()) return;
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
  EXPECT_THAT(page_->response().Body(), HasSubstr("Item 01"));
  connection_->Execute("SAVEPOINT still_inside");
  connection_->Execute("ROLLBACK");
}

INSTANTIATE_TEST_SUITE_P(Engines, DatabasePagingTest,
                         ::testing::Values("SQLite", "PostgreSQL", "MySQL", "ODBC"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace fennick
