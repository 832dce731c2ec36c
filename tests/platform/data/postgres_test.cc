// The PostgreSQL driver on the test server: type mapping, base tables,
// stored procedures with named parameters, the catalogue, row limits,
// forward-only cursors, failed opens and a lost server connection.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fennick/data.h"
#include "test_databases.h"

namespace fennick {
namespace {

using ::fennick::testing::PostgresConnectionString;
using ::fennick::testing::TestDatabase;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class PostgresTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(db_.Open()); }
  Connection& connection() { return db_.connection(); }
  TestDatabase db_{"PostgreSQL"};
};

TEST_F(PostgresTest, ColumnTypesMapToAdoTypes) {
  db_.Run(
      "CREATE TABLE t (a smallint, b integer, c bigint, d real, e double precision, "
      "f numeric(10, 2), g money, h boolean, i date, j time, k timestamp, l timestamptz, "
      "m uuid, n char(3), o varchar(40), p text, q bytea, r json, s interval, u integer[], "
      "v varchar)");
  db_.Run(
      "INSERT INTO t VALUES (7, 70000, 9000000000, 0.25, 1.5, 12.34, -1234.5, true, "
      "'2004-03-05', '14:07:09', '2004-03-05 14:07:09.5', '2004-03-05 14:07:09+00', "
      "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', 'ab', 'varchar', 'text', '\\x0001ff', "
      "'{\"k\": 1}', '1 day', '{1,2}', 'free')");
  db_.Run("SET TimeZone = 'UTC'");
  Recordset rs = db_.Query("SELECT * FROM t");
  double day = MakeOleDate({2004, 3, 5});
  testing::ExpectColumns(rs, {
      {"a", kAdSmallInt, 2, Variant(int16_t{7})},
      {"b", kAdInteger, 4, Variant(int32_t{70000})},
      {"c", kAdBigInt, 8, Variant(int64_t{9000000000})},
      {"d", kAdSingle, 4, Variant(0.25f)},
      {"e", kAdDouble, 8, Variant(1.5)},
      {"f", kAdNumeric, 19, Variant::Decimal(12.34)},
      {"g", kAdCurrency, 8, Variant::Currency(-12345000)},
      {"h", kAdBoolean, 2, Variant(true)},
      {"i", kAdDBDate, 6, Variant::Date(day)},
      {"j", kAdDBTime, 6, Variant::Date(MakeOleDate({1899, 12, 30, 14, 7, 9}))},
      {"k", kAdDBTimeStamp, 16, Variant::Date(MakeOleDate({2004, 3, 5, 14, 7, 9, 500}))},
      {"l", kAdDBTimeStamp, 16, Variant::Date(MakeOleDate({2004, 3, 5, 14, 7, 9}))},
      {"m", kAdGuid, 16, Variant("a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11")},
      {"n", kAdChar, 3, Variant("ab ")},
      {"o", kAdVarChar, 40, Variant("varchar")},
      {"p", kAdLongVarChar, 2147483647, Variant("text")},
      {"q", kAdLongVarBinary, 2147483647, Variant::Binary(std::string("\x00\x01\xff", 3))},
      {"r", kAdLongVarChar, 2147483647, Variant("{\"k\": 1}")},
      {"s", kAdVarChar, 255, Variant("1 day")},
      {"u", kAdLongVarChar, 2147483647, Variant("{1,2}")},
      {"v", kAdLongVarChar, 2147483647, Variant("free")},
  }, "t");
  EXPECT_EQ(rs.Fields("f").Precision(), 10);
  EXPECT_EQ(rs.Fields("f").NumericScale(), 2);

  // Values no OLE date can hold stay text; expressions have no base table.
  Recordset odd = db_.Query("SELECT 'infinity'::timestamp AS far, 1 + 1 AS two");
  EXPECT_EQ(odd.Fields("far").Value(), Variant("infinity"));
  EXPECT_EQ(odd.Fields("two").Value(), Variant(2));
  EXPECT_EQ(odd.Fields("two").BaseTableName(), "");
}

TEST_F(PostgresTest, ProceduresTakeNamedParametersInAnyOrder) {
  db_.Run("CREATE TABLE orders (id integer, amount numeric(8, 2))");
  db_.Run("INSERT INTO orders SELECT g, g * 10 FROM generate_series(1, 9) g");
  db_.Run(
      "CREATE FUNCTION orders_between(low integer, \"High\" integer) "
      "RETURNS TABLE (id integer, amount numeric) LANGUAGE sql AS "
      "$$ SELECT id, amount FROM orders WHERE id BETWEEN low AND \"High\" ORDER BY id $$");
  db_.Run(
      "CREATE PROCEDURE scale(INOUT factor integer, base integer) LANGUAGE plpgsql AS "
      "$$ BEGIN factor := factor * base; END $$");
  db_.Run(
      "CREATE FUNCTION all_orders() RETURNS SETOF orders LANGUAGE sql AS "
      "$$ SELECT * FROM orders ORDER BY id $$");
  db_.Run("CREATE FUNCTION twice(x integer) RETURNS integer LANGUAGE sql AS $$ SELECT 2 * x $$");

  Command command(connection());
  command.CommandText("orders_between");
  command.CommandType(kAdCmdStoredProc);
  command.AppendParameter(
      command.CreateParameter("@high", kAdVarChar, kAdParamInput, 255, Variant("4")));
  command.AppendParameter(
      command.CreateParameter("@LOW", kAdVarChar, kAdParamInput, 255, Variant("2")));
  Recordset rs = command.Execute();
  EXPECT_EQ(rs.GetString(kAdClipString, -1, "=", ";"), "2=20;3=30;4=40;");

  Command call(connection());
  call.CommandText("Scale");
  call.CommandType(kAdCmdStoredProc);
  call.AppendParameter(call.CreateParameter("base", kAdInteger, kAdParamInput, 0, Variant(6)));
  call.AppendParameter(
      call.CreateParameter("factor", kAdInteger, kAdParamInputOutput, 0, Variant(7)));
  EXPECT_EQ(call.Execute().Fields("factor").Value(), Variant(42));

  // The catalogue's command carries the parameters; the page sets values.
  Catalog catalog(connection());
  Command from_catalog = catalog.ProcedureCommand("orders_between");
  ASSERT_EQ(from_catalog.ParameterCount(), 2u);
  from_catalog.Parameters("low").Value(Variant(8));
  from_catalog.Parameters("High").Value(Variant(20));
  Recordset limited;
  limited.CursorLocation(kAdUseClient);
  limited.Open(from_catalog);
  EXPECT_EQ(limited.GetString(kAdClipString, -1, "=", ";"), "8=80;9=90;");

  // A bare procedure name given as a command calls it.
  EXPECT_EQ(connection().Execute("all_orders").RecordCount(), 9);
  command.CommandText("no_such_thing");
  EXPECT_DATA_ERROR(command.Execute(), kErrDataCommandFailed,
                    "procedure no_such_thing does not exist");
}

TEST_F(PostgresTest, CatalogueListsRowReturningRoutinesAndTheirInputs) {
  db_.Run("CREATE TABLE orders (id integer)");
  db_.Run(
      "CREATE FUNCTION orders_for(customer varchar(10), since date, OUT id integer) "
      "RETURNS SETOF integer LANGUAGE sql AS $$ SELECT 1 $$");
  db_.Run("CREATE FUNCTION scalar_only(x integer) RETURNS integer LANGUAGE sql AS $$ SELECT x $$");
  db_.Run(
      "CREATE PROCEDURE bump(INOUT counter bigint) LANGUAGE plpgsql AS "
      "$$ BEGIN counter := counter + 1; END $$");
  db_.Run("CREATE PROCEDURE silent(x integer) LANGUAGE sql AS $$ SELECT 1 $$");
  Catalog catalog(connection());
  std::vector<std::string> procedures;
  for (const CatalogObject& o : catalog.Procedures()) procedures.push_back(o.name);
  EXPECT_THAT(procedures, ::testing::IsSupersetOf({"bump", "orders_for"}));
  EXPECT_THAT(procedures, ::testing::Not(::testing::Contains("scalar_only")));
  EXPECT_THAT(procedures, ::testing::Not(::testing::Contains("silent")));

  std::vector<Parameter> inputs = catalog.ProcedureParameters("ORDERS_FOR");
  ASSERT_EQ(inputs.size(), 2u);
  EXPECT_EQ(inputs[0].Name(), "customer");
  EXPECT_EQ(inputs[0].Type(), kAdVarChar);
  EXPECT_EQ(inputs[0].Direction(), kAdParamInput);
  EXPECT_EQ(inputs[1].Name(), "since");
  EXPECT_EQ(inputs[1].Type(), kAdDBDate);
  std::vector<Parameter> bump = catalog.ProcedureParameters(db_.schema() + ".bump");
  ASSERT_EQ(bump.size(), 1u);
  EXPECT_EQ(bump[0].Type(), kAdBigInt);
  EXPECT_EQ(bump[0].Direction(), kAdParamInputOutput);
  EXPECT_DATA_ERROR(catalog.ProcedureParameters("missing"), kErrDataItemNotFound,
                    "Item cannot be found in the collection corresponding to the requested "
                    "name or ordinal: missing");
}

TEST_F(PostgresTest, RowLimitStopsALongQueryAndLeavesTheConnectionClean) {
  Recordset rs;
  rs.MaxRecords(3);
  rs.Open("SELECT g FROM generate_series(1, 2000000) g", connection());
  EXPECT_EQ(rs.GetString(kAdClipString, -1, ",", ";"), "1;2;3;");
  // Inside a transaction nothing is cancelled, and the transaction goes on.
  db_.Run("BEGIN");
  Recordset in_tx;
  in_tx.MaxRecords(2);
  in_tx.Open("SELECT g FROM generate_series(1, 1000) g", connection());
  EXPECT_EQ(in_tx.RecordCount(), 2);
  EXPECT_EQ(db_.Query("SELECT 5").Fields(0).Value(), Variant(5));
  db_.Run("COMMIT");
  int64_t affected = 0;
  db_.Run("CREATE TABLE u (x integer); INSERT INTO u VALUES (1), (2), (3)");
  connection().Execute("UPDATE u SET x = x + 1 WHERE x > 1", &affected);
  EXPECT_EQ(affected, 2);
}

// A cursor reads a query a batch at a time; errors before the first row
// and after rows arrived are told apart, and a cursor dropped half-way or
// failed leaves the connection ready for the next statement.
TEST_F(PostgresTest, CursorReadsForwardInBatchesAndLeavesTheConnectionClean) {
  {
    Cursor cursor =
        connection().OpenCursor("SELECT g, 'r' || g AS t FROM generate_series(1, 2500) g");
    Recordset first = cursor.Next(1000);
    EXPECT_EQ(first.RecordCount(), 1000);
    EXPECT_EQ(first.Fields(1).Name(), "t");
    EXPECT_EQ(first.GetString(kAdClipString, 2, ",", ";"), "1,r1;2,r2;");
    Recordset second = cursor.Next(1000);
    EXPECT_EQ(second.Fields(0).Value(), Variant(1001));
    Recordset third = cursor.Next(1000);
    EXPECT_EQ(third.RecordCount(), 500);
    third.MoveLast();
    EXPECT_EQ(third.Fields(0).Value(), Variant(2500));
    EXPECT_TRUE(cursor.Next(1000).Eof());
    EXPECT_TRUE(cursor.Next(1000).Eof());
  }
  EXPECT_EQ(db_.Query("SELECT 5").Fields(0).Value(), Variant(5));

  // Dropped after 10 of two million rows: the query is stopped.
  {
    Cursor cursor = connection().OpenCursor("SELECT g FROM generate_series(1, 2000000) g");
    EXPECT_EQ(cursor.Next(10).RecordCount(), 10);
  }
  EXPECT_EQ(db_.Query("SELECT 6").Fields(0).Value(), Variant(6));

  // An empty result still describes its columns.
  {
    Cursor cursor = connection().OpenCursor("SELECT 1 AS one WHERE false");
    Recordset none = cursor.Next(1000);
    EXPECT_TRUE(none.Eof());
    EXPECT_EQ(none.Fields(0).Name(), "one");
  }

  // Row 1500 fails: the first batch arrives, the second raises FetchError.
  {
    Cursor cursor = connection().OpenCursor(
        "SELECT CASE WHEN g = 1500 THEN 1 / (g - g) ELSE g END AS v "
        "FROM generate_series(1, 3000) g");
    EXPECT_EQ(cursor.Next(1000).RecordCount(), 1000);
    try {
      cursor.Next(1000);
      ADD_FAILURE() << "no error";
    } catch (const FetchError& e) {
      EXPECT_THAT(e.description(), HasSubstr("division by zero"));
    }
  }
  EXPECT_EQ(db_.Query("SELECT 7").Fields(0).Value(), Variant(7));

  // Refused outright: the error comes from OpenCursor, not a FetchError.
  try {
    connection().OpenCursor("SELECT nope FROM nowhere");
    ADD_FAILURE() << "no error";
  } catch (const FetchError&) {
    ADD_FAILURE() << "a refused statement is no fetch error";
  } catch (const Error& e) {
    EXPECT_THAT(e.description(), HasSubstr("nowhere"));
  }
  EXPECT_EQ(db_.Query("SELECT 8").Fields(0).Value(), Variant(8));
}

TEST_F(PostgresTest, UnixSocketHostsConnect) {
  Connection socket;
  socket.Open(PostgresConnectionString(/*unix_socket=*/true));
  EXPECT_EQ(socket.Execute("SELECT 1 AS one").Fields("one").Value(), Variant(1));
}

TEST_F(PostgresTest, FailedOpenGivesTheServersMessage) {
  Connection c;
  c.ConnectionTimeout(5);
  try {
    c.Open("Provider=PostgreSQL;Host=127.0.0.1;Port=1;Database=x;User ID=y");
    FAIL() << "opened";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrDataFailed);
    EXPECT_THAT(e.description(), HasSubstr("Connection refused"));
    EXPECT_EQ(e.source(), "PostgreSQL");
  }
  EXPECT_EQ(c.State(), kAdStateClosed);
  std::string wrong_database = PostgresConnectionString() + ";Database=no_such_db";
  try {
    c.Open(wrong_database);
    FAIL() << "opened";
  } catch (const Error& e) {
    EXPECT_THAT(e.description(), HasSubstr("database \"no_such_db\" does not exist"));
  }
}

TEST_F(PostgresTest, LostServerConnectionClosesTheConnection) {
  int64_t pid = db_.Query("SELECT pg_backend_pid()").Fields(0).Value().AsInt64();
  Connection admin;
  admin.Open(PostgresConnectionString());
  // Waits (up to 10 s) until the server process is gone.
  admin.Execute("SELECT pg_terminate_backend(" + std::to_string(pid) + ", 10000)");
  try {
    connection().Execute("SELECT 1");
    FAIL() << "the terminated connection still ran a statement";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrDataFailed);
    EXPECT_THAT(e.description(), StartsWith("Connection lost: "));
  }
  EXPECT_EQ(connection().State(), kAdStateClosed);
  EXPECT_THROW(connection().Execute("SELECT 1"), Error);
  connection().Open();
  EXPECT_EQ(connection().Execute("SELECT 3").Fields(0).Value(), Variant(3));
}

}  // namespace
}  // namespace fennick
