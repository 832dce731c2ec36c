// Memory after large pages: the process's resident size (RSS) before, during
// and after rounds of large script pages, each round on fresh threads as new
// connections get, with the release of freed memory after large pages on
// (the default) or off (--no-trim). A page holds about 300 MB at once: an
// array of two million strings, a StringBuffer of 64 MB and 20,000 grids.
//
// Usage: bench_page_memory [--no-trim] [--rounds N]   (default 8 rounds; a
// round takes several seconds: the figures are the point, not the speed)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "fennick/page.h"
#include "fennick/registry.h"
#include "fennick/script_pages.h"
#include "platform/script/page_runtime.h"

namespace {

constexpr char kPage[] =
    "<% var rows = [];\n"
    "   for (var i = 0; i < 2000000; ++i) rows.push('row ' + i + ' of the report');\n"
    "   var sb = Server.CreateObject('Fennick.StringBuffer');\n"
    "   var chunk = new Array(1 << 20).join('b');\n"
    "   for (var i = 0; i < 64; ++i) sb.Append(chunk);\n"
    "   var grids = [];\n"
    "   for (var i = 0; i < 20000; ++i) grids.push(Server.CreateObject('Fennick.DataGrid'));\n"
    "%><%= rows.length + grids.length %>";

double RssMiB() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

}  // namespace

int main(int argc, char** argv) {
  bool trim = true;
  int rounds = 8;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-trim") == 0) trim = false;
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) rounds = std::atoi(argv[++i]);
  }
  std::string templ = (std::filesystem::temp_directory_path() / "fennick-bench-XXXXXX").string();
  std::filesystem::path root = std::filesystem::canonical(mkdtemp(templ.data()));
  std::ofstream(root / "large.asp") << kPage;

  fennick::ScriptPageOptions options;
  options.heap_memory_limit = size_t{1} << 30;
  if (!trim) options.trim_after_bytes = static_cast<size_t>(-1);
  fennick::PageRuntime runtime(root, options, 4);
  fennick::Application application;
  auto store = fennick::MakeMemorySessionStore();
  store->Create("bench");
  fennick::ObjectFactory factory = [](std::string_view progid) {
    return fennick::CreateComponentObject(progid);
  };

  std::printf("large pages, release after large pages %s\n", trim ? "on" : "off");
  std::printf("RSS at start: %.0f MiB\n", RssMiB());
  for (int round = 1; round <= rounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    bool ok = true;
    // Two pages at once, each on a new thread.
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
      threads.emplace_back([&] {
        fennick::Request request;
        request.SetPath("/large.asp");
        request.SetVariable("URL", "/large.asp");
        fennick::PageContext page(std::move(request), fennick::Session(store, "bench"),
                                  application,
                                  fennick::Server(root, "/large.asp", factory, "en_US"));
        fennick::PageBinding binding(page);
        runtime.Run(page);
        if (page.response().Body() != "2020000") ok = false;
      });
    }
    for (auto& t : threads) t.join();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("after round %d: RSS %6.0f MiB  (%.1f s%s)\n", round, RssMiB(), seconds,
                ok ? "" : ", a page failed");
  }
  std::filesystem::remove_all(root);
  return 0;
}
