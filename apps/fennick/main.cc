// The fennick executable: `fennick serve`, `fennick version`, `fennick --help`.
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "demo_database.h"
#include "demo_pages.h"
#include "fennick/data.h"
#include "fennick/error.h"
#include "fennick/registry.h"
#include "fennick/script_pages.h"
#include "fennick/server.h"

namespace {

constexpr char kUsage[] =
    "Usage:\n"
    "  fennick serve [options]   serve a site folder\n"
    "  fennick version           print the component version\n"
    "  fennick --help            this text\n"
    "\n"
    "Options of serve:\n"
    "  --site DIR          the site folder (default: the current folder)\n"
    "  --demo              serve the demo site that ships with Fennick\n"
    "  --port N            port to listen on (default 8080; 0 picks a free one)\n"
    "  --bind ADDR         address to listen on (default 127.0.0.1)\n"
    "  --threads N         worker threads (default 64)\n"
    "  --max-body BYTES    largest request body (default 1048576)\n"
    "  --max-response BYTES largest page response (default 268435456)\n"
    "  --max-header BYTES  largest request head (default 16384)\n"
    "  --max-fields N      most form and query fields (default 2000)\n"
    "  --request-deadline SECONDS\n"
    "                      a request's head and body must arrive within this\n"
    "                      time of its first byte, else 408 (default 10)\n"
    "  --max-connections-per-address N\n"
    "                      connections one client address may hold; more are\n"
    "                      refused with 503 (default 32; 0 for no limit)\n"
    "  --max-sessions N    sessions kept in memory; one more drops the least\n"
    "                      recently used (default 10000; 0 for no limit)\n"
    "  --locale NAME       the server's locale for formatting (default en_US)\n"
    "  --page-timeout SECONDS\n"
    "                      stop a script page that runs longer (default 30)\n"
    "  --basic-auth U:P    require HTTP basic authentication (repeatable)\n"
    "  --sqlserver-odbc-driver NAME\n"
    "                      the ODBC driver that SQL Server OLE DB connection\n"
    "                      strings (Provider=SQLOLEDB, SQLNCLI, MSOLEDBSQL) open\n"
    "                      through (default FreeTDS)\n"
    "  --quiet             no request log\n"
    "\n"
    "The site's .asp files are script pages written in JavaScript (JScript).\n"
    "The server secret for sealed values comes from FENNICK_SECRET, else from\n"
    "the key file data/fennick.key of the site, created on first start.\n";

int Fail(const std::string& message) {
  std::cerr << "fennick: " << message << "\n\n" << kUsage;
  return 2;
}

bool ParseSize(const char* text, size_t& out) {
  char* end = nullptr;
  unsigned long long v = std::strtoull(text, &end, 10);
  if (!end || *end || text[0] == '-' || text[0] == '\0') return false;
  out = static_cast<size_t>(v);
  return true;
}

int Serve(int argc, char** argv) {
  fennick::ServerOptions options;
  fennick::ScriptPageOptions script_options;
  options.site_root = ".";
  bool demo = false, quiet = false, site_given = false;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)name;
      return argv[++i];
    };
    const char* v = nullptr;
    size_t n = 0;
    if (arg == "--demo") {
      demo = true;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--site") {
      if (!(v = value("--site"))) return Fail("--site needs a folder");
      options.site_root = v;
      site_given = true;
    } else if (arg == "--port") {
      if (!(v = value("--port")) || !ParseSize(v, n) || n > 65535)
        return Fail("--port needs a port number");
      options.port = static_cast<int>(n);
    } else if (arg == "--bind") {
      if (!(v = value("--bind"))) return Fail("--bind needs an address");
      options.bind_address = v;
    } else if (arg == "--threads") {
      if (!(v = value("--threads")) || !ParseSize(v, n) || n == 0 || n > 4096)
        return Fail("--threads needs a count from 1 to 4096");
      options.threads = n;
    } else if (arg == "--max-body") {
      if (!(v = value("--max-body")) || !ParseSize(v, n)) return Fail("--max-body needs bytes");
      options.max_body_bytes = n;
    } else if (arg == "--max-response") {
      if (!(v = value("--max-response")) || !ParseSize(v, n) || n == 0)
        return Fail("--max-response needs bytes, more than 0");
      options.max_response_bytes = n;
    } else if (arg == "--max-header") {
      if (!(v = value("--max-header")) || !ParseSize(v, n))
        return Fail("--max-header needs bytes");
      options.max_header_bytes = n;
    } else if (arg == "--max-fields") {
      if (!(v = value("--max-fields")) || !ParseSize(v, n))
        return Fail("--max-fields needs a count");
      options.max_fields = n;
    } else if (arg == "--request-deadline") {
      if (!(v = value("--request-deadline")) || !ParseSize(v, n) || n == 0 || n > 3600)
        return Fail("--request-deadline needs seconds from 1 to 3600");
      options.request_deadline_seconds = static_cast<int>(n);
    } else if (arg == "--max-connections-per-address") {
      if (!(v = value("--max-connections-per-address")) || !ParseSize(v, n))
        return Fail("--max-connections-per-address needs a count");
      options.max_connections_per_address = n;
    } else if (arg == "--max-sessions") {
      if (!(v = value("--max-sessions")) || !ParseSize(v, n))
        return Fail("--max-sessions needs a count");
      options.max_sessions = n;
    } else if (arg == "--locale") {
      if (!(v = value("--locale"))) return Fail("--locale needs a locale name");
      options.locale = v;
    } else if (arg == "--page-timeout") {
      char* end = nullptr;
      double seconds = (v = value("--page-timeout")) ? std::strtod(v, &end) : 0;
      if (!v || !end || *end || !(seconds > 0 && seconds <= 86400))
        return Fail("--page-timeout needs seconds, more than 0");
      script_options.time_limit = std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
    } else if (arg == "--basic-auth") {
      if (!(v = value("--basic-auth")) || !std::strchr(v, ':'))
        return Fail("--basic-auth needs user:password");
      std::string pair = v;
      size_t colon = pair.find(':');
      options.basic_auth_users.emplace_back(pair.substr(0, colon), pair.substr(colon + 1));
    } else if (arg == "--sqlserver-odbc-driver") {
      if (!(v = value("--sqlserver-odbc-driver")) || *v == '\0')
        return Fail("--sqlserver-odbc-driver needs the name of an ODBC driver");
      fennick::SetSqlServerOdbcDriver(v);
    } else {
      return Fail("unknown option " + arg);
    }
  }
  // --demo with --site serves the given site with the demo database built
  // in its data/ folder; --demo alone serves the demo site itself.
  if (demo && !site_given) options.site_root = FENNICK_DEMO_SITE;
  std::error_code ec;
  if (!std::filesystem::is_directory(options.site_root, ec)) {
    return Fail("the site folder " + options.site_root.string() + " does not exist");
  }
  if (quiet) options.log = [](const std::string&) {};
  if (demo) {
    // The demo pages show the database's absence themselves; the server
    // still starts.
    const fennick::DemoDatabaseResult database = fennick::EnsureDemoDatabase(options.site_root, FENNICK_DEMO_SITE);
    if (!database.ok()) std::cerr << "fennick: demo database: " << database.error << "\n";
  }

  // SIGINT and SIGTERM are taken by one watcher thread; every other thread
  // (the server's workers included) inherits the blocked mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  fennick::WebServer server(options);
  server.SetObjectFactory(
      [](std::string_view progid) { return fennick::CreateComponentObject(progid); });
  fennick::EnableScriptPages(server, script_options);
  if (demo) fennick::RegisterDemoPages(server);
  std::string error;
  if (!server.Bind(&error)) {
    std::cerr << "fennick: " << error << "\n";
    return 1;
  }

  std::thread watcher([&server, signals] {
    int sig = 0;
    sigwait(&signals, &sig);
    server.Stop();
  });
  std::printf("Fennick %s serving %s on http://%s:%d/\n", std::string(fennick::kVersion).c_str(),
              server.options().site_root.c_str(), options.bind_address.c_str(), server.port());
  std::fflush(stdout);
  server.Run();
  // Run returns after a signal or a failure; wake the watcher if it still waits.
  pthread_kill(watcher.native_handle(), SIGTERM);
  watcher.join();
  std::printf("Fennick stopped\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << kUsage;
    return 2;
  }
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return 0;
  }
  if (command == "version" || command == "--version") {
    std::cout << fennick::kVersion << "\n";
    return 0;
  }
  if (command == "serve") return Serve(argc, argv);
  return Fail("unknown command " + command);
}
