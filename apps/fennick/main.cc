// The fennick executable: `fennick serve`, `fennick deliver`, `fennick version`,
// `fennick --help`.
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "deliver_command.h"
#include "demo_database.h"
#include "demo_pages.h"
#include "fennick/data.h"
#include "fennick/delivery.h"
#include "fennick/error.h"
#include "fennick/registry.h"
#include "fennick/script_pages.h"
#include "fennick/server.h"
#include "fennick/session_stores.h"

namespace {

const std::string kUsage = std::string(
    "Usage:\n"
    "  fennick serve [options]   serve a site folder\n"
    "  fennick deliver [options] mail every due report schedule once, then exit\n"
    "  fennick version           print the component version\n"
    "  fennick --help            this text\n"
    "\n"
    "Options of serve:\n"
    "  --site DIR          the site folder (default: the current folder)\n"
    "  --demo              serve the demo site that ships with Fennick\n"
    "  --demo-postgres CONNECTION\n"
    "                      with --demo, also serve /demo/designer-postgres.asp,\n"
    "                      the report designer over this PostgreSQL database\n"
    "  --big               with --demo: also build data/big.db, a table of\n"
    "                      1,000,000 orders for the page /demo/big.asp\n"
    "  --big-rows N        rows of that table (default 1000000)\n"
    "  --port N            port to listen on (default 8080; 0 picks a free one)\n"
    "  --bind ADDR         address to listen on (default 127.0.0.1)\n"
    "  --threads N         worker threads (default 64)\n"
    "  --max-body BYTES    largest request body (default 1048576)\n"
    "  --max-response BYTES largest page response (default 268435456)\n"
    "  --max-header BYTES  largest request head, request line and headers;\n"
    "                      more is refused with 431 (default 16384)\n"
    "  --max-fields N      most form and query fields (default 2000)\n"
    "  --request-deadline SECONDS\n"
    "                      a request's head and body must arrive within this\n"
    "                      time of its first byte, else 408, and a new\n"
    "                      connection must send within it (default 10)\n"
    "  --max-connections-per-address N\n"
    "                      connections one client address may hold; more are\n"
    "                      refused with 503 (default 32; 0 for no limit)\n"
    "  --max-sessions N    sessions kept in memory; one more replaces one never\n"
    "                      used again or idle for 5 minutes, else is not kept\n"
    "                      (default 10000; 0 for no limit)\n"
    "  --max-new-sessions N\n"
    "                      new sessions one client address may start a minute;\n"
    "                      beyond it a page's session is not kept (default 100;\n"
    "                      0 for no limit)\n"
    "  --locale NAME       the server's locale for formatting (default en_US)\n"
    "  --page-timeout SECONDS\n"
    "                      stop a script page that runs longer (default 30)\n"
    "  --page-memory MIB   memory a script page may hold: its script, the objects\n"
    "                      it drives, response and XML documents (default 256)\n"
    "  --basic-auth U:P    require HTTP basic authentication (repeatable)\n"
    "  --sqlserver-odbc-driver NAME\n"
    "                      the ODBC driver that SQL Server OLE DB connection\n"
    "                      strings (Provider=SQLOLEDB, SQLNCLI, MSOLEDBSQL) open\n"
    "                      through (default FreeTDS)\n"
    "  --sessions redis://[[USER]:PASSWORD@]HOST:PORT[/DB]\n"
    "                      keep session values in Redis, shared by every server\n"
    "                      using it (default: in this process); the URL may come\n"
    "                      from FENNICK_SESSIONS instead, off the command line\n"
    "  --trust-proxy ADDR[,ADDR...]\n"
    "                      believe X-Forwarded-For/-Proto from these proxies\n"
    "  --drain-seconds N   on SIGTERM, let requests in flight (downloads until\n"
    "                      their last byte) finish for up to N seconds\n"
    "                      (default 10); a download cut off then makes the\n"
    "                      exit status 1\n"
    "  --metrics ADDR:PORT serve Prometheus metrics on GET /metrics there\n"
    "  --show-sql          grids write their SQL into their pages as an HTML\n"
    "                      comment (development only; on with --demo)\n"
    "  --quiet             no request log (errors are still logged)\n"
    "  --deliver           also run due report schedules, every minute, on a\n"
    "                      thread of the server (stopped by SIGTERM); takes\n"
    "                      the delivery options below\n"
    "\n"
    "Options of deliver (and of serve --deliver):\n"
    "  --site DIR          the site folder (default: the current folder)\n"
    ) + fennick_app::kDeliveryOptionsUsage +
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
  bool demo = false, quiet = false, site_given = false, big = false;
  std::string demo_postgres;
  int64_t big_rows = fennick::kBigDemoRows;
  std::optional<fennick::RedisAddress> redis;
  int drain_seconds = 10;
  bool deliver = false;
  fennick_app::DeliveryArgs delivery;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    std::string delivery_error;
    if (fennick_app::ParseDeliveryOption(argc, argv, i, delivery, &delivery_error)) {
      if (!delivery_error.empty()) return Fail(delivery_error);
      continue;
    }
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)name;
      return argv[++i];
    };
    const char* v = nullptr;
    size_t n = 0;
    if (arg == "--demo") {
      demo = true;
    } else if (arg == "--demo-postgres") {
      if (!(v = value("--demo-postgres")) || *v == '\0')
        return Fail("--demo-postgres needs a connection string");
      demo_postgres = v;
    } else if (arg == "--big") {
      big = true;
    } else if (arg == "--big-rows") {
      if (!(v = value("--big-rows")) || !ParseSize(v, n) || n == 0 || n > 100000000)
        return Fail("--big-rows needs a count from 1 to 100000000");
      big_rows = static_cast<int64_t>(n);
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--deliver") {
      deliver = true;
    } else if (arg == "--show-sql") {
      options.show_sql = true;
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
    } else if (arg == "--max-new-sessions") {
      if (!(v = value("--max-new-sessions")) || !ParseSize(v, n))
        return Fail("--max-new-sessions needs a count");
      options.max_new_sessions_per_address = n;
    } else if (arg == "--page-memory") {
      if (!(v = value("--page-memory")) || !ParseSize(v, n) || n == 0 || n > 1024 * 1024)
        return Fail("--page-memory needs MiB from 1 to 1048576");
      script_options.heap_memory_limit = n << 20;
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
    } else if (arg == "--sessions") {
      // The URL itself is never repeated: it may hold a password.
      if (!(v = value("--sessions")) || !(redis = fennick::ParseRedisUrl(v)))
        return Fail("--sessions needs redis://[[USER]:PASSWORD@]HOST:PORT[/DB]");
    } else if (arg == "--trust-proxy") {
      if (!(v = value("--trust-proxy")) || !*v) return Fail("--trust-proxy needs proxy addresses");
      options.trusted_proxies.emplace_back(v);
    } else if (arg == "--drain-seconds") {
      if (!(v = value("--drain-seconds")) || !ParseSize(v, n) || n > 3600)
        return Fail("--drain-seconds needs seconds from 0 to 3600");
      drain_seconds = static_cast<int>(n);
    } else if (arg == "--metrics") {
      std::string address = (v = value("--metrics")) ? v : "";
      size_t colon = address.rfind(':');
      if (colon == std::string::npos || colon == 0 || !ParseSize(address.c_str() + colon + 1, n) ||
          n > 65535)
        return Fail("--metrics needs ADDR:PORT (port 0 picks a free one)");
      options.metrics_address = address.substr(0, colon);
      if (options.metrics_address.size() > 2 && options.metrics_address.front() == '[')
        options.metrics_address =
            options.metrics_address.substr(1, options.metrics_address.size() - 2);
      options.metrics_port = static_cast<int>(n);
    } else {
      return Fail("unknown option " + arg);
    }
  }
  // The sessions URL from the environment keeps a Redis password off the
  // command line, which every local user can read.
  if (const char* env = std::getenv("FENNICK_SESSIONS"); env && *env && !redis) {
    if (!(redis = fennick::ParseRedisUrl(env)))
      return Fail("FENNICK_SESSIONS needs redis://[[USER]:PASSWORD@]HOST:PORT[/DB]");
  }
  if (big && !demo) return Fail("--big needs --demo");
  // --demo with --site serves the given site with the demo database built
  // in its data/ folder; --demo alone serves the demo site itself.
  if (demo && !site_given) options.site_root = FENNICK_DEMO_SITE;
  // The demo is for looking inside: its grids show the SQL they run.
  if (demo) options.show_sql = true;
  std::error_code ec;
  if (!std::filesystem::is_directory(options.site_root, ec)) {
    return Fail("the site folder " + options.site_root.string() + " does not exist");
  }
  // Quiet drops the request lines only: an error's line is the one place
  // its reference number leads to.
  if (quiet) {
    options.log = [](const std::string& line) {
      if (line.rfind("error ", 0) == 0) std::cerr << line << '\n';
    };
  }
  // Redis is reached on first use, not here: a server started while Redis
  // is down answers "sessions unavailable" until it is back.
  if (redis) options.session_store = fennick::MakeRedisSessionStore(*redis);
  if (demo) {
    // The demo pages show the database's absence themselves; the server
    // still starts.
    const fennick::DemoDatabaseResult database = fennick::EnsureDemoDatabase(options.site_root, FENNICK_DEMO_SITE);
    if (!database.ok()) std::cerr << "fennick: demo database: " << database.error << "\n";
  }
  // Only on request: a million rows take seconds to generate and about
  // 100 MB on disk. Without the switch the big page says how to ask.
  bool big_ready = false;
  if (big) {
    const auto started = std::chrono::steady_clock::now();
    const fennick::DemoDatabaseResult database =
        fennick::EnsureBigDemoDatabase(options.site_root, big_rows);
    if (!database.ok()) {
      std::cerr << "fennick: big demo table: " << database.error << "\n";
    } else {
      big_ready = true;
      if (database.built) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::fprintf(stderr, "fennick: built data/big.db (%lld rows) in %.1f s\n",
                     static_cast<long long>(big_rows), seconds);
      }
    }
  }

  // SIGINT and SIGTERM are taken by one watcher thread; every other thread
  // (the server's workers included) inherits the blocked mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  if (deliver) options.extra_metrics = fennick::DeliveryMetricsText;
  std::unique_ptr<fennick::WebServer> made;
  try {
    made = std::make_unique<fennick::WebServer>(options);
  } catch (const fennick::Error& e) {
    return Fail(e.description());
  }
  fennick::WebServer& server = *made;
  server.SetObjectFactory(
      [](std::string_view progid) { return fennick::CreateComponentObject(progid); });
  fennick::EnableScriptPages(server, script_options);
  if (demo) fennick::RegisterDemoPages(server);
  // The PostgreSQL designer page reads its connection string from here and
  // answers 404 without one, so a plain demo has no such page.
  if (!demo_postgres.empty()) {
    if (!demo) return Fail("--demo-postgres needs --demo");
    server.application().Set("DemoPostgres", fennick::Variant(demo_postgres));
  }
  // The big demo page reads this to know the table is there for it.
  if (big_ready) server.application().Set("BigDemoRows", fennick::Variant(big_rows));
  std::string error;
  if (!server.Bind(&error)) {
    std::cerr << "fennick: " << error << "\n";
    return 1;
  }

  // Schedules run beside the pages; the loop stops (after the run in
  // flight) when Run returns, so SIGTERM ends it with the server.
  std::unique_ptr<fennick::DeliveryLoop> delivery_loop;
  if (deliver) {
    delivery.options.site_root = server.options().site_root;
    delivery.options.locale = options.locale;
    delivery_loop = std::make_unique<fennick::DeliveryLoop>(std::move(delivery.options),
                                                            std::chrono::seconds(60));
  }

  // Set when Run has returned: every request is answered or cut off.
  std::mutex run_mutex;
  std::condition_variable run_cv;
  bool run_finished = false;
  std::thread watcher([&, signals, drain_seconds] {
    int sig = 0;
    sigwait(&signals, &sig);
    // SIGTERM (a service manager, a rolling restart) drains; Ctrl-C at a
    // terminal stops at once.
    auto grace = std::chrono::seconds(sig == SIGTERM ? drain_seconds : 0);
    if (sig == SIGTERM) {
      server.Drain(grace);
    } else {
      server.Stop();
    }
    // A page still running when the grace period is over (one stuck in a
    // slow query, say) would keep the process alive until its own page
    // timeout; the promise was to exit, so the process ends without it.
    std::unique_lock<std::mutex> lock(run_mutex);
    if (!run_cv.wait_for(lock, grace + std::chrono::seconds(2), [&] { return run_finished; })) {
      std::fprintf(stderr, "fennick: requests still running after the drain period; exiting\n");
      std::_Exit(1);
    }
  });
  std::printf("Fennick %s serving %s on http://%s:%d/\n", std::string(fennick::kVersion).c_str(),
              server.options().site_root.c_str(), options.bind_address.c_str(), server.port());
  if (server.metrics_port() != 0) {
    std::printf("Metrics on http://%s:%d/metrics\n", options.metrics_address.c_str(),
                server.metrics_port());
  }
  std::fflush(stdout);
  server.Run();
  if (delivery_loop) delivery_loop->Stop();
  {
    std::lock_guard<std::mutex> lock(run_mutex);
    run_finished = true;
  }
  run_cv.notify_all();
  // Run returns after a signal or a failure; wake the watcher if it still waits.
  pthread_kill(watcher.native_handle(), SIGTERM);
  watcher.join();
  // A download cut off by the drain period is a failure a service manager
  // should see, as much as a page that would not stop.
  if (size_t cut = server.CutResponses()) {
    std::fprintf(stderr, "fennick: %zu download(s) cut off at the end of the drain period\n", cut);
    return 1;
  }
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
  if (command == "serve" || command == "deliver" || command == "version" ||
      command == "--version") {
    // A command's --help asks for the usage wherever it stands among the
    // options, before any of them is judged.
    for (int i = 2; i < argc; ++i) {
      if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
        std::cout << kUsage;
        return 0;
      }
    }
  }
  if (command == "version" || command == "--version") {
    std::cout << fennick::kVersion << "\n";
    return 0;
  }
  if (command == "serve") return Serve(argc, argv);
  if (command == "deliver") return fennick_app::Deliver(argc, argv, kUsage.c_str());
  return Fail("unknown command " + command);
}
