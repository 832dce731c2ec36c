// Report statements run for real on SQLite and PostgreSQL (and the
// bracketing of relations on MariaDB too): the same
// definitions give the expected rows on both, hostile values find what
// they say and nothing more, and hidden filters keep restricting rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "base/ascii.h"
#include "designer/report_query.h"
#include "platform/data/test_databases.h"

namespace fennick::designer {
namespace {

using fennick::testing::TestDatabase;

constexpr char kSchema[] =
    ",Id~cId~f~t131~,Region~cRegion~f~t200~,Name~cName~f~t200~,Amount~cAmount~f~t131~"
    ",Budget~cBudget~f~t6~,Placed~cPlaced~f~t7~,OwnerId~cOwner~f~t131~"
    ",Orders.Id~cId~f~t131~";

class ReportQueryDbTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(db_.Open());
    db_.Run(
        "CREATE TABLE Orders (Id INTEGER, Region VARCHAR(20), Name VARCHAR(40), "
        "Amount NUMERIC(10,2), Budget NUMERIC(10,2), Placed DATE, OwnerId INTEGER)");
    db_.Run(
        "INSERT INTO Orders VALUES "
        "(1, 'West', 'O''Brien', 10, 20, '2024-01-10', 1),"
        "(2, 'West', 'Washington, DC', 20, 10, '2024-03-05', 1),"
        "(3, 'East', 'a@b.com', 30, 30, '2024-06-01', 2),"
        "(4, 'East', 'What?', 40, 50, '2025-01-01', 2),"
        "(5, 'North', 'Northwind', 50, 40, '2026-12-20', 1)");
    db_.Run("CREATE TABLE Owners (Id INTEGER, Active INTEGER)");
    db_.Run("INSERT INTO Owners VALUES (1, 1), (2, 0)");
    options_.database_type = db_.IsPostgres() ? 11 : db_.IsMysql() ? 6 : 10;
    values_.session = [this](std::string_view name) {
      auto it = session_.find(std::string(name));
      return it == session_.end() ? std::string() : it->second;
    };
    values_.parameter = [this](std::string_view name) -> std::optional<std::string> {
      auto it = typed_.find(std::string(name));
      if (it == typed_.end()) return std::nullopt;
      return it->second;
    };
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 6;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    values_.now = std::mktime(&t);
  }

  ReportDefinition Report(std::string filters, int join = 1) {
    ReportDefinition r;
    r.tables = "Orders";
    r.fields = "Id, Region";
    r.schema = kSchema;
    r.filters = std::move(filters);
    r.join = static_cast<int16_t>(join);
    return r;
  }

  // The ids the report's statement returns, sorted, "," between; or the
  // reason it did not run.
  std::string Ids(const ReportDefinition& report) {
    ReportStatement s = PrepareReportStatement(report, options_, values_);
    if (!s.ok()) return "not run: " + s.error;
    std::vector<int> ids;
    try {
      Recordset rs = db_.Query(s.sql);
      for (; !rs.Eof(); rs.MoveNext()) {
        ids.push_back(static_cast<int>(rs.Fields(static_cast<size_t>(0)).Value().AsDouble()));
      }
    } catch (const Error& e) {
      return "failed: " + e.description() + " in " + s.sql;
    }
    std::sort(ids.begin(), ids.end());
    std::string out;
    for (int id : ids) out += (out.empty() ? "" : ",") + std::to_string(id);
    return out;
  }

  TestDatabase db_{GetParam()};
  ReportQueryOptions options_;
  ReportRunValues values_;
  std::map<std::string, std::string> session_, typed_;
};

TEST_P(ReportQueryDbTest, EveryConditionFindsTheExpectedRows) {
  const std::pair<const char*, const char*> cases[] = {
      {"Name__1__O'Brien", "1"},
      {"Name__2__a@b.com", "3"},
      {"Name__5__What?", "4"},
      {"Name__7__a", "1,5"},
      {"Name__6__DC", "2"},
      {"Name__1__Washington| DC", ""},  // the builder's "|" is kept outside IS IN
      {"Name__17__Washington| DC|Northwind", "5"},
      {"Name__17__x') OR ('1'='1", ""},
      {"Amount__17__10|30", "1,3"},
      {"Amount__2__20", "2"},
      {"Amount__2__20 OR 1=1", ""},
      {"Amount__3__20", "1"},
      {"Amount__4__40", "5"},
      {"Amount__16__20", "1,3,4,5"},
      {"Amount__8__30", "3,4,5"},
      {"Amount__9__20", "1,2"},
      {"Name__10__", ""},
      {"Name__11__", "1,2,3,4,5"},
      {"Name__12__", ""},
      {"Name__13__", "1,2,3,4,5"},
      {"Amount__14__", "5"},
      {"Amount__15__", "1"},
      {"Amount__18__", "1,2"},
      {"Amount__19__", "4,5"},
      {"Amount__4__!Budget", "2,5"},
      {"Name__1__!Region", "5"},
      {"Name__5__!Region", "5"},
      {"Placed__8__2024-03-05", "2,3,4,5"},
      {"Placed__2__3/5/2024", "2"},
      {"Placed__3__@DATE", "1,2,3,4"},
      {"Name__99__x", ""},
      {"Placed__2__not a date", "not run: \"not a date\" is not a valid date."},
  };
  for (const auto& [filters, expected] : cases) {
    EXPECT_EQ(Ids(Report(filters)), expected) << filters;
  }
  EXPECT_EQ(Ids(Report("Region__2__East,Amount__2__10", 2)), "1,3,4");
  EXPECT_EQ(Ids(Report("Region__2__East,Amount__99__10", 2)), "");

  typed_ = {{"Area", "West"}};
  EXPECT_EQ(Ids(Report("Region__2__?Area")), "1,2");
  typed_ = {{"Area", "West' OR 'a'='a"}};
  EXPECT_EQ(Ids(Report("Region__2__?Area")), "");
  session_ = {{"UserName", "O'Brien"}};
  EXPECT_EQ(Ids(Report("Name__2__@USERNAME")), "1");
}

TEST_P(ReportQueryDbTest, HiddenFiltersRestrictEveryStatement) {
  session_ = {{"UserId", "1"}};
  options_.hidden_sql_filter = "OwnerId='@USERID'";
  // Filters joined by OR cannot lift the row-level filter.
  EXPECT_EQ(Ids(Report("Region__2__East,Amount__4__0", 2)), "1,2,5");
  session_ = {{"UserId", "2"}};
  EXPECT_EQ(Ids(Report("")), "3,4");
  // Without a session value nothing runs, whatever is typed.
  session_.clear();
  typed_ = {{"USERID", "1"}};
  EXPECT_EQ(Ids(Report("")), "not run: The session has no value for USERID.");

  // Nor can an OR in the relations.
  options_.hidden_sql_filter.clear();
  options_.hidden_filter_list = "Owners|=|Owners.Active=1|||orders|=|Orders.OwnerId=2|||";
  ReportDefinition joined = Report("");
  joined.tables = "Orders,Owners";
  joined.fields = "Orders.Id";
  joined.distinct = 1;
  joined.relations = "Orders.OwnerId=Owners.Id OR 1=1";
  EXPECT_EQ(Ids(joined), "3,4");

  // A stored statement takes them too.
  typed_ = {{"Area", "x"}};
  ReportStatement s =
      PrepareStoredStatement("SELECT Id FROM Orders WHERE Region='?Area' OR 1=1 ORDER BY Id",
                             Report(""), options_, values_);
  ASSERT_TRUE(s.ok()) << s.error;
  Recordset rs = db_.Query(s.sql);
  EXPECT_EQ(rs.GetString(2, -1, ",", ";"), "3;4;");
}

TEST_P(ReportQueryDbTest, SummaryReportsAggregatePerGroup) {
  ReportDefinition summary = Report("Region__16__North");
  summary.fields = "Region, Amount";
  summary.grpby = 1;
  summary.count = 1;
  summary.sum = summary.avg = summary.min = summary.max = summary.stdev = summary.var = "Amount";
  options_.hidden_sql_filter = "OwnerId>0";
  ReportStatement s = PrepareReportStatement(summary, options_, values_);
  ASSERT_TRUE(s.ok()) << s.error;
  Recordset rs = db_.Query(s.sql + " ORDER BY 1");
  ASSERT_EQ(rs.FieldCount(), 8u);
  std::vector<std::string> names;
  for (size_t i = 0; i < rs.FieldCount(); ++i) names.push_back(rs.Fields(i).Name());
  // PostgreSQL folds unquoted aliases to lower case.
  EXPECT_TRUE(EqualsIgnoreCase(names[7], "VAR_1")) << names[7];
  ASSERT_FALSE(rs.Eof());
  EXPECT_EQ(rs.Fields(static_cast<size_t>(0)).Value().AsString(), "East");
  // COUNT, SUM, AVG, MIN, MAX, STDEV, VAR of East (30, 40), then West.
  const double expected[2][7] = {{2, 70, 35, 30, 40, std::sqrt(50.0), 50},
                                 {2, 30, 15, 10, 20, std::sqrt(50.0), 50}};
  for (int row = 0; row < 2; ++row) {
    for (size_t i = 0; i < 7; ++i) {
      EXPECT_NEAR(rs.Fields(i + 1).Value().AsDouble(), expected[row][i], 1e-6) << row << " " << i;
    }
    rs.MoveNext();
  }
  EXPECT_TRUE(rs.Eof());
}

// A procedure report's call, read back, runs with its parameters by name
// (PostgreSQL functions are Fennick's procedures; SQLite has none).
TEST_P(ReportQueryDbTest, ProcedureCallRunsWithNamedParameters) {
  if (!db_.IsPostgres()) return;
  db_.Run(
      "CREATE FUNCTION orders_of(area VARCHAR, minimum NUMERIC) RETURNS SETOF INTEGER AS "
      "$$ SELECT Id FROM Orders WHERE Region = area AND Amount >= minimum $$ LANGUAGE sql");
  ReportDefinition report;
  report.isproc = 1;
  report.tables = "orders_of";
  report.params = "area|?Area|200,minimum|15|131";
  typed_ = {{"Area", "West' OR 'a'='a"}};
  ReportStatement s = PrepareReportStatement(report, options_, values_);
  ASSERT_TRUE(s.ok()) << s.error;
  std::optional<ProcedureCall> call = ParseProcedureCall(s.sql);
  ASSERT_TRUE(call);
  auto run = [&]() {
    Command command = Catalog(db_.connection()).ProcedureCommand(call->procedure);
    for (const auto& [name, value] : call->arguments) command.Parameters(name).Value(value);
    Recordset rs = command.Execute();
    return rs.GetString(2, -1, ",", ";");
  };
  EXPECT_EQ(run(), "");  // the typed value is one value, matching no region
  typed_ = {{"Area", "West"}};
  s = PrepareReportStatement(report, options_, values_);
  call = ParseProcedureCall(s.sql);
  ASSERT_TRUE(call);
  EXPECT_EQ(run(), "2;");
}

INSTANTIATE_TEST_SUITE_P(Engines, ReportQueryDbTest, ::testing::Values("SQLite", "PostgreSQL"));

// Relations are one condition before the hidden filter is added, on every
// engine: an OR in them stays inside, and relations that would close the
// parentheses themselves hold for no row (the definition check refuses
// them first; this is what holds if one ever got through).
class ReportRelationsDbTest : public ReportQueryDbTest {};

TEST_P(ReportRelationsDbTest, RelationsCannotLiftTheHiddenFilter) {
  options_.hidden_sql_filter = "Region = 'East'";
  const std::pair<const char*, const char*> cases[] = {
      {"Id > 0 OR 1=1", "3,4"},
      {"1=1) OR (1=1", ""},
      {"1=1)) OR ((1=1", ""},
      {"Name = 'x'') OR (''1'' = ''1' OR 1=1", "3,4"},
      {"1=1 OR Region = ')'", "3,4"},
      {"1=1 -- ", ""},
      {"1=1 /* ", ""},
      {"1=1; DELETE FROM Orders", ""},
  };
  for (const auto& [relations, expected] : cases) {
    ReportDefinition report = Report("");
    report.relations = relations;
    EXPECT_EQ(Ids(report), expected) << relations;
  }
  EXPECT_EQ(Ids(Report("")), "3,4") << "every row is still there";
}

INSTANTIATE_TEST_SUITE_P(Engines, ReportRelationsDbTest,
                         ::testing::Values("SQLite", "PostgreSQL", "MySQL"));

}  // namespace
}  // namespace fennick::designer
