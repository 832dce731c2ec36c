// The web host: an HTTP/1.1 server that runs pages.
//
// A program registers page handlers by path (the embedding API) and runs the
// server. For every request the host builds a PageContext, binds it to the
// worker thread, runs the page, and sends what it wrote. Static files of the
// site folder are served from an allow-list of extensions; the site's data/
// folder and .asp sources never are.
//
// Requests are read off the sockets by the host itself, strictly framed and
// under an overall deadline, before a worker thread runs them; slow clients
// therefore never hold a worker, and one client address holds at most
// max_connections_per_address connections.
//
// GET /healthz answers 200 "ok" while the server serves (503 while it
// drains for a shutdown), before authentication and without any page or
// database: a load balancer's health check.
//
// WebServer is thread-safe for Stop(); everything else is set up before Run.
#ifndef FENNICK_SERVER_H_
#define FENNICK_SERVER_H_

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fennick/page.h"

namespace fennick {

struct ServerOptions {
  std::filesystem::path site_root = ".";
  std::string bind_address = "127.0.0.1";
  int port = 8080;  // 0 picks a free port
  size_t threads = 64;
  size_t max_body_bytes = 1 << 20;
  // The largest response a page may buffer; a page writing more is answered
  // with an error page (HTTP 500) instead of its output.
  size_t max_response_bytes = size_t{256} << 20;
  // The request line and headers together; a head over it (or one header
  // line over it) is answered 431.
  size_t max_header_bytes = 16 * 1024;
  size_t max_fields = 2000;
  int keep_alive_seconds = 3;
  // A request's head and body must have arrived this many seconds after its
  // first byte, however they trickle in (else the client gets 408), and a
  // new connection must send its first byte within it (else it is closed).
  // There is no separate idle timeout while a request arrives.
  int request_deadline_seconds = 10;
  // Longest wait for the client to take more of a response; a client that
  // takes nothing for this long is cut off.
  int write_timeout_seconds = 5;
  // Connections one client address may hold at once; more are answered 503
  // and closed as they are accepted. 0 for no limit.
  size_t max_connections_per_address = 32;
  // Sessions the default in-memory store holds (0 for no limit). At the cap
  // a new session replaces one whose browser never came back with it, else
  // one idle for five minutes; when every session is in use, the new one is
  // not kept (see Session: the page runs with a transient session).
  size_t max_sessions = 10000;
  // New sessions one client address may start a minute (0 for no limit);
  // beyond it a page that starts one runs with a transient session that is
  // not kept and sends no cookie. Behind a trusted proxy the address is the
  // client the proxy names.
  size_t max_new_sessions_per_address = 100;
  // The server's locale for formatting, an ICU name.
  std::string locale = "en_US";
  // When non-empty, every request needs HTTP basic authentication by one of
  // these user/password pairs, and REMOTE_USER names the user.
  std::vector<std::pair<std::string, std::string>> basic_auth_users;
  std::string auth_realm = "Fennick";
  // The secret that sealed values (texts that travel through the browser
  // and must come back intact: SQL texts, connection strings) are made with.
  // Servers that share it accept each other's values. Empty: the
  // environment variable FENNICK_SECRET, else the site's key file
  // data/fennick.key, created with mode 0600 when the server binds.
  std::string secret;
  // Proxies (nginx in front of several servers) whose X-Forwarded-For and
  // X-Forwarded-Proto headers are believed, as numeric addresses; from any
  // other peer those headers are ignored. Their connections are exempt from
  // max_connections_per_address.
  std::vector<std::string> trusted_proxies;
  // When metrics_port is not 0 (or metrics_address is not empty), a second
  // listener serves GET /metrics in the Prometheus text format there.
  std::string metrics_address;
  int metrics_port = 0;
  // More metrics in the same format, appended to the listener's answer
  // (the delivery counters of `serve --deliver`); called on the listener's
  // threads, so it must be thread-safe.
  std::function<std::string()> extra_metrics;
  // Session store; the in-memory store with a 20-minute idle timeout and
  // max_sessions when null.
  std::shared_ptr<SessionStore> session_store;
  // Receives one line per request, and the lines pages log (errors with
  // their reference numbers); stderr when null.
  std::function<void(const std::string&)> log;
  // Grids write their SQL into their pages as an HTML comment, as every
  // grid with ShowSqlInPage does: for development only, since the SQL
  // names tables and hidden filters.
  bool show_sql = false;
};

using PageHandler = std::function<void(PageContext&)>;

class WebServer {
 public:
  explicit WebServer(ServerOptions options);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Runs `handler` for requests of exactly `path` ("/", "/orders").
  void RegisterPage(std::string path, PageHandler handler);
  // Runs `handler` for requests of any path ending in `extension` (".asp")
  // whose file exists in the site folder.
  void RegisterExtension(std::string extension, PageHandler handler);
  // How Server.CreateObject makes objects.
  void SetObjectFactory(ObjectFactory factory);

  // Installs the secret of sealed values for the process, binds the
  // listening socket and starts the worker threads. Returns false (and
  // fills error) when the secret's key file cannot be read or made, or the
  // address cannot be bound.
  bool Bind(std::string* error);
  // The port bound (useful after port 0).
  int port() const;
  // Serves until Stop(). Bind() first.
  void Run();
  // Stops the server, running or bound and about to run (Run then returns
  // at once); safe from any thread and from signal watchers.
  void Stop();
  // Stops accepting connections and lets the requests in flight finish for
  // at most `grace`; a streamed response (an export) is in flight until
  // its last piece is sent. Run returns when they have, or when grace is
  // over: streamed responses still being sent are then cut off (the client
  // sees a failed download; CutResponses counts them), and pages still
  // running are waited for. Meanwhile GET /healthz answers 503, so a load
  // balancer that still holds a connection takes this server out. Safe
  // from any thread.
  void Drain(std::chrono::milliseconds grace);
  // Streamed responses a drain cut off before their end.
  size_t CutResponses() const;
  // The port of the metrics listener (useful after metrics port 0); 0
  // without one.
  int metrics_port() const;

  Application& application();
  const ServerOptions& options() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fennick

#endif  // FENNICK_SERVER_H_
