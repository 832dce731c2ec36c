// The databases the data-layer tests run against: a private in-memory
// SQLite database, a private schema on the PostgreSQL test server that
// scripts/services/postgres-start.sh starts (found through
// .services/postgres.env, or the FENNICK_TEST_POSTGRES connection string),
// and a private database on the MariaDB test server of
// scripts/services/mariadb-start.sh (.services/mariadb.env). A missing
// server fails the test; it is never skipped.
#ifndef FENNICK_TESTS_PLATFORM_DATA_TEST_DATABASES_H_
#define FENNICK_TESTS_PLATFORM_DATA_TEST_DATABASES_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "fennick/data.h"
#include "fennick/error.h"

namespace fennick {

// Shows Variants in failure messages as their type and text.
inline void PrintTo(const Variant& v, std::ostream* os) {
  *os << "VarType " << static_cast<int>(v.type()) << " ";
  if (v.IsBinary()) {
    static const char kHex[] = "0123456789abcdef";
    *os << "0x";
    for (unsigned char c : v.Bytes()) *os << kHex[c >> 4] << kHex[c & 15];
  } else if (!v.IsObject()) {
    *os << "\"" << v.AsString() << "\"";
  }
}

}  // namespace fennick

namespace fennick::testing {

// The settings a service's start script wrote to .services/NAME.env.
inline std::map<std::string, std::string> ServiceSettings(const std::string& service) {
  std::map<std::string, std::string> settings;
  std::ifstream in(std::string(FENNICK_SOURCE_DIR) + "/.services/" + service + ".env");
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) settings[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return settings;
}

inline std::map<std::string, std::string> PostgresServerSettings() {
  return ServiceSettings("postgres");
}

// The MariaDB test server's connection string over TCP, with its password;
// "" when no server is known.
inline std::string MysqlConnectionString() {
  auto s = ServiceSettings("mariadb");
  if (s["FENNICK_MARIADB_PORT"].empty()) return "";
  return "Provider=MySQL;Server=" + s["FENNICK_MARIADB_HOST"] +
         ";Port=" + s["FENNICK_MARIADB_PORT"] + ";Database=" + s["FENNICK_MARIADB_DATABASE"] +
         ";Uid=" + s["FENNICK_MARIADB_USER"] + ";Pwd=" + s["FENNICK_MARIADB_PASSWORD"];
}

// The test server's connection string over TCP, or over its Unix socket;
// "" when no server is known.
inline std::string PostgresConnectionString(bool unix_socket = false) {
  if (const char* given = std::getenv("FENNICK_TEST_POSTGRES"); given && !unix_socket) {
    return given;
  }
  auto s = PostgresServerSettings();
  if (s["FENNICK_PG_PORT"].empty()) return "";
  return "Provider=PostgreSQL;Host=" +
         (unix_socket ? s["FENNICK_PG_SOCKET_DIR"] : s["FENNICK_PG_HOST"]) +
         ";Port=" + s["FENNICK_PG_PORT"] + ";Database=" + s["FENNICK_PG_DATABASE"] +
         ";User ID=" + s["FENNICK_PG_USER"];
}

// Opens a connection to `engine` ("SQLite", "PostgreSQL" or "MySQL").
// PostgreSQL connections work in a schema of their own and MySQL ones in a
// database of their own, dropped by Close, so that tests running side by
// side do not meet.
class TestDatabase {
 public:
  explicit TestDatabase(std::string engine) : engine_(std::move(engine)) {}
  ~TestDatabase() { Close(); }

  // Returns false (after recording a failure) when the database cannot be
  // had.
  bool Open() {
    if (engine_ == "SQLite") {
      connection_.Open("Provider=SQLite;Data Source=:memory:");
      return true;
    }
    std::string cs = IsMysql() ? MysqlConnectionString() : PostgresConnectionString();
    if (cs.empty()) {
      ADD_FAILURE() << "No " << engine_
                    << " test server: run the tests with `make test`, which starts one "
                       "(scripts/services/*-start.sh)";
      return false;
    }
    try {
      connection_.Open(cs);
    } catch (const Error& e) {
      ADD_FAILURE() << "The " << engine_ << " test server does not answer: " << e.description();
      return false;
    }
    static int counter = 0;
    schema_ = "fnk_test_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    if (IsMysql()) {
      connection_.Execute("CREATE DATABASE " + schema_ + " CHARACTER SET utf8mb4");
      connection_.Execute("USE " + schema_);
      return true;
    }
    connection_.Execute("CREATE SCHEMA " + schema_);
    connection_.Execute("SET search_path TO " + schema_);
    return true;
  }

  void Close() {
    if (connection_.State() != kAdStateOpen) return;
    if (!schema_.empty()) {
      try {
        connection_.Execute(IsMysql() ? "DROP DATABASE " + schema_
                                      : "DROP SCHEMA " + schema_ + " CASCADE");
      } catch (const Error&) {
        // Ignoring errors on purpose: the schema goes with the server.
      }
    }
    connection_.Close();
  }

  bool IsPostgres() const { return engine_ == "PostgreSQL"; }
  bool IsMysql() const { return engine_ == "MySQL"; }
  const std::string& schema() const { return schema_; }
  Connection& connection() { return connection_; }
  void Run(const std::string& sql) { connection_.Execute(sql); }
  Recordset Query(const std::string& sql) { return connection_.Execute(sql); }

  // Column types that differ between the engines.
  std::string BinaryType() const {
    return IsPostgres() ? "BYTEA" : (IsMysql() ? "LONGBLOB" : "BLOB");
  }
  // A statement that runs far longer than any test waits.
  std::string SlowStatement() const {
    if (IsPostgres()) return "SELECT pg_sleep(30)";
    if (IsMysql()) return "SELECT BENCHMARK(20000000000, MD5('fennick'))";
    return "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
           "SELECT count(*) FROM c";
  }

 private:
  std::string engine_;
  std::string schema_;
  Connection connection_;
};

// Asserts that `statement` raises a fennick::Error with this number and
// description.
#define EXPECT_DATA_ERROR(statement, number_, description_) \
  do {                                                      \
    try {                                                   \
      statement;                                            \
      ADD_FAILURE() << "no error from " #statement;         \
    } catch (const ::fennick::Error& e) {                   \
      EXPECT_EQ(e.number(), number_) << e.description();    \
      EXPECT_EQ(e.description(), description_);             \
    }                                                       \
  } while (0)

// A column a result should have: its name, ADO type, defined size and
// the value in the first row.
struct ExpectedColumn {
  const char* name;
  int32_t type;
  int32_t size;
  Variant value;
};

// Checks the columns of `rs`, in order, against `expected`, each one read
// from the base table `table`.
inline void ExpectColumns(Recordset& rs, const std::vector<ExpectedColumn>& expected,
                          const std::string& table) {
  ASSERT_EQ(rs.FieldCount(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    Field f = rs.Fields(i);
    EXPECT_EQ(f.Name(), expected[i].name);
    EXPECT_EQ(f.Type(), expected[i].type) << f.Name();
    EXPECT_EQ(f.DefinedSize(), expected[i].size) << f.Name();
    EXPECT_EQ(f.Value(), expected[i].value) << f.Name() << ": " << f.Value().AsString();
    EXPECT_EQ(f.BaseTableName(), table) << f.Name();
  }
}

}  // namespace fennick::testing

#endif  // FENNICK_TESTS_PLATFORM_DATA_TEST_DATABASES_H_
