// The MySQL driver on the MariaDB test server: connection strings, the
// type table over a table of every column type, statements stopped by
// CommandTimeout, passwords kept out of messages, the SQL mode's
// backslashes, forward-only reading, and the catalogue with procedure
// calls.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "fennick/data.h"
#include "platform/data/connection_string.h"
#include "test_databases.h"

namespace fennick {
namespace {

using ::fennick::testing::ServiceSettings;
using ::fennick::testing::TestDatabase;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class MysqlTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(db_.Open()); }

  Connection& c() { return db_.connection(); }
  int64_t Count(const std::string& sql) { return c().Execute(sql).Fields(0).Value().AsInt64(); }

  TestDatabase db_{"MySQL"};
};

TEST_F(MysqlTest, ConnectionStringsInBothFormsOpenTheServer) {
  auto s = ServiceSettings("mariadb");
  const std::string host = s["FENNICK_MARIADB_HOST"], port = s["FENNICK_MARIADB_PORT"];
  const std::string user = s["FENNICK_MARIADB_USER"], password = s["FENNICK_MARIADB_PASSWORD"];
  const std::string strings[] = {
      "Provider=MySQL;Server=" + host + ";Port=" + port + ";Database=fennick;Uid=" + user +
          ";Pwd=" + password,
      "Driver={MySQL ODBC 8.0 Unicode Driver};Server=" + host + ";Port=" + port +
          ";Database=fennick;User=" + user + ";Password=" + password + ";Option=3",
      "Provider=MySQLProv;Data Source=" + host + ":" + port + ";Initial Catalog=fennick;" +
          "User ID=" + user + ";Password=\"" + password + "\"",
      "Provider=MySQL;Socket=" + s["FENNICK_MARIADB_SOCKET"] + ";Database=fennick;Uid=" + user +
          ";Pwd=" + password,
  };
  for (const std::string& cs : strings) {
    Connection connection;
    connection.Open(cs);
    EXPECT_EQ(connection.Provider(), "MySQL") << cs;
    EXPECT_EQ(connection.Execute("SELECT DATABASE()").Fields(0).Value().AsString(), "fennick");
    // The session talks utf8mb4 whatever the server's default.
    EXPECT_EQ(connection.Execute("SELECT @@character_set_client").Fields(0).Value().AsString(),
              "utf8mb4");
  }
  // Open's user and password arguments win over the string's.
  Connection connection;
  connection.Open("Provider=MySQL;Server=" + host + ";Port=" + port + ";Uid=nobody;Pwd=wrong", user,
                  password);
  EXPECT_EQ(connection.Execute("SELECT 1").Fields(0).Value().AsInt64(), 1);
}

TEST_F(MysqlTest, PasswordsNeverAppearInErrors) {
  auto s = ServiceSettings("mariadb");
  const std::string base = "Provider=MySQL;Server=" + s["FENNICK_MARIADB_HOST"] +
                           ";Port=" + s["FENNICK_MARIADB_PORT"] + ";Uid=fennick;";
  const std::string password = s["FENNICK_MARIADB_PASSWORD"];
  Connection connection;
  EXPECT_DATA_ERROR(connection.Open(base + "Pwd=Wrong-Secret-1"), kErrDataFailed,
                    "Access denied for user 'fennick'@'127.0.0.1' (using password: YES)");
  // A message that would quote the password (here as a database name)
  // shows stars instead.
  try {
    connection.Open(base + "Pwd=" + password + ";Database=" + password);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrDataFailed);
    EXPECT_EQ(e.description(), "Unknown database '****'");
    EXPECT_EQ(e.source(), "MySQL");
  }
  // A ";" inside an unquoted password: the rest is not repeated.
  EXPECT_DATA_ERROR(connection.Open(base + "PWD=Top;Secret"), kErrDataInvalidArgument,
                    "Invalid connection string: a \";\" in a password value (put the value in "
                    "quotes)");
  EXPECT_DATA_ERROR(connection.Open(base + "Password=Top;Secret;Database=x"),
                    kErrDataInvalidArgument,
                    "Invalid connection string: a \";\" in a password value (put the value in "
                    "quotes)");
  EXPECT_EQ(data::MaskPassword("user 'Top$ecret' and Top$ecret", "Top$ecret"),
            "user '****' and ****");
  EXPECT_EQ(data::MaskPassword("every e stays", "e"), "every e stays");
}

TEST_F(MysqlTest, EveryColumnTypeMapsToItsAdoType) {
  db_.Run(
      "CREATE TABLE every_type ("
      " t TINYINT, tu TINYINT UNSIGNED, s SMALLINT, su SMALLINT UNSIGNED, m MEDIUMINT,"
      " mu MEDIUMINT UNSIGNED, i INT, iu INT UNSIGNED, b BIGINT, bu BIGINT UNSIGNED,"
      " f FLOAT, d DOUBLE, n DECIMAL(10,2), nu DECIMAL(5,0) UNSIGNED, y YEAR,"
      " bit1 BIT(1), bit9 BIT(9), dt DATE, tm TIME, dtm DATETIME, ts TIMESTAMP NULL,"
      " c CHAR(4), vc VARCHAR(20), tt TINYTEXT, tx TEXT, lt LONGTEXT, e ENUM('a','bb'),"
      " st SET('x','y'), bn BINARY(3), vb VARBINARY(5), bl BLOB, j JSON)");
  db_.Run(
      "INSERT INTO every_type VALUES (-5, 250, -300, 65000, -8000000, 16000000, -2000000000,"
      " 4000000000, -9000000000000000000, 18446744073709551615, 1.5, 2.25, 12345678.91, 99999,"
      " 2024, b'1', b'100000001', '2004-03-05', '14:07:09', '2004-03-05 14:07:09',"
      " '2005-01-01 08:30:00', 'ab', 'Grüße 😀', 'tiny', 'text', 'long', 'bb', 'x,y',"
      " 'a\\0b', 'xyz', 'blob', '{\"k\": 1}')");
  db_.Run("INSERT INTO every_type () VALUES ()");

  Recordset rs = db_.Query("SELECT * FROM every_type");
  const std::vector<testing::ExpectedColumn> expected = {
      {"t", kAdTinyInt, 1, Variant(int16_t{-5})},
      {"tu", kAdUnsignedTinyInt, 1, Variant::Byte(250)},
      {"s", kAdSmallInt, 2, Variant(int16_t{-300})},
      {"su", kAdInteger, 4, Variant(int32_t{65000})},
      {"m", kAdInteger, 4, Variant(int32_t{-8000000})},
      {"mu", kAdInteger, 4, Variant(int32_t{16000000})},
      {"i", kAdInteger, 4, Variant(int32_t{-2000000000})},
      {"iu", kAdBigInt, 8, Variant(int64_t{4000000000})},
      {"b", kAdBigInt, 8, Variant(int64_t{-9000000000000000000})},
      {"bu", kAdBigInt, 8, Variant::Decimal(18446744073709551615.0)},
      {"f", kAdSingle, 4, Variant(1.5f)},
      {"d", kAdDouble, 8, Variant(2.25)},
      {"n", kAdNumeric, 19, Variant::Decimal(12345678.91)},
      {"nu", kAdNumeric, 19, Variant::Decimal(99999)},
      {"y", kAdSmallInt, 2, Variant(int16_t{2024})},
      {"bit1", kAdBoolean, 2, Variant(true)},
      {"bit9", kAdBigInt, 8, Variant(int64_t{257})},
      {"dt", kAdDBDate, 6, Variant::Date(38051)},
      {"tm", kAdDBTime, 6, Variant::Date((14 * 3600 + 7 * 60 + 9) / 86400.0)},
      {"dtm", kAdDBTimeStamp, 16, Variant::Date(38051 + (14 * 3600 + 7 * 60 + 9) / 86400.0)},
      {"ts", kAdDBTimeStamp, 16, Variant::Date(38353 + 8.5 / 24)},
      {"c", kAdChar, 4, Variant("ab")},
      {"vc", kAdVarChar, 20, Variant("Grüße 😀")},
      {"tt", kAdLongVarChar, 2147483647, Variant("tiny")},
      {"tx", kAdLongVarChar, 2147483647, Variant("text")},
      {"lt", kAdLongVarChar, 2147483647, Variant("long")},
      {"e", kAdChar, 2, Variant("bb")},
      {"st", kAdChar, 3, Variant("x,y")},
      {"bn", kAdBinary, 3, Variant::Binary(std::string("a\0b", 3))},
      {"vb", kAdVarBinary, 5, Variant::Binary(std::string("xyz"))},
      {"bl", kAdLongVarBinary, 2147483647, Variant::Binary(std::string("blob"))},
      {"j", kAdLongVarChar, 2147483647, Variant("{\"k\": 1}")},
  };
  testing::ExpectColumns(rs, expected, "every_type");
  EXPECT_EQ(rs.Fields("n").Precision(), 10);
  EXPECT_EQ(rs.Fields("n").NumericScale(), 2);
  EXPECT_EQ(rs.Fields("nu").Precision(), 5);
  // The second row: every column Null.
  rs.MoveNext();
  for (const auto& e : expected) EXPECT_TRUE(rs.Fields(e.name).IsNull()) << e.name;

  // Expressions have types of their own and no base table.
  Recordset expr = db_.Query("SELECT 1 + 1 AS two, 'x' AS x, NULL AS nothing, NOW() AS now");
  EXPECT_EQ(expr.Fields("two").Type(), kAdInteger);
  EXPECT_EQ(expr.Fields("x").Type(), kAdVarChar);
  EXPECT_TRUE(expr.Fields("nothing").IsNull());
  EXPECT_EQ(expr.Fields("now").Type(), kAdDBTimeStamp);
  EXPECT_EQ(expr.Fields("two").BaseTableName(), "");
}

TEST_F(MysqlTest, ZeroDatesReadAsNullAndOddTimesKeepTheirText) {
  db_.Run("SET SESSION sql_mode = ''");
  db_.Run("CREATE TABLE zeros (id INT, d DATE, dt DATETIME, tm TIME)");
  db_.Run(
      "INSERT INTO zeros VALUES (1, '0000-00-00', '0000-00-00 00:00:00', '838:59:59'),"
      " (2, '2004-00-10', '2004-03-00 10:00:00', '-01:30:00'), (3, '2004-03-05', NULL,"
      " '00:00:00')");
  Recordset rs = db_.Query("SELECT d, dt, tm FROM zeros ORDER BY id");
  EXPECT_TRUE(rs.Fields("d").IsNull());
  EXPECT_TRUE(rs.Fields("dt").IsNull());
  EXPECT_EQ(rs.Fields("tm").Value(), Variant("838:59:59"));
  rs.MoveNext();
  EXPECT_TRUE(rs.Fields("d").IsNull());
  EXPECT_TRUE(rs.Fields("dt").IsNull());
  EXPECT_EQ(rs.Fields("tm").Value(), Variant("-01:30:00"));
  rs.MoveNext();
  EXPECT_EQ(rs.Fields("d").Value(), Variant::Date(38051));
  EXPECT_EQ(rs.Fields("tm").Value(), Variant::Date(0));
}

TEST_F(MysqlTest, CommandTimeoutKillsTheStatementOnTheServer) {
  c().CommandTimeout(1);
  for (const char* slow :
       {"SELECT BENCHMARK(20000000000, MD5('fennick'))", "SELECT SLEEP(30)", "DO SLEEP(30)"}) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_DATA_ERROR(c().Execute(slow), kErrDataTimeout, "Query timeout expired");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)) << slow;
    // The same link answers at once: the server stopped the statement
    // (the client never abandons a statement it could not stop).
    EXPECT_EQ(Count("SELECT 41 + 1"), 42);
  }
  // A forward-only read keeps one deadline for the whole result.
  c().CommandTimeout(2);
  auto read_all = [this](const std::string& sql) {
    Cursor cursor = c().OpenCursor(sql);
    while (cursor.Next(1).RecordCount() > 0) {
    }
  };
  EXPECT_DATA_ERROR(read_all("SELECT seq, SLEEP(0.5) FROM seq_1_to_100"), kErrDataTimeout,
                    "Query timeout expired");
  EXPECT_EQ(Count("SELECT 6 * 7"), 42);
  // No limit: a statement runs as long as it needs.
  c().CommandTimeout(0);
  EXPECT_EQ(Count("SELECT SLEEP(1.2) + 1"), 1);
}

TEST_F(MysqlTest, ServerErrorsAndMultipleStatements) {
  try {
    c().Execute("SELEC 1");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrDataCommandFailed);
    EXPECT_EQ(e.description(),
              "You have an error in your SQL syntax; check the manual that corresponds to your "
              "MariaDB server version for the right syntax to use near 'SELEC 1' at line 1");
    EXPECT_EQ(e.source(), "MySQL");
  }
  db_.Run("CREATE TABLE t (id INT PRIMARY KEY, name VARCHAR(10))");
  int64_t affected = 0;
  Recordset rs = c().Execute(
      "INSERT INTO t VALUES (1, 'a'), (2, 'b'); SELECT name FROM t ORDER BY id; "
      "UPDATE t SET name = 'c'; SELECT 99",
      &affected);
  EXPECT_EQ(rs.GetString(kAdClipString, -1, ",", ";"), "a;b;");
  EXPECT_EQ(affected, 4);
  // The first failing statement ends the batch; the connection goes on.
  EXPECT_DATA_ERROR(c().Execute("INSERT INTO t VALUES (3, 'x'); INSERT INTO t VALUES (1, 'y');"
                                " INSERT INTO t VALUES (4, 'z')"),
                    kErrDataCommandFailed, "Duplicate entry '1' for key 'PRIMARY'");
  EXPECT_EQ(c().Execute("SELECT GROUP_CONCAT(id ORDER BY id) FROM t").Fields(0).Value(),
            Variant("1,2,3"));
  // A row failing after others arrived is a failed read.
  try {
    c().Execute("SELECT seq, (SELECT 1 UNION SELECT 2 FROM DUAL WHERE seq = 3) FROM seq_1_to_5");
    FAIL() << "no error";
  } catch (const FetchError& e) {
    EXPECT_EQ(e.description(), "Subquery returns more than 1 row");
  }
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t"), 3);

  // A link the server ended: the error says so and the connection closes.
  Connection doomed;
  doomed.Open(testing::MysqlConnectionString());
  int64_t id = doomed.Execute("SELECT CONNECTION_ID()").Fields(0).Value().AsInt64();
  c().Execute("KILL " + std::to_string(id));
  try {
    doomed.Execute("SELECT 1");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrDataFailed);
    EXPECT_THAT(e.description(), ::testing::StartsWith("Connection lost: ")) << e.description();
  }
  EXPECT_EQ(doomed.State(), kAdStateClosed);
}

TEST_F(MysqlTest, ParametersAndTheGridFollowTheSqlMode) {
  db_.Run("CREATE TABLE words (id INT, w VARCHAR(40))");
  const std::string tricky = "it's a \\ back'slash\\";
  for (const char* mode : {"STRICT_TRANS_TABLES", "NO_BACKSLASH_ESCAPES"}) {
    db_.Run(std::string("SET SESSION sql_mode = '") + mode + "'");
    EXPECT_EQ(c().BackslashEscapes(), std::string(mode) != "NO_BACKSLASH_ESCAPES") << mode;
    db_.Run("DELETE FROM words");
    Command insert(c());
    insert.CommandText("INSERT INTO words VALUES (?, ?) -- what? '?'");
    insert.CommandType(kAdCmdText);
    insert.AppendParameter(insert.CreateParameter("", kAdInteger, kAdParamInput, 0, Variant(1)));
    insert.AppendParameter(
        insert.CreateParameter("", kAdVarChar, kAdParamInput, 40, Variant(tricky)));
    insert.Execute();
    Command select(c());
    select.CommandText("SELECT id, '?' AS q FROM words WHERE w = ?");
    select.CommandType(kAdCmdText);
    select.AppendParameter(
        select.CreateParameter("", kAdVarChar, kAdParamInput, 40, Variant(tricky)));
    Recordset rs = select.Execute();
    ASSERT_EQ(rs.RecordCount(), 1) << mode;
    EXPECT_EQ(rs.Fields("q").Value(), Variant("?"));
    EXPECT_EQ(db_.Query("SELECT w FROM words").Fields(0).Value(), Variant(tricky)) << mode;
  }
  Connection closed;
  EXPECT_FALSE(closed.BackslashEscapes().has_value());
}

TEST_F(MysqlTest, CursorsReadInBatchesAndStopEarly) {
  Cursor cursor = c().OpenCursor("SELECT seq, CONCAT('row ', seq) AS label FROM seq_1_to_2500");
  std::vector<int32_t> counts;
  int64_t sum = 0;
  for (;;) {
    Recordset batch = cursor.Next(1000);
    counts.push_back(batch.RecordCount());
    if (batch.RecordCount() == 0) break;
    EXPECT_EQ(batch.Fields("label").Type(), kAdVarChar);
    for (; !batch.Eof(); batch.MoveNext()) sum += batch.Fields(0).Value().AsInt64();
  }
  EXPECT_THAT(counts, ElementsAre(1000, 1000, 500, 0));
  EXPECT_EQ(sum, 2500 * 2501 / 2);
  {
    // Dropped after one batch of a long result: the rest is not read.
    Cursor early = c().OpenCursor("SELECT a.seq FROM seq_1_to_100000 a, seq_1_to_100000 b");
    EXPECT_EQ(early.Next(10).RecordCount(), 10);
  }
  EXPECT_EQ(Count("SELECT 40 + 2"), 42);

  // A row limit stops a long reading query instead of reading it to its
  // end; a limit the rows do not reach stops nothing.
  auto start = std::chrono::steady_clock::now();
  Recordset limited;
  limited.MaxRecords(10);
  limited.Open("SELECT a.seq FROM seq_1_to_100000 a, seq_1_to_100000 b", c());
  EXPECT_EQ(limited.RecordCount(), 10);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  Recordset whole;
  whole.MaxRecords(10);
  whole.Open("SELECT seq FROM seq_1_to_10", c());
  EXPECT_EQ(whole.RecordCount(), 10);
  EXPECT_EQ(Count("SELECT 40 + 2"), 42);
  // A statement without rows gives an empty batch.
  EXPECT_EQ(c().OpenCursor("DO 1").Next(10).RecordCount(), 0);
}

TEST_F(MysqlTest, CatalogueAndStoredProcedures) {
  db_.Run("CREATE TABLE Orders (Id INT, Amount DOUBLE)");
  db_.Run("INSERT INTO Orders VALUES (1, 12.5), (2, 7), (3, 30)");
  db_.Run("CREATE TABLE b_table (x INT)");
  db_.Run("CREATE VIEW big_orders AS SELECT Id FROM Orders WHERE Amount > 10");
  db_.Run(
      "CREATE PROCEDURE orders_between(IN lo DOUBLE, IN hi DOUBLE, OUT n INT) "
      "BEGIN SELECT Id FROM Orders WHERE Amount BETWEEN lo AND hi ORDER BY Id; "
      "SET n = 1; END");
  db_.Run("CREATE PROCEDURE no_args() SELECT 'done' AS status");
  Catalog catalog(c());
  std::vector<std::string> names;
  std::vector<CatalogObjectType> types;
  for (const CatalogObject& o : catalog.Tables()) {
    names.push_back(o.name);
    types.push_back(o.type);
  }
  EXPECT_THAT(names, ElementsAre("b_table", "big_orders", "Orders"));
  EXPECT_THAT(types, ElementsAre(CatalogObjectType::kTable, CatalogObjectType::kView,
                                 CatalogObjectType::kTable));
  std::vector<std::string> procedures;
  for (const CatalogObject& o : catalog.Procedures()) procedures.push_back(o.name);
  EXPECT_THAT(procedures, ElementsAre("no_args", "orders_between"));

  std::vector<Parameter> parameters = catalog.ProcedureParameters("orders_between");
  ASSERT_EQ(parameters.size(), 2u);  // OUT parameters take no value
  EXPECT_EQ(parameters[0].Name(), "lo");
  EXPECT_EQ(parameters[0].Type(), kAdDouble);
  EXPECT_EQ(parameters[1].Name(), "hi");
  EXPECT_DATA_ERROR(catalog.ProcedureParameters("nope"), kErrDataItemNotFound,
                    "Item cannot be found in the collection corresponding to the requested name "
                    "or ordinal: nope");

  Command call = catalog.ProcedureCommand("`orders_between`");
  call.Parameters("HI").Value(Variant(20));
  call.Parameters("lo").Value(Variant("5"));
  EXPECT_EQ(call.Execute().GetString(kAdClipString, -1, ",", ";"), "1;2;");
  // Bare names as commands: a procedure is called, a view read.
  EXPECT_EQ(c().Execute("no_args").Fields("status").Value(), Variant("done"));
  EXPECT_EQ(c().Execute("big_orders").RecordCount(), 2);
  EXPECT_EQ(c().Execute(db_.schema() + ".Orders", nullptr, kAdCmdTable).RecordCount(), 3);
}

}  // namespace
}  // namespace fennick
