// The database type of a grid on ODBC connections: the page's connection
// string decides in the historic test order (so MSDASQL means SQL Server
// whatever the DSN reaches); when it says nothing, as a bare DSN does, the
// product the ODBC driver names. Strings for SQL Server itself, which no
// test server offers, are typed by their text alone.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/page.h"
#include "grid/grid_object.h"
#include "grid/query/database_type.h"
#include "grid/test_page.h"
#include "platform/crypto/seal.h"
#include "platform/data/odbc_sources.h"
#include "platform/data/test_databases.h"

namespace fennick {
namespace {

struct TypedString {
  std::string connection_string;
  int expected;
};

// The grid's database type after CreateConnection(connection_string) on
// a fresh page; -1 (with the error box recorded as a failure) when the
// connection did not open.
int GridTypeOf(const std::string& connection_string) {
  InstallSealer(Sealer::KeyFromSecret("odbc type tests"));
  testing::TestPage page("/t.asp");
  page.Open({});
  DataGrid grid;
  grid.CreateConnection(connection_string);
  if (!GridInternals(grid).result.owns_connection) {
    ADD_FAILURE() << connection_string << ": " << page->response().Body();
    return -1;
  }
  return GridInternals(grid).req.database_type;
}

TEST(OdbcDatabaseTypeTest, OdbcConnectionsTypedByStringThenByTheDriversProduct) {
  ASSERT_TRUE(testing::OdbcSources().error.empty()) << testing::OdbcSources().error;
  const std::string pg = testing::OdbcPostgresString();
  auto settings = testing::PostgresServerSettings();
  const std::string pg_path =
      "Driver=" + testing::OdbcDriverPath("psqlodbcw.so") +
      ";Server=" + settings["FENNICK_PG_HOST"] + ";Port=" + settings["FENNICK_PG_PORT"] +
      ";Database=" + settings["FENNICK_PG_DATABASE"] + ";UID=" + settings["FENNICK_PG_USER"];
  const TypedString opened[] = {
      // The string names the product.
      {pg, kDbPostgreSql},
      {"Driver={Fennick SQLite};Database=" + testing::OdbcSources().sqlite_file, kDbSQLite},
      // The string says nothing: the driver's DBMS name decides.
      {"DSN=fennick_pg", kDbPostgreSql},
      {"DSN=fennick_sqlite", kDbSQLite},
      {pg_path, kDbPostgreSql},
      // MSDASQL is tested before anything else that follows it: SQL Server.
      {"Provider=MSDASQL;DSN=fennick_pg", kDbSqlServer},
      {"Provider=MSDASQL.1;Data Source=fennick_sqlite", kDbSqlServer},
  };
  for (const TypedString& t : opened) {
    EXPECT_EQ(GridTypeOf(t.connection_string), t.expected) << t.connection_string;
  }

  // SQL Server's strings, by their text.
  const TypedString by_text[] = {
      {"Provider=SQLOLEDB;Data Source=db1;Initial Catalog=x;User ID=u;Password=p", kDbSqlServer},
      {"Driver={SQL Server};Server=db1;Database=x", kDbSqlServer},
      {"Provider=MSDASQL;Driver={MySQL ODBC 8.0 Driver};Server=x", kDbSqlServer},
      {"Provider=SQLNCLI11;Server=db1;Database=x", kDbSqlNativeClient},
      {"Provider=MSOLEDBSQL;Data Source=db1;Initial Catalog=x", kDbSqlNativeClient},
      {"Provider=MSOLEDBSQL19;Server=db1", kDbSqlNativeClient},
      {"DSN=sales", kDbUnknown},
      {"Driver={ODBC Driver 18 for SQL Server};Server=db1", kDbUnknown},
  };
  for (const TypedString& t : by_text) {
    EXPECT_EQ(GetDatabaseType(t.connection_string), t.expected) << t.connection_string;
  }
  const TypedString products[] = {
      {"Microsoft SQL Server", kDbSqlServer},
      {"PostgreSQL", kDbPostgreSql},
      {"MySQL", kDbMySql},
      {"MariaDB", kDbMySql},
      {"SQLite", kDbSQLite},
      {"Oracle", kDbOracle},
      {"Adaptive Server Enterprise", kDbSybase},
      {"ACCESS", kDbAccess},
      {"DB2/LINUXX8664", kDbUnknown},
  };
  for (const TypedString& t : products) {
    EXPECT_EQ(DatabaseTypeOfDbms(t.connection_string), t.expected) << t.connection_string;
  }
}

}  // namespace
}  // namespace fennick
