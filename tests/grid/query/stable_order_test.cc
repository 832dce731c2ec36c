// The stable order's text routines: ORDER BY lists read and turned around
// per engine (the nulls mirrored), the one table of a plain SELECT, and
// which end of the order a page is read from.
#include "grid/query/stable_order.h"

#include <gtest/gtest.h>

#include "grid/query/database_type.h"
#include "grid/query/deep_page.h"

namespace fennick {
namespace {

TEST(StableOrderTest, OrderListsTurnAroundIntoTheirExactMirror) {
  struct Case {
    const char* list;
    int type;
    const char* reversed;
  };
  const Case cases[] = {
      // Nulls sort first ascending on SQLite and MySQL: turning the
      // direction around mirrors them.
      {"3 desc,Name", kDbSQLite, "3 ASC,Name DESC"},
      {"3 desc,Name", kDbMySql, "3 ASC,Name DESC"},
      // PostgreSQL sorts them last ascending, and says so.
      {"3 desc,Name", kDbPostgreSql, "3 ASC NULLS LAST,Name DESC NULLS FIRST"},
      {"a NULLS FIRST, b DESC NULLS LAST", kDbPostgreSql,
       "a DESC NULLS LAST,b ASC NULLS FIRST"},
      {"a asc nulls last", kDbSQLite, "a DESC NULLS FIRST"},
      // Expressions keep their text: commas inside brackets, literals and
      // quoted names, a collation.
      {"coalesce(a, 'x,y') DESC,\"Order, Date\",b COLLATE nocase", kDbSQLite,
       "coalesce(a, 'x,y') ASC,\"Order, Date\" DESC,b COLLATE nocase DESC"},
      {"[desc] desc", kDbSQLite, "[desc] ASC"},
  };
  for (const Case& c : cases) {
    std::optional<std::vector<OrderItem>> items = ParseOrderItems(c.list);
    ASSERT_TRUE(items) << c.list;
    EXPECT_EQ(ReversedOrderList(*items, c.type), c.reversed) << c.list;
  }
  for (const char* unreadable : {"", "a,,b", "a,"}) {
    EXPECT_FALSE(ParseOrderItems(unreadable)) << unreadable;
  }
}

TEST(StableOrderTest, OnlyAPlainSelectOfOneTableHasThatTablesKey) {
  struct Case {
    const char* sql;
    const char* name;  // nullptr: not one table
    const char* qualifier;
  };
  const Case cases[] = {
      {"SELECT * FROM Orders", "Orders", "Orders"},
      {"select a, (SELECT max(x) FROM y) AS m from sales.\"Order Lines\" o where a > 1 "
       "ORDER BY 1",
       "sales.\"Order Lines\"", "o"},
      {"SELECT a FROM [Order Details] AS d WHERE d.b IN (1, 2)", "[Order Details]", "d"},
      {"SELECT a FROM t LIMIT 5", "t", "t"},
      {"SELECT a FROM t JOIN u ON u.id = t.id", nullptr, nullptr},
      {"SELECT a FROM t LEFT JOIN u ON u.id = t.id", nullptr, nullptr},
      {"SELECT a FROM t x, u", nullptr, nullptr},
      {"SELECT DISTINCT a FROM t", nullptr, nullptr},
      {"SELECT a, count(*) FROM t GROUP BY a", nullptr, nullptr},
      {"SELECT a FROM t UNION SELECT a FROM u", nullptr, nullptr},
      {"SELECT a FROM (SELECT a FROM t) s", nullptr, nullptr},
      {"SELECT a FROM t -- the items", nullptr, nullptr},
      {"SELECT 1", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    std::optional<SingleTable> table = SingleTableOf(c.sql);
    if (c.name == nullptr) {
      EXPECT_FALSE(table) << c.sql;
      continue;
    }
    ASSERT_TRUE(table) << c.sql;
    EXPECT_EQ(table->name, c.name);
    EXPECT_EQ(table->qualifier, c.qualifier);
  }
}

TEST(StableOrderTest, APagePastTheMiddleIsReadFromTheOtherEnd) {
  Connection unused;  // asked only for SQLite's plan
  PageOrder order{"F", "R", false};
  struct Case {
    int64_t rows, offset, limit;
    bool capped;
    const char* sql;
    int64_t skipped;
  };
  const Case cases[] = {
      {100, 0, 10, false, "F", 0},      // the first page
      {100, 40, 10, false, "F", 40},    // before the middle
      {100, 50, 10, false, "R", 40},    // past it
      {100, 90, 10, false, "R", 0},     // the last page
      {95, 90, 5, false, "R", 0},       // a short last page
      {100, 90, 10, true, "F", 90},     // a row limit's end is not the result's
      {1, 0, 1, false, "F", 0},
  };
  for (const Case& c : cases) {
    const PageReading reading = PlanPageReading(unused, order, c.rows, c.offset, c.limit, c.capped);
    EXPECT_EQ(reading.sql, c.sql) << c.offset;
    EXPECT_EQ(reading.skipped, c.skipped) << c.offset;
    EXPECT_EQ(reading.from_end, reading.sql == "R");
  }
  // An order that cannot be turned around is read forward.
  order.reversed.clear();
  EXPECT_EQ(PlanPageReading(unused, order, 100, 90, 10, false).skipped, 90);
}

}  // namespace
}  // namespace fennick
