// Paging in the database: Display of a 10-row page with three formatted
// columns (number, currency, date) over a Sales result of 100,000 and
// 1,000,000 rows, sorted by an indexed column (Amount) and by one without
// an index (Price), beside the time the sqlite3 shell needs to write the
// whole sorted result as an HTML table (the floor of reading every row),
// in one run. The summary gives, per row count and sort: the first page
// and a page in the middle of the result read from the database, the same
// first page with every row read (DatabasePaging off), the floor, the
// ratio of the first page to the floor, and the peak resident memory one
// paged Display adds (measured in a fresh process). With a PostgreSQL test
// server (.services/postgres.env in the current folder, as `make test`
// starts it, or FENNICK_BENCH_POSTGRES holding a connection string) the
// same figures follow for PostgreSQL, beside `psql -H` writing the whole
// result. The PostgreSQL table has a primary key (Id): its figures also
// show the page without a sort (ordered by that key as the tie-break) and
// sorted by the key, and a last block sets the unsorted first and last
// page beside the key-sorted first page: median of 15 in this process, and
// how much the resident size grows over 30 more requests (flat memory:
// nothing of the result is kept).
//
// Usage: bench_paging [--quick | --postgres]   (needs sqlite3 on PATH;
//        --quick: 100,000 rows only; --postgres: the PostgreSQL figures only)
//        bench_paging --peak-rss CONNECTION ORDER ROWS_START   (one figure,
//        in kB; the summary runs this in a fresh process)
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench_support.h"
#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/page.h"
#include "platform/crypto/seal.h"

namespace {

using fennick_bench::BestOf;
using fennick_bench::kSalesSelect;
using fennick_bench::SalesDbs;

// The SQLite Sales database of `rows` rows with an index on Amount.
std::string IndexedSqlite(int64_t rows) {
  const std::string& path = SalesDbs().PathFor(rows);
  fennick::Connection c;
  c.Open("Provider=SQLite;Data Source=" + path);
  c.Execute("CREATE INDEX IF NOT EXISTS sales_amount ON Sales(Amount)");
  c.Execute("ANALYZE");
  return "Provider=SQLite;Data Source=" + path + ";Mode=Read";
}

// The connection of a connection string, opened once: pages are timed
// without the time a new connection takes (for PostgreSQL it dwarfs a
// page), as a site with pooled connections sees them.
std::shared_ptr<fennick::Connection> Opened(const std::string& connection_string) {
  static std::map<std::string, std::shared_ptr<fennick::Connection>> opened;
  auto& c = opened[connection_string];
  if (!c) {
    c = std::make_shared<fennick::Connection>();
    c->Open(connection_string);
  }
  return c;
}

// One page request showing the Sales grid over `connection` ordered by
// `order`, from record `start`; returns the page's output size. Exits when
// the page does not show the row number `start`.
size_t ShowSales(const std::string& connection, const std::string& order, int64_t start,
                 bool database_paging) {
  static fennick::Application app;
  static auto store = fennick::MakeMemorySessionStore();
  fennick::Request request;
  if (start > 1) {
    request.MutableForm().Add("start", std::to_string(start));
    request.MutableForm().Add("pagesize", "10");
  }
  return fennick_bench::ShowPage(
      std::move(request), "/sales.asp", app, store,
      [&] {
        fennick::DataGrid grid;
        grid.Connection(Opened(connection));
        grid.Command(kSalesSelect);
        grid.PageSize(10);
        grid.DefaultSortOrder(order);
        grid.DatabasePaging(database_paging);
        grid.NumberColumn("Amount", 2);
        grid.CurrencyColumn("Price", 2);
        grid.DateColumn("Day", "dd mmm yyyy");
        grid.Display();
      },
      "bench_paging", "<td nowrap width=1>" + std::to_string(start) + "</td>");
}

// Peak resident memory (kB) one Display adds, measured in this process
// after a first page has built the caches.
int64_t DisplayPeakKb(const std::string& connection, const std::string& order, int64_t start) {
  ShowSales(connection, order, 1, true);
  if (!fennick_bench::ResetPeakRss()) return -1;
  const int64_t before = fennick_bench::StatusKb("VmRSS");
  ShowSales(connection, order, start, true);
  return fennick_bench::StatusKb("VmHWM") - before;
}

int64_t DisplayPeakKbFresh(const std::string& connection, const std::string& order, int64_t start) {
  const std::string command = "/proc/" + std::to_string(getpid()) + "/exe --peak-rss '" +
                              connection + "' '" + order + "' " + std::to_string(start);
  FILE* child = popen(command.c_str(), "r");
  if (!child) return -1;
  long long kb = -1;
  if (std::fscanf(child, "%lld", &kb) != 1) kb = -1;
  pclose(child);
  return kb;
}

// Seconds of a shell command writing to /dev/null; exits when it fails.
double CommandSeconds(const std::string& command) {
  const auto start = fennick_bench::Clock::now();
  if (std::system((command + " > /dev/null").c_str()) != 0) {
    std::fprintf(stderr, "bench_paging: failed: %s\n", command.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(fennick_bench::Clock::now() - start).count();
}

void PrintHeader(const char* engine, const char* floor, double floor_start) {
  std::printf(
      "\n%s: 10-row page (number/currency/date columns), best of 3 (all rows: 1); "
      "the floor's own start (SELECT 1) takes %.1f ms of it\n",
      engine, floor_start * 1e3);
  std::printf("%9s %-7s %9s %10s %11s %11s %8s %13s %13s\n", "rows", "order", "first ms",
              "middle ms", "all-rows ms", floor, "ratio", "peak first kB", "peak middle kB");
}

// One line of figures; the peaks are those of the first and the middle
// page, each in a fresh process.
void PrintRow(const std::string& connection, int64_t rows, const std::string& order, double first,
              double middle, double all_rows, double floor) {
  const int64_t peak_first = DisplayPeakKbFresh(connection, order, 1);
  const int64_t peak_middle = DisplayPeakKbFresh(connection, order, rows / 2 + 1);
  std::printf("%9lld %-7s %9.2f %10.2f %11.1f %11.1f %8.4f %13lld %13lld\n",
              static_cast<long long>(rows), order.empty() ? "(none)" : order.c_str(), first * 1e3,
              middle * 1e3, all_rows * 1e3, floor * 1e3, first / floor,
              static_cast<long long>(peak_first), static_cast<long long>(peak_middle));
  std::fflush(stdout);
}

// The median wall time, in seconds, of `runs` calls of `run`.
template <typename F>
double MedianOf(int runs, F&& run) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = fennick_bench::Clock::now();
    run();
    times.push_back(std::chrono::duration<double>(fennick_bench::Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// The unsorted first and last page beside the first page sorted by the
// key: median ms, and the resident size (kB) 30 more requests of each add
// in this process.
void UnsortedBesideKey(const std::string& connection, int64_t rows) {
  const int64_t last = rows - 9;
  std::printf("  %lld rows: %-22s %9s %14s\n", static_cast<long long>(rows), "page", "median ms",
              "RSS +30 req kB");
  const std::pair<const char*, std::pair<std::string, int64_t>> pages[] = {
      {"first, sorted by Id", {"Id", 1}},
      {"first, no sort", {"", 1}},
      {"last, no sort", {"", last}},
      {"last, sorted by Id", {"Id", last}},
  };
  for (const auto& [label, page] : pages) {
    const auto& [order, start] = page;
    const double median = MedianOf(15, [&] { ShowSales(connection, order, start, true); });
    const int64_t before = fennick_bench::StatusKb("VmRSS");
    for (int i = 0; i < 30; ++i) ShowSales(connection, order, start, true);
    const int64_t growth = fennick_bench::StatusKb("VmRSS") - before;
    std::printf("  %lld rows: %-22s %9.2f %14lld\n", static_cast<long long>(rows), label,
                median * 1e3, static_cast<long long>(growth));
    std::fflush(stdout);
  }
}

void SqliteFigures(bool quick) {
  bool header = false;
  for (int64_t rows : {int64_t{100000}, int64_t{1000000}}) {
    if (quick && rows > 100000) break;
    const std::string connection = IndexedSqlite(rows);
    const std::string& path = SalesDbs().PathFor(rows);
    if (!header) {
      header = true;
      PrintHeader("SQLite", "sqlite3 ms", BestOf(3, [&] {
                    fennick_bench::Sqlite3HtmlSeconds("bench_paging", path, "SELECT 1");
                  }));
    }
    for (const std::string order : {"Amount", "Price"}) {
      ShowSales(connection, order, 1, true);  // warm the caches and the file
      const double first = BestOf(3, [&] { ShowSales(connection, order, 1, true); });
      const double middle = BestOf(3, [&] { ShowSales(connection, order, rows / 2 + 1, true); });
      const double all_rows = BestOf(1, [&] { ShowSales(connection, order, 1, false); });
      const double floor = BestOf(3, [&] {
        fennick_bench::Sqlite3HtmlSeconds("bench_paging", path,
                                          std::string(kSalesSelect) + " ORDER BY " + order);
      });
      PrintRow(connection, rows, order, first, middle, all_rows, floor);
    }
  }
}

// The PostgreSQL test server's connection string, or "".
std::string PostgresConnection() {
  if (const char* given = std::getenv("FENNICK_BENCH_POSTGRES")) return given;
  std::map<std::string, std::string> s;
  std::ifstream in(".services/postgres.env");
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) s[line.substr(0, eq)] = line.substr(eq + 1);
  }
  if (s["FENNICK_PG_PORT"].empty()) return "";
  return "Provider=PostgreSQL;Host=" + s["FENNICK_PG_HOST"] + ";Port=" + s["FENNICK_PG_PORT"] +
         ";Database=" + s["FENNICK_PG_DATABASE"] + ";User ID=" + s["FENNICK_PG_USER"];
}

void PostgresFigures(bool quick) {
  const std::string base = PostgresConnection();
  if (base.empty()) {
    std::printf("\nPostgreSQL: no test server (.services/postgres.env); no figures\n");
    return;
  }
  std::map<std::string, std::string> s;
  std::ifstream in(".services/postgres.env");
  for (std::string line; std::getline(in, line);) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) s[line.substr(0, eq)] = line.substr(eq + 1);
  }
  const std::string psql_base = "psql -X -q -H -h " + s["FENNICK_PG_HOST"] + " -p " +
                                s["FENNICK_PG_PORT"] + " -U " + s["FENNICK_PG_USER"] + " -d ";
  PrintHeader("PostgreSQL", "psql -H ms", BestOf(3, [&] {
                CommandSeconds(psql_base + s["FENNICK_PG_DATABASE"] + " -c \"SELECT 1\"");
              }));
  for (int64_t rows : {int64_t{100000}, int64_t{1000000}}) {
    if (quick && rows > 100000) break;
    // A database of its own per row count, dropped at the end.
    const std::string db = "fnk_bench_" + std::to_string(getpid()) + "_" + std::to_string(rows);
    fennick::Connection admin;
    admin.Open(base);
    admin.Execute("CREATE DATABASE " + db);
    std::string connection = base;
    connection.replace(
        connection.find("Database=") + 9,
        connection.find(';', connection.find("Database=")) - connection.find("Database=") - 9, db);
    {
      fennick::Connection c;
      c.Open(connection);
      c.Execute(
          "CREATE TABLE Sales (Id INTEGER, Name VARCHAR(40), Amount DOUBLE PRECISION, "
          "Price NUMERIC(12,2), Day DATE)");
      c.Execute(
          "INSERT INTO Sales SELECT i, 'Customer ' || (i % 997), i * 1.25, "
          "(i % 5000) * 0.37, DATE '2020-01-01' + (i % 2000) FROM generate_series(1, " +
          std::to_string(rows) + ") i");
      c.Execute("ALTER TABLE Sales ADD PRIMARY KEY (Id)");
      c.Execute("CREATE INDEX sales_amount ON Sales(Amount)");
      c.Execute("ANALYZE Sales");
    }
    const std::string psql = psql_base + db;
    for (const std::string order : {"", "Id", "Amount", "Price"}) {
      ShowSales(connection, order, 1, true);
      const double first = BestOf(3, [&] { ShowSales(connection, order, 1, true); });
      const double middle = BestOf(3, [&] { ShowSales(connection, order, rows / 2 + 1, true); });
      const double all_rows = BestOf(1, [&] { ShowSales(connection, order, 1, false); });
      const double floor = BestOf(3, [&] {
        CommandSeconds(psql + " -c \"" + std::string(kSalesSelect) +
                       (order.empty() ? "" : " ORDER BY " + order) + "\"");
      });
      PrintRow(connection, rows, order, first, middle, all_rows, floor);
    }
    UnsortedBesideKey(connection, rows);
    Opened(connection)->Close();
    // Idle pooled links of this process may still be connected to it.
    admin.Execute("DROP DATABASE " + db + " WITH (FORCE)");
  }
}

}  // namespace

int main(int argc, char** argv) {
  fennick::InstallSealer(fennick::Sealer::KeyFromSecret("paging benchmark"));
  if (argc == 5 && std::string(argv[1]) == "--peak-rss") {
    std::printf("%lld\n",
                static_cast<long long>(DisplayPeakKb(argv[2], argv[3], std::atoll(argv[4]))));
    return 0;
  }
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const bool postgres_only = argc > 1 && std::strcmp(argv[1], "--postgres") == 0;
  if (!postgres_only) SqliteFigures(quick);
  PostgresFigures(quick);
  return 0;
}
