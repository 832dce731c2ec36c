// Behaviour every engine shares: nulls and text output, binary values read
// in chunks, row limits, client-side sort and filter, errors, timeouts and
// the catalogue, each run on SQLite and on the PostgreSQL and MariaDB test
// servers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "fennick/data.h"
#include "test_databases.h"

namespace fennick {
namespace {

using ::fennick::testing::TestDatabase;
using ::testing::HasSubstr;

class EngineTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(db_.Open());
    db_.Run(
        "CREATE TABLE items (id INTEGER, name VARCHAR(20), price DOUBLE PRECISION, "
        "added TIMESTAMP)");
    db_.Run("INSERT INTO items VALUES (1, 'apple', 1.5, '2004-03-05 14:07:09')");
    db_.Run("INSERT INTO items VALUES (2, 'Banana', NULL, '2004-03-06 00:00:00')");
    db_.Run("INSERT INTO items VALUES (3, NULL, 0.25, NULL)");
    db_.Run("INSERT INTO items VALUES (4, 'cherry', 12, '2005-01-01 08:30:00')");
    db_.Run("INSERT INTO items VALUES (5, 'apricot', 3, '2004-12-31 23:59:59')");
  }

  // The ids of the visible rows, in order.
  static std::string Ids(Recordset& rs) {
    std::string ids;
    if (rs.RecordCount() == 0) return ids;
    rs.MoveFirst();
    for (; !rs.Eof(); rs.MoveNext()) {
      if (!ids.empty()) ids += ",";
      ids += rs.Fields("id").Value().AsString();
    }
    return ids;
  }

  TestDatabase db_{GetParam()};
};

TEST_P(EngineTest, GetStringWritesNullTextAndEndsEveryRow) {
  Recordset rs = db_.Query("SELECT id, name, price, added FROM items ORDER BY id");
  EXPECT_EQ(rs.GetString(kAdClipString, 3, "|", "\n", "<null>"),
            "1|apple|1.5|3/5/2004 2:07:09 PM\n"
            "2|Banana|<null>|3/6/2004\n"
            "3|<null>|0.25|<null>\n");
  // The cursor stands after the rows written; the rest follows.
  EXPECT_EQ(rs.GetString(kAdClipString, -1, ",", ";"),
            "4,cherry,12,1/1/2005 8:30:00 AM;5,apricot,3,12/31/2004 11:59:59 PM;");
  EXPECT_TRUE(rs.Eof());
  EXPECT_EQ(rs.GetString(), "");

  Recordset nulls = db_.Query("SELECT name, added FROM items WHERE id = 3");
  EXPECT_TRUE(nulls.Fields("name").Value().IsNull());
  EXPECT_TRUE(nulls.Fields(1).IsNull());
  EXPECT_EQ(nulls.Fields("name").ActualSize(), 0);
}

TEST_P(EngineTest, BinaryValuesRoundTripThroughGetChunk) {
  db_.Run("CREATE TABLE files (id INTEGER, data " + db_.BinaryType() + ")");
  std::string bytes(
      "\x00\x01\xff"
      "BM\x7f\x80"
      "tail",
      11);
  Command insert(db_.connection());
  insert.CommandText("INSERT INTO files VALUES (" +
                     std::string(db_.IsPostgres() ? "$1, $2" : "?, ?") + ")");
  insert.CommandType(kAdCmdText);
  insert.AppendParameter(insert.CreateParameter("", kAdInteger, kAdParamInput, 0, Variant(7)));
  insert.AppendParameter(
      insert.CreateParameter("", kAdLongVarBinary, kAdParamInput, 0, Variant::Binary(bytes)));
  int64_t affected = 0;
  insert.Execute(&affected);
  EXPECT_EQ(affected, 1);

  Recordset rs = db_.Query("SELECT data FROM files");
  Field data = rs.Fields("data");
  EXPECT_EQ(data.Type(), kAdLongVarBinary);
  EXPECT_EQ(data.ActualSize(), 11);
  EXPECT_EQ(data.GetChunk(3), Variant::Binary(std::string("\x00\x01\xff", 3)));
  EXPECT_EQ(data.GetChunk(4), Variant::Binary(std::string("BM\x7f\x80")));
  EXPECT_EQ(data.GetChunk(100), Variant::Binary(std::string("tail")));
  EXPECT_TRUE(data.GetChunk(1).IsNull());
  EXPECT_EQ(data.Value(), Variant::Binary(bytes));
  // Reading the value ended the sequence: the next chunk starts over.
  EXPECT_EQ(data.GetChunk(2), Variant::Binary(std::string("\x00\x01", 2)));
}

TEST_P(EngineTest, MaxRecordsLimitsTheFetchedRows) {
  Recordset rs;
  rs.MaxRecords(2);
  rs.Open("SELECT id FROM items ORDER BY id", db_.connection(), kAdOpenStatic, kAdLockReadOnly);
  EXPECT_EQ(rs.RecordCount(), 2);
  EXPECT_EQ(Ids(rs), "1,2");
  EXPECT_EQ(rs.MaxRecords(), 2);
  EXPECT_EQ(rs.CursorType(), kAdOpenStatic);
  // The connection goes on normally after a cut-short result.
  EXPECT_EQ(db_.Query("SELECT count(*) FROM items").Fields(0).Value().AsInt64(), 5);
}

TEST_P(EngineTest, SortOrdersFetchedRows) {
  Recordset rs;
  rs.CursorLocation(kAdUseClient);
  rs.Open("SELECT * FROM items", db_.connection());
  rs.Sort("name");
  EXPECT_EQ(Ids(rs), "3,1,5,2,4");  // Null first, text ignoring case
  rs.Sort("price DESC, id");
  EXPECT_EQ(Ids(rs), "4,5,1,3,2");
  rs.Sort("[added] desc");
  EXPECT_EQ(Ids(rs), "4,5,2,1,3");
  rs.Sort("");
  EXPECT_EQ(Ids(rs), "1,2,3,4,5");
  EXPECT_DATA_ERROR(rs.Sort("nothing"), kErrDataItemNotFound,
                    "Item cannot be found in the collection corresponding to the requested "
                    "name or ordinal: nothing");
}

TEST_P(EngineTest, FilterSelectsFetchedRows) {
  Recordset rs = db_.Query("SELECT * FROM items ORDER BY id");
  struct Case {
    const char* filter;
    const char* ids;
  } cases[] = {
      {"id = 2", "2"},
      {"id <> 2", "1,3,4,5"},
      {"price < 3", "1,3"},
      {"price > 3", "4"},
      {"price <= 3", "1,3,5"},
      {"price >= 3", "4,5"},
      {"name = 'BANANA'", "2"},
      {"name LIKE 'ap%'", "1,5"},
      {"name LIKE '*rr*'", "4"},
      {"name LIKE '%a'", "2"},
      {"name NOT LIKE 'a*'", "2,4"},
      {"added >= #1/1/2005#", "4"},
      {"added < '2004-03-06'", "1"},
      {"name IS NULL OR price IS NULL", "2,3"},
      {"(id = 1 OR id = 4) AND price > 2", "4"},
      {"id = 1 OR id = 4 AND price > 2", "1,4"},
      {"NOT (name LIKE 'a%')", "2,4"},
  };
  for (const Case& c : cases) {
    rs.Filter(c.filter);
    EXPECT_EQ(Ids(rs), c.ids) << c.filter;
  }
  rs.Filter("price > 1");
  rs.Sort("price");
  EXPECT_EQ(Ids(rs), "1,5,4");
  EXPECT_EQ(rs.RecordCount(), 3);

  EXPECT_DATA_ERROR(rs.Filter("price >"), kErrDataInvalidArgument,
                    "The filter is invalid: expected a value, found end of filter "
                    "(at character 8 of \"price >\")");
  EXPECT_DATA_ERROR(rs.Filter("weight = 3"), kErrDataInvalidArgument,
                    "The filter is invalid: unknown field weight (at character 1 of "
                    "\"weight = 3\")");
  // A rejected filter leaves the last good one in force.
  EXPECT_EQ(rs.Filter(), "price > 1");
  EXPECT_EQ(rs.RecordCount(), 3);
  rs.Filter("");
  rs.Sort("");
  EXPECT_EQ(Ids(rs), "1,2,3,4,5");
}

TEST_P(EngineTest, EngineErrorsCarryTheMessageAndKeepTheConnection) {
  try {
    db_.Query("SELECT * FROM nope");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrDataCommandFailed);
    EXPECT_EQ(e.description(),
              db_.IsPostgres() ? "relation \"nope\" does not exist"
                               : (db_.IsMysql() ? "Table '" + db_.schema() + ".nope' doesn't exist"
                                                : std::string("no such table: nope")));
    EXPECT_EQ(e.source(), GetParam());
  }
  EXPECT_THROW(db_.Query("SELEC 1"), Error);
  EXPECT_EQ(db_.connection().State(), kAdStateOpen);
  EXPECT_EQ(db_.Query("SELECT count(*) FROM items").Fields(0).Value().AsInt64(), 5);
}

TEST_P(EngineTest, InTransactionFollowsTheTransactionsThePageBegins) {
  Connection& c = db_.connection();
  EXPECT_EQ(c.InTransaction(), std::optional<bool>(false));
  c.Execute("BEGIN", nullptr, kAdCmdText);
  EXPECT_EQ(c.InTransaction(), std::optional<bool>(true));
  // Still open, and still reported, after a statement the engine refused.
  EXPECT_THROW(db_.Query("SELECT * FROM nope"), Error);
  EXPECT_EQ(c.InTransaction(), std::optional<bool>(true));
  c.Execute("ROLLBACK", nullptr, kAdCmdText);
  EXPECT_EQ(c.InTransaction(), std::optional<bool>(false));
  Connection closed;
  EXPECT_EQ(closed.InTransaction(), std::nullopt);
}

TEST_P(EngineTest, CommandTimeoutStopsASlowStatement) {
  db_.connection().CommandTimeout(1);
  auto start = std::chrono::steady_clock::now();
  EXPECT_DATA_ERROR(db_.Query(db_.SlowStatement()), kErrDataTimeout, "Query timeout expired");
  // Not a speed test: only that it stopped long before the statement would.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  EXPECT_EQ(db_.connection().State(), kAdStateOpen);
  EXPECT_EQ(db_.Query("SELECT count(*) FROM items").Fields(0).Value().AsInt64(), 5);
}

TEST_P(EngineTest, CatalogueListsTablesAndViews) {
  db_.Run("CREATE VIEW cheap AS SELECT id, name FROM items WHERE price < 2");
  Catalog catalog(db_.connection());
  std::vector<std::string> tables, views;
  for (const CatalogObject& o : catalog.Tables()) {
    (o.type == CatalogObjectType::kView ? views : tables).push_back(o.name);
  }
  EXPECT_THAT(tables, ::testing::Contains("items"));
  EXPECT_THAT(views, ::testing::Contains("cheap"));
  EXPECT_THAT(tables, ::testing::Not(::testing::Contains("cheap")));

  // A bare table or view name given as a command reads it whole.
  Recordset rs = db_.connection().Execute("cheap");
  EXPECT_EQ(rs.RecordCount(), 2);
  EXPECT_EQ(db_.connection().Execute("[items]", nullptr, kAdCmdTable).RecordCount(), 5);
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineTest, ::testing::Values("SQLite", "PostgreSQL", "MySQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace fennick
