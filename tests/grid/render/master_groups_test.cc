// Grouping rows into master rows, and which columns are the master
// table's.
#include "grid/render/master_groups.h"

#include <gtest/gtest.h>

#include <vector>

#include "grid/query/master_columns.h"

namespace fennick {
namespace {

// Group ends over a table of rows held as [row][column].
std::vector<int64_t> Ends(const std::vector<std::vector<Variant>>& rows) {
  const size_t columns = rows.empty() ? 0 : rows[0].size();
  return GroupEnds(static_cast<int64_t>(rows.size()), columns,
                   [&](int64_t row, std::vector<Variant>& values) { values = rows[row]; });
}

using Ends64 = std::vector<int64_t>;

TEST(GroupEndsTest, AdjacentRecordsOfOneMasterFormOneGroup) {
  // Sorted by customer: C1, C1, C2 are two masters.
  EXPECT_EQ(Ends({{"C1"}, {"C1"}, {"C2"}}), (Ends64{1, 2}));
  EXPECT_EQ(GroupEndsText(Ends({{"C1"}, {"C1"}, {"C2"}})), "1,2");
  // Unsorted, the same customers give three masters: only neighbours group.
  EXPECT_EQ(Ends({{"C1"}, {"C2"}, {"C1"}}), (Ends64{0, 1, 2}));
  // Every master column counts.
  EXPECT_EQ(Ends({{"C1", 1}, {"C1", 1}, {"C1", 2}, {"C2", 2}}), (Ends64{1, 2, 3}));
  // A single record, and no records at all.
  EXPECT_EQ(Ends({{"C1"}}), (Ends64{0}));
  EXPECT_EQ(Ends({}), Ends64{});
  // Values of different types compare by their text.
  EXPECT_EQ(Ends({{Variant(int32_t{7})}, {Variant(int64_t{7})}, {"7"}, {Variant(7.5)}}),
            (Ends64{2, 3}));
}

TEST(GroupEndsTest, WithoutMasterColumnsTheWholeResultIsOneGroup) {
  EXPECT_EQ(GroupEnds(4, 0, [](int64_t, std::vector<Variant>&) { FAIL() << "nothing to read"; }),
            (Ends64{3}));
}

TEST(GroupEndsTest, NullEqualsNullAndDiffersFromEveryValue) {
  const Variant null = Variant::Null();
  EXPECT_EQ(Ends({{null}, {null}, {"x"}, {null}, {""}, {0}, {null}}),
            (Ends64{1, 2, 3, 4, 5, 6}));
  // Null in the second master column keeps two customers apart too.
  EXPECT_EQ(Ends({{"C1", null}, {"C1", null}, {"C1", "A"}}), (Ends64{1, 2}));
  EXPECT_TRUE(SameMasterValue(null, null));
  EXPECT_FALSE(SameMasterValue(null, ""));
  EXPECT_FALSE(SameMasterValue("", null));
  EXPECT_FALSE(SameMasterValue(null, 0));
}

TEST(GroupEndsTest, AComparisonThatFailsStartsANewMaster) {
  // An object has no text: comparing it fails, and the two values must
  // stay two masters rather than be taken as equal.
  const Variant object = Variant::Nothing();
  EXPECT_FALSE(SameMasterValue(object, ""));
  EXPECT_FALSE(SameMasterValue("", object));
  EXPECT_EQ(Ends({{"C1"}, {object}, {""}, {"C1"}}), (Ends64{0, 1, 2, 3}));
}

TEST(MasterColumnsTest, QualifiersCompareExactly) {
  std::vector<GridColumn> columns(5);
  columns[0].table = "Customers";
  columns[1].table = "Orders";
  columns[2].table = "Customers";
  columns[3].table = "customers";  // another spelling is another table
  columns[4].table = "";
  EXPECT_EQ(MasterColumns(columns, "Customers"), "0,2");
  EXPECT_EQ(MasterColumnIndexes(columns, "Customers"), (std::vector<size_t>{0, 2}));
  EXPECT_EQ(MasterColumns(columns, "Orders"), "1");
  EXPECT_EQ(MasterColumns(columns, "Customers "), "");
  EXPECT_EQ(MasterColumns(columns, "Shippers"), "");
  // An empty master table is no table, not the unqualified columns.
  EXPECT_EQ(MasterColumns(columns, ""), "");
}

// The command's aliases: a qualifier that is the master table's one alias
// (or the table an alias as master table stands for) matches; a table
// under two aliases, or a name the FROM clause only mentions elsewhere,
// does not.
TEST(MasterColumnsTest, AnAliasStandsForItsTable) {
  std::vector<GridColumn> columns(3);
  columns[0].table = "c";
  columns[1].table = "o";
  columns[2].table = "Customers";
  const struct {
    const char* command;
    const char* master_table;
    const char* expected;
  } cases[] = {
      {"SELECT c.A, o.B FROM Orders o JOIN Customers c ON o.X = c.X", "Customers", "0,2"},
      {"SELECT c.A FROM [Orders] AS o LEFT OUTER JOIN \"Customers\" AS c ON (o.X = c.X)", "c",
       "0,2"},
      {"SELECT c.A FROM (Orders o INNER JOIN Customers c ON o.X = c.X) WHERE 1=1", "Orders",
       "1"},
      {"SELECT (SELECT 1 FROM Shippers s) AS z, c.A FROM Orders o, Customers c", "Shippers", ""},
      {"SELECT c.A FROM Customers c JOIN Customers d ON c.P = d.Q", "Customers", "2"},
      {"SELECT c.A FROM (SELECT * FROM Customers) c, Orders o", "Customers", "2"},
      {"SELECT c.A FROM Orders o JOIN Customers c ON o.X = c.X", "customers", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MasterColumns(columns, c.master_table, c.command), c.expected)
        << c.command << " / " << c.master_table;
  }
  const auto refs = TableReferences(
      "SELECT a.X FROM dbo.[Order Details] od CROSS JOIN Products, Shippers AS s ORDER BY 1");
  ASSERT_EQ(refs.size(), 3u);
  EXPECT_EQ(refs[0].table + "/" + refs[0].alias, "dbo.Order Details/od");
  EXPECT_EQ(refs[1].table + "/" + refs[1].alias, "Products/");
  EXPECT_EQ(refs[2].table + "/" + refs[2].alias, "Shippers/s");
}

}  // namespace
}  // namespace fennick
