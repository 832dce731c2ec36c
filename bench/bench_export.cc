// Export of a whole result: CSV and first-generation Excel of 100,000 rows
// beside `sqlite3 -csv` of the same query (goal: within 2 times), and the
// peak memory of CSV exports of 100,000 and 1,000,000 rows (goal: under
// 64 MB and not growing with the row count), and, beside them, the peak
// memory of reading the same rows through the data layer's forward-only
// cursor, which a streamed export reads from, and the streamed CSV
// download itself.
//
// Excel and Word documents of both exporters (first generation and the
// stylesheet one) over 10,000 and 100,000 rows: read whole and delivered
// at once (the old path), streamed as a download, and written to a file a
// batch at a time; XML through the stylesheets of both exporters, which
// holds its document, at growing row counts. A CSV download of 100,000 rows from the PostgreSQL
// test server (.services/postgres.env, started by scripts/services/postgres-start.sh), read whole
// and streamed.
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

// What a grid hands the exporter for a streamed export: the first batch
// from a forward-only cursor, and the cursor for the rest.
enum class Delivery { kWhole, kDownload, kFile };
enum class Document { kCsv, kExcelFast, kWordFast, kExcelXslt, kWordXslt, kXml, kXmlFast };

template <typename Exporter>
void RunDocument(Exporter& exporter, Document document) {
  switch (document) {
    case Document::kCsv:
      exporter.ExportToCSV();
    case Document::kExcelFast:
    case Document::kExcelXslt:
      exporter.ExportToExcel("");
    case Document::kWordFast:
    case Document::kWordXslt:
      exporter.ExportToWord("");
    case Document::kXml:
    case Document::kXmlFast:
      exporter.ExportToXml();
  }
}

// One export in `delivery` on a fresh page; returns the bytes produced (a
// download's body with what its producer sends to a sink that drops it, or
// the file's size; the file is removed).
size_t DeliveredOnce(Document document, Delivery delivery, const std::string& connection_string,
                     const std::string& query) {
  const std::filesystem::path site = std::filesystem::temp_directory_path();
  fennick::Application app;
  fennick::PageContext page(fennick::Request(),
                            fennick::Session(fennick::MakeMemorySessionStore(), "s"), app,
                            fennick::Server(site, "/b.asp", nullptr, "en_US"));
  fennick::PageBinding bound(page);
  const std::string file_base = "fennick-export-bench-" + std::to_string(getpid());
  size_t bytes = 0;
  {
    fennick::HostContext host = fennick::BindHostContext("DataSetExporter");
    auto connection = std::make_shared<fennick::Connection>();
    connection->Open(connection_string);
    std::shared_ptr<fennick::Cursor> rest;
    std::shared_ptr<fennick::Recordset> first;
    if (delivery != Delivery::kWhole) {
      rest = std::make_shared<fennick::Cursor>(connection->OpenCursor(query));
      first = std::make_shared<fennick::Recordset>(rest->Next(fennick::kStreamBatchRows));
    }
    auto configure = [&](fennick::ExporterBase& exporter) {
      exporter.Connection(connection);
      exporter.Command(query);
      // Handed over, so the exporter (and its producer) alone hold them.
      if (first) exporter.Recordset(std::move(first));
      if (rest) exporter.RemainingRows(std::move(rest));
      if (delivery == Delivery::kFile) exporter.TempFileUrl(file_base);
    };
    try {
      if (document == Document::kExcelXslt || document == Document::kWordXslt ||
          document == Document::kXml) {
        fennick::DataSetExporter2 exporter(host);
        configure(exporter);
        RunDocument(exporter, document);
      }
      fennick::DataSetExporter exporter(host);
      configure(exporter);
      RunDocument(exporter, document);
    } catch (const fennick::PageEnd&) {
      // The export ended the page, as it always does.
    }
  }
  if (delivery == Delivery::kFile) {
    for (const char* extension : {".csv", ".xls", ".doc"}) {
      std::filesystem::path file = site / (file_base + extension);
      std::error_code error;
      if (std::filesystem::exists(file, error)) {
        bytes = std::filesystem::file_size(file);
        std::filesystem::remove(file, error);
      }
    }
    return bytes;
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

void RunDelivered(benchmark::State& state, Document document, Delivery delivery,
                  const std::string& connection_string, const std::string& query) {
  size_t bytes = 0;
  long peak_kb = 0;
  for (auto _ : state) {
    long before = StatusKb("VmRSS:");
    ResetPeak();
    bytes = DeliveredOnce(document, delivery, connection_string, query);
    peak_kb = std::max(peak_kb, StatusKb("VmHWM:") - before);
  }
  state.counters["doc_MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["peak_MB"] = static_cast<double>(peak_kb) / 1024.0;
}

void BM_ExportCsvStreamed(benchmark::State& state) {
  RunDelivered(state, Document::kCsv, Delivery::kDownload,
               "Provider=SQLite;Data Source=" + TestDatabase(static_cast<int>(state.range(0))),
               kQuery);
}
BENCHMARK(BM_ExportCsvStreamed)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)->ReportAggregatesOnly(true)->Iterations(1);

// Excel and Word of both exporters: read whole (the old path), streamed
// as a download, and written to a file a batch at a time.
template <Document document, Delivery delivery>
void BM_Document(benchmark::State& state) {
  RunDelivered(state, document, delivery,
               "Provider=SQLite;Data Source=" + TestDatabase(static_cast<int>(state.range(0))),
               kQuery);
}
#define FENNICK_DOCUMENT_BENCH(document, delivery)                        \
  BENCHMARK_TEMPLATE(BM_Document, Document::document, Delivery::delivery) \
      ->Arg(10000)                                                        \
      ->Arg(100000)                                                       \
      ->Unit(benchmark::kMillisecond)                                     \
      ->Repetitions(kRepetitions)                                         \
      ->ReportAggregatesOnly(true)                                        \
      ->Iterations(1)
FENNICK_DOCUMENT_BENCH(kExcelFast, kWhole);
FENNICK_DOCUMENT_BENCH(kExcelFast, kDownload);
FENNICK_DOCUMENT_BENCH(kExcelFast, kFile);
FENNICK_DOCUMENT_BENCH(kWordFast, kWhole);
FENNICK_DOCUMENT_BENCH(kWordFast, kDownload);
FENNICK_DOCUMENT_BENCH(kWordFast, kFile);
FENNICK_DOCUMENT_BENCH(kExcelXslt, kWhole);
FENNICK_DOCUMENT_BENCH(kExcelXslt, kDownload);
FENNICK_DOCUMENT_BENCH(kExcelXslt, kFile);
FENNICK_DOCUMENT_BENCH(kWordXslt, kWhole);
FENNICK_DOCUMENT_BENCH(kWordXslt, kDownload);
FENNICK_DOCUMENT_BENCH(kWordXslt, kFile);

// XML through the stylesheets (rowset to table, then the table-to-dataset
// template): the export that must hold its whole document, at growing row
// counts, to see where it stops being sensible. Read whole, and read in
// batches as a grid hands them over (the rowset-to-table step then works
// a batch at a time; the template still sees the whole table).
template <Delivery delivery>
void BM_ExportXmlXslt(benchmark::State& state) {
  RunDelivered(state, Document::kXml, delivery,
               "Provider=SQLite;Data Source=" + TestDatabase(static_cast<int>(state.range(0))),
               kQuery);
}
BENCHMARK_TEMPLATE(BM_ExportXmlXslt, Delivery::kWhole)
    ->Arg(10000)
    ->Arg(25000)
    ->Arg(50000)
    ->Arg(100000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_TEMPLATE(BM_ExportXmlXslt, Delivery::kDownload)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The first-generation XML export: its table is written from the rows, and
// only the template runs through the stylesheet processor.
void BM_ExportXmlFirstGeneration(benchmark::State& state) {
  RunDelivered(state, Document::kXmlFast, Delivery::kWhole,
               "Provider=SQLite;Data Source=" + TestDatabase(static_cast<int>(state.range(0))),
               kQuery);
}
BENCHMARK(BM_ExportXmlFirstGeneration)
    ->Arg(25000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The PostgreSQL test server's connection string, "" when none runs.
std::string PostgresConnectionString() {
  std::map<std::string, std::string> settings;
  std::ifstream in(std::string(FENNICK_SOURCE_DIR) + "/.services/postgres.env");
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) settings[line.substr(0, eq)] = line.substr(eq + 1);
  }
  if (settings["FENNICK_PG_PORT"].empty()) return "";
  return "Provider=PostgreSQL;Host=" + settings["FENNICK_PG_HOST"] +
         ";Port=" + settings["FENNICK_PG_PORT"] + ";Database=" + settings["FENNICK_PG_DATABASE"] +
         ";User ID=" + settings["FENNICK_PG_USER"];
}

// The PostgreSQL table of the benchmark (dropped at exit), or "" with the
// reason in `error`.
std::string pg_table;

bool PostgresOrders(benchmark::State& state, int rows, std::string& cs) {
  cs = PostgresConnectionString();
  if (cs.empty()) {
    state.SkipWithError("no PostgreSQL test server: scripts/services/postgres-start.sh");
    return false;
  }
  if (pg_table.empty()) {
    pg_table = "fennick_export_bench_" + std::to_string(getpid());
    fennick::Connection setup;
    setup.Open(cs);
    setup.Execute("CREATE TABLE " + pg_table +
                  " AS SELECT g AS id, 'Customer \"' || (g * 7919 % 1000003) || '\", region ' || "
                  "(g % 17) AS name, g * 0.25 AS price, "
                  "timestamp '2004-01-01' + g * interval '17 minutes' AS added "
                  "FROM generate_series(0, " +
                  std::to_string(rows - 1) + ") g");
  }
  return true;
}

template <Delivery delivery>
void BM_PostgresCsv(benchmark::State& state) {
  std::string cs;
  if (!PostgresOrders(state, static_cast<int>(state.range(0)), cs)) return;
  RunDelivered(state, Document::kCsv, delivery, cs,
               "SELECT id, name, price, added FROM " + pg_table + " ORDER BY id");
}
BENCHMARK_TEMPLATE(BM_PostgresCsv, Delivery::kWhole)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->Iterations(1);
BENCHMARK_TEMPLATE(BM_PostgresCsv, Delivery::kDownload)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->Iterations(1);

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
  if (!pg_table.empty()) {
    fennick::Connection cleanup;
    cleanup.Open(PostgresConnectionString());
    cleanup.Execute("DROP TABLE " + pg_table);
  }
  return 0;
}
