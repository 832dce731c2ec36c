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

#include <cstdio>
#include <memory>
#include <string>

#include "bench_support.h"
#include "fennick/data_grid.h"
#include "fennick/grid_report.h"
#include "fennick/page.h"

namespace {

using fennick_bench::BestOf;
using fennick_bench::SalesDbs;

constexpr char kSummary[] =
    "Amount__SUM__Total,Amount__AVG__Average,Amount__MIN__Smallest,Amount__MAX__Largest,"
    "Id__COUNT__Rows,Price__STDEV__Deviation,Price__VAR__Variance";

// One page request that shows the grid, with or without the summaries;
// returns the page's output size.
size_t ShowPage(const std::string& db_path, bool summaries, fennick::Application& app,
                const std::shared_ptr<fennick::SessionStore>& store) {
  return fennick_bench::ShowPage(fennick::Request(), "/sales.asp", app, store, [&] {
    fennick::DataGrid grid;
    fennick_bench::SetUpSalesGrid(grid, db_path);
    if (summaries) {
      fennick::SetSummarySpecification(grid, kSummary);
      fennick::SetColumnTotals(grid, true);
      fennick::SetColumnAverages(grid, true);
      fennick::SetRowTotals(grid, true);
      fennick::SetRowAverages(grid, true);
    }
    grid.Display();
  });
}

double Sqlite3Seconds(const std::string& db_path) {
  return fennick_bench::Sqlite3HtmlSeconds("bench_summary", db_path,
                                           fennick_bench::kSalesSelect);
}

void BM_SummaryGridDisplay(benchmark::State& state) {
  const std::string& path = SalesDbs().PathFor(state.range(0));
  fennick::Application app;
  auto store = fennick::MakeMemorySessionStore();
  size_t bytes = 0;
  for (auto _ : state) bytes = ShowPage(path, true, app, store);
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_SummaryGridDisplay)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void Summary() {
  fennick::Application app;
  auto store = fennick::MakeMemorySessionStore();
  std::printf(
      "\nGrid page with summary box (7 aggregates), footer rows and row cells beside "
      "the plain grid and sqlite3 -html, best of 5\n");
  std::printf("%8s %12s %12s %12s %9s %9s\n", "rows", "summary ms", "plain ms", "sqlite3 ms",
              "summ/flr", "plain/flr");
  for (int64_t rows : {10000, 100000}) {
    const std::string& path = SalesDbs().PathFor(rows);
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
  return fennick_bench::RunBenchmarks(argc, argv, "summary benchmark", Summary);
}
