// Column qualifiers from base tables and the command text, and the
// expressions the filter bar offers.
#include "grid/query/column_expressions.h"

#include <gtest/gtest.h>

#include "grid/query/database_type.h"

namespace fennick {
namespace {

std::vector<GridColumn> Columns(std::initializer_list<const char*> names) {
  std::vector<GridColumn> out;
  for (const char* n : names) {
    GridColumn c;
    c.name = n;
    out.push_back(c);
  }
  return out;
}

TEST(ColumnExpressionsTest, QualifiedSelectListNamesTablesItself) {
  auto cols = Columns({"Id", "Amount", "Name"});
  QualifyColumns("SELECT [Orders].[Id], Orders.Amount, Name FROM Orders, Customers", kDbSqlServer,
                 {"Orders", "Orders", "Customers"}, cols);
  EXPECT_EQ(cols[0].table, "Orders");
  EXPECT_EQ(cols[0].column, "Id");
  EXPECT_EQ(cols[1].table, "Orders");
  EXPECT_EQ(cols[2].table, "");  // unqualified in the list
  EXPECT_EQ(ColumnExpression(cols[1], kDbSqlServer), "[Orders].[Amount]");
  EXPECT_EQ(ColumnExpression(cols[2], kDbSqlServer), "[Name]");

  auto distinct = Columns({"Region"});
  QualifyColumns("SELECT DISTINCT `o`.`Region` FROM Orders o", kDbMySql, {""}, distinct);
  EXPECT_EQ(distinct[0].table, "o");
  EXPECT_EQ(ColumnExpression(distinct[0], kDbMySql), "`o`.`Region`");
}

TEST(ColumnExpressionsTest, BaseTablesMustOccurInTheFromPart) {
  auto cols = Columns({"Id", "Total"});
  QualifyColumns("SELECT Id, Amount * 2 AS Total FROM Orders WHERE Region = 'Customers'",
                 kDbSQLite, {"Orders", "Customers"}, cols);
  EXPECT_EQ(cols[0].table, "Orders");
  EXPECT_EQ(cols[1].table, "");  // Customers only occurs after WHERE

  // A view whose name contains a table's name does not name that table.
  auto view = Columns({"Supplier", "Total"});
  QualifyColumns("SELECT Supplier, Total FROM SupplierSummary", kDbSQLite,
                 {"Suppliers", "SupplierSummary"}, view);
  EXPECT_EQ(view[0].table, "");
  EXPECT_EQ(view[1].table, "SupplierSummary");
  auto bracketed = Columns({"Id"});
  QualifyColumns("SELECT Id FROM [Order Details] od", kDbSQLite, {"Order Details"}, bracketed);
  EXPECT_EQ(bracketed[0].table, "Order Details");
}

TEST(ColumnExpressionsTest, CommandTextGivesTheTableWhenTheProviderDoesNot) {
  auto star = Columns({"Id", "Name"});
  QualifyColumns("SELECT * FROM [Order Details] WHERE Id > 1", kDbSQLite, {"", ""}, star);
  EXPECT_EQ(star[0].table, "Order Details");
  EXPECT_EQ(ColumnExpression(star[1], kDbSQLite), "[Order Details].[Name]");

  auto joined = Columns({"Amount", "Name", "Total"});
  QualifyColumns("SELECT o.Amount AS A, c.[Name], SUM(x) AS Total FROM Orders o, Customers c",
                 kDbSqlServer, {"", "", ""}, joined);
  EXPECT_EQ(joined[0].table, "o");
  EXPECT_EQ(joined[1].table, "c");
  EXPECT_EQ(joined[2].table, "");  // no "." before it
}

}  // namespace
}  // namespace fennick
