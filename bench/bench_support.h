// What the page benchmarks share: a temporary folder for their SQLite
// databases, the Sales table of a given row count, one page request around
// a grid's Display, the time the sqlite3 shell needs to write a result as an
// HTML table (the floor for fetching and writing those rows), best-of
// timing, the process's resident memory figures and main's run of the
// cases. Header-only, since every bench_*.cc is its own executable.
#ifndef FENNICK_BENCH_BENCH_SUPPORT_H_
#define FENNICK_BENCH_BENCH_SUPPORT_H_

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/page.h"
#include "platform/crypto/seal.h"

namespace fennick_bench {

using Clock = std::chrono::steady_clock;

// The statement the Sales benchmarks show.
constexpr char kSalesSelect[] = "SELECT Id, Name, Amount, Price, Day FROM Sales";

// A fresh folder below the system's temporary one, removed with everything
// in it when this goes.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix) {
    std::string templ =
        (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    path_ = mkdtemp(templ.data());
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The file `name` inside the folder.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// One temporary Sales database per row count (Id, Name, Amount, Price,
// Day), removed at exit.
class SalesDatabases {
 public:
  // The database file holding `rows` rows, built on first use.
  const std::string& PathFor(int64_t rows) {
    auto found = paths_.find(rows);
    if (found != paths_.end()) return found->second;
    const std::string path = folder_.File("sales" + std::to_string(rows) + ".db");
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
  TempFolder folder_{"fennick-bench"};
  std::map<int64_t, std::string> paths_;
};

// The process's Sales databases.
inline SalesDatabases& SalesDbs() {
  static SalesDatabases databases;
  return databases;
}

// Points `grid` at `kSalesSelect` over `db_path` with a 10-row page and the
// number, currency and date columns.
inline void SetUpSalesGrid(fennick::DataGrid& grid, const std::string& db_path) {
  grid.CreateConnection("Provider=SQLite;Data Source=" + db_path + ";Mode=Read");
  grid.Command(kSalesSelect);
  grid.PageSize(10);
  grid.NumberColumn("Amount", 2);
  grid.CurrencyColumn("Price", 2);
  grid.DateColumn("Day", "dd mmm yyyy");
}

// Runs `draw` (which builds and displays a grid) inside one page request
// for `request` at `url`, and returns the page's output size. When
// `must_show` is not empty and the page lacks it, reports the failure as
// `program` and exits: a page that went wrong would time the wrong thing.
template <typename Draw>
size_t ShowPage(fennick::Request request, const std::string& url, fennick::Application& app,
                const std::shared_ptr<fennick::SessionStore>& store, Draw&& draw,
                const char* program = "", const std::string& must_show = "") {
  request.SetVariable("URL", url);
  fennick::PageContext page(std::move(request), fennick::Session(store, "s"), app,
                            fennick::Server("/site", url, nullptr, "en_US"));
  fennick::PageBinding binding(page);
  draw();
  const std::string& body = page.response().Body();
  if (!must_show.empty() && body.find(must_show) == std::string::npos) {
    std::fprintf(stderr, "%s: the page does not show %s\n", program, must_show.c_str());
    std::exit(1);
  }
  return body.size();
}

// Wall time of the sqlite3 shell writing `select`'s whole result over
// `db_path` as HTML; exits, naming `program`, when the shell fails.
inline double Sqlite3HtmlSeconds(const char* program, const std::string& db_path,
                                 const std::string& select) {
  const std::string command = "sqlite3 -html '" + db_path + "' \"" + select + "\" > /dev/null";
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "%s: sqlite3 failed\n", program);
    std::exit(1);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The shortest wall time, in seconds, of `runs` calls of `run`.
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

// A kB figure from /proc/self/status ("VmRSS", "VmHWM"); -1 when absent.
inline int64_t StatusKb(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key + ":", 0) == 0) return std::atoll(line.c_str() + key.size() + 1);
  }
  return -1;
}

// Resets the peak resident size to the current one; false when the
// system does not allow it.
inline bool ResetPeakRss() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

// A benchmark program's main: keys the sealer from `secret`, runs the
// Google Benchmark cases the flags select, then prints `summary`. 1 on a
// flag it does not know.
inline int RunBenchmarks(int argc, char** argv, const char* secret, void (*summary)()) {
  fennick::InstallSealer(fennick::Sealer::KeyFromSecret(secret));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  summary();
  return 0;
}

}  // namespace fennick_bench

#endif  // FENNICK_BENCH_BENCH_SUPPORT_H_
