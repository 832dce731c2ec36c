// The ODBC driver over real ODBC drivers and servers: psqlODBC against the
// PostgreSQL test server, SQLite's ODBC driver on a file (odbc_sources.h).
// Type mapping with nulls, non-ASCII text both ways, the command timeout,
// errors, forward-only reading and the catalogue.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>

#include "fennick/data.h"
#include "fennick/error.h"
#include "platform/data/odbc_sources.h"
#include "test_databases.h"

namespace fennick {
namespace {

// A connection through psqlODBC working in a schema of its own, dropped
// afterwards.
class OdbcPostgresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string cs = testing::OdbcPostgresString();
    ASSERT_FALSE(cs.empty());
    connection_.Open(cs);
    schema_ = "fnk_odbc_" + std::to_string(getpid()) + "_" + std::to_string(++counter_);
    connection_.Execute("CREATE SCHEMA " + schema_);
    connection_.Execute("SET search_path TO " + schema_);
  }
  void TearDown() override {
    if (connection_.State() == kAdStateOpen)
      connection_.Execute("DROP SCHEMA " + schema_ + " CASCADE");
  }

  inline static int counter_ = 0;
  Connection connection_;
  std::string schema_;
};

TEST_F(OdbcPostgresTest, EveryColumnTypeMapsToItsAdoTypeAndNullsStayNull) {
  connection_.Execute(
      "CREATE TABLE AllTypes (a SMALLINT, b INTEGER, c BIGINT, d REAL, e DOUBLE PRECISION, "
      "f NUMERIC(10,2), g MONEY, h BOOLEAN, i DATE, j TIME, k TIMESTAMP, l UUID, m CHAR(3), "
      "n VARCHAR(20), o TEXT, p BYTEA, q INTERVAL)");
  connection_.Execute(
      "INSERT INTO AllTypes VALUES (-2, 40000, 9000000000, 1.5, 2.25, 12345678.91, 1234.5, TRUE, "
      "'2024-02-29', '13:14:15', '1899-12-29 06:00:00', "
      "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', 'ab', 'Zoë', 'long text', '\\x00ff41', "
      "'1 day')");
  connection_.Execute("INSERT INTO AllTypes DEFAULT VALUES");
  Recordset rs = connection_.Execute("SELECT * FROM AllTypes");
  struct Expected {
    int32_t type;
    int32_t defined_size;
    Variant value;
  };
  const Expected expected[] = {
      {kAdSmallInt, 2, Variant(static_cast<int16_t>(-2))},
      {kAdInteger, 4, Variant(int32_t{40000})},
      {kAdBigInt, 8, Variant(int64_t{9000000000})},
      {kAdSingle, 4, Variant(1.5f)},
      {kAdDouble, 8, Variant(2.25)},
      {kAdNumeric, 19, Variant::Decimal(12345678.91)},
      {kAdCurrency, 8, Variant::Currency(12345000)},
      {kAdBoolean, 2, Variant(true)},
      {kAdDBDate, 6, Variant::Date(45351)},
      {kAdDBTime, 6, Variant::Date((13 * 3600 + 14 * 60 + 15) / 86400.0)},
      // Before the OLE epoch the time counts away from day 0.
      {kAdDBTimeStamp, 16, Variant::Date(-1.25)},
      {kAdGuid, 16, Variant("{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}")},
      {kAdWChar, 3, Variant("ab ")},
      {kAdVarWChar, 20, Variant("Zoë")},
      {kAdLongVarWChar, 2147483647, Variant("long text")},
      {kAdLongVarBinary, 2147483647,
       Variant::Binary(std::string("\0\xff"
                                   "A",
                                   3))},
      {kAdVarWChar, 32, Variant("1 day")},
  };
  ASSERT_EQ(rs.FieldCount(), std::size(expected));
  for (size_t i = 0; i < rs.FieldCount(); ++i) {
    Field f = rs.Fields(i);
    EXPECT_EQ(f.Type(), expected[i].type) << f.Name();
    EXPECT_EQ(f.DefinedSize(), expected[i].defined_size) << f.Name();
    EXPECT_EQ(f.Value().type(), expected[i].value.type()) << f.Name();
    if (f.Value().IsBinary()) {
      EXPECT_EQ(f.Value().Bytes(), expected[i].value.Bytes()) << f.Name();
    } else if (f.Value().type() == VarType::kDate || f.Value().type() == VarType::kDecimal) {
      EXPECT_NEAR(f.Value().AsDouble(), expected[i].value.AsDouble(), 1e-9) << f.Name();
    } else {
      EXPECT_EQ(f.Value().AsString(), expected[i].value.AsString()) << f.Name();
    }
    EXPECT_EQ(f.BaseTableName(), "alltypes") << f.Name();
  }
  EXPECT_EQ(rs.Fields("f").Precision(), 10);
  EXPECT_EQ(rs.Fields("f").NumericScale(), 2);
  rs.MoveNext();
  for (size_t i = 0; i < rs.FieldCount(); ++i) {
    EXPECT_TRUE(rs.Fields(i).Value().IsNull()) << rs.Fields(i).Name();
    EXPECT_EQ(rs.Fields(i).Type(), expected[i].type) << rs.Fields(i).Name();
  }
  EXPECT_EQ(connection_.Provider(), "ODBC");
  EXPECT_EQ(connection_.DbmsName(), "PostgreSQL");
}

TEST_F(OdbcPostgresTest, NonAsciiTextRoundTripsThroughLiteralsParametersAndNames) {
  const std::string text = "Zoë Ünïcode — 日本語 😀 'quoted'";
  connection_.Execute("CREATE TABLE Notes (id INTEGER, body VARCHAR(100), long_body TEXT)");
  connection_.Execute("INSERT INTO Notes VALUES (1, 'Zoë Ünïcode — 日本語 😀 ''quoted''', NULL)");
  Command insert(connection_);
  insert.CommandText("INSERT INTO Notes VALUES (?, ?, ?)");
  insert.AppendParameter(insert.CreateParameter("id", kAdInteger, kAdParamInput, 0, Variant(2)));
  insert.AppendParameter(
      insert.CreateParameter("b", kAdVarChar, kAdParamInput, 100, Variant(text)));
  // Longer than one read of the driver's text.
  std::string long_text;
  for (int i = 0; i < 3000; ++i) long_text += "é日";
  insert.AppendParameter(
      insert.CreateParameter("l", kAdLongVarChar, kAdParamInput, 0, Variant(long_text)));
  insert.Execute();

  Recordset rs =
      connection_.Execute("SELECT id, body AS \"Größe\", long_body FROM Notes ORDER BY id");
  EXPECT_EQ(rs.Fields(1).Name(), "Größe");
  EXPECT_EQ(rs.Fields(1).Value().AsString(), text);
  rs.MoveNext();
  EXPECT_EQ(rs.Fields(1).Value().AsString(), text);
  EXPECT_EQ(rs.Fields(2).Value().AsString(), long_text);
  // A filter written with non-ASCII text finds the rows.
  Recordset found = connection_.Execute("SELECT count(*) FROM Notes WHERE body LIKE '%日本語%'");
  EXPECT_EQ(found.Fields(0).Value().AsInt64(), 2);
}

TEST_F(OdbcPostgresTest, CommandTimeoutStopsASlowStatementAndTheConnectionGoesOn) {
  connection_.CommandTimeout(1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_DATA_ERROR(connection_.Execute("SELECT pg_sleep(30)"), kErrDataTimeout,
                    "Query timeout expired");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(connection_.State(), kAdStateOpen);
  EXPECT_EQ(connection_.Execute("SELECT 42").Fields(0).Value().AsInt64(), 42);
  // A forward-only read is bounded the same way.
  EXPECT_DATA_ERROR(connection_.OpenCursor("SELECT pg_sleep(30)"), kErrDataTimeout,
                    "Query timeout expired");
  EXPECT_EQ(connection_.Execute("SELECT 43").Fields(0).Value().AsInt64(), 43);
}

TEST_F(OdbcPostgresTest, ErrorsCarryTheDriversMessageAndNumbers) {
  EXPECT_DATA_ERROR(connection_.Execute("SELECT * FROM nope"), kErrDataCommandFailed,
                    "ERROR: relation \"nope\" does not exist; Error while executing the query");
  try {
    connection_.Execute("SELEC 1");
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.source(), "ODBC");
  }
  // Statements that change rows report how many.
  connection_.Execute("CREATE TABLE t (x INTEGER)");
  int64_t affected = 0;
  connection_.Execute("INSERT INTO t VALUES (1), (2), (3)", &affected);
  EXPECT_EQ(affected, 3);
  connection_.Execute("DELETE FROM t WHERE x > 5", &affected);
  EXPECT_EQ(affected, 0);
  // A value failing in a later row is a failed read, not a refused statement.
  try {
    connection_.Execute("SELECT x, 10 / (x - 3) FROM generate_series(1, 5) AS x");
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_NE(e.description().find("division by zero"), std::string::npos) << e.description();
  }
}

TEST_F(OdbcPostgresTest, CursorReadsBatchesAndTheRowLimitHolds) {
  Cursor cursor =
      connection_.OpenCursor("SELECT x, 'row ' || x AS label FROM generate_series(1, 25) AS x");
  size_t total = 0, batches = 0;
  for (;;) {
    Recordset batch = cursor.Next(10);
    if (batch.Eof()) break;
    ++batches;
    EXPECT_EQ(batch.Fields("label").Value().AsString(), "row " + std::to_string(total + 1));
    total += static_cast<size_t>(batch.RecordCount());
  }
  EXPECT_EQ(total, 25u);
  EXPECT_EQ(batches, 3u);
  // psqlODBC streaming from a server-side cursor reads the same.
  Connection streaming;
  streaming.Open(testing::OdbcPostgresString() + ";UseDeclareFetch=1;Fetch=7");
  Cursor streamed = streaming.OpenCursor("SELECT x FROM generate_series(1, 25) AS x");
  total = 0;
  for (Recordset batch = streamed.Next(10); !batch.Eof(); batch = streamed.Next(10)) {
    EXPECT_EQ(batch.Fields(0).Value().AsInt64(), static_cast<int64_t>(total + 1));
    total += static_cast<size_t>(batch.RecordCount());
  }
  EXPECT_EQ(total, 25u);
  Recordset limited;
  limited.MaxRecords(4);
  limited.Open("SELECT x FROM generate_series(1, 25) AS x", connection_);
  EXPECT_EQ(limited.RecordCount(), 4);
}

TEST_F(OdbcPostgresTest, CatalogueListsTablesViewsProceduresAndParameters) {
  connection_.Execute("CREATE TABLE Orders (id INTEGER, amount NUMERIC(10,2))");
  connection_.Execute("CREATE VIEW big_orders AS SELECT * FROM Orders WHERE amount > 100");
  connection_.Execute(
      "CREATE FUNCTION orders_over(lo NUMERIC, label VARCHAR) RETURNS SETOF Orders AS "
      "$$ SELECT * FROM Orders WHERE amount > lo $$ LANGUAGE SQL");
  Catalog catalog(connection_);
  std::vector<std::string> tables;
  for (const CatalogObject& o : catalog.Tables()) {
    if (o.name.starts_with(schema_ + ".")) {
      tables.push_back(o.name + (o.type == CatalogObjectType::kView ? " (view)" : ""));
    }
  }
  EXPECT_EQ(tables,
            (std::vector<std::string>{schema_ + ".big_orders (view)", schema_ + ".orders"}));
  bool found = false;
  for (const CatalogObject& o : catalog.Procedures()) {
    found = found || o.name == schema_ + ".orders_over";
  }
  EXPECT_TRUE(found);
  std::vector<Parameter> params = catalog.ProcedureParameters("orders_over");
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[0].Name(), "lo");
  EXPECT_EQ(params[0].Type(), kAdNumeric);
  EXPECT_EQ(params[1].Name(), "label");
  EXPECT_DATA_ERROR(catalog.ProcedureParameters("nope"), kErrDataItemNotFound,
                    "Item cannot be found in the collection corresponding to the requested name "
                    "or ordinal: nope");
  // A bare table name as the command reads the table.
  connection_.Execute("INSERT INTO Orders VALUES (1, 150)");
  EXPECT_EQ(connection_.Execute("Orders").Fields("amount").Value().AsDouble(), 150.0);
}

TEST_F(OdbcPostgresTest, OpenArgumentsReplaceTheStringsUser) {
  std::string cs = testing::OdbcPostgresString();
  const size_t uid = cs.find(";UID=");
  ASSERT_NE(uid, std::string::npos);
  cs = cs.substr(0, uid) + ";UID=fnk_nobody;PWD=Hunter2Secret" + cs.substr(cs.find(';', uid + 1));
  Connection c;
  try {
    c.Open(cs);
    ADD_FAILURE() << "opened as fnk_nobody";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrDataFailed);
    EXPECT_NE(e.description().find("fnk_nobody"), std::string::npos) << e.description();
    EXPECT_EQ(e.description().find("Hunter2Secret"), std::string::npos) << e.description();
  }
  EXPECT_EQ(c.DbmsName(), "");
  c.Open(cs, testing::PostgresServerSettings()["FENNICK_PG_USER"], "");
  EXPECT_EQ(c.Execute("SELECT current_user").Fields(0).Value().AsString(),
            testing::PostgresServerSettings()["FENNICK_PG_USER"]);
}

std::string HexOf(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  }
  return out;
}

TEST(OdbcSqliteTest, SqliteThroughItsOdbcDriverKeepsTypesAndText) {
  ASSERT_TRUE(testing::OdbcSources().error.empty()) << testing::OdbcSources().error;
  Connection c;
  c.Open("DSN=fennick_sqlite");
  EXPECT_EQ(c.Provider(), "ODBC");
  EXPECT_EQ(c.DbmsName(), "SQLite");
  c.Execute("DROP TABLE IF EXISTS Items");
  c.Execute("CREATE TABLE Items (id INTEGER, name VARCHAR(20), price REAL, added DATETIME)");
  // The value is written as its UTF-8 bytes: SQLite's ODBC driver turns
  // some characters of a statement's own text (the "û" here) into nothing
  // on its way in, which is not what this test is about.
  c.Execute("INSERT INTO Items VALUES (1, CAST(X'" + HexOf("Crème brûlée") +
            "' AS TEXT), 4.5, '2024-01-02 03:04:05')");
  c.Execute("INSERT INTO Items VALUES (NULL, NULL, NULL, NULL)");
  Recordset rs = c.Execute("SELECT * FROM Items ORDER BY id DESC");
  EXPECT_EQ(rs.Fields("id").Type(), kAdInteger);
  EXPECT_EQ(rs.Fields("name").Type(), kAdVarChar);
  EXPECT_EQ(rs.Fields("price").Type(), kAdDouble);
  EXPECT_EQ(rs.Fields("added").Type(), kAdDBTimeStamp);
  EXPECT_EQ(rs.Fields("name").Value().AsString(), "Crème brûlée");
  EXPECT_EQ(rs.Fields("added").Value().AsString(), "1/2/2024 3:04:05 AM");
  rs.MoveNext();
  EXPECT_TRUE(rs.Fields("name").Value().IsNull());
  EXPECT_TRUE(rs.Fields("added").Value().IsNull());
}

TEST(OdbcSqliteTest, ADriverIgnoringTheQueryTimeoutIsCancelledAtTheDeadline) {
  // SQLite's ODBC driver does not enforce SQL_ATTR_QUERY_TIMEOUT.
  ASSERT_TRUE(testing::OdbcSources().error.empty()) << testing::OdbcSources().error;
  Connection c;
  c.Open("DSN=fennick_sqlite");
  c.CommandTimeout(1);
  const char* endless =
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT count(*) FROM n";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_DATA_ERROR(c.Execute(endless), kErrDataTimeout, "Query timeout expired");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(c.Execute("SELECT 7").Fields(0).Value().AsInt64(), 7);
  EXPECT_DATA_ERROR(c.OpenCursor(endless).Next(10), kErrDataTimeout, "Query timeout expired");
  EXPECT_EQ(c.Execute("SELECT 8").Fields(0).Value().AsInt64(), 8);
}

}  // namespace
}  // namespace fennick
