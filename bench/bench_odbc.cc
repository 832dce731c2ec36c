// Reading a whole result through a Recordset on an ODBC connection against
// a plain SQLFetch loop over the same 100,000 rows, both through psqlODBC
// to the PostgreSQL test server (scripts/services/postgres-start.sh; found
// through .services/postgres.env).
//
// The recordset opens a static result (every row fetched into column
// storage: text as UTF-16 turned into UTF-8, timestamps into OLE dates) and
// then reads every field value as a Variant; the plain loop fetches each
// row and reads each column once with SQLGetData in the same C types
// (64-bit integer, wide text, double, timestamp). The goal: the recordset
// within 1.5 times the plain loop's time.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "fennick/data.h"
#include "time_keeper.h"

namespace {

constexpr int kRows = 100000;
// The machines benchmarks run on are often busy: each benchmark runs this
// many times and the fastest run counts.
constexpr int kRepetitions = 7;

struct Source {
  std::string connection_string;  // "" when there is no test server
  std::string schema;
  std::string query;
};

std::string DriverPath() {
  for (const char* dir :
       {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc", "/usr/lib/odbc"}) {
    std::string p = std::string(dir) + "/psqlodbcw.so";
    if (std::filesystem::exists(p)) return p;
  }
  return "";
}

// Builds the table once for all benchmarks, in a schema of its own.
const Source& TestSource() {
  static Source source = [] {
    Source s;
    std::map<std::string, std::string> settings;
    std::ifstream in(std::string(FENNICK_SOURCE_DIR) + "/.services/postgres.env");
    for (std::string line; std::getline(in, line);) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) settings[line.substr(0, eq)] = line.substr(eq + 1);
    }
    const std::string driver = DriverPath();
    if (settings["FENNICK_PG_PORT"].empty() || driver.empty()) return s;
    s.connection_string = "Driver=" + driver + ";Server=" + settings["FENNICK_PG_HOST"] +
                          ";Port=" + settings["FENNICK_PG_PORT"] +
                          ";Database=" + settings["FENNICK_PG_DATABASE"] +
                          ";UID=" + settings["FENNICK_PG_USER"];
    s.schema = "fnk_bench_" + std::to_string(getpid());
    s.query = "SELECT id, name, price, added FROM " + s.schema + ".orders";
    fennick::Connection c;
    c.Open(s.connection_string);
    c.CommandTimeout(300);
    c.Execute("CREATE SCHEMA " + s.schema);
    c.Execute("CREATE TABLE " + s.schema +
              ".orders (id INTEGER, name VARCHAR(60), price DOUBLE PRECISION, added TIMESTAMP)");
    c.Execute("INSERT INTO " + s.schema +
              ".orders SELECT i, 'Customer ' || lpad(((i * 7919) % 1000003)::text, 6, '0') || "
              "' of region ' || (i % 17), i * 0.25, "
              "TIMESTAMP '2004-01-01' + (i * 3607) * INTERVAL '1 second' "
              "FROM generate_series(0, " +
              std::to_string(kRows - 1) + ") AS i");
    return s;
  }();
  return source;
}

void DropSource() {
  if (TestSource().connection_string.empty()) return;
  fennick::Connection c;
  c.Open(TestSource().connection_string);
  c.Execute("DROP SCHEMA " + TestSource().schema + " CASCADE");
}

void PlainSqlFetchLoop(benchmark::State& state) {
  const Source& source = TestSource();
  if (source.connection_string.empty()) return state.SkipWithError("no PostgreSQL test server");
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  SQLRETURN r = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)source.connection_string.c_str(), SQL_NTS,
                                 nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(r)) return state.SkipWithError("connecting failed");
  std::u16string query(source.query.begin(), source.query.end());
  for (auto _ : state) {
    SQLHSTMT stmt = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(query.data()), SQL_NTS);
    int64_t rows = 0;
    SQLBIGINT id;
    char16_t name[256];
    double price;
    SQL_TIMESTAMP_STRUCT added;
    SQLLEN indicator;
    while (SQL_SUCCEEDED(SQLFetch(stmt))) {
      SQLGetData(stmt, 1, SQL_C_SBIGINT, &id, 0, &indicator);
      SQLGetData(stmt, 2, SQL_C_WCHAR, name, sizeof name, &indicator);
      SQLGetData(stmt, 3, SQL_C_DOUBLE, &price, 0, &indicator);
      SQLGetData(stmt, 4, SQL_C_TYPE_TIMESTAMP, &added, sizeof added, &indicator);
      benchmark::DoNotOptimize(id);
      benchmark::DoNotOptimize(name);
      benchmark::DoNotOptimize(price);
      benchmark::DoNotOptimize(added);
      ++rows;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (rows != kRows) state.SkipWithError("wrong row count");
  }
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(PlainSqlFetchLoop)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

void RecordsetReadAll(benchmark::State& state) {
  const Source& source = TestSource();
  if (source.connection_string.empty()) return state.SkipWithError("no PostgreSQL test server");
  fennick::Connection connection;
  connection.Open(source.connection_string);
  for (auto _ : state) {
    fennick::Recordset rs;
    rs.Open(source.query, connection, fennick::kAdOpenStatic, fennick::kAdLockReadOnly);
    fennick::Field fields[] = {rs.Fields(0), rs.Fields(1), rs.Fields(2), rs.Fields(3)};
    int64_t rows = 0;
    for (; !rs.Eof(); rs.MoveNext()) {
      for (const fennick::Field& field : fields) {
        fennick::Variant value = field.Value();
        benchmark::DoNotOptimize(value);
      }
      ++rows;
    }
    if (rows != kRows) state.SkipWithError("wrong row count");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(RecordsetReadAll)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (TestSource().connection_string.empty()) {
    std::fprintf(stderr,
                 "bench_odbc: no PostgreSQL test server or psqlODBC; run "
                 "scripts/services/postgres-start.sh and scripts/install-deps.sh\n");
    return 1;
  }
  fennick_bench::TimeKeeper keeper;
  benchmark::RunSpecifiedBenchmarks(&keeper);
  fennick_bench::TimeKeeper::Best plain = keeper.Get("PlainSqlFetchLoop"),
                                  recordset = keeper.Get("RecordsetReadAll");
  if (plain.real_ms > 0 && recordset.real_ms > 0) {
    std::printf(
        "\nReading %d rows through psqlODBC, fastest of %d runs:\n"
        "  recordset (open static, read every field): %.2f ms (CPU %.2f ms)\n"
        "  plain SQLFetch/SQLGetData loop:            %.2f ms (CPU %.2f ms)\n"
        "  ratio %.2f (CPU %.2f); goal 1.5 or less\n",
        kRows, kRepetitions, recordset.real_ms, recordset.cpu_ms, plain.real_ms, plain.cpu_ms,
        recordset.real_ms / plain.real_ms, recordset.cpu_ms / plain.cpu_ms);
  }
  DropSource();
  benchmark::Shutdown();
  return 0;
}
