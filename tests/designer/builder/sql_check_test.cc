// The checker of typed SQL: relations, [sql] expressions and filter values
// are written again for the database, or refused with the reason.
#include "designer/builder/sql_check.h"

#include <gtest/gtest.h>

#include "grid/query/database_type.h"

namespace fennick::designer {
namespace {

std::vector<CheckedTable> TwoTables() {
  return {
      {"Orders", {"OrderID", "CustomerID", "Amount", "OrderDate", "Note"}, {131, 131, 6, 7, 200}},
      {"Customers", {"CustomerID", "Name", "City"}, {131, 200, 200}}};
}

TEST(SqlCheckTest, RelationsAreWrittenAgainForEachDatabase) {
  SqlChecker sqlite(kDbSQLite, TwoTables());
  SqlCheck join = sqlite.Condition("orders.customerid=[Customers].\"CustomerID\"");
  ASSERT_TRUE(join.ok()) << join.error;
  EXPECT_EQ(join.sql, "[Orders].[CustomerID] = [Customers].[CustomerID]");

  SqlChecker server(kDbSqlServer, TwoTables());
  EXPECT_EQ(server.Condition("Orders.CustomerID = Customers.CustomerID AND Orders.Amount>10").sql,
            "[Orders].[CustomerID] = [Customers].[CustomerID] AND [Orders].[Amount] > 10");
  EXPECT_EQ(server.Condition("not (Orders.Amount != Orders.OrderID or Name is not null)").sql,
            "NOT ([Orders].[Amount] <> [Orders].[OrderID] OR [Customers].[Name] IS NOT NULL)");
  EXPECT_EQ(server.Condition("City not in ('Oslo','O''Hara') and Amount between 1 and 2.5").sql,
            "[Customers].[City] NOT IN ('Oslo', 'O''Hara') AND [Orders].[Amount] BETWEEN 1 AND "
            "2.5");
  EXPECT_EQ(server.Condition("OrderDate >= #3/5/2026# and Name like 'A%'").sql,
            "[Orders].[OrderDate] >= '2026-03-05' AND [Customers].[Name] LIKE 'A%'");
  SqlChecker access(kDbAccess, TwoTables());
  EXPECT_EQ(access.Condition("OrderDate < #2026-03-05 14:07#").sql,
            "[Orders].[OrderDate] < #2026-03-05 14:07:00#");
  SqlChecker mysql(kDbMySql, TwoTables());
  // MySQL would read the backslash as an escape and the quote after it as
  // text: it is doubled, so the literal ends where the checker read it.
  EXPECT_EQ(mysql.Condition("Name = 'a\\' OR City = 'x'").sql,
            "`Customers`.`Name` = 'a\\\\' OR `Customers`.`City` = 'x'");
}

TEST(SqlCheckTest, ExpressionsTakeArithmeticCaseAndCast) {
  SqlChecker pg(kDbPostgreSql, {{"orders", {"amount", "qty", "note", "day"}, {6, 131, 200, 200}}});
  EXPECT_EQ(pg.Expression("#temp# * 1.2 + -qty % 3").sql, "#TEMP# * 1.2 + -qty % 3");
  EXPECT_EQ(pg.Expression("case when amount > 100 then 'big' when amount is null then '?' "
                          "else 'small' end")
                .sql,
            "CASE WHEN amount > 100 THEN 'big' WHEN amount IS NULL THEN '?' ELSE 'small' END");
  EXPECT_EQ(pg.Expression("CASE qty WHEN 1 THEN 'one' END").sql, "CASE qty WHEN 1 THEN 'one' END");
  EXPECT_EQ(pg.Expression("cast(note as number) / cast(qty as text) || cast(day as date)").sql,
            "CAST(note AS NUMERIC) / CAST(qty AS TEXT) || CAST(day AS TIMESTAMP)");
  SqlChecker sqlite(kDbSQLite, {{"t", {"a"}, {200}}});
  EXPECT_EQ(sqlite.Expression("CAST(a AS date)").sql, "datetime([a])");
  EXPECT_EQ(sqlite.Expression("CAST(a AS integer)").sql, "CAST([a] AS REAL)");
  SqlChecker server(kDbSqlServer, {{"t", {"a"}, {200}}});
  EXPECT_EQ(server.Expression("cast(a as text)").sql, "CAST([a] AS NVARCHAR(4000))");
  EXPECT_EQ(server.Format("[SQL]a + 'x'[/sql]").sql, "[sql][a] + 'x'[/sql]");
  EXPECT_EQ(server.Format("N2").sql, "N2");
  EXPECT_FALSE(server.Format("[sql]a").ok());
}

TEST(SqlCheckTest, EveryAllowedFunctionIsWrittenForTheDatabase) {
  std::vector<CheckedTable> t = {{"t", {"a", "n"}, {200, 131}}};
  SqlChecker pg(kDbPostgreSql, t);
  SqlChecker server(kDbSqlServer, t);
  SqlChecker access(kDbAccess, t);
  const struct {
    const char* typed;
    const char* pg;
    const char* server;
  } cases[] = {
      {"abs(n)", "ABS(n)", "ABS([n])"},
      {"round(n, 2)", "ROUND(n, 2)", "ROUND([n], 2)"},
      {"upper(a)", "UPPER(a)", "UPPER([a])"},
      {"lower(a)", "LOWER(a)", "LOWER([a])"},
      {"length(a)", "LENGTH(a)", "LEN([a])"},
      {"substr(a, 2)", "SUBSTR(a, 2)", "SUBSTRING([a], 2, 2147483647)"},
      {"trim(a)", "TRIM(a)", "LTRIM(RTRIM([a]))"},
      {"replace(a, 'x', 'y')", "REPLACE(a, 'x', 'y')", "REPLACE([a], 'x', 'y')"},
      {"coalesce(a, 'none')", "COALESCE(a, 'none')", "COALESCE([a], 'none')"},
      {"nullif(n, 0)", "NULLIF(n, 0)", "NULLIF([n], 0)"},
  };
  ASSERT_EQ(AllowedFunctions().size(), std::size(cases));
  for (const auto& c : cases) {
    EXPECT_EQ(pg.Expression(c.typed).sql, c.pg) << c.typed;
    EXPECT_EQ(server.Expression(c.typed).sql, c.server) << c.typed;
  }
  EXPECT_EQ(access.Expression("coalesce(a, n, 'x')").sql,
            "IIf(IsNull([a]), IIf(IsNull([n]), 'x', [n]), [a])");
  EXPECT_EQ(access.Expression("substr(a, 1, 2)").sql, "Mid([a], 1, 2)");
  EXPECT_EQ(pg.Expression("round(n, 1, 2)").error,
            "the function round takes 1 to 2 arguments (at \"round(n, 1, 2)\")");
}

// Stored definitions are checked again whenever they run: what the checker
// wrote must check to itself on every database (functions in their own
// spellings, sized casts, dates, MySQL's doubled backslashes), and signs
// must never touch to make a comment.
TEST(SqlCheckTest, WrittenTextChecksToItself) {
  const std::vector<CheckedTable> t = {{"t", {"a", "n"}, {200, 131}}};
  const char* const typed[] = {
      "length(a) + - -n > -(-1)", "substr(trim(a), 2) || coalesce(a, 'x') = 'C:\\dir\\\\x'",
      "cast(n as number) > cast(a as text) AND cast(a as date) > #2026-03-05 10:00#",
      "a NOT IN ('O''Hara', 'a\\') AND NOT n BETWEEN -1 AND 2 OR upper(a) LIKE 'A%'"};
  for (int db :
       {kDbSQLite, kDbPostgreSql, kDbMySql, kDbSqlServer, kDbAccess, kDbFoxPro, kDbOracle}) {
    SqlChecker checker(db, t);
    for (const char* text : typed) {
      SqlCheck once = checker.Condition(text);
      ASSERT_TRUE(once.ok()) << db << ": " << once.error;
      EXPECT_EQ(once.sql.find("--"), std::string::npos) << once.sql;
      SqlCheck twice = checker.Condition(once.sql);
      EXPECT_EQ(twice.sql, once.sql) << db << ": " << twice.error;
    }
  }
}

TEST(SqlCheckTest, AnythingBeyondOneExpressionIsRefusedWithTheReason) {
  SqlChecker c(kDbSqlServer, TwoTables());
  const struct {
    const char* typed;
    const char* error;
  } cases[] = {
      {"Orders.CustomerID = Customers.CustomerID; DROP TABLE Orders",
       "a second statement is not allowed (at \"; DROP TABLE Orders\")"},
      {"Orders.CustomerID IN (SELECT CustomerID FROM Customers)",
       "a subquery is not allowed (at \"SELECT CustomerID FROM C\")"},
      {"Amount = (select max(Amount) from Orders)",
       "a subquery is not allowed (at \"select max(Amount) from \")"},
      {"Amount = 1 -- and more", "comments and escapes are not allowed (at \"-- and more\")"},
      {"Amount = 1 /* x */", "comments and escapes are not allowed (at \"/* x */\")"},
      {"Secret = 1", "the field Secret does not exist in the report's tables (at \"Secret = 1\")"},
      {"CustomerID = 1",
       "the field CustomerID is in more than one table: name its table (at \"CustomerID = 1\")"},
      {"Payroll.Salary > 0",
       "the field Payroll.Salary does not exist in the report's tables (at \"Payroll.Salary > "
       "0\")"},
      {"xp_cmdshell('dir') = 1",
       "the function xp_cmdshell is not allowed (at \"xp_cmdshell('dir') = 1\")"},
      {"Amount", "it is a value, not a condition (at \"Amount\")"},
      {"Amount = 'open", "a text has no closing quote (at \"'open\")"},
      {"Amount = 1 UNION SELECT 1", "this does not belong here (at \"UNION SELECT 1\")"},
      {"OrderDate = #2026-02-30#", "this is not a date (at \"#2026-02-30#\")"},
      {"Amount = 1 OR exists(1)", "a subquery is not allowed (at \"exists(1)\")"},
      {"", "it is empty"},
      {"Amount = 0x10", "this is not a number (at \"0x10\")"},
      {"Amount = @@version", "this character is not allowed (at \"@@version\")"},
  };
  for (const auto& k : cases) {
    SqlCheck r = c.Condition(k.typed);
    EXPECT_FALSE(r.ok()) << k.typed;
    EXPECT_EQ(r.error, k.error) << k.typed;
    EXPECT_TRUE(r.sql.empty());
  }
  EXPECT_EQ(c.Expression("Amount > 1").error, "it is a condition, not a value (at \"Amount > 1\")");
  std::string deep(200, '(');
  EXPECT_EQ(c.Expression(deep + "1" + std::string(200, ')')).error,
            "it is nested too deeply (at \"((((((((((((((((((((((((\")");
}

TEST(SqlCheckTest, FilterValuesAreCheckedAndListsQuotedAgain) {
  SqlChecker c(kDbSqlServer, TwoTables());
  EXPECT_EQ(c.FilterValue("Orders.Amount", 17, "1|2| 3", false).sql, "1|2|3");
  EXPECT_EQ(c.FilterValue("Customers.City", 17, "Oslo|'O''Hara'|1", false).sql,
            "'Oslo'|'O''Hara'|'1'");
  EXPECT_EQ(c.FilterValue("Customers.City", 17, "x') OR (1=1", false).sql, "'x'') OR (1=1'");
  EXPECT_EQ(c.FilterValue("Orders.Amount", 2, "!orders.orderid", false).sql, "!Orders.OrderID");
  EXPECT_EQ(c.FilterValue("Orders.Amount", 2, "!Payroll.Salary", false).error,
            "the field Payroll.Salary does not exist in the report's tables");
  EXPECT_EQ(c.FilterValue("Customers.Name", 2, "?Name", false).sql, "?Name");
  EXPECT_EQ(c.FilterValue("Customers.Name", 2, "@USERNAME", false).sql, "@USERNAME");
  EXPECT_EQ(c.FilterValue("Customers.Name", 2, "?x) OR (1=1", false).error,
            "a parameter or token is a plain name of letters, digits and \"_\"");
  EXPECT_EQ(c.FilterValue("Orders.Amount", 3, "abc", false).error, "Invalid search condition");
  EXPECT_TRUE(c.FilterValue("Orders.Amount", 3, "abc", true).ok());
  EXPECT_EQ(c.FilterValue("Orders.OrderDate", 8, "2026-03-05", false).sql, "2026-03-05");
  EXPECT_EQ(c.FilterValue("Orders.Amount", 2, "", false).error, "the condition needs a value");
  EXPECT_EQ(c.FilterValue("Orders.Amount", 12, "ignored", false).sql, "");
  EXPECT_EQ(c.FilterValue("Orders.Amount", 20, "1", false).error, "the condition 20 is unknown");
  EXPECT_EQ(c.FilterValue("Orders.Secret", 2, "1", false).error,
            "the field Orders.Secret does not exist in the report's tables");
  EXPECT_EQ(c.FilterValue("Customers.Name", 1, "a__2__b", false).error,
            "a value may not hold \"__\"");
}

}  // namespace
}  // namespace fennick::designer
