// The report builder, each case one whole request through Quillon2 (page
// context, Init, the builder, the page written): one step over a table of
// 200 columns (page 1 posted with every column checked, the columns read
// again, each checked, the schema rebuilt, page 2 drawn with a caption box
// and format list per field; goal under 50 ms), and Finish into a reports
// file of 1,000 reports (every entry checked again, the definition saved
// under the file's lock with an atomic write; goal under 50 ms).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "designer/quillon2.h"
#include "designer/report_definition.h"
#include "designer/reports_file.h"
#include "fennick/data.h"
#include "fennick/error.h"
#include "fennick/page.h"
#include "platform/crypto/seal.h"

namespace {

namespace fs = std::filesystem;
using Fields = std::vector<std::pair<std::string, std::string>>;

struct Site {
  Site() {
    root = fs::temp_directory_path() / ("fennick_bench_builder_" + std::to_string(::getpid()));
    fs::create_directories(root);
    fennick::InstallSealer(fennick::Sealer::KeyFromSecret("bench"));
    fennick::Connection setup;
    setup.Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + Database());
    std::string wide = "CREATE TABLE Wide (C0 INTEGER";
    for (int i = 1; i < 200; ++i) {
      wide += ", C" + std::to_string(i) +
              (i % 3 == 0   ? " VARCHAR(20)"
               : i % 3 == 1 ? " NUMERIC"
                            : " DATE");
    }
    setup.Execute(wide + ")");
    setup.Execute(
        "CREATE TABLE Customers (CustomerID INTEGER, Name VARCHAR(40), City VARCHAR(20))");
    setup.Execute("CREATE TABLE Orders (OrderID INTEGER, CustomerID INTEGER, Amount NUMERIC)");
    fennick::designer::ReportsFile file(root / "reports.xml");
    fennick::designer::ReportSave report;
    report.args = std::string(800, 'A');
    for (int i = 0; i < 1000; ++i) {
      report.id = "B" + std::to_string(i);
      report.title = "Report number " + std::to_string(i);
      std::string error;
      file.SaveReport(report, &error);
    }
  }
  ~Site() { fs::remove_all(root); }
  std::string Database() const { return (root / "shop.db").string(); }
  fs::path root;
  std::shared_ptr<fennick::SessionStore> store = fennick::MakeMemorySessionStore();
  fennick::Application app;
};

Site& TheSite() {
  static Site site;
  return site;
}

// One request to the designer page; returns what it wrote.
std::string Request(Site& site, const std::string& query, const Fields& form) {
  fennick::Request request;
  request.SetVariable("URL", "/designer.asp");
  for (const auto& [name, value] : form) request.MutableForm().Add(name, value);
  if (!form.empty()) request.SetMethod("POST");
  // The query string "a=p&t=..." as the host parses it.
  size_t start = 0;
  while (start < query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    const size_t eq = pair.find('=');
    request.MutableQuery().Add(pair.substr(0, eq),
                               eq == std::string::npos ? "" : pair.substr(eq + 1));
    start = end + 1;
  }
  fennick::PageContext page(std::move(request), fennick::Session(site.store, "bench-session"),
                            site.app,
                            fennick::Server(site.root, "/designer.asp", nullptr, "en_US"));
  fennick::PageBinding bound(page);
  try {
    fennick::designer::Quillon2 designer;
    designer.ReportsFile("reports.xml");
    designer.Init("Provider=SQLite;Data Source=" + site.Database());
  } catch (const fennick::PageEnd&) {
    // The builder ends the page, as every designer action does.
  }
  return page.response().Body();
}

void Set(Fields& fields, const std::string& name, const std::string& value) {
  for (auto& [n, v] : fields) {
    if (n == name) v = value;
  }
}

Fields Hidden(const std::string& body) {
  Fields out;
  std::regex re("<input type=hidden name=\"?([^\" >]+)\"? value=\"?([^\">]*)\"?>");
  for (auto it = std::sregex_iterator(body.begin(), body.end(), re); it != std::sregex_iterator();
       ++it) {
    std::string value = (*it)[2];
    for (size_t at; (at = value.find("&amp;")) != std::string::npos;) value.replace(at, 5, "&");
    for (size_t at; (at = value.find("&quot;")) != std::string::npos;) value.replace(at, 6, "\"");
    if ((*it)[1] != "index") out.emplace_back((*it)[1], value);
  }
  return out;
}

void BM_BuilderStepOver200Columns(benchmark::State& state) {
  Site& site = TheSite();
  Fields form = Hidden(Request(site, "a=p&t=Wide", {}));
  for (int i = 0; i < 200; ++i) form.emplace_back("fields", "C" + std::to_string(i));
  form.emplace_back("index", "2");
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string body = Request(site, "", form);
    if (body.find("Add captions") == std::string::npos) state.SkipWithError("no page 2");
    bytes = body.size();
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BuilderStepOver200Columns)->Unit(benchmark::kMillisecond);

void BM_FinishInto1000ReportFile(benchmark::State& state) {
  Site& site = TheSite();
  Fields form = Hidden(Request(site, "a=p&t=Orders,Customers", {}));
  form.emplace_back("fields", "Orders.OrderID");
  form.emplace_back("fields", "Orders.Amount");
  form.emplace_back("fields", "Customers.Name");
  form.emplace_back("relations", "Orders.CustomerID = Customers.CustomerID");
  form.emplace_back("index", "0");
  for (auto _ : state) {
    const std::string body = Request(site, "", form);
    if (body.find("?rid=") == std::string::npos) state.SkipWithError(body.c_str());
  }
}
// New ids run from the current minute on, at most 60 candidates: a fixed
// number of new reports keeps the case inside them.
BENCHMARK(BM_FinishInto1000ReportFile)->Unit(benchmark::kMillisecond)->Iterations(20);

// Editing a stored report: its definition is read again (kept entries,
// the stored password) before the save.
void BM_FinishEditInto1000ReportFile(benchmark::State& state) {
  Site& site = TheSite();
  Fields form = Hidden(Request(site, "a=p&t=Orders,Customers", {}));
  form.emplace_back("fields", "Orders.Amount");
  form.emplace_back("index", "0");
  Set(form, "rid", "EDITED");
  // Google Benchmark runs this function more than once: save it once.
  const bool exists =
      !fennick::designer::ReportsFile(site.root / "reports.xml").GetReportArgs("EDITED").empty();
  const std::string saved = exists ? "?rid=EDITED" : Request(site, "", form);
  if (saved.find("?rid=EDITED") == std::string::npos) {
    const size_t at = saved.find("builder_error>");
    state.SkipWithError(at == std::string::npos ? "not saved" : saved.substr(at, 200).c_str());
    return;
  }
  Fields edit =
      Hidden(Request(site, "a=p&erid=" + fennick::designer::EncodeDefinition("EDITED"), {}));
  edit.emplace_back("fields", "Orders.Amount");
  edit.emplace_back("fields", "Customers.Name");
  edit.emplace_back("index", "0");
  for (auto _ : state) {
    const std::string body = Request(site, "", edit);
    if (body.find("?rid=EDITED") == std::string::npos) state.SkipWithError(body.c_str());
  }
}
BENCHMARK(BM_FinishEditInto1000ReportFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
