// What a page pays to open its connection and run its first query, with a
// new link every time (reuse off) and with links reused between pages: on
// SQLite over a schema of ten tables with their indexes and a view (a new
// link reads that schema on its first statement and prepares the query
// from scratch), and on the PostgreSQL test server (a new link costs the
// connection handshake and a server process; a reused one costs DISCARD
// ALL when the page lets go of it), in one run.
//
// The query joins three of the tables and reads a 15-row page, as a grid
// page over a view would. With no PostgreSQL test server
// (.services/postgres.env, as scripts/services/postgres-start.sh writes
// it) the PostgreSQL cases are skipped.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "fennick/data.h"
#include "platform/data/connection_pool.h"
#include "time_keeper.h"

namespace {

constexpr int kRepetitions = 9;
const std::string kSchema = "fnk_bench_" + std::to_string(getpid());

// The ten tables (and a view over three of them), in SQL every engine reads;
// `prefix` qualifies the names.
std::string SchemaSql(const std::string& prefix) {
  std::string sql;
  for (int t = 0; t < 10; ++t) {
    std::string name = prefix + "t" + std::to_string(t);
    sql += "CREATE TABLE " + name +
           " (id INTEGER PRIMARY KEY, parent INTEGER, name VARCHAR(40), amount NUMERIC(12,2), "
           "added DATE, note VARCHAR(200));";
    sql += "CREATE INDEX i" + std::to_string(t) + " ON " + name + " (parent);";
    sql += "INSERT INTO " + name + " SELECT i, i % 50, 'row ' || i, i * 1.5, " +
           (prefix.empty() ? "'2020-01-01'" : "DATE '2020-01-01'") + ", 'note' FROM (" +
           (prefix.empty() ? "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                             "WHERE i < 200) SELECT i FROM n"
                           : "SELECT generate_series(1, 200) AS i") +
           ") AS n;";
  }
  sql += "CREATE VIEW " + prefix + "joined AS SELECT a.id, a.name, b.amount, c.added FROM " +
         prefix + "t0 a JOIN " + prefix + "t1 b ON b.id = a.parent JOIN " + prefix +
         "t2 c ON c.id = b.parent;";
  return sql;
}

std::string PageQuery(const std::string& prefix) {
  return "SELECT id, name, amount, added FROM " + prefix + "joined ORDER BY id LIMIT 15";
}

// The SQLite database, built once.
const std::string& SqliteString() {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("fnk-bench-" + kSchema + ".db")).string();
  static const std::string cs = [] {
    fennick::Connection c;
    c.Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + path);
    c.Execute(SchemaSql(""));
    return "Provider=SQLite;Data Source=" + path;
  }();
  return cs;
}

// The PostgreSQL test server's string, its tables built once in a schema
// of their own; "" without a server.
const std::string& PostgresString() {
  static const std::string cs = [] {
    std::map<std::string, std::string> s;
    std::ifstream in(std::string(FENNICK_SOURCE_DIR) + "/.services/postgres.env");
    for (std::string line; std::getline(in, line);) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) s[line.substr(0, eq)] = line.substr(eq + 1);
    }
    if (s["FENNICK_PG_PORT"].empty()) return std::string();
    std::string text = "Provider=PostgreSQL;Host=" + s["FENNICK_PG_HOST"] +
                       ";Port=" + s["FENNICK_PG_PORT"] + ";Database=" + s["FENNICK_PG_DATABASE"] +
                       ";User ID=" + s["FENNICK_PG_USER"];
    fennick::Connection c;
    c.Open(text);
    c.Execute("CREATE SCHEMA " + kSchema);
    c.Execute(SchemaSql(kSchema + "."));
    return text;
  }();
  return cs;
}

// One page's part: open, the first query, close.
void OpenAndQuery(benchmark::State& state, const std::string& cs, const std::string& query,
                  bool reuse) {
  if (cs.empty()) {
    state.SkipWithError("no PostgreSQL test server");
    return;
  }
  fennick::data::SetReuseLimits({reuse ? size_t{8} : size_t{0}, std::chrono::seconds(60)});
  for (auto _ : state) {
    fennick::Connection c;
    c.Open(cs);
    fennick::Recordset rs = c.Execute(query);
    benchmark::DoNotOptimize(rs.RecordCount());
  }
}

void SqliteNewLink(benchmark::State& state) {
  OpenAndQuery(state, SqliteString(), PageQuery(""), false);
}
void SqliteReusedLink(benchmark::State& state) {
  OpenAndQuery(state, SqliteString(), PageQuery(""), true);
}
void PostgresNewLink(benchmark::State& state) {
  OpenAndQuery(state, PostgresString(), PageQuery(kSchema + "."), false);
}
void PostgresReusedLink(benchmark::State& state) {
  OpenAndQuery(state, PostgresString(), PageQuery(kSchema + "."), true);
}

BENCHMARK(SqliteNewLink)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(SqliteReusedLink)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(PostgresNewLink)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(PostgresReusedLink)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);

void PrintRatio(const char* engine, const fennick_bench::TimeKeeper::Best& fresh,
                const fennick_bench::TimeKeeper::Best& reused) {
  if (fresh.real_ms <= 0 || reused.real_ms <= 0) return;
  std::printf("  %-10s new link %8.1f us, reused %7.1f us: %.1fx (CPU %.1fx)\n", engine,
              fresh.real_ms, reused.real_ms, fresh.real_ms / reused.real_ms,
              fresh.cpu_ms / reused.cpu_ms);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  fennick_bench::TimeKeeper keeper;
  benchmark::RunSpecifiedBenchmarks(&keeper);
  std::printf("\nOpen + first query + close, fastest of %d runs:\n", kRepetitions);
  PrintRatio("SQLite", keeper.Get("SqliteNewLink"), keeper.Get("SqliteReusedLink"));
  PrintRatio("PostgreSQL", keeper.Get("PostgresNewLink"), keeper.Get("PostgresReusedLink"));
  std::filesystem::remove(SqliteString().substr(SqliteString().find("Data Source=") + 12));
  if (!PostgresString().empty()) {
    fennick::Connection c;
    c.Open(PostgresString());
    c.Execute("DROP SCHEMA " + kSchema + " CASCADE");
  }
  benchmark::Shutdown();
  return 0;
}
