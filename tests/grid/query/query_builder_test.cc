// The grid's query on real databases: ORDER BY from clicks and the
// required and default orders, filters placed and checked, the row limit,
// procedures, and filters from the browser that must not become SQL.
#include <gtest/gtest.h>
#include <unistd.h>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/error.h"
#include "fennick/page.h"
#include "frame/argument_codec.h"
#include "frame/module_state.h"
#include "grid/grid_object.h"
#include "grid/query/orders_engine_fixture.h"
#include "grid/state/state_fields.h"
#include "platform/crypto/seal.h"
#include "platform/data/test_databases.h"

namespace fennick {
namespace {

using Fields = OrdersEngineTest::Fields;

// Orders with a Secret column that no test's statement names.
class GridQueryTest : public OrdersEngineTest {
 protected:
  GridQueryTest() : OrdersEngineTest("grid query tests", "fnk_grid_", true) {}

  // The expression the filter bar offers for a column of Orders.
  std::string Offered(const std::string& column) const {
    if (IsPostgres()) {
      std::string lower = column;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return "orders." + lower;
    }
    if (IsMysql()) return "`Orders`.`" + column + "`";
    return "[Orders].[" + column + "]";
  }

  // Opens the grid's recordset and returns column 0 of every row as text.
  std::vector<std::string> Open(int column = 0) {
    grid_->OpenRecordset();
    std::vector<std::string> out;
    auto& rs = GridInternals(*grid_).result.recordset;
    if (!rs) return out;
    for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
      out.push_back(rs->Fields(static_cast<size_t>(column)).Value().AsString());
    }
    return out;
  }

  std::string Output() const { return page_->response().Body(); }
};

const char kSelect[] = "SELECT Id,Name,Amount FROM Orders";

Fields Click(const std::string& argument) { return {{"__FARGS", EncodeArgument(argument)}}; }

TEST_P(GridQueryTest, SortClicksAndRequiredAndDefaultOrders) {
  Grid(Click("1sort:3;lastsort:;rsort:0;"), kSelect);
  EXPECT_EQ(Open(), (std::vector<std::string>{"4", "2", "1", "5", "3"}));
  EXPECT_EQ(grid_->Command(), std::string(kSelect) + " ORDER BY 3");
  EXPECT_EQ(GridInternals(*grid_).req.order_list, "3");

  Grid(Click("1sort:3;lastsort:3;rsort:0;"), kSelect);
  EXPECT_EQ(Open(), (std::vector<std::string>{"3", "5", "1", "2", "4"}));
  EXPECT_EQ(GridInternals(*grid_).req.order_list, "3 desc");

  // The required order leads; its own column leaves the user's list.
  Grid({{"sort", "1 desc,2"}}, kSelect).RequiredSortOrder("1");
  Open();
  EXPECT_EQ(grid_->Command(), std::string(kSelect) + " ORDER BY 1,2");
  Grid(Click("1sort:1;lastsort:;rsort:0;"), kSelect).RequiredSortOrder("1");
  Open();
  EXPECT_EQ(grid_->Command(), std::string(kSelect) + " ORDER BY 1");

  Grid({}, kSelect).DefaultSortOrder("Name");
  EXPECT_EQ(Open(1), (std::vector<std::string>{"Adams", "Jones", "O'Brien", "Smith", "Smythe"}));
  // With nothing sorted by the user, the default follows the required,
  // less the columns the required one names.
  Grid({}, kSelect);
  grid_->DefaultSortOrder("Name, amount asc");
  grid_->RequiredSortOrder("Amount DESC");
  Open();
  EXPECT_EQ(grid_->Command(), std::string(kSelect) + " ORDER BY Amount DESC,Name");
}

TEST_P(GridQueryTest, CommandsOwnOrderByGivesWayToTheUsersSort) {
  const std::string own = "SELECT Id,Name,Amount FROM Orders\n order  by Name -- by name\n";
  const std::vector<std::string> by_name = {"5", "2", "3", "1", "4"};
  // Its own order while the user sorted nothing, filtered or not.
  Grid({}, own);
  EXPECT_EQ(Open(), by_name);
  Grid({{"rsfilter", "Amount > 5"}}, own);
  EXPECT_EQ(Open(), (std::vector<std::string>{"5", "2", "3", "1"}));
  // A header click, the required and the default order replace it.
  Grid(Click("1sort:3;lastsort:;rsort:0;"), own);
  EXPECT_EQ(Open(), (std::vector<std::string>{"4", "2", "1", "5", "3"}));
  EXPECT_EQ(grid_->Command(), "SELECT Id,Name,Amount FROM Orders ORDER BY 3");
  Grid(Click("1sort:3;lastsort:3;rsort:0;"), own + ";").RequiredSortOrder("Region");
  grid_->DefaultSortOrder("Name");
  EXPECT_EQ(Open(), (std::vector<std::string>{"5", "2", "4", "3", "1"}));
  Grid({{"rsfilter", "Amount > 5"}}, own).DefaultSortOrder("Amount desc");
  EXPECT_EQ(Open(), (std::vector<std::string>{"3", "5", "1", "2"}));
  // An ORDER BY in a subquery, a window, a literal or a comment is the
  // command's text, never replaced.
  Grid(Click("1sort:2;lastsort:;rsort:0;"),
       "SELECT ROW_NUMBER() OVER (ORDER BY Amount) AS R, Id, 'ORDER BY x' AS S, "
       "(SELECT MIN(Name) FROM (SELECT Name FROM Orders ORDER BY Name) n) AS M "
       "FROM Orders /* ORDER BY Id */ ORDER BY R DESC");
  EXPECT_EQ(Open(), (std::vector<std::string>{"3", "2", "5", "1", "4"}));
  EXPECT_THAT(Output(), Not(HasSubstr("invalid")));
}

TEST_P(GridQueryTest, FiltersLandBeforeGroupByAndKeepTheirLiterals) {
  Grid({{"rsfilter", "Region = 'West'"}},
       "SELECT Region, COUNT(*) AS N FROM Orders GROUP BY Region");
  EXPECT_EQ(Open(), (std::vector<std::string>{"West"}));
  EXPECT_EQ(Open(1), (std::vector<std::string>{"2"}));

  Grid({{"search_field", Offered("Name")}, {"search_condition", "="}, {"search_text", "O'Brien"}},
       kSelect);
  EXPECT_EQ(Open(), (std::vector<std::string>{"3"}));
  EXPECT_THAT(Output(), Not(HasSubstr("invalid")));

  Grid({{"search_field", Offered("Name")}, {"search_condition", " LIKE 'v%'"},
        {"search_text", "Sm"}},
       kSelect + std::string(" WHERE Amount > 5"));
  EXPECT_EQ(Open(), (std::vector<std::string>{"1"}));

  Grid({{"search_field", Offered("Amount")}, {"search_condition", " > "},
        {"search_text", "10"}, {"rsfilter", Offered("Id") + " <> 1"}},
       kSelect);
  EXPECT_EQ(Open(), (std::vector<std::string>{"3", "5"}));
}

TEST_P(GridQueryTest, FilterValuesTypedAsTheGridShowsThem) {
  auto typed = [&](const std::string& condition, const std::string& text) -> DataGrid& {
    return Grid({{"search_field", Offered("Amount")}, {"search_condition", condition},
                 {"search_text", text}},
                kSelect);
  };
  typed(" > ", "$10.00").CurrencyColumn("Amount", 2);
  EXPECT_EQ(Open(), (std::vector<std::string>{"1", "3", "5"}));
  EXPECT_THAT(Output(), Not(HasSubstr("invalid")));
  typed("=", "1,250%").PercentColumn("Amount", 0);
  EXPECT_EQ(Open(), (std::vector<std::string>{"1"}));
  typed(" &lt; ", " 1,000.5 ").NumberColumn("Amount", 1);
  EXPECT_EQ(Open().size(), 5u);
  // Text that is no number stays text, and a number column refuses it.
  typed("=", "lots").CurrencyColumn("Amount", 2);
  EXPECT_EQ(Open().size(), 5u);
  EXPECT_THAT(Output(), HasSubstr("Your filter is invalid!"));
}

TEST_P(GridQueryTest, CommaBlanksInsideLiteralsAndQuotedNamesSurvive) {
  connection_->Execute("INSERT INTO Orders VALUES (6, 'Washington, DC', 1, 'East', 's6')");
  Grid({}, "SELECT Id, Name AS \"Place, full\" FROM Orders WHERE Name = 'Washington, DC'");
  EXPECT_EQ(grid_->Command(),
            "SELECT Id,Name AS \"Place, full\" FROM Orders WHERE Name = 'Washington, DC'");
  EXPECT_EQ(Open(), (std::vector<std::string>{"6"}));
  EXPECT_EQ(GridInternals(*grid_).result.recordset->Fields(1).Name(), "Place, full");

  // A doubled quote stays inside its literal.
  connection_->Execute("INSERT INTO Orders VALUES (7, 'O''Neil, Ltd', 2, 'East', 's7')");
  Grid({}, "SELECT Id FROM Orders WHERE Name IN ('O''Neil, Ltd', 'Washington, DC')");
  EXPECT_EQ(Open(), (std::vector<std::string>{"6", "7"}));
}

TEST_P(GridQueryTest, FilterAppliesToEveryBranchOfAnOrCondition) {
  // Without brackets, "Region = 'West' OR Region = 'East' AND (Amount < 10)"
  // would return the West rows 1 and 3 as well.
  Grid({{"rsfilter", "Amount < 10"}},
       kSelect + std::string(" WHERE Region = 'West' OR Region = 'East'"));
  EXPECT_EQ(Open(), (std::vector<std::string>{"2"}));
  EXPECT_THAT(GridInternals(*grid_).result.opened_sql,
      HasSubstr("WHERE (Region = 'West' OR Region = 'East') AND  ("));

  // The same through the filter bar, with a sort click appending ORDER BY.
  Grid({{"search_field", Offered("Amount")},
        {"search_condition", " < "},
        {"search_text", "25"},
        {"__FARGS", EncodeArgument("1sort:1;lastsort:;rsort:0;")}},
       kSelect + std::string(" WHERE Region = 'North' OR Name = 'Adams'"));
  EXPECT_EQ(Open(), (std::vector<std::string>{"4", "5"}));
  Grid({{"search_field", Offered("Amount")}, {"search_condition", " < "}, {"search_text", "10"}},
       kSelect + std::string(" WHERE Region = 'North' OR Name = 'Adams'"));
  EXPECT_EQ(Open(), (std::vector<std::string>{"4"}));
}

TEST_P(GridQueryTest, RowLimitOnTheRecordset) {
  Grid({}, kSelect);
  CurrentModuleState().max_records = 2;
  EXPECT_EQ(Open().size(), 2u);
  EXPECT_EQ(grid_->Command(), kSelect);  // no TOP for these databases
}

TEST_P(GridQueryTest, AutomaticRequiredOrderFromTheDesignersSchema) {
  connection_->Execute("CREATE TABLE Customers (Id INTEGER, Name VARCHAR(20))");
  connection_->Execute("INSERT INTO Customers VALUES (1, 'Ann')");
  Grid({}, "SELECT Orders.Id,Customers.Name,Orders.Amount FROM Orders,Customers");
  CurrentModuleState().field_schema =
      ",Orders.Id~cId~t131~,Customers.Name~cName~t200~,Orders.Amount~cAmount~fN2~t6~";
  grid_->MasterTable("Orders");
  grid_->RequiredSortOrder("AUTO");
  Open();
  EXPECT_EQ(GridInternals(*grid_).settings.required_sort_order, "1,3");
  EXPECT_EQ(grid_->Command(),
            "SELECT Orders.Id,Customers.Name,Orders.Amount FROM Orders,Customers ORDER BY 1,3");
}

TEST_P(GridQueryTest, TopClauseForTheServerDatabases) {
  // A database type forced to SQL Server: the limit goes into the SQL.
  Grid({}, kSelect);
  CurrentModuleState().database_type = 2;
  CurrentModuleState().max_records = 100;
  grid_->Connection(connection_);
  grid_->ShowSqlInPage(true);
  Open();
  // The engine here refuses TOP: the SQL is shown.
  EXPECT_THAT(Output(), HasSubstr("<!--\r\nSELECT Id,Name,Amount FROM Orders\r\n-->"));
  CurrentModuleState().display_prepared_sql = true;
  GridInternals(*grid_).result.recordset.reset();
  grid_->Command(kSelect);
  Open();
  EXPECT_THAT(Output(), HasSubstr("<code><font color=blue>SELECT</font> TOP 100 Id,Name,Amount "
                                  "<br><font color=blue>FROM</font> Orders</code>"));

  // With a filter the limit is set on the recordset instead.
  Grid({{"rsfilter", "[Amount] > 5"}}, kSelect);
  CurrentModuleState().database_type = 2;
  CurrentModuleState().max_records = 2;
  grid_->Connection(connection_);
  EXPECT_EQ(Open().size(), 2u);
}

TEST_P(GridQueryTest, AccessAndSqlServerSqlTextOfFiltersAndLimits) {
  // No Access or SQL Server answers here. PostgreSQL (directly or through
  // ODBC) refuses their brackets and TOP, and the grid shows the SQL it
  // wrote for them: a rejected filter in a comment, a limit in the SQL
  // display. That text is what counts.
  if (!IsPostgres()) GTEST_SKIP() << "SQLite reads brackets: nothing is refused to show";
  struct Case {
    int type;
    int max_records;
    const char* filter;
    const char* shown;  // "" when the statement runs as written, with no TOP
  };
  const Case cases[] = {
      {1, 0, "[Orders].[Name] = 'O''Brien' AND [Orders].[Amount] > 5",
       "<!--\r\nSELECT Id,Name,Amount FROM Orders WHERE  (([Orders].[Name] = 'O''Brien' AND "
       "[Orders].[Amount] &gt; 5))\r\n-->"},
      {2, 0, "[Orders].[Name] = 'O''Brien' AND [Orders].[Amount] > 5",
       "<!--\r\nSELECT Id,Name,Amount FROM Orders WHERE  (([Orders].[Name] = 'O''Brien' AND "
       "[Orders].[Amount] &gt; 5))\r\n-->"},
      {2, 0, "[Orders].[Name] LIKE 'x'' UNION SELECT Secret%'",
       "<!--\r\nSELECT Id,Name,Amount FROM Orders WHERE  ([Orders].[Name] LIKE 'x'' UNION SELECT "
       "Secret%')\r\n-->"},
      {1, 7, "",
       "<code><font color=blue>SELECT</font> TOP 7 Id,Name,Amount <br><font "
       "color=blue>FROM</font> Orders</code>"},
      {2, 7, "",
       "<code><font color=blue>SELECT</font> TOP 7 Id,Name,Amount <br><font "
       "color=blue>FROM</font> Orders</code>"},
      // With a filter the limit goes on the recordset, and the Native
      // Client type takes no TOP either.
      {2, 7, "[Orders].[Amount] > 5",
       "<!--\r\nSELECT Id,Name,Amount FROM Orders WHERE  ([Orders].[Amount] &gt; 5)\r\n-->"},
      {9, 7, "", ""},
  };
  for (const Case& c : cases) {
    Grid({{"rsfilter", c.filter}}, kSelect).ShowSqlInPage(true);
    CurrentModuleState().database_type = c.type;
    CurrentModuleState().max_records = c.max_records;
    CurrentModuleState().display_prepared_sql = c.max_records > 0;
    grid_->Connection(connection_);
    EXPECT_EQ(Open().size(), *c.shown == '\0' || *c.filter != '\0' ? 5u : 0u);
    const std::string out = Output();
    if (*c.shown == '\0') {
      EXPECT_THAT(out, Not(HasSubstr("<!--")));
      EXPECT_THAT(out, Not(HasSubstr("TOP")));
    } else {
      EXPECT_THAT(out, HasSubstr(c.shown))
          << "type " << c.type << " " << c.filter << "\n"
          << out;
    }
    EXPECT_THAT(out, Not(HasSubstr("s3")));  // no secret leaked
  }
}

TEST_P(GridQueryTest, BrowserFiltersNeverReachTheDatabaseAsSql) {
  const std::vector<std::string> attacks = {
      "1=1) UNION SELECT Secret, Secret, 1 FROM Orders --",
      "Id = 1; DROP TABLE Orders",
      "Secret = 's1'",
      "Id = (SELECT MAX(Id) FROM Orders)",
      "Name = 'x' OR 1=1",
  };
  for (const auto& filter : attacks) {
    Grid({{"rsfilter", filter}}, kSelect);
    EXPECT_EQ(Open().size(), 5u) << filter;  // the unfiltered page
    const std::string out = Output();
    EXPECT_THAT(out, HasSubstr("<font color=red>Your filter is invalid!</font><br>"))
        << filter;
    EXPECT_EQ(GridInternals(*grid_).req.filter_expression, "") << filter;
    EXPECT_THAT(out, Not(HasSubstr("s3"))) << filter;  // no secret leaked
  }
  // The table is still there, and the message is written once per display.
  Grid({{"rsfilter", "Id = 1; DROP TABLE Orders"}}, kSelect);
  Open();
  const std::string out = Output();
  EXPECT_EQ(out.find("Your filter is invalid!"), out.rfind("Your filter is invalid!"));
  EXPECT_THAT(out, HasSubstr("DROP TABLE Orders"));  // shown, encoded
  WriteStateFields(GridInternals(*grid_));
  EXPECT_THAT(Output(), HasSubstr("<input type=hidden name=rsfilter value=\"\">"));

  // A field the grid does not offer: the submission is ignored.
  Grid({{"search_field", "Secret"}, {"search_condition", "="}, {"search_text", "s1"},
        {"rsfilter", ""}},
       kSelect);
  EXPECT_EQ(Open().size(), 5u);
  EXPECT_EQ(GridInternals(*grid_).req.filter_expression, "");
  EXPECT_THAT(Output(), Not(HasSubstr("invalid")));
}

TEST_P(GridQueryTest, RejectedStatementsShowTheErrorAndTheSqlOnlyWhenAsked) {
  for (const bool show : {false, true}) {
    Grid({}, "SELECT Nope FROM Orders").ShowSqlInPage(show);
    EXPECT_TRUE(Open().empty());
    EXPECT_EQ(Output().find("\r\n<!--\r\nSELECT Nope FROM Orders\r\n-->") != std::string::npos,
              show);
    EXPECT_THAT(Output(), HasSubstr("<div><font color=red face=arial>"));
    EXPECT_THAT(Output(), HasSubstr(" (reference "));
  }

  Grid({}, "");
  Open();
  EXPECT_THAT(Output(), HasSubstr("Your SQL Command must be set before calling .Display() method"));
}

TEST_P(GridQueryTest, RowsFailingWhileReadAreKeptForTheErrorBox) {
  if (IsOdbc()) {
    GTEST_SKIP() << "psqlODBC reads the whole result while the statement runs: a failing row "
                    "fails the statement";
  }
  // Every other engine accepts the statement and fails on its third row.
  Grid({}, IsPostgres() ? "SELECT x, 10 / (x - 3) AS q FROM generate_series(1, 5) AS x"
           : IsMysql()
               ? "SELECT seq, (SELECT 1 UNION SELECT 2 FROM DUAL WHERE seq = 3) AS q "
                 "FROM seq_1_to_5"
               : "WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < 5) "
                 "SELECT x, abs(CASE WHEN x = 3 THEN -9223372036854775807 - 1 ELSE x END) "
                 "FROM s");
  EXPECT_TRUE(Open().empty());
  ASSERT_TRUE(GridInternals(*grid_).result.fetch_error.has_value());
  EXPECT_EQ(GridInternals(*grid_).result.fetch_error->number(), kErrDataCommandFailed);
  EXPECT_THAT(GridInternals(*grid_).result.fetch_error->description(),
      HasSubstr(IsPostgres() ? "division by zero"
                : (IsMysql() ? "Subquery returns more than 1 row" : "integer overflow")));
  // Not the box of a statement the database refused.
  EXPECT_THAT(Output(), Not(HasSubstr("<div><font color=red face=arial>")));

  // A statement refused at once is not a failed read.
  Grid({}, "SELECT Nope FROM Orders");
  Open();
  EXPECT_FALSE(GridInternals(*grid_).result.fetch_error.has_value());
}

TEST_P(GridQueryTest, StoredProcedureWithNamedParameters) {
  if (!IsPostgres() && !IsMysql()) GTEST_SKIP() << "SQLite has no stored procedures";
  connection_->Execute(
      IsMysql() ? "CREATE PROCEDURE orders_between(lo DOUBLE, hi DOUBLE) SELECT Id AS id, "
                  "Name AS name FROM Orders WHERE Amount BETWEEN lo AND hi"
                : "CREATE FUNCTION orders_between(lo DOUBLE PRECISION, hi DOUBLE PRECISION) "
                  "RETURNS TABLE(id INTEGER, name VARCHAR) AS $$ SELECT Id, Name FROM Orders "
                  "WHERE Amount BETWEEN lo AND hi $$ LANGUAGE SQL");
  Grid(Click("1sort:2;lastsort:;rsort:0;"), "");
  grid_->SetProcedure("[orders_between]");
  grid_->AddParameter("hi", "25");
  grid_->AddParameter("lo", "5");
  EXPECT_EQ(Open(1), (std::vector<std::string>{"Adams", "Jones", "Smith"}));

  Grid({{"rsfilter", "name LIKE 'J%'"}}, "");
  grid_->SetProcedure("orders_between");
  grid_->AddParameter("lo", "0");
  grid_->AddParameter("hi", "100");
  EXPECT_EQ(Open(1), (std::vector<std::string>{"Jones"}));

  Grid({{"rsfilter", "nope = 1"}}, "");
  grid_->SetProcedure("orders_between");
  grid_->AddParameter("lo", "0");
  grid_->AddParameter("hi", "100");
  EXPECT_EQ(Open().size(), 5u);
  EXPECT_THAT(Output(), HasSubstr("Your filter is invalid!"));
}

TEST_P(GridQueryTest, CreateConnectionOwnsItsConnectionAndReportsFailures) {
  Grid({}, kSelect);
  grid_->CreateConnection("Provider=Nothing;Data Source=x");
  EXPECT_THAT(Output(), HasSubstr("<div><font color=red face=arial>"));
  EXPECT_THAT(Output(), HasSubstr("Nothing"));
  grid_->CreateConnection("Provider=SQLite;Data Source=:memory:");
  EXPECT_TRUE(GridInternals(*grid_).result.owns_connection);
  EXPECT_EQ(GridInternals(*grid_).req.database_type, 10);
}

INSTANTIATE_TEST_SUITE_P(Engines, GridQueryTest,
                         ::testing::Values("SQLite", "PostgreSQL", "MySQL", "ODBC"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace fennick
