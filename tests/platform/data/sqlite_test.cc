// The SQLite driver: type mapping from declared types and from values,
// dates in SQLite's three forms, values that defy their column, base
// tables, parameters, the statistic functions, files and errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <optional>

#include "fennick/data.h"
#include "fennick/page.h"
#include "platform/data/driver.h"
#include "test_databases.h"

namespace fennick {
namespace {

using ::testing::HasSubstr;

class SqliteTest : public ::testing::Test {
 protected:
  void SetUp() override { db_.Open("Provider=SQLite;Data Source=:memory:"); }
  Recordset Query(const std::string& sql) { return db_.Execute(sql); }
  Connection db_;
};

TEST_F(SqliteTest, DeclaredTypesMapToAdoTypes) {
  db_.Execute(
      "CREATE TABLE t (a SMALLINT, b INTEGER, c BIGINT, d TINYINT, e REAL, f FLOAT4, "
      "g DECIMAL(10, 2), h MONEY, i BOOLEAN, j DATE, k TIME, l DATETIME, m UUID, "
      "n CHAR(4), o VARCHAR(40), p NVARCHAR(12), q TEXT, r BLOB, s VARBINARY(16), "
      "u unsigned big int, v NATIVE CHARACTER(3), w STRANGE)");
  db_.Execute(
      "INSERT INTO t VALUES (7, 70000, 9000000000, 200, 1.5, 0.25, 12.34, 19.99, 1, "
      "'2004-03-05', '14:07:09', '2004-03-05 14:07:09', x'00112233445566778899AABBCCDDEEFF', "
      "'abcd', 'varchar', 'nvarchar', 'text', x'0102', x'03', 5, 'xyz', 42)");
  Recordset rs = Query("SELECT * FROM t");
  testing::ExpectColumns(rs, {
      {"a", kAdSmallInt, 2, Variant(int16_t{7})},
      {"b", kAdInteger, 4, Variant(int32_t{70000})},
      {"c", kAdBigInt, 8, Variant(int64_t{9000000000})},
      {"d", kAdUnsignedTinyInt, 1, Variant::Byte(200)},
      {"e", kAdDouble, 8, Variant(1.5)},
      {"f", kAdSingle, 4, Variant(0.25f)},
      {"g", kAdNumeric, 19, Variant::Decimal(12.34)},
      {"h", kAdCurrency, 8, Variant::Currency(199900)},
      {"i", kAdBoolean, 2, Variant(true)},
      {"j", kAdDBDate, 6, Variant::Date(MakeOleDate({2004, 3, 5}))},
      {"k", kAdDBTime, 6, Variant::Date(MakeOleDate({1899, 12, 30, 14, 7, 9}))},
      {"l", kAdDBTimeStamp, 16, Variant::Date(MakeOleDate({2004, 3, 5, 14, 7, 9}))},
      {"m", kAdGuid, 16, Variant("{00112233-4455-6677-8899-AABBCCDDEEFF}")},
      {"n", kAdChar, 4, Variant("abcd")},
      {"o", kAdVarChar, 40, Variant("varchar")},
      {"p", kAdVarWChar, 12, Variant("nvarchar")},
      {"q", kAdLongVarChar, 2147483647, Variant("text")},
      {"r", kAdLongVarBinary, 2147483647, Variant::Binary(std::string("\x01\x02"))},
      {"s", kAdVarBinary, 16, Variant::Binary(std::string("\x03"))},
      {"u", kAdBigInt, 8, Variant(int64_t{5})},
      {"v", kAdWChar, 3, Variant("xyz")},
      {"w", kAdNumeric, 19, Variant::Decimal(42)},
  }, "t");
  EXPECT_EQ(rs.Fields("g").Precision(), 10);
  EXPECT_EQ(rs.Fields("g").NumericScale(), 2);
}

TEST_F(SqliteTest, UndeclaredColumnsTakeTheTypeOfTheirFirstValue) {
  db_.Execute(
      "CREATE TABLE n (x INTEGER, label TEXT); INSERT INTO n VALUES (NULL, 'a'), (2, 'bb')");
  Recordset rs = Query(
      "SELECT x * 2 AS doubled, x / 4.0 AS quarter, upper(label) AS up, "
      "CAST(x AS TEXT) AS cast_text, count(*) OVER () AS total, NULL AS none_here, "
      "x'ff' AS bytes FROM n");
  EXPECT_EQ(rs.Fields("doubled").Type(), kAdBigInt);  // typed from the second row
  EXPECT_TRUE(rs.Fields("doubled").Value().IsNull());
  EXPECT_EQ(rs.Fields("quarter").Type(), kAdDouble);
  EXPECT_EQ(rs.Fields("up").Type(), kAdVarChar);
  EXPECT_EQ(rs.Fields("up").DefinedSize(), 2);  // the longest value
  EXPECT_EQ(rs.Fields("cast_text").Type(), kAdVarChar);
  EXPECT_EQ(rs.Fields("total").Type(), kAdBigInt);
  EXPECT_EQ(rs.Fields("none_here").Type(), kAdVarChar);
  EXPECT_EQ(rs.Fields("bytes").Type(), kAdLongVarBinary);
  EXPECT_EQ(rs.Fields("up").BaseTableName(), "");
  rs.MoveNext();
  EXPECT_EQ(rs.Fields("doubled").Value(), Variant(int64_t{4}));
  EXPECT_EQ(rs.Fields("quarter").Value(), Variant(0.5));

  // An empty result: declared columns keep their types, the rest are text.
  Recordset empty = Query("SELECT x, label, x + 1 AS y, sum(x) AS s FROM n WHERE 0 GROUP BY x");
  EXPECT_EQ(empty.Fields("x").Type(), kAdInteger);
  EXPECT_EQ(empty.Fields("label").Type(), kAdLongVarChar);
  EXPECT_EQ(empty.Fields("y").Type(), kAdVarChar);
  EXPECT_EQ(empty.Fields("s").Type(), kAdVarChar);
}

TEST_F(SqliteTest, DatesReadFromTextJulianDaysAndUnixSeconds) {
  db_.Execute(
      "CREATE TABLE d (at DATETIME);"
      "INSERT INTO d VALUES ('2004-03-05T14:07:09.500Z'), (2453070.0882986111), (1078495629),"
      "('not a date'), ('2004-02-30')");
  Recordset rs = Query("SELECT at FROM d");
  double expected = MakeOleDate({2004, 3, 5, 14, 7, 9});
  EXPECT_NEAR(rs.Fields(0).Value().AsDate(), expected + 0.5 / 86400, 1e-9);
  rs.MoveNext();
  EXPECT_EQ(rs.Fields(0).Value().type(), VarType::kDate);
  EXPECT_NEAR(rs.Fields(0).Value().AsDate(), expected, 1e-6);
  rs.MoveNext();
  EXPECT_NEAR(rs.Fields(0).Value().AsDate(), expected, 1e-9);
  // What is no date stays the text it is.
  rs.MoveNext();
  EXPECT_EQ(rs.Fields(0).Value(), Variant("not a date"));
  rs.MoveNext();
  EXPECT_EQ(rs.Fields(0).Value(), Variant("2004-02-30"));
  EXPECT_EQ(rs.Fields(0).Type(), kAdDBTimeStamp);
}

TEST_F(SqliteTest, ValuesThatDefyTheirColumnKeepTheirOwnType) {
  db_.Execute(
      "CREATE TABLE m (n INTEGER, price MONEY, flag BOOLEAN);"
      "INSERT INTO m VALUES (1, 2.5, 1), ('two', '3.25', 0), (3000000000, 1, 'yes')");
  Recordset rs = Query("SELECT * FROM m ORDER BY rowid");
  EXPECT_EQ(rs.Fields("n").Value(), Variant(1));
  EXPECT_EQ(rs.Fields("price").Value(), Variant::Currency(25000));
  rs.MoveNext();
  EXPECT_EQ(rs.Fields("n").Value(), Variant("two"));
  EXPECT_EQ(rs.Fields("price").Value(), Variant::Currency(32500));
  EXPECT_EQ(rs.Fields("flag").Value(), Variant(false));
  rs.MoveNext();
  // SQLite's INTEGER holds 64 bits.
  EXPECT_EQ(rs.Fields("n").Value(), Variant(int64_t{3000000000}));
  EXPECT_EQ(rs.Fields("flag").Value(), Variant("yes"));
  EXPECT_EQ(rs.Fields("n").Type(), kAdInteger);
  rs.Sort("n");
  EXPECT_EQ(rs.GetString(kAdClipString, -1, ",", ";"),
            "1,2.5,True;3000000000,1,yes;two,3.25,False;");
}

TEST_F(SqliteTest, ParametersBindByNameAndInOrder) {
  db_.Execute("CREATE TABLE p (a INTEGER, b TEXT, c DATETIME, d REAL)");
  Command insert(db_);
  insert.CommandText("INSERT INTO p VALUES (:a, @b, ?, ?)");
  insert.AppendParameter(
      insert.CreateParameter("@B", kAdVarChar, kAdParamInput, 10, Variant("bee")));
  insert.AppendParameter(insert.CreateParameter("a", kAdInteger, kAdParamInput, 0, Variant(5)));
  insert.AppendParameter(insert.CreateParameter("", kAdDBTimeStamp, kAdParamInput, 0,
                                                Variant::Date(MakeOleDate({2004, 3, 5, 1, 2, 3}))));
  insert.AppendParameter(insert.CreateParameter("", kAdDouble, kAdParamInput, 0, Variant()));
  insert.Execute();
  EXPECT_EQ(Query("SELECT * FROM p").GetString(kAdClipString, -1, ",", ";", "null"),
            "5,bee,3/5/2004 1:02:03 AM,null;");
  EXPECT_EQ(insert.Parameters("b").Value(), Variant("bee"));
  EXPECT_THROW(insert.Parameters("zz"), Error);

  Command proc(db_);
  proc.CommandText("p");
  proc.CommandType(kAdCmdStoredProc);
  EXPECT_DATA_ERROR(proc.Execute(), kErrDataNotSupported, "SQLite has no stored procedures");
}

TEST_F(SqliteTest, StatisticFunctionsComputeSampleAndPopulationFigures) {
  db_.Execute(
      "CREATE TABLE s (g TEXT, v REAL);"
      "INSERT INTO s VALUES ('a', 2), ('a', 4), ('a', 4), ('a', 4), ('a', 5), ('a', 5), "
      "('a', 7), ('a', 9), ('a', NULL), ('b', 3)");
  Recordset rs =
      Query("SELECT g, VAR(v), STDEV(v), varp(v), StDevP(v) FROM s GROUP BY g ORDER BY g");
  EXPECT_NEAR(rs.Fields(1).Value().AsDouble(), 32.0 / 7, 1e-12);
  EXPECT_NEAR(rs.Fields(2).Value().AsDouble(), std::sqrt(32.0 / 7), 1e-12);
  EXPECT_NEAR(rs.Fields(3).Value().AsDouble(), 4.0, 1e-12);
  EXPECT_NEAR(rs.Fields(4).Value().AsDouble(), 2.0, 1e-12);
  rs.MoveNext();
  // One value has no sample spread.
  EXPECT_TRUE(rs.Fields(1).Value().IsNull());
  EXPECT_TRUE(rs.Fields(2).Value().IsNull());
  EXPECT_EQ(rs.Fields(3).Value(), Variant(0.0));

  // As window functions over a sliding frame.
  Recordset w = Query(
      "SELECT VAR(v) OVER (ORDER BY rowid ROWS BETWEEN 1 PRECEDING AND CURRENT ROW) "
      "FROM s WHERE g = 'a' ORDER BY rowid");
  std::vector<double> expected = {-1, 2, 0, 0, 0.5, 0, 2, 2};
  for (double e : expected) {
    if (e < 0) {
      EXPECT_TRUE(w.Fields(0).Value().IsNull());
    } else {
      EXPECT_NEAR(w.Fields(0).Value().AsDouble(), e, 1e-12);
    }
    w.MoveNext();
  }
}

TEST_F(SqliteTest, CatalogueHasTablesAndViewsOnly) {
  db_.Execute(
      "CREATE TABLE zeta (id INTEGER PRIMARY KEY AUTOINCREMENT); CREATE TABLE Alpha (x);"
      "CREATE VIEW beta AS SELECT * FROM Alpha");
  Catalog catalog(db_);
  std::vector<std::pair<std::string, CatalogObjectType>> found;
  for (const CatalogObject& o : catalog.Tables()) found.emplace_back(o.name, o.type);
  // Sorted ignoring case, without SQLite's own sqlite_sequence.
  EXPECT_EQ(found, (std::vector<std::pair<std::string, CatalogObjectType>>{
                       {"Alpha", CatalogObjectType::kTable},
                       {"beta", CatalogObjectType::kView},
                       {"zeta", CatalogObjectType::kTable}}));
  EXPECT_TRUE(catalog.Procedures().empty());
  EXPECT_THROW(catalog.ProcedureParameters("zeta"), Error);
  // A bare name that is no object runs as SQL and fails as such.
  EXPECT_DATA_ERROR(db_.Execute("gamma"), kErrDataCommandFailed, "near \"gamma\": syntax error");
}

TEST_F(SqliteTest, LargeResultsKeepEveryValue) {
  db_.Execute(
      "CREATE TABLE big (n INTEGER, t TEXT, b BLOB);"
      "WITH RECURSIVE c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x < 19999) "
      "INSERT INTO big SELECT x, CASE WHEN x % 7 = 0 THEN NULL ELSE printf('row %d', x) END, "
      "CASE WHEN x % 5000 = 1 THEN zeroblob(100000) ELSE NULL END FROM c");
  Recordset rs = Query("SELECT * FROM big");
  ASSERT_EQ(rs.RecordCount(), 20000);
  int64_t expected = 0;
  size_t blobs = 0;
  for (; !rs.Eof(); rs.MoveNext(), ++expected) {
    ASSERT_EQ(rs.Fields(0).Value().AsInt64(), expected);
    Variant t = rs.Fields(1).Value();
    if (expected % 7 == 0) {
      ASSERT_TRUE(t.IsNull());
    } else {
      ASSERT_EQ(t, Variant("row " + std::to_string(expected)));
    }
    if (!rs.Fields(2).IsNull()) {
      ASSERT_EQ(rs.Fields(2).ActualSize(), 100000);
      ++blobs;
    }
  }
  EXPECT_EQ(blobs, 4u);
  rs.Sort("n DESC");
  EXPECT_EQ(rs.Fields("n").Value(), Variant(19999));
  EXPECT_TRUE(rs.Fields("t").IsNull());
  rs.MoveNext();
  EXPECT_EQ(rs.Fields("t").Value(), Variant("row 19998"));
}

class SqliteFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (std::filesystem::temp_directory_path() / "fennick-db-XXXXXX").string();
    dir_ = mkdtemp(templ.data());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(SqliteFileTest, RelativePathsStartAtTheSiteRootAndFilesAreNotCreatedByAccident) {
  std::filesystem::create_directories(dir_ / "data");
  Application application;
  PageContext page(Request(), Session(MakeMemorySessionStore(), "s"), application,
                   Server(dir_, "/report.asp", nullptr, "en_US"));
  {
    PageBinding bound(page);
    Connection create;
    create.Open("Provider=SQLite;Data Source=data/app.db;Mode=ReadWriteCreate");
    create.Execute("CREATE TABLE t (x); INSERT INTO t VALUES (1)");
    Connection missing;
    try {
      missing.Open("Provider=SQLite;Data Source=data/typo.db");
      FAIL() << "opened a missing file";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErrDataFailed);
      EXPECT_EQ(e.description(),
                "unable to open database file: " + (dir_ / "data/typo.db").string());
    }
  }
  EXPECT_TRUE(std::filesystem::exists(dir_ / "data/app.db"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "data/typo.db"));

  Connection read_only;
  read_only.Open("Data Source=" + (dir_ / "data/app.db").string() + ";Mode=Read");
  EXPECT_EQ(read_only.Provider(), "SQLite");  // the embedded default
  EXPECT_EQ(read_only.Execute("SELECT x FROM t").Fields(0).Value(), Variant(int64_t{1}));
  EXPECT_DATA_ERROR(read_only.Execute("INSERT INTO t VALUES (2)"), kErrDataCommandFailed,
                    "attempt to write a readonly database");
}

// The public cursor: batches as recordsets with their fields, the end as a
// recordset without rows, a cursor that outlives its connection's Close and
// the connection itself, the late failure as a FetchError, and a command
// refused before any row.
TEST(SqliteCursorTest, ConnectionCursorReadsBatchesAndOutlivesItsConnection) {
  const std::string numbers =
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 2500) ";
  std::optional<Cursor> cursor;
  {
    Connection connection;
    connection.Open("Data Source=:memory:");
    cursor.emplace(connection.OpenCursor(numbers + "SELECT x, 'row ' || x AS label FROM n"));
    connection.Close();
  }
  std::vector<int64_t> sizes;
  int64_t expected = 1;
  for (;;) {
    Recordset batch = cursor->Next(1000);
    ASSERT_EQ(batch.State(), kAdStateOpen);
    sizes.push_back(batch.RecordCount());
    if (batch.Eof()) break;
    EXPECT_EQ(batch.Fields(1).Name(), "label");
    for (; !batch.Eof(); batch.MoveNext(), ++expected) {
      ASSERT_EQ(batch.Fields(0).Value(), Variant(expected));
      ASSERT_EQ(batch.Fields(1).Value(), Variant("row " + std::to_string(expected)));
    }
  }
  EXPECT_EQ(sizes, (std::vector<int64_t>{1000, 1000, 500, 0}));
  EXPECT_EQ(expected, 2501);
  EXPECT_TRUE(cursor->Next(1000).Eof());

  Connection connection;
  connection.Open("Data Source=:memory:");
  Cursor failing = connection.OpenCursor(
      numbers + "SELECT CASE WHEN x = 1500 THEN abs(-9223372036854775807 - 1) ELSE x END FROM n");
  EXPECT_EQ(failing.Next(1000).RecordCount(), 1000);
  EXPECT_THROW(failing.Next(1000), FetchError);
  EXPECT_DATA_ERROR(connection.OpenCursor("SELECT nope FROM nowhere"), kErrDataCommandFailed,
                    "no such table: nowhere");
  // A command without rows gives a cursor at its end.
  EXPECT_TRUE(connection.OpenCursor("CREATE TABLE t (a INTEGER)").Next(10).Eof());
  connection.Close();
  EXPECT_DATA_ERROR(connection.OpenCursor("SELECT 1"), kErrDataNoConnection,
                    "The connection cannot be used to perform this operation. It is either "
                    "closed or invalid in this context.");
}

// The forward-only cursor: batches of the asked size that continue where
// the last stopped, the record limit, the end staying the end, a failure in
// the middle of the result, and requests it leaves to Execute.
TEST(SqliteCursorTest, ReadsBatchesForwardAndFailsAtTheFailingRow) {
  data::OpenSettings settings;
  settings.options = data::ConnectionString::Parse("Data Source=:memory:");
  auto db = data::OpenSqlite(settings);
  const std::string numbers =
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 2500) ";
  auto read_all = [](data::RowCursor& cursor, size_t batch, std::vector<size_t>* sizes) {
    std::vector<int64_t> values;
    for (;;) {
      auto rows = cursor.Next(batch);
      sizes->push_back(rows->row_count);
      if (rows->row_count == 0) break;
      for (size_t r = 0; r < rows->row_count; ++r) {
        values.push_back(rows->columns[0].Value(r).AsInt64());
      }
    }
    return values;
  };

  data::ExecuteRequest request;
  std::string sql = numbers + "SELECT x, 'row ' || x AS label FROM n;  ";
  request.text = sql;
  auto cursor = db->OpenCursor(request);
  ASSERT_TRUE(cursor);
  std::vector<size_t> sizes;
  std::vector<int64_t> values = read_all(*cursor, 1000, &sizes);
  EXPECT_EQ(sizes, (std::vector<size_t>{1000, 1000, 500, 0}));
  ASSERT_EQ(values.size(), 2500u);
  for (size_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], static_cast<int64_t>(i + 1));
  // The end stays the end: the statement is not run again.
  EXPECT_EQ(cursor->Next(1000)->row_count, 0u);

  request.max_records = 1200;
  cursor = db->OpenCursor(request);
  sizes.clear();
  EXPECT_EQ(read_all(*cursor, 1000, &sizes).size(), 1200u);
  EXPECT_EQ(sizes, (std::vector<size_t>{1000, 200, 0}));
  request.max_records = 0;

  // abs() of the smallest integer raises an overflow, at row 1500 only.
  std::string failing =
      numbers + "SELECT CASE WHEN x = 1500 THEN abs(-9223372036854775807 - 1) ELSE x END FROM n";
  request.text = failing;
  cursor = db->OpenCursor(request);
  EXPECT_EQ(cursor->Next(1000)->row_count, 1000u);
  try {
    cursor->Next(1000);
    ADD_FAILURE() << "the failing row was read";
  } catch (const Error& e) {
    EXPECT_THAT(e.description(), HasSubstr("integer overflow"));
  }
  EXPECT_EQ(cursor->Next(1000)->row_count, 0u);

  // Several statements, or one without rows: Execute runs them, and the
  // cursor hands the result back whole.
  std::string batch = "CREATE TABLE t (a INTEGER); INSERT INTO t VALUES (4), (5); SELECT a FROM t";
  request.text = batch;
  cursor = db->OpenCursor(request);
  ASSERT_TRUE(cursor);
  sizes.clear();
  EXPECT_EQ(read_all(*cursor, 1, &sizes), (std::vector<int64_t>{4, 5}));
  std::string insert = "INSERT INTO t VALUES (6)";
  request.text = insert;
  EXPECT_FALSE(db->OpenCursor(request));
  request.kind = data::CommandKind::kTable;
  request.text = "t";
  cursor = db->OpenCursor(request);
  sizes.clear();
  EXPECT_EQ(read_all(*cursor, 2, &sizes), (std::vector<int64_t>{4, 5, 6}));
  EXPECT_EQ(sizes, (std::vector<size_t>{2, 1, 0}));
}

}  // namespace
}  // namespace fennick
