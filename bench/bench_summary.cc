// A report page with summaries over a large result: Display of a 10-row
// page whose grid has the summary box (all seven aggregates over the whole
// result, each one query over the grid's statement), the Average and Total
// footer rows and the row cells, over a SQLite result of 10,000 and 100,000
// rows. Beside it, in the same run, the plain grid over the same rows and
// the time the sqlite3 shell needs to write the full result as an HTML
// table (`sqlite3 -html db "SELECT ..." > /dev/null`), the floor for
// fetching and writing those rows. The summary prints the ratios to that
// floor.
//
// Usage: bench_summary [Google Benchmark flags]   (needs sqlite3 on PATH)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/grid_report.h"
#include "fennick/page.h"
#include "platform/crypto/seal.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr char kSelect[] = "SELECT Id, Name, Amount, Price, Day FROM Sales";
constexpr char kSummary[] =
    "Amount__SUM__Total,Amount__AVG__Average,Amount__MIN__Smallest,Amount__MAX__Largest,"
    "Id__COUNT__Rows,Price__STDEV__Deviation,Price__VAR__Variance";

// One temporary database per row count, removed at exit.
class Databases {
 public:
  Databases() {
    std::string templ = (fs::temp_directory_path() / "fennick-bench-XXXXXX").string();
    folder_ = mkdtemp(templ.data());
  }
  ~Databases() {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  const std::string& PathFor(int64_t rows) {
    auto found = paths_.find(rows);
    if (found != paths_.end()) return found->second;
    const std::string path = (folder_ / ("sales" + std::to_string(rows) + ".db")).string();
    fennick::Connection c;
    c.Open("Provider=SQLite;Data Source=" + path + ";Mode=ReadWriteCreate");
    c.Execute(
        "CREATE TABLE Sales (Id INTEGER, Name VARCHAR(40), Amount DOUBLE PRECISION, "
        "Price NUMERIC(12,2), Day DATE)");
    c.Execute(
        "INSERT INTO Sales WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
        "WHERE i < " +
        std::to_string(rows) +
        ") "
        "SELECT i, 'Customer ' || (i % 997), i * 1.25, (i % 5000) * 0.37, "
        "date('2020-01-01', '+' || (i % 2000) || ' days') FROM n");
    return paths_.emplace(rows, path).first->second;
  }

 private:
  fs::path folder_;
  std::map<int64_t, std::string> paths_;
};

Databases& Dbs() {
  static Databases databases;
  return databases;
}

// One page request that shows the grid, with or without the summaries;
// returns the page's output size.
size_t ShowPage(const std::string& db_path, bool summaries, fennick::Application& app,
                const std::shared_ptr<fennick::SessionStore>& store) {
  fennick::Request request;
  request.SetVariable("URL", "/sales.asp");
  fennick::PageContext page(std::move(request), fennick::Session(store, "s"), app,
                            fennick::Server("/site", "/sales.asp", nullptr, "en_US"));
  fennick::PageBinding binding(page);
  {
    fennick::DataGrid grid;
    grid.CreateConnection("Provider=SQLite;Data Source=" + db_path + ";Mode=Read");
    grid.Command(kSelect);
    grid.PageSize(10);
    grid.NumberColumn("Amount", 2);
    grid.CurrencyColumn("Price", 2);
    grid.DateColumn("Day", "dd mmm yyyy");
    if (summaries) {
      fennick::SetSummarySpecification(grid, kSummary);
      fennick::SetColumnTotals(grid, true);
      fennick::SetColumnAverages(grid, true);
      fennick::SetRowTotals(grid, true);
      fennick::SetRowAverages(grid, true);
    }
    grid.Display();
  }
  return page.response().Body().size();
}

double Sqlite3Seconds(const std::string& db_path) {
  const std::string command = "sqlite3 -html '" + db_path + "' \"" + kSelect + "\" > /dev/null";
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "bench_summary: sqlite3 failed\n");
    std::exit(1);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_SummaryGridDisplay(benchmark::State& state) {
  const std::string& path = Dbs().PathFor(state.range(0));
  fennick::Application app;
  auto store = fennick::MakeMemorySessionStore();
  size_t bytes = 0;
  for (auto _ : state) bytes = ShowPage(path, true, app, store);
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_SummaryGridDisplay)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

template <typename F>
double BestOf(int runs, F&& run) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    run();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

void Summary() {
  fennick::Application app;
  auto store = fennick::MakeMemorySessionStore();
  std::printf(
      "\nGrid page with summary box (7 aggregates), footer rows and row cells beside "
      "the plain grid and sqlite3 -html, best of 5\n");
  std::printf("%8s %12s %12s %12s %9s %9s\n", "rows", "summary ms", "plain ms", "sqlite3 ms",
              "summ/flr", "plain/flr");
  for (int64_t rows : {10000, 100000}) {
    const std::string& path = Dbs().PathFor(rows);
    ShowPage(path, true, app, store);  // warm the caches and the file
    const double summary = BestOf(5, [&] { ShowPage(path, true, app, store); });
    const double plain = BestOf(5, [&] { ShowPage(path, false, app, store); });
    const double floor = BestOf(5, [&] { Sqlite3Seconds(path); });
    std::printf("%8lld %12.2f %12.2f %12.2f %9.2f %9.2f\n", static_cast<long long>(rows),
                summary * 1e3, plain * 1e3, floor * 1e3, summary / floor, plain / floor);
  }
}

}  // namespace

int main(int argc, char** argv) {
  fennick::InstallSealer(fennick::Sealer::KeyFromSecret("summary benchmark"));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Summary();
  return 0;
}
