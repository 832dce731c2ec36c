// The designer over a reports file of 1,000 reports in 10 groups: drawing
// the catalogue (file read and parsed, stylesheet applied, page written;
// goal under 20 ms) and saving one report into the file (lock, load,
// change, atomic write with flushes; goal under 30 ms). Schema discovery
// of a SQLite database of 200 tables and 20 views: the offered objects
// listed and their column drawn (goal under 50 ms).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "designer/quillon2.h"
#include "designer/reports_file.h"
#include "designer/schema_discovery.h"
#include "fennick/data.h"
#include "fennick/page.h"
#include "platform/crypto/seal.h"

namespace {

namespace fs = std::filesystem;

struct Site {
  Site() {
    root = fs::temp_directory_path() / ("fennick_bench_designer_" + std::to_string(::getpid()));
    fs::create_directories(root);
    fennick::designer::ReportsFile file(root / "reports.xml");
    for (int g = 0; g < 10; ++g) {
      file.SaveGroup("G" + std::to_string(g), "Group " + std::to_string(g), true, true);
    }
    fennick::designer::ReportSave report;
    report.args = std::string(800, 'A');  // a definition of ordinary size
    report.description = "A report of the benchmark";
    for (int i = 0; i < 1000; ++i) {
      report.id = "B" + std::to_string(i);
      report.group = "G" + std::to_string(i % 10);
      report.title = "Report number " + std::to_string(i);
      std::string error;
      file.SaveReport(report, &error);
    }
    fennick::InstallSealer(fennick::Sealer::KeyFromSecret("bench"));
  }
  ~Site() { fs::remove_all(root); }
  fs::path root;
};

Site& TheSite() {
  static Site site;
  return site;
}

void BM_CatalogueOf1000Reports(benchmark::State& state) {
  Site& site = TheSite();
  fennick::Application app;
  size_t bytes = 0;
  for (auto _ : state) {
    fennick::Request request;
    request.SetVariable("URL", "/designer.asp");
    fennick::PageContext page(std::move(request),
                              fennick::Session(fennick::MakeMemorySessionStore(), "s"), app,
                              fennick::Server(site.root, "/designer.asp", nullptr, "en_US"));
    fennick::PageBinding bound(page);
    fennick::designer::Quillon2 designer;
    designer.Init("");
    designer.DisplayReports();
    bytes = page.response().Body().size();
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_CatalogueOf1000Reports)->Unit(benchmark::kMillisecond);

void BM_SaveOneReportInto1000(benchmark::State& state) {
  Site& site = TheSite();
  fennick::designer::ReportsFile file(site.root / "reports.xml");
  fennick::designer::ReportSave report;
  report.id = "B500";
  report.group = "G0";
  report.args = std::string(800, 'A');
  int n = 0;
  for (auto _ : state) {
    report.title = "Saved " + std::to_string(++n);
    std::string error;
    if (!file.SaveReport(report, &error)) state.SkipWithError(error.c_str());
  }
}
BENCHMARK(BM_SaveOneReportInto1000)->Unit(benchmark::kMillisecond);

// The parts of the catalogue: reading and parsing the file alone.
void BM_OpenReportsFileOf1000(benchmark::State& state) {
  Site& site = TheSite();
  fennick::designer::ReportsFile file(site.root / "reports.xml");
  for (auto _ : state) {
    fennick::designer::OpenedReports opened = file.Open();
    benchmark::DoNotOptimize(opened);
  }
}
BENCHMARK(BM_OpenReportsFileOf1000)->Unit(benchmark::kMillisecond);

// A fresh connection each time, as a page opens one per request.
void BM_SchemaDiscoveryOf200Tables(benchmark::State& state) {
  Site& site = TheSite();
  const std::string path = (site.root / "schema.db").string();
  {
    fennick::Connection setup;
    setup.Open("Provider=SQLite;Data Source=" + path + ";Mode=ReadWriteCreate");
    for (int i = 0; i < 200; ++i) {
      const std::string n = std::to_string(i);
      setup.Execute("CREATE TABLE IF NOT EXISTS Table" + n +
                    " (Id INTEGER PRIMARY KEY, Name VARCHAR(40), Amount NUMERIC, Placed DATE)");
      if (i < 20) {
        setup.Execute("CREATE VIEW IF NOT EXISTS View" + n + " AS SELECT * FROM Table" + n);
      }
    }
  }
  fennick::designer::SchemaListSettings settings;
  settings.database_type = 10;
  settings.hidden_tables = "Table7,Table99";
  settings.can_add = true;
  auto caption = [](std::string_view, std::string_view fallback) { return std::string(fallback); };
  size_t bytes = 0;
  for (auto _ : state) {
    fennick::Connection connection;
    connection.Open("Provider=SQLite;Data Source=" + path);
    auto sections = fennick::designer::ListOfferedObjects(connection, settings);
    bytes =
        fennick::designer::DatabaseObjectsHtml(sections, settings, caption, "/designer.asp", "g=1")
            .size();
  }
  state.counters["html_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_SchemaDiscoveryOf200Tables)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
