// The master-details page over a large result: Display of one page of 10
// masters over 100,000 detail rows (10,000 per master) from SQLite, with
// one master open (the first request) and with every master open ("Show
// all Details", which writes all 100,000 detail rows), beside the time the
// sqlite3 shell needs to write the same ordered result as an HTML table
// (`sqlite3 -html db "SELECT ... ORDER BY ..." > /dev/null`), the floor for
// fetching and writing those rows. After the Google Benchmark runs, a
// summary gives the ratios to that floor.
//
// Usage: bench_master_details [Google Benchmark flags]   (needs sqlite3 on PATH)
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench_support.h"
#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/page.h"
#include "frame/argument_codec.h"

namespace {

using fennick_bench::BestOf;

constexpr int kMasters = 10;
constexpr int kDetails = 100000;
constexpr char kSelect[] =
    "SELECT Masters.Name, Masters.City, Details.Id, Details.Amount, Details.Day "
    "FROM Masters JOIN Details ON Details.MasterId = Masters.Id";
constexpr char kOrder[] = "Masters.Name,Details.Id";

// The benchmark's database, removed at exit.
class Database {
 public:
  Database() : path_(folder_.File("masters.db")) {
    fennick::Connection c;
    c.Open("Provider=SQLite;Data Source=" + path_ + ";Mode=ReadWriteCreate");
    c.Execute("CREATE TABLE Masters (Id INTEGER, Name VARCHAR(40), City VARCHAR(20))");
    c.Execute("CREATE TABLE Details (Id INTEGER, MasterId INTEGER, Amount DOUBLE PRECISION, "
              "Day DATE)");
    c.Execute(
        "INSERT INTO Masters WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
        "WHERE i < " + std::to_string(kMasters) + ") "
        "SELECT i, 'Customer ' || printf('%02d', i), 'City ' || i FROM n");
    c.Execute(
        "INSERT INTO Details WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
        "WHERE i < " + std::to_string(kDetails) + ") "
        "SELECT i, 1 + (i % " + std::to_string(kMasters) + "), i * 1.25, "
        "date('2020-01-01', '+' || (i % 2000) || ' days') FROM n");
  }
  const std::string& path() const { return path_; }

 private:
  fennick_bench::TempFolder folder_{"fennick-bench-md"};
  std::string path_;
};

Database& Db() {
  static Database database;
  return database;
}

// One page request that shows the master-details grid, every master open
// when `show_all`; returns the page's output size.
size_t ShowPage(bool show_all, fennick::Application& app,
                const std::shared_ptr<fennick::SessionStore>& store) {
  fennick::Request request;
  if (show_all) request.MutableForm().Add("__FARGS", fennick::EncodeArgument("7"));
  return fennick_bench::ShowPage(
      std::move(request), "/masters.asp", app, store,
      [] {
        fennick::DataGrid grid;
        grid.CreateConnection("Provider=SQLite;Data Source=" + Db().path() + ";Mode=Read");
        grid.Command(kSelect);
        grid.MasterTable("Masters");
        grid.DefaultSortOrder(kOrder);
        grid.PageSize(10);
        grid.NumberColumn("Amount", 2);
        grid.DateColumn("Day", "dd mmm yyyy");
        grid.Display();
      },
      "bench_master_details", "(10 recs)");
}

// Wall time of the sqlite3 shell writing the whole ordered result as HTML.
double Sqlite3Seconds() {
  return fennick_bench::Sqlite3HtmlSeconds("bench_master_details", Db().path(),
                                           std::string(kSelect) + " ORDER BY " + kOrder);
}

void BM_MasterDetailsDisplay(benchmark::State& state) {
  fennick::Application app;
  auto store = fennick::MakeMemorySessionStore();
  size_t bytes = 0;
  for (auto _ : state) bytes = ShowPage(state.range(0) != 0, app, store);
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_MasterDetailsDisplay)->ArgName("show_all")->Arg(0)->Arg(1)->Unit(
    benchmark::kMillisecond);

void BM_Sqlite3Html(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(Sqlite3Seconds());
}
BENCHMARK(BM_Sqlite3Html)->UseManualTime()->Unit(benchmark::kMillisecond);

void Summary() {
  fennick::Application app;
  auto store = fennick::MakeMemorySessionStore();
  std::printf("\nMaster-details page (10 masters over %d detail rows) beside sqlite3 -html of "
              "the whole result, best of 5\n",
              kDetails);
  std::printf("%-22s %12s %12s %7s\n", "page", "Display ms", "sqlite3 ms", "ratio");
  const double floor = BestOf(5, [] { Sqlite3Seconds(); });
  for (bool show_all : {false, true}) {
    ShowPage(show_all, app, store);  // warm the caches and the file
    const double display = BestOf(5, [&] { ShowPage(show_all, app, store); });
    std::printf("%-22s %12.2f %12.2f %7.2f\n", show_all ? "every master open" : "one master open",
                display * 1e3, floor * 1e3, display / floor);
  }
}

}  // namespace

int main(int argc, char** argv) {
  return fennick_bench::RunBenchmarks(argc, argv, "master-details benchmark", Summary);
}
