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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/page.h"
#include "platform/crypto/seal.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr char kSelect[] = "SELECT Id, Name, Amount, Price, Day FROM Sales";

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

  // The database file holding `rows` rows, built on first use.
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
        "WHERE i < " + std::to_string(rows) + ") "
        "SELECT i, 'Customer ' || (i % 997), i * 1.25, (i % 5000) * 0.37, "
        "date('2020-01-01', '+' || (i % 2000) || ' days') FROM n");
    return paths_.emplace(rows, path).first->second;
  }

  // Bytes of the result's values as stored: 8 per number, the text's
  // length for texts.
  int64_t RawSize(int64_t rows) {
    fennick::Connection c;
    c.Open("Provider=SQLite;Data Source=" + PathFor(rows) + ";Mode=Read");
    fennick::Recordset rs =
        c.Execute("SELECT SUM(24 + LENGTH(Name) + LENGTH(Day)) FROM Sales");
    return rs.Fields(0).Value().AsInt64();
  }

 private:
  fs::path folder_;
  std::map<int64_t, std::string> paths_;
};

Databases& Dbs() {
  static Databases databases;
  return databases;
}

// One page request that shows the grid; returns the page's output size.
size_t ShowPage(const std::string& db_path, fennick::Application& app,
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
    grid.Display();
  }
  return page.response().Body().size();
}

// Wall time of the sqlite3 shell writing the whole result as HTML.
double Sqlite3Seconds(const std::string& db_path) {
  const std::string command = "sqlite3 -html '" + db_path + "' \"" + kSelect + "\" > /dev/null";
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "bench_grid: sqlite3 failed\n");
    std::exit(1);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_GridDisplay(benchmark::State& state) {
  const std::string& path = Dbs().PathFor(state.range(0));
  fennick::Application app;
  auto store = fennick::MakeMemorySessionStore();
  size_t bytes = 0;
  for (auto _ : state) bytes = ShowPage(path, app, store);
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_GridDisplay)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_Sqlite3Html(benchmark::State& state) {
  const std::string& path = Dbs().PathFor(state.range(0));
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

// A kB figure from /proc/self/status ("VmRSS", "VmHWM").
int64_t StatusKb(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key + ":", 0) == 0) return std::atoll(line.c_str() + key.size() + 1);
  }
  return -1;
}

// Resets the peak resident size to the current one.
bool ResetPeakRss() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

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

// Peak resident memory (kB) that one Display over `db_path` adds, measured
// in this process; the caller runs it in a fresh process, where no heap
// freed by earlier runs hides the growth. A first page over `warm_path`
// builds the formatters and caches, which stay for the process.
int64_t DisplayPeakKb(const std::string& warm_path, const std::string& db_path) {
  fennick::Application app;
  auto store = fennick::MakeMemorySessionStore();
  ShowPage(warm_path, app, store);
  if (!ResetPeakRss()) return -1;
  const int64_t before = StatusKb("VmRSS");
  ShowPage(db_path, app, store);
  return StatusKb("VmHWM") - before;
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
    const std::string& path = Dbs().PathFor(rows);
    ShowPage(path, app, store);  // warm the caches and the file
    const double display = BestOf(5, [&] { ShowPage(path, app, store); });
    const double floor = BestOf(5, [&] { Sqlite3Seconds(path); });
    const double raw_kb = static_cast<double>(Dbs().RawSize(rows)) / 1024.0;
    const int64_t peak_kb = DisplayPeakKbFresh(Dbs().PathFor(10), path);
    std::printf("%8lld %12.2f %12.2f %7.2f %14lld %14.0f %7.2f\n", static_cast<long long>(rows),
                display * 1e3, floor * 1e3, display / floor, static_cast<long long>(peak_kb),
                raw_kb, peak_kb >= 0 ? static_cast<double>(peak_kb) / raw_kb : -1.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  fennick::InstallSealer(fennick::Sealer::KeyFromSecret("grid benchmark"));
  if (argc == 4 && std::string(argv[1]) == "--peak-rss") {
    std::printf("%lld\n", static_cast<long long>(DisplayPeakKb(argv[2], argv[3])));
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Summary();
  return 0;
}
