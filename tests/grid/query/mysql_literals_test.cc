// Filter-bar values on MySQL (the MariaDB test server): quotes,
// backslashes, UNION and second statements typed as text stay inside their
// literal whether or not the session's SQL mode reads backslashes as
// escapes, and a backslash typed as text finds itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "grid/grid_object.h"
#include "grid/query/database_type.h"
#include "grid/query/orders_engine_fixture.h"

namespace fennick {
namespace {

using Fields = OrdersEngineTest::Fields;

class MysqlLiteralsTest : public OrdersEngineTest {
 protected:
  MysqlLiteralsTest() : OrdersEngineTest("mysql literal tests", "fnk_lit_", true) {}

  void SetUp() override {
    OrdersEngineTest::SetUp();
    connection_->Execute("INSERT INTO Orders VALUES (6, 'C:\\\\temp\\\\', 1, 'South', 's6')");
  }

  // The ids a filter-bar search on Name finds, after checking that the
  // database took the filter.
  std::vector<std::string> Search(const std::string& condition, const std::string& text) {
    Grid({{"search_field", "`Orders`.`Name`"},
          {"search_condition", condition},
          {"search_text", text}},
         "SELECT Id, Name FROM Orders");
    grid_->OpenRecordset();
    std::vector<std::string> ids;
    auto& rs = GridInternals(*grid_).result.recordset;
    EXPECT_TRUE(rs != nullptr) << text;
    if (!rs) return ids;
    for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext())
      ids.push_back(rs->Fields(0).Value().AsString());
    const std::string out = page_->response().Body();
    EXPECT_THAT(out, Not(HasSubstr("invalid"))) << text << "\n" << out;
    EXPECT_THAT(out, Not(HasSubstr("face=arial"))) << text << "\n" << out;
    EXPECT_THAT(out, Not(HasSubstr("s3"))) << text;  // no secret leaked
    return ids;
  }

  std::string OpenedSql() const { return GridInternals(*grid_).result.opened_sql; }

  using Ids = std::vector<std::string>;
};

TEST_P(MysqlLiteralsTest, TypedTextNeverLeavesItsLiteral) {
  for (const char* mode : {"STRICT_TRANS_TABLES", "NO_BACKSLASH_ESCAPES"}) {
    connection_->Execute(std::string("SET SESSION sql_mode = '") + mode + "'");
    const bool escapes = std::string(mode) != "NO_BACKSLASH_ESCAPES";
    SCOPED_TRACE(mode);

    EXPECT_EQ(Search("=", "O'Brien"), Ids{"3"});
    EXPECT_EQ(GridInternals(*grid_).req.database_type, kDbMySql);
    // A backslash at the end of the value would escape the closing quote.
    EXPECT_EQ(Search("=", "Smith\\"), Ids{});
    EXPECT_THAT(OpenedSql(), HasSubstr(escapes ? "= 'Smith\\\\')" : "= 'Smith\\')"));
    EXPECT_EQ(Search(" LIKE '%v%'", "th\\"), Ids{});
    EXPECT_EQ(Search(" LIKE 'v%'", "Sm\\"), Ids{});
    // Attempts to close the literal and go on in SQL.
    for (const char* attack : {
             "\\' OR 1=1 -- ",
             "x\\' OR Name <> \\'",
             "x\\' UNION SELECT Secret, Secret FROM Orders -- ",
             "x\\'; DROP TABLE Orders; -- ",
             "\\'); DELETE FROM Orders; -- ",
             "x'' OR ''1''=''1",
         }) {
      EXPECT_EQ(Search("=", attack), Ids{}) << attack;
      EXPECT_EQ(Search(" LIKE '%v%'", attack), Ids{}) << attack;
    }
    EXPECT_EQ(connection_->Execute("SELECT COUNT(*) FROM Orders").Fields(0).Value().AsInt64(), 6);

    // A backslash typed as text matches itself.
    EXPECT_EQ(Search("=", "C:\\temp\\"), Ids{"6"});
    EXPECT_EQ(Search(" LIKE '%v%'", "temp\\"), Ids{"6"});
    EXPECT_EQ(Search(" LIKE 'v%'", "C:\\t"), Ids{"6"});
  }
}

INSTANTIATE_TEST_SUITE_P(MariaDB, MysqlLiteralsTest, ::testing::Values("MySQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace fennick
