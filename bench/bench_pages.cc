// Script pages against static files, over HTTP: requests per second of a
// trivial script page (literal text and one Response.Write) and of a static
// file of the same size, each fetched over keep-alive loopback connections by
// a few clients for a fixed time; and the cost of running that page without
// HTTP (the runtime alone: heap from the pool, cache check, run, reset).
//
// Usage: bench_pages [--seconds S]   (S per HTTP phase, default 3; the whole
// run stays within 10 seconds)
#include <httplib.h>
#include <unistd.h>

#include <atomic>
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
#include "fennick/server.h"
#include "platform/script/page_runtime.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kClients = 4;
constexpr char kPage[] =
    "<html><body><h1>Hello</h1><% Response.Write(\"from a script page\") %></body></html>\n";
constexpr char kStatic[] =
    "<html><body><h1>Hello</h1>from a static file as big as the page</body></html>\n";

struct Phase {
  long requests = 0;
  long failures = 0;
  double seconds = 0;
};

// kClients clients, each on one keep-alive connection, fetch `path` until
// `seconds` have passed.
Phase Hammer(int port, const std::string& path, double seconds) {
  std::atomic<long> requests{0}, failures{0};
  auto until = Clock::now() + std::chrono::duration<double>(seconds);
  auto start = Clock::now();
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&] {
      httplib::Client client("127.0.0.1", port);
      client.set_keep_alive(true);
      client.set_read_timeout(5);
      while (Clock::now() < until) {
        auto res = client.Get(path);
        if (res && res->status == 200) {
          ++requests;
        } else {
          ++failures;
        }
      }
    });
  }
  for (auto& c : clients) c.join();
  Phase phase;
  phase.requests = requests;
  phase.failures = failures;
  phase.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return phase;
}

void Report(const char* what, const Phase& p) {
  std::printf("%-34s %9.0f requests/s  (%ld requests, %ld failed, %d keep-alive clients, %.1f s)\n",
              what, p.requests / p.seconds, p.requests, p.failures, kClients, p.seconds);
}

// The page run by the runtime directly, as the web host would, n times.
double MicrosPerPage(const std::filesystem::path& root, int n) {
  fennick::PageRuntime runtime(root, fennick::ScriptPageOptions{}, 1);
  fennick::Application application;
  auto store = fennick::MakeMemorySessionStore();
  store->Create("bench");
  auto run = [&] {
    fennick::Request request;
    request.SetPath("/hello.asp");
    request.SetVariable("URL", "/hello.asp");
    fennick::PageContext page(std::move(request), fennick::Session(store, "bench"), application,
                              fennick::Server(root, "/hello.asp", nullptr, "en_US"));
    fennick::PageBinding binding(page);
    runtime.Run(page);
    if (page.response().StatusCode() != 200) {
      std::fprintf(stderr, "the page failed: %s\n", page.response().Body().c_str());
      std::exit(1);
    }
  };
  for (int i = 0; i < 100; ++i) run();  // heap made, page compiled
  auto start = Clock::now();
  for (int i = 0; i < n; ++i) run();
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / n;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) seconds = std::atof(argv[++i]);
  }
  if (!(seconds > 0)) seconds = 3;
  if (seconds > 4.5) seconds = 4.5;  // two phases and the rest within 10 s

  std::string templ = (std::filesystem::temp_directory_path() / "fennick-bench-XXXXXX").string();
  std::filesystem::path root = std::filesystem::canonical(mkdtemp(templ.data()));
  std::ofstream(root / "hello.asp") << kPage;
  std::ofstream(root / "hello.html") << kStatic;

  std::printf("%-34s %9.1f us per page\n", "trivial script page, no HTTP", MicrosPerPage(root, 20000));

  fennick::ServerOptions options;
  options.site_root = root;
  options.port = 0;
  options.threads = 16;
  options.log = [](const std::string&) {};
  setenv("FENNICK_SECRET", "bench", 0);
  fennick::WebServer server(options);
  server.SetObjectFactory(fennick::CreateComponentObject);
  fennick::EnableScriptPages(server);
  std::string error;
  if (!server.Bind(&error)) {
    std::fprintf(stderr, "bench_pages: %s\n", error.c_str());
    return 1;
  }
  std::thread serving([&] { server.Run(); });

  Report("trivial script page over HTTP", Hammer(server.port(), "/hello.asp", seconds));
  Report("static file over HTTP", Hammer(server.port(), "/hello.html", seconds));

  server.Stop();
  serving.join();
  std::error_code ec;
  std::filesystem::remove_all(root, ec);  // ignoring errors on purpose: a temporary folder
  return 0;
}
