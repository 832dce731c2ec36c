// Database types, name quoting, sort lists and SQL text routines.
#include <gtest/gtest.h>

#include "grid/query/database_type.h"
#include "grid/query/order_list.h"
#include "grid/query/sql_text.h"

namespace fennick {
namespace {

TEST(DatabaseTypeTest, RecognisesConnectionStringsInTestOrder) {
  EXPECT_EQ(GetDatabaseType("Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db"), kDbSqlServer);
  EXPECT_EQ(GetDatabaseType("Driver={MySQL ODBC 8.0 Driver};Server=x"), kDbMySql);
  // The SQL Server test comes before the MySQL one.
  EXPECT_EQ(GetDatabaseType("Provider=MSDASQL;Driver={MySQL ODBC 8.0 Driver}"), kDbSqlServer);
  EXPECT_EQ(GetDatabaseType("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb"), kDbAccess);
  EXPECT_EQ(GetDatabaseType("access"), kDbAccess);
  EXPECT_EQ(GetDatabaseType("SQL Server"), kDbSqlServer);
  EXPECT_EQ(GetDatabaseType("sqlserver"), kDbSqlServer);
  EXPECT_EQ(GetDatabaseType("Driver={Microsoft Visual FoxPro Driver};SourceType=DBC"), kDbFoxPro);
  EXPECT_EQ(GetDatabaseType("Provider=Microsoft.Jet.OLEDB.4.0;Extended Properties=\"Excel 8.0\""),
            kDbExcel);
  EXPECT_EQ(GetDatabaseType("Provider=Microsoft.Jet.OLEDB.4.0;Extended Properties=\"text\""), kDbText);
  EXPECT_EQ(GetDatabaseType("Provider=MSDAORA;Data Source=orcl"), kDbOracle);
  EXPECT_EQ(GetDatabaseType("Provider=ASAProv;Data source=x"), kDbSybase);
  EXPECT_EQ(GetDatabaseType("Provider=SQLNCLI10;Server=x"), kDbSqlNativeClient);
  EXPECT_EQ(GetDatabaseType("Provider=SQLite;Data Source=data/demo.db"), kDbSQLite);
  EXPECT_EQ(GetDatabaseType("Provider=PostgreSQL;Host=localhost;Database=x"), kDbPostgreSql);
  EXPECT_EQ(GetDatabaseType("Provider=Unknown"), kDbUnknown);
  EXPECT_EQ(GetDatabaseType("Provider=SQLite;Data Source=x.db", 2), kDbSqlServer);
  EXPECT_EQ(GetDatabaseType("Provider=SQLite;Data Source=x.db", -1), kDbSQLite);
  EXPECT_EQ(GetDatabaseType("Provider=SQLite;Data Source=x.db", 0), kDbSQLite);
}

TEST(DatabaseTypeTest, QuotesNamesPerDatabase) {
  SqlNaming plain;
  EXPECT_EQ(QuoteSqlName(kDbSqlServer, " Orders.Amount ", false, plain), "[Orders].[Amount]");
  EXPECT_EQ(QuoteSqlName(kDbSQLite, "Order Details", false, plain), "[Order Details]");
  EXPECT_EQ(QuoteSqlName(kDbMySql, "Orders.Amount", false, plain), "`Orders`.`Amount`");
  EXPECT_EQ(QuoteSqlName(kDbPostgreSql, "Orders.Amount", false, plain), "Orders.Amount");
  EXPECT_EQ(QuoteSqlName(kDbPostgreSql, "Order Details.1st", false, plain),
            "\"Order Details\".\"1st\"");
  EXPECT_EQ(QuoteSqlName(kDbOracle, "Orders.Amount", false, plain), "Orders.Amount");
  EXPECT_EQ(QuoteSqlName(kDbOracle, "Order - Details", false, plain), "[Order - Details]");
  EXPECT_EQ(QuoteSqlName(kDbSqlServer, "*", false, plain), "*");
  EXPECT_EQ(QuoteSqlName(kDbSqlServer, "a.b.c", false, plain), "[a].[b.c]");
  // A delimiter inside a name cannot close the quotes.
  EXPECT_EQ(QuoteSqlName(kDbSqlServer, "x]; DROP TABLE t; --", false, plain),
            "[x]]; DROP TABLE t; --]");
  EXPECT_EQ(QuoteSqlName(kDbPostgreSql, "a\"b", false, plain), "\"a\"\"b\"");

  SqlNaming owner;
  owner.owner = "dbo";
  EXPECT_EQ(QuoteSqlName(kDbSqlServer, "Orders.Amount", true, owner), "[dbo].[Orders].[Amount]");
  EXPECT_EQ(QuoteSqlName(kDbSqlServer, "Orders.Amount", false, owner), "[Orders].[Amount]");
  SqlNaming none;
  none.prefix = "";
  none.suffix = "";
  EXPECT_EQ(QuoteSqlName(kDbSqlServer, "Orders.Amount", false, none), "Orders.Amount");
  SqlNaming half;
  half.prefix = "";
  EXPECT_EQ(QuoteSqlName(kDbSqlServer, "Amount", false, half), "[Amount]");
}

TEST(OrderListTest, HeaderClicksToggleAndAppend) {
  // Column 2 clicked three times from an unsorted grid.
  std::string order = ComputeOrderList("2", "", false);
  EXPECT_EQ(order, "2");
  order = ComputeOrderList("2", order, false);
  EXPECT_EQ(order, "2 desc");
  order = ComputeOrderList("2", order, false);
  EXPECT_EQ(order, "2");
  // Then column 3, 3 again, and removing 2.
  order = ComputeOrderList("3", order, false);
  EXPECT_EQ(order, "2,3");
  order = ComputeOrderList("3", order, false);
  EXPECT_EQ(order, "2,3 desc");
  order = ComputeOrderList("2", order, true);
  EXPECT_EQ(order, "3 desc");
  order = ComputeOrderList("3", order, true);
  EXPECT_EQ(order, "");

  EXPECT_EQ(ComputeOrderList("", "2", false), "");
  EXPECT_EQ(ComputeOrderList("2,3 desc", "", false), "2,3 desc");  // a plain post
  EXPECT_EQ(ComputeOrderList("1", "2,1 desc,3", false), "2,1,3");
  EXPECT_EQ(ComputeOrderList("4", "2,1 desc", false), "2,1 desc,4");
  EXPECT_EQ(ComputeOrderList("5", "2", true), "2");
  EXPECT_EQ(ComputeOrderList("2", "2 desc,2,3", true), "3");
}

TEST(OrderListTest, RemovesItemsAndSanitisesPostedLists) {
  EXPECT_EQ(RemoveFromOrderList("1 desc,2", "1"), "2");
  EXPECT_EQ(RemoveFromOrderList("1 DESC,2,1", " 1 "), "2");
  EXPECT_EQ(RemoveFromOrderList("1", "1"), "");
  EXPECT_EQ(RemoveFromOrderList("1 desc", "1"), "1 desc");
  EXPECT_EQ(SanitizeOrderList("2,3 desc"), "2,3 desc");
  EXPECT_EQ(SanitizeOrderList("1; DROP TABLE x,2"), "2");
  EXPECT_EQ(SanitizeOrderList("(select 1),0,-1,3 DESC, 4 "), "3 desc,4");
}

TEST(SqlTextTest, FilterLandsBeforeGroupOrOrderBy) {
  EXPECT_EQ(AddFilterToSql("SELECT * FROM t", "a = 1"), "SELECT * FROM t WHERE  (a = 1)");
  EXPECT_EQ(AddFilterToSql("SELECT * FROM t where b = 2", "a = 1"),
            "SELECT * FROM t where (b = 2) AND  (a = 1)");
  EXPECT_EQ(AddFilterToSql("SELECT c, count(*) FROM t group by c ORDER BY 1", "c > 1"),
            "SELECT c, count(*) FROM t  WHERE  (c > 1) group by c ORDER BY 1");
  EXPECT_EQ(AddFilterToSql("SELECT c FROM t WHERE x=1 GROUP BY c", "c > 1"),
            "SELECT c FROM t WHERE (x=1) AND  (c > 1) GROUP BY c");
  EXPECT_EQ(AddFilterToSql("SELECT * FROM t ORDER BY 2", "a = 1"),
            "SELECT * FROM t  WHERE  (a = 1) ORDER BY 2");
  // ORDER BY is found in its exact case only.
  EXPECT_EQ(AddFilterToSql("SELECT * FROM t order by 2", "a = 1"),
            "SELECT * FROM t order by 2 WHERE  (a = 1)");
}

TEST(SqlTextTest, ExistingConditionIsBracketedAndQuotedKeywordsIgnored) {
  EXPECT_EQ(AddFilterToSql("SELECT * FROM t WHERE a = 1 OR b = 2 ORDER BY 1", "c = 3"),
            "SELECT * FROM t WHERE (a = 1 OR b = 2) AND  (c = 3) ORDER BY 1");
  EXPECT_EQ(AddFilterToSql("SELECT * FROM t WHERE a = 1 OR b = 2", "c = 3"),
            "SELECT * FROM t WHERE (a = 1 OR b = 2) AND  (c = 3)");
  // Keywords inside literals, quoted names and subqueries are not the
  // statement's own.
  EXPECT_EQ(AddFilterToSql("SELECT * FROM t WHERE n = ' GROUP BY x'", "c = 3"),
            "SELECT * FROM t WHERE (n = ' GROUP BY x') AND  (c = 3)");
  EXPECT_EQ(AddFilterToSql("SELECT \" WHERE \" FROM t", "c = 3"),
            "SELECT \" WHERE \" FROM t WHERE  (c = 3)");
  EXPECT_EQ(AddFilterToSql("SELECT * FROM (SELECT * FROM u WHERE k = 1 ORDER BY 1) s", "c = 3"),
            "SELECT * FROM (SELECT * FROM u WHERE k = 1 ORDER BY 1) s WHERE  (c = 3)");
  EXPECT_EQ(
      AddFilterToSql("SELECT * FROM t WHERE a IN (SELECT b FROM u WHERE d = 1) OR e = 2", "c = 3"),
      "SELECT * FROM t WHERE (a IN (SELECT b FROM u WHERE d = 1) OR e = 2) AND  (c = 3)");
}

TEST(SqlTextTest, OnlyTheStatementsOwnTrailingOrderBySplitsOff) {
  struct Case {
    const char* sql;
    const char* statement;  // nullptr: no ORDER BY that may go
    const char* order;
  };
  const Case cases[] = {
      {"SELECT a FROM t order by a", "SELECT a FROM t", "a"},
      {"SELECT a FROM t\n  ORDER\tBY a DESC, b -- newest first\n", "SELECT a FROM t",
       "a DESC, b"},
      {"SELECT a FROM t ORDER BY a;", "SELECT a FROM t", "a"},
      {"SELECT a FROM t ORDER BY COALESCE(a, b) DESC, \"Name\" /* x */", "SELECT a FROM t",
       "COALESCE(a, b) DESC, \"Name\""},
      {"SELECT a FROM t ORDER BY [Name] -- by name", "SELECT a FROM t", "[Name]"},
      {"SELECT a FROM t /* ORDER BY b */ ORDER /* x */ BY a", "SELECT a FROM t /* ORDER BY b */",
       "a"},
      {"SELECT a FROM t UNION SELECT b FROM u ORDER BY 1", "SELECT a FROM t UNION SELECT b FROM u",
       "1"},
      // Not the statement's own: a subquery's, a window's, a literal's, a
      // quoted name's, a comment's.
      {"SELECT a FROM (SELECT a FROM t ORDER BY a) x", nullptr, nullptr},
      {"SELECT ROW_NUMBER() OVER (ORDER BY a) FROM t", nullptr, nullptr},
      {"SELECT 'ORDER BY a' FROM t", nullptr, nullptr},
      {"SELECT \"order\" by_ FROM t", nullptr, nullptr},
      {"SELECT a FROM t -- ORDER BY a", nullptr, nullptr},
      {"SELECT a FROM t WHERE b = 'x' ORDER BY", nullptr, nullptr},
      {"SELECT sorder BY_x FROM t", nullptr, nullptr},
      // An order that chooses the rows stays.
      {"SELECT a FROM t ORDER BY a LIMIT 3", nullptr, nullptr},
      {"SELECT a FROM t ORDER BY a OFFSET 5 ROWS FETCH NEXT 5 ROWS ONLY", nullptr, nullptr},
      {"SELECT DISTINCT TOP 5 a FROM t ORDER BY a", nullptr, nullptr},
      {"SELECT a FROM t ORDER BY a FOR UPDATE", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const OrderBySplit split = SplitTrailingOrderBy(c.sql);
    EXPECT_EQ(split.found, c.statement != nullptr) << c.sql;
    if (c.statement == nullptr) {
      EXPECT_EQ(WithoutTrailingOrderBy(c.sql), c.sql);
      continue;
    }
    EXPECT_EQ(split.statement, c.statement) << c.sql;
    EXPECT_EQ(split.order, c.order) << c.sql;
  }
}

TEST(SqlTextTest, CommaBlanksCollapseOutsideQuotesOnly) {
  EXPECT_EQ(CollapseCommaBlanks("SELECT a, b,  c FROM t"), "SELECT a,b, c FROM t");
  EXPECT_EQ(CollapseCommaBlanks("SELECT [a, b], `c, d`, \"e, f\" FROM t WHERE x = 'y, z'"),
            "SELECT [a, b],`c, d`,\"e, f\" FROM t WHERE x = 'y, z'");
  EXPECT_EQ(CollapseCommaBlanks("WHERE x IN ('it''s, here', 'b, c'), y"),
            "WHERE x IN ('it''s, here','b, c'),y");
  // An unterminated literal keeps the rest as written.
  EXPECT_EQ(CollapseCommaBlanks("a, 'b, c"), "a,'b, c");
  EXPECT_EQ(CollapseCommaBlanks(""), "");
  EXPECT_EQ(CollapseCommaBlanks(", "), ",");
}

TEST(SqlTextTest, DisplayAndCommentCannotBreakOutOfThePage) {
  EXPECT_EQ(FormatSqlForDisplay("SELECT a AS b FROM t WHERE x < 1 ORDER BY 1 DESC"),
            "<code><font color=blue>SELECT</font> a <font color=blue>AS</font> b "
            "<br><font color=blue>FROM</font> t <br><font color=blue>WHERE</font> x &lt; 1 "
            "<br><font color=blue>ORDER BY</font> 1 <font color=blue>DESC</font></code>");
  EXPECT_EQ(SqlComment("SELECT 1"), "\r\n<!--\r\nSELECT 1\r\n-->");
  EXPECT_EQ(SqlComment("x = '--><script>'"), "\r\n<!--\r\nx = '--&gt;<script&gt;'\r\n-->");
}

}  // namespace
}  // namespace fennick
