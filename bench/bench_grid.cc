// The grid's page over a large result: Display of a 10-row page with three
// formatted columns (number, currency, date) over a SQLite result of 1,000,
// 10,000 and 100,000 rows, beside the time the sqlite3 shell needs to write
// the same full result as an HTML table (`sqlite3 -html db "SELECT ..." >
// /dev/null`), the floor for fetching and writing those rows. After the
// Google Benchmark runs, a summary gives the ratio to that floor and the
// peak resident memory Display added beside the result's raw size.
//
// Usage: bench_grid [Google Benchmark flags]   (needs sqlite3 on PATH)
//        bench_grid --peak-rss WARM_DB DB   (the memory figure alone, in kB;
//        the summary runs this in a fresh process)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench_support.h"
#include "fennick/data_grid.h"
#include "fennick/page.h"
#include "platform/crypto/seal.h"

namespace {

using fennick_bench::BestOf;
using fennick_bench::kSalesSelect;
using fennick_bench::SalesDbs;

// One page request that shows the grid; returns the page's output size.
size_t ShowPage(const std::string& db_path, fennick::Application& app,
                const std::shared_ptr<fennick::SessionStore>& store) {
  return fennick_bench::ShowPage(fennick::Request(), "/sales.asp", app, store, [&] {
    fennick::DataGrid grid;
    fennick_bench::SetUpSalesGrid(grid, db_path);
    grid.Display();
  });
}

// Wall time of the sqlite3 shell writing the whole result as HTML.
double Sqlite3Seconds(const std::string& db_path) {
  return fennick_bench::Sqlite3HtmlSeconds("bench_grid", db_path, kSalesSelect);
}

void BM_GridDisplay(benchmark::State& state) {
  const std::string& path = SalesDbs().PathFor(state.range(0));
  fennick::Application app;
  auto store = fennick::MakeMemorySessionStore();
  size_t bytes = 0;
  for (auto _ : state) bytes = ShowPage(path, app, store);
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_GridDisplay)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_Sqlite3Html(benchmark::State& state) {
  const std::string& path = SalesDbs().PathFor(state.range(0));
  for (auto _ : state) {
    state.SetIterationTime(Sqlite3Seconds(path));
  }
}
BENCHMARK(BM_Sqlite3Html)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Peak resident memory (kB) that one Display over `db_path` adds, measured
// in this process; the caller runs it in a fresh process, where no heap
// freed by earlier runs hides the growth. A first page over `warm_path`
// builds the formatters and caches, which stay for the process.
int64_t DisplayPeakKb(const std::string& warm_path, const std::string& db_path) {
  fennick::Application app;
  auto store = fennick::MakeMemorySessionStore();
  ShowPage(warm_path, app, store);
  if (!fennick_bench::ResetPeakRss()) return -1;
  const int64_t before = fennick_bench::StatusKb("VmRSS");
  ShowPage(db_path, app, store);
  return fennick_bench::StatusKb("VmHWM") - before;
}

// DisplayPeakKb in a new process of this program.
int64_t DisplayPeakKbFresh(const std::string& warm_path, const std::string& db_path) {
  const std::string command =
      "/proc/" + std::to_string(getpid()) + "/exe --peak-rss '" + warm_path + "' '" + db_path + "'";
  FILE* child = popen(command.c_str(), "r");
  if (!child) return -1;
  long long kb = -1;
  if (std::fscanf(child, "%lld", &kb) != 1) kb = -1;
  pclose(child);
  return kb;
}

void Summary() {
  fennick::Application app;
  auto store = fennick::MakeMemorySessionStore();
  std::printf("\nGrid page (10 rows, number/currency/date columns) beside sqlite3 -html, "
              "best of 5\n");
  std::printf("%8s %12s %12s %7s %14s %14s %7s\n", "rows", "Display ms", "sqlite3 ms", "ratio",
              "peak RSS +kB", "raw result kB", "mem x");
  for (int64_t rows : {1000, 10000, 100000}) {
    const std::string& path = SalesDbs().PathFor(rows);
    ShowPage(path, app, store);  // warm the caches and the file
    const double display = BestOf(5, [&] { ShowPage(path, app, store); });
    const double floor = BestOf(5, [&] { Sqlite3Seconds(path); });
    const double raw_kb = static_cast<double>(SalesDbs().RawSize(rows)) / 1024.0;
    const int64_t peak_kb = DisplayPeakKbFresh(SalesDbs().PathFor(10), path);
    std::printf("%8lld %12.2f %12.2f %7.2f %14lld %14.0f %7.2f\n", static_cast<long long>(rows),
                display * 1e3, floor * 1e3, display / floor, static_cast<long long>(peak_kb),
                raw_kb, peak_kb >= 0 ? static_cast<double>(peak_kb) / raw_kb : -1.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--peak-rss") {
    fennick::InstallSealer(fennick::Sealer::KeyFromSecret("grid benchmark"));
    std::printf("%lld\n", static_cast<long long>(DisplayPeakKb(argv[2], argv[3])));
    return 0;
  }
  return fennick_bench::RunBenchmarks(argc, argv, "grid benchmark", Summary);
}
