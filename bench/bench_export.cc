// Exports of a whole result over HTTP, as a browser downloads them, beside
// `sqlite3 -csv` of the same query: CSV, Excel and Word of both exporters,
// XML and the .xlsx workbook, of 100,000 and 1,000,000 rows, and the PDF
// of 100,000 rows, each with its time and the peak
// memory the server adds while it runs (the process's high-water mark,
// VmHWM, reset through /proc/self/clear_refs before each run, minus the
// resident size then; the client in the same process drops what it
// receives). Goals: the default Excel and Word within 2 times of the
// first-generation Excel, and every format in about constant memory; the
// workbook within 4 times of sqlite3 -csv and under 64 MB at a million
// rows; the PDF of 100,000 rows under 30 s.
//
// Memory after XML: the resident size after ten sequential 10,000-row XML
// exports, with the built-in template (streamed) and with a template of
// the page's (a whole-table transform), against the resident size before
// (goal: within 100 MB). Also the forward-only read alone, the floor of
// every streamed export.
#include <benchmark/benchmark.h>
#include <httplib.h>
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

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/page.h"
#include "fennick/server.h"
#include "frame/argument_codec.h"
#include "platform/data/driver.h"

namespace {

constexpr const char* kQuery = "SELECT id, name, price, added FROM orders";

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

// The export page: a grid on the database of ?rows=, exporting what the
// posted button asks for; ?fast=1 for the first-generation exporter,
// ?xsl=1 for a template of the page's (the identity of the table).
class ExportServer {
 public:
  ExportServer() {
    fennick::ServerOptions options;
    options.site_root = std::filesystem::temp_directory_path();
    options.port = 0;
    options.secret = "export benchmark";
    options.log = [](const std::string&) {};
    server_ = std::make_unique<fennick::WebServer>(options);
    server_->RegisterPage("/export", [](fennick::PageContext& page) {
      fennick::DataGrid grid;
      grid.CreateConnection("Provider=SQLite;Data Source=" +
                            TestDatabase(std::stoi(page.request().QueryString("rows"))));
      grid.Command(kQuery);
      grid.UseFastExport(page.request().QueryString("fast") == "1");
      grid.ExportXlsx(true);
      grid.ExportPdf(true);
      // The PDF of 100,000 rows outlasts the default 30 s command timeout.
      grid.CommandTimeout(600);
      if (page.request().QueryString("xsl") == "1") {
        grid.XslExportTemplate(
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:template match='/'><xsl:copy-of select='.'/></xsl:template></xsl:stylesheet>");
      }
      grid.Display();
    });
    std::string error;
    if (!server_->Bind(&error)) throw std::runtime_error(error);
    thread_ = std::thread([this] { server_->Run(); });
  }
  ~ExportServer() {
    server_->Stop();
    thread_.join();
  }

  // Posts the export of `format`; returns the bytes received (dropped as
  // they come).
  size_t Export(const std::string& format, int rows, const std::string& extra = "") {
    httplib::Client client("127.0.0.1", server_->port());
    client.set_read_timeout(600);
    size_t bytes = 0;
    httplib::Request request;
    request.method = "POST";
    request.path = "/export?rows=" + std::to_string(rows) + extra;
    request.set_header("Content-Type", "application/x-www-form-urlencoded");
    request.body = "__FARGS=" + httplib::detail::params_to_query_str(
                                    {{"x", fennick::EncodeArgument("4fmt:" + format +
                                                                   ";hdr:;ttl:Orders;")}})
                                    .substr(2);
    request.content_receiver = [&bytes](const char*, size_t length, uint64_t, uint64_t) {
      bytes += length;
      return true;
    };
    auto res = client.send(request);
    if (!res || res->status != 200) return 0;
    return bytes;
  }

 private:
  std::unique_ptr<fennick::WebServer> server_;
  std::thread thread_;
};

ExportServer& Server() {
  static ExportServer* server = new ExportServer();  // lives until exit
  return *server;
}

void RunHttpExport(benchmark::State& state, const std::string& format, const std::string& extra) {
  const int rows = static_cast<int>(state.range(0));
  TestDatabase(rows);
  Server();
  size_t bytes = 0;
  long peak_kb = 0;
  for (auto _ : state) {
    long before = StatusKb("VmRSS:");
    ResetPeak();
    bytes = Server().Export(format, rows, extra);
    peak_kb = std::max(peak_kb, StatusKb("VmHWM:") - before);
  }
  if (bytes == 0) state.SkipWithError("the export failed");
  state.counters["doc_MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["peak_MB"] = static_cast<double>(peak_kb) / 1024.0;
}

#define FENNICK_HTTP_EXPORT(name, format, extra)                                     \
  void name(benchmark::State& state) { RunHttpExport(state, format, extra); }        \
  BENCHMARK(name)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1)
FENNICK_HTTP_EXPORT(BM_HttpCsv, "csv", "");
FENNICK_HTTP_EXPORT(BM_HttpExcel, "excel", "");
FENNICK_HTTP_EXPORT(BM_HttpWord, "doc", "");
FENNICK_HTTP_EXPORT(BM_HttpXml, "xml", "");
FENNICK_HTTP_EXPORT(BM_HttpXlsx, "xlsx", "");
void BM_HttpPdf(benchmark::State& state) { RunHttpExport(state, "pdf", ""); }
BENCHMARK(BM_HttpPdf)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
FENNICK_HTTP_EXPORT(BM_HttpExcelFirstGeneration, "excel", "&fast=1");
FENNICK_HTTP_EXPORT(BM_HttpWordFirstGeneration, "doc", "&fast=1");
FENNICK_HTTP_EXPORT(BM_HttpXmlFirstGeneration, "xml", "&fast=1");

// The reference: the sqlite3 shell writing the same query as CSV.
void BM_Sqlite3ShellCsv(benchmark::State& state) {
  const std::string& database = TestDatabase(static_cast<int>(state.range(0)));
  const std::string command =
      "sqlite3 -csv -header '" + database + "' '" + kQuery + "' > /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("sqlite3 failed");
  }
}
BENCHMARK(BM_Sqlite3ShellCsv)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Ten 10,000-row XML exports one after the other: the resident size after
// them against before (the first export's own start-up included).
void RunXmlRounds(benchmark::State& state, const std::string& extra) {
  TestDatabase(10000);
  Server().Export("csv", 10000);  // the server's threads and caches exist
  for (auto _ : state) {
    const long before = StatusKb("VmRSS:");
    for (int i = 0; i < 10; ++i) {
      if (Server().Export("xml", 10000, extra) == 0) state.SkipWithError("the export failed");
    }
    state.counters["rss_growth_MB"] =
        static_cast<double>(StatusKb("VmRSS:") - before) / 1024.0;
  }
}
void BM_TenXmlExports(benchmark::State& state) { RunXmlRounds(state, ""); }
BENCHMARK(BM_TenXmlExports)->Unit(benchmark::kMillisecond)->Iterations(1);
void BM_TenXmlTemplateExports(benchmark::State& state) { RunXmlRounds(state, "&xsl=1"); }
BENCHMARK(BM_TenXmlTemplateExports)->Unit(benchmark::kMillisecond)->Iterations(1);

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
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  for (const auto& [rows, path] : paths) std::filesystem::remove(path);
  return 0;
}
