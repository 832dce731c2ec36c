// A grid page over an Orders table on any engine, for the query tests:
// the test's parameter names the engine ("SQLite": an in-memory database;
// "PostgreSQL": a schema of its own on the test server; "ODBC": the same
// through psqlODBC; "MySQL": a database of its own on the MariaDB test
// server; each dropped after the test), and each Grid call starts a fresh
// page with the posted form.
#ifndef FENNICK_TESTS_GRID_QUERY_ORDERS_ENGINE_FIXTURE_H_
#define FENNICK_TESTS_GRID_QUERY_ORDERS_ENGINE_FIXTURE_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/page.h"
#include "grid/paging_record.h"
#include "grid/test_page.h"
#include "platform/crypto/seal.h"
#include "platform/data/odbc_sources.h"
#include "platform/data/test_databases.h"

namespace fennick {

class OrdersEngineTest : public ::testing::TestWithParam<std::string> {
 public:
  using Fields = testing::Fields;

 protected:
  // `seal_secret` keys the sealer; schemas are named from `schema_prefix`;
  // `with_secret` adds a Secret column ('s1'..'s5') after Region.
  OrdersEngineTest(std::string seal_secret, std::string schema_prefix, bool with_secret)
      : seal_secret_(std::move(seal_secret)),
        schema_prefix_(std::move(schema_prefix)),
        with_secret_(with_secret) {}

  // Orders holds Id, Name, Amount, Region: (1, Smith, 12.5, West),
  // (2, Jones, 7, East), (3, O'Brien, 30, West), (4, Smythe, 3, North),
  // (5, Adams, 20, East).
  void SetUp() override {
    InstallSealer(Sealer::KeyFromSecret(seal_secret_));
    connection_ = std::make_shared<Connection>();
    if (IsMysql()) {
      std::string cs = testing::MysqlConnectionString();
      ASSERT_FALSE(cs.empty()) << "no MariaDB test server: run `make test`";
      connection_->Open(cs);
      schema_ = schema_prefix_ + std::to_string(getpid()) + "_" + std::to_string(++counter_);
      connection_->Execute("CREATE DATABASE " + schema_);
      connection_->Execute("USE " + schema_);
    } else if (IsPostgres()) {
      std::string cs =
          IsOdbc() ? testing::OdbcPostgresString() : testing::PostgresConnectionString();
      ASSERT_FALSE(cs.empty()) << "no PostgreSQL test server: run `make test`";
      connection_->Open(cs);
      schema_ = schema_prefix_ + std::to_string(getpid()) + "_" + std::to_string(++counter_);
      connection_->Execute("CREATE SCHEMA " + schema_);
      connection_->Execute("SET search_path TO " + schema_);
    } else {
      connection_->Open("Provider=SQLite;Data Source=:memory:");
    }
    connection_->Execute(
        std::string("CREATE TABLE Orders (Id INTEGER, Name VARCHAR(40), Amount DOUBLE PRECISION, "
                    "Region VARCHAR(10)") +
        (with_secret_ ? ", Secret VARCHAR(10))" : ")"));
    const char* rows[] = {
        "1, 'Smith', 12.5, 'West'", "2, 'Jones', 7, 'East'", "3, 'O''Brien', 30, 'West'",
        "4, 'Smythe', 3, 'North'",  "5, 'Adams', 20, 'East'",
    };
    int n = 0;
    for (const char* row : rows) {
      const std::string secret = with_secret_ ? ", 's" + std::to_string(++n) + "'" : "";
      connection_->Execute(std::string("INSERT INTO Orders VALUES (") + row + secret + ")");
    }
  }

  void TearDown() override {
    RecordDrawnPage();
    grid_.reset();
    page_.Close();
    if (!schema_.empty()) {
      connection_->Execute(IsMysql() ? "DROP DATABASE " + schema_
                                     : "DROP SCHEMA " + schema_ + " CASCADE");
    }
  }

  // ODBC reaches the PostgreSQL test server: its SQL is PostgreSQL's.
  bool IsPostgres() const { return GetParam() == "PostgreSQL" || IsOdbc(); }
  bool IsOdbc() const { return GetParam() == "ODBC"; }
  bool IsMysql() const { return GetParam() == "MySQL"; }

  // A new page at /orders.asp with `form` posted, and on it a new grid of
  // `command` over the Orders connection.
  DataGrid& Grid(const Fields& form, const std::string& command) {
    RecordDrawnPage();
    grid_.reset();
    page_.Open(form);
    grid_ = std::make_unique<DataGrid>();
    grid_->Connection(connection_);
    grid_->Command(command);
    grid_->DatabasePaging(testing::DatabasePagingForTests());
    return *grid_;
  }

  // Keeps the page the last grid drew for the comparison of the paging
  // modes (grid/paging_record.h).
  void RecordDrawnPage() {
    if (page_) testing::RecordPage(page_->response().Body());
  }

  inline static int counter_ = 0;
  std::shared_ptr<Connection> connection_;
  std::string schema_;
  testing::TestPage page_;
  std::unique_ptr<DataGrid> grid_;

 private:
  std::string seal_secret_;
  std::string schema_prefix_;
  bool with_secret_;
};

}  // namespace fennick

#endif  // FENNICK_TESTS_GRID_QUERY_ORDERS_ENGINE_FIXTURE_H_
