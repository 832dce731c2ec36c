// Export of a whole result: CSV and first-generation Excel of 100,000 rows
// beside `sqlite3 -csv` of the same query (goal: within 2 times), and the
// peak memory of CSV exports of 100,000 and 1,000,000 rows (goal: under
// 64 MB and not growing with the row count), and, beside them, the peak
// memory of reading the same rows through the data layer's forward-only
// cursor, which a streamed export reads from, and the streamed CSV
// download itself.
//
// Peak memory is the process's high-water mark (VmHWM) after resetting it
// through /proc/self/clear_refs before each run, minus the resident size
// at that moment: what one export adds at its peak.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "export/dataset_exporter.h"
#include "export/dataset_exporter2.h"
#include "export/exporter_base.h"
#include "fennick/data.h"
#include "fennick/page.h"
#include "frame/host.h"
#include "platform/data/driver.h"

namespace {

constexpr const char* kQuery = "SELECT id, name, price, added FROM orders";
constexpr int kRepetitions = 3;

// Database files by row count, removed at exit.
std::map<int, std::string> paths;

// The database of `rows` rows, built once per size.
const std::string& TestDatabase(int rows) {
  auto found = paths.find(rows);
  if (found != paths.end()) return found->second;
  std::string path = (std::filesystem::temp_directory_path() /
                      ("fennick-export-bench-" + std::to_string(getpid()) + "-" +
                       std::to_string(rows) + ".db"))
                         .string();
  sqlite3* raw = nullptr;
  sqlite3_open(path.c_str(), &raw);
  sqlite3_exec(raw,
               "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
               "CREATE TABLE orders (id INTEGER, name TEXT, price REAL, added DATETIME); BEGIN",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(raw, "INSERT INTO orders VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
  char name[64], added[32];
  for (int i = 0; i < rows; ++i) {
    int n = std::snprintf(name, sizeof name, "Customer \"%06d\", region %d", i * 7919 % 1000003,
                          i % 17);
    std::snprintf(added, sizeof added, "20%02d-%02d-%02d %02d:%02d:%02d", 4 + i % 20, 1 + i % 12,
                  1 + i % 28, i % 24, i % 60, (i * 7) % 60);
    sqlite3_bind_int64(insert, 1, i);
    sqlite3_bind_text(insert, 2, name, n, SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 3, i * 0.25);
    sqlite3_bind_text(insert, 4, added, -1, SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(raw);
  return paths[rows] = path;
}

long StatusKb(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  }
  return 0;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

enum class Kind { kCsv, kExcelFast, kExcelXslt };

// One export on a fresh page; returns the document's size.
size_t ExportOnce(Kind kind, const std::string& database) {
  fennick::Application app;
  fennick::PageContext page(fennick::Request(),
                            fennick::Session(fennick::MakeMemorySessionStore(), "s"), app,
                            fennick::Server(std::filesystem::temp_directory_path(), "/b.asp",
                                            nullptr, "en_US"));
  fennick::PageBinding bound(page);
  fennick::HostContext host = fennick::BindHostContext("DataSetExporter");
  auto connection = std::make_shared<fennick::Connection>();
  connection->Open("Provider=SQLite;Data Source=" + database);
  try {
    if (kind == Kind::kExcelXslt) {
      fennick::DataSetExporter2 exporter(host);
      exporter.Connection(connection);
      exporter.Command(kQuery);
      exporter.ExportToExcel("");
    }
    fennick::DataSetExporter exporter(host);
    exporter.Connection(connection);
    exporter.Command(kQuery);
    if (kind == Kind::kCsv) exporter.ExportToCSV();
    exporter.ExportToExcel("");
  } catch (const fennick::PageEnd&) {
    // The export ended the page, as it always does.
  }
  return page.response().Body().size();
}

void RunExport(benchmark::State& state, Kind kind) {
  const int rows = static_cast<int>(state.range(0));
  const std::string& database = TestDatabase(rows);
  size_t bytes = 0;
  long peak_kb = 0;
  for (auto _ : state) {
    long before = StatusKb("VmRSS:");
    ResetPeak();
    bytes = ExportOnce(kind, database);
    peak_kb = std::max(peak_kb, StatusKb("VmHWM:") - before);
  }
  state.counters["doc_MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["peak_MB"] = static_cast<double>(peak_kb) / 1024.0;
}

void BM_ExportCsv(benchmark::State& state) { RunExport(state, Kind::kCsv); }
BENCHMARK(BM_ExportCsv)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)->ReportAggregatesOnly(true)->Iterations(1);

void BM_ExportExcelFirstGeneration(benchmark::State& state) { RunExport(state, Kind::kExcelFast); }
BENCHMARK(BM_ExportExcelFirstGeneration)->Arg(100000)->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)->ReportAggregatesOnly(true)->Iterations(1);

void BM_ExportExcelXslt(benchmark::State& state) { RunExport(state, Kind::kExcelXslt); }
BENCHMARK(BM_ExportExcelXslt)->Arg(100000)->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)->ReportAggregatesOnly(true)->Iterations(1);

// A streamed CSV download, as a grid makes it: the page reads the first
// batch from a forward-only cursor and ends; the producer then writes the
// rest a batch at a time to a sink that drops it, as the host would send
// it. doc_MB counts every byte produced.
size_t StreamedCsvOnce(const std::string& database) {
  fennick::Application app;
  fennick::PageContext page(fennick::Request(),
                            fennick::Session(fennick::MakeMemorySessionStore(), "s"), app,
                            fennick::Server(std::filesystem::temp_directory_path(), "/b.asp",
                                            nullptr, "en_US"));
  fennick::PageBinding bound(page);
  size_t bytes = 0;
  {
    fennick::HostContext host = fennick::BindHostContext("DataSetExporter");
    auto connection = std::make_shared<fennick::Connection>();
    connection->Open("Provider=SQLite;Data Source=" + database);
    auto rest = std::make_shared<fennick::Cursor>(connection->OpenCursor(kQuery));
    auto first =
        std::make_shared<fennick::Recordset>(rest->Next(fennick::kStreamBatchRows));
    try {
      fennick::DataSetExporter exporter(host);
      exporter.Connection(connection);
      exporter.Recordset(first);
      exporter.RemainingRows(rest);
      exporter.ExportToCSV();
    } catch (const fennick::PageEnd&) {
      // The export ended the page, as it always does.
    }
  }
  bytes = page.response().Body().size();
  fennick::Response::BodyProducer producer = page.response().TakeStreamedBody();
  if (producer) {
    producer([&bytes](std::string_view piece) {
      bytes += piece.size();
      return true;
    });
  }
  return bytes;
}

void BM_ExportCsvStreamed(benchmark::State& state) {
  const std::string& database = TestDatabase(static_cast<int>(state.range(0)));
  size_t bytes = 0;
  long peak_kb = 0;
  for (auto _ : state) {
    long before = StatusKb("VmRSS:");
    ResetPeak();
    bytes = StreamedCsvOnce(database);
    peak_kb = std::max(peak_kb, StatusKb("VmHWM:") - before);
  }
  state.counters["doc_MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["peak_MB"] = static_cast<double>(peak_kb) / 1024.0;
}
BENCHMARK(BM_ExportCsvStreamed)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)->ReportAggregatesOnly(true)->Iterations(1);

// Every row read through the forward-only cursor in batches of 1,000 and
// dropped, as a streamed export reads them.
void BM_ReadForwardOnly(benchmark::State& state) {
  const std::string& database = TestDatabase(static_cast<int>(state.range(0)));
  size_t read = 0;
  long peak_kb = 0;
  for (auto _ : state) {
    long before = StatusKb("VmRSS:");
    ResetPeak();
    fennick::data::OpenSettings settings;
    settings.options = fennick::data::ConnectionString::Parse("Data Source=" + database);
    auto db = fennick::data::OpenSqlite(settings);
    fennick::data::ExecuteRequest request;
    request.text = kQuery;
    auto cursor = db->OpenCursor(request);
    read = 0;
    for (;;) {
      auto rows = cursor->Next(1000);
      if (rows->row_count == 0) break;
      read += rows->row_count;
    }
    peak_kb = std::max(peak_kb, StatusKb("VmHWM:") - before);
  }
  state.counters["rows"] = static_cast<double>(read);
  state.counters["peak_MB"] = static_cast<double>(peak_kb) / 1024.0;
}
BENCHMARK(BM_ReadForwardOnly)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)->ReportAggregatesOnly(true)->Iterations(1);

// The reference: the sqlite3 shell writing the same query as CSV.
void BM_Sqlite3ShellCsv(benchmark::State& state) {
  const std::string& database = TestDatabase(static_cast<int>(state.range(0)));
  const std::string command =
      "sqlite3 -csv -header '" + database + "' '" + kQuery + "' > /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("sqlite3 failed");
  }
}
BENCHMARK(BM_Sqlite3ShellCsv)->Arg(100000)->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)->ReportAggregatesOnly(true)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  for (const auto& [rows, path] : paths) std::filesystem::remove(path);
  return 0;
}
