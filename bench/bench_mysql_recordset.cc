// Reading a whole result through a Recordset on the MariaDB test server
// against a plain mysql_fetch_row loop over the same query and the same
// 100,000 rows (an integer, a text, a double and a datetime column), in
// one run.
//
// The recordset opens a static result (every row read into column
// storage: numbers parsed, dates read into OLE dates) and then reads every
// field value as a Variant; the plain loop runs the query with
// mysql_use_result and touches each column's bytes once. The goal: the
// recordset within 1.5 times the plain loop's time.
//
// The server is the one scripts/services/mariadb-start.sh starts
// (scripts/run-bench.sh starts it); the rows go into a database of their
// own, dropped at the end.
#include <benchmark/benchmark.h>
#include <mysql.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "fennick/data.h"
#include "time_keeper.h"

namespace {

constexpr int kRows = 100000;
// The machines benchmarks run on are often busy: each benchmark runs this
// many times and the fastest run counts.
constexpr int kRepetitions = 9;
constexpr const char* kQuery = "SELECT id, name, price, added FROM orders";

struct Server {
  std::map<std::string, std::string> settings;
  std::string database;

  std::string ConnectionString() const {
    auto get = [this](const char* key) {
      auto it = settings.find(key);
      return it == settings.end() ? std::string() : it->second;
    };
    return "Provider=MySQL;Server=" + get("FENNICK_MARIADB_HOST") +
           ";Port=" + get("FENNICK_MARIADB_PORT") + ";Database=" + database +
           ";Uid=" + get("FENNICK_MARIADB_USER") + ";Pwd=" + get("FENNICK_MARIADB_PASSWORD");
  }
};

// Reads the test server's settings and fills its table once for all
// benchmarks; exits when there is no server.
const Server& TestServer() {
  static Server server = [] {
    Server s;
    std::ifstream in(std::string(FENNICK_SOURCE_DIR) + "/.services/mariadb.env");
    std::string line;
    while (std::getline(in, line)) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) s.settings[line.substr(0, eq)] = line.substr(eq + 1);
    }
    if (s.settings["FENNICK_MARIADB_PORT"].empty()) {
      std::fprintf(stderr,
                   "No MariaDB test server: start one with scripts/services/mariadb-start.sh "
                   "(scripts/run-bench.sh does)\n");
      std::exit(1);
    }
    s.database = "fnk_bench_" + std::to_string(getpid());
    std::string admin = s.ConnectionString();
    admin.replace(admin.find(";Database=" + s.database), 10 + s.database.size(), "");
    fennick::Connection connection;
    connection.Open(admin);
    connection.Execute("CREATE DATABASE " + s.database + " CHARACTER SET utf8mb4");
    connection.Execute("USE " + s.database);
    connection.Execute(
        "CREATE TABLE orders (id INT, name VARCHAR(60), price DOUBLE, added DATETIME)");
    connection.Execute(
        "INSERT INTO orders SELECT seq, CONCAT('Customer ', LPAD(seq * 7919 % 1000003, 6, '0'),"
        " ' of region ', seq % 17), seq * 0.25, TIMESTAMP('2004-01-01 00:00:00') +"
        " INTERVAL seq * 37 MINUTE FROM seq_0_to_99999");
    return s;
  }();
  return server;
}

void DropTestDatabase() {
  fennick::Connection connection;
  connection.Open(TestServer().ConnectionString());
  connection.Execute("DROP DATABASE " + TestServer().database);
}

void PlainFetchRowLoop(benchmark::State& state) {
  const Server& s = TestServer();
  MYSQL* mysql = mysql_init(nullptr);
  mysql_options(mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (!mysql_real_connect(mysql, s.settings.at("FENNICK_MARIADB_HOST").c_str(),
                          s.settings.at("FENNICK_MARIADB_USER").c_str(),
                          s.settings.at("FENNICK_MARIADB_PASSWORD").c_str(), s.database.c_str(),
                          std::stoi(s.settings.at("FENNICK_MARIADB_PORT")), nullptr, 0)) {
    state.SkipWithError(mysql_error(mysql));
    mysql_close(mysql);
    return;
  }
  for (auto _ : state) {
    mysql_query(mysql, kQuery);
    MYSQL_RES* result = mysql_use_result(mysql);
    int64_t rows = 0;
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
      unsigned long* lengths = mysql_fetch_lengths(result);
      for (int i = 0; i < 4; ++i) {
        benchmark::DoNotOptimize(row[i]);
        benchmark::DoNotOptimize(lengths[i]);
      }
      ++rows;
    }
    mysql_free_result(result);
    if (rows != kRows) state.SkipWithError("wrong row count");
  }
  mysql_close(mysql);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(PlainFetchRowLoop)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

void RecordsetReadAll(benchmark::State& state) {
  fennick::Connection connection;
  connection.Open(TestServer().ConnectionString());
  for (auto _ : state) {
    fennick::Recordset rs;
    rs.Open(kQuery, connection, fennick::kAdOpenStatic, fennick::kAdLockReadOnly);
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
  TestServer();
  fennick_bench::TimeKeeper keeper;
  benchmark::RunSpecifiedBenchmarks(&keeper);
  fennick_bench::TimeKeeper::Best plain = keeper.Get("PlainFetchRowLoop");
  fennick_bench::TimeKeeper::Best recordset = keeper.Get("RecordsetReadAll");
  if (plain.real_ms > 0 && recordset.real_ms > 0) {
    std::printf(
        "\nReading %d rows from MariaDB, fastest of %d runs:\n"
        "  recordset (open static, read every field): %.2f ms (CPU %.2f ms)\n"
        "  plain mysql_fetch_row loop:                %.2f ms (CPU %.2f ms)\n"
        "  ratio %.2f; goal 1.5 or less\n",
        kRows, kRepetitions, recordset.real_ms, recordset.cpu_ms, plain.real_ms, plain.cpu_ms,
        recordset.real_ms / plain.real_ms);
  }
  DropTestDatabase();
  benchmark::Shutdown();
  return 0;
}
