// The web host on cpp-httplib: request parsing into the intrinsic objects,
// page dispatch, static files, sessions, limits and the request log.
#include <httplib.h>
#include <sodium.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

#include "base/ascii.h"
#include "fennick/error.h"
#include "fennick/server.h"
#include "fennick/session_stores.h"
#include "platform/crypto/seal.h"
#include "platform/web/connection_front.h"
#include "platform/web/content_coding.h"
#include "platform/web/forwarded.h"
#include "platform/web/host_pages.h"
#include "platform/web/http_text.h"
#include "platform/web/page_sessions.h"
#include "platform/web/private_files.h"
#include "platform/web/response_channel.h"
#include "platform/web/server_metrics.h"
#include "platform/web/session_limiter.h"
#include "platform/web/site_paths.h"

namespace fennick {
namespace {

// Enough pending connections that a burst of clients is never dropped by
// the kernel (a dropped SYN costs the client a one-second retry).
constexpr int kListenBacklog = 1024;

thread_local std::chrono::steady_clock::time_point request_start{};
// The channel of the request this worker serves, and whether the front
// asked for its connection to close; set around the library's handling.
thread_local ResponseChannel* current_channel = nullptr;
thread_local bool current_closing = false;

// Puts back the header values the connection front set aside because the
// library refuses head lines over 8 KB (request_framer.h).
void RestoreSetAsideValues(httplib::Headers& headers) {
  const std::vector<std::string>* values = SetAsideValues();
  if (!values) return;
  for (auto& [name, value] : headers) {
    if (value.size() < 2 || value[0] != kSetAsideMark) continue;
    size_t index = std::strtoul(value.c_str() + 1, nullptr, 10);
    if (index < values->size()) value = (*values)[index];
  }
}

bool ConstantTimeEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  return sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

// cpp-httplib's server behind the connection front. The library's accept
// loop stays (binding, stopping), but every accepted socket goes to the
// front instead of a library worker, and the front hands complete requests
// back through ServeRequest. Reading requests ourselves was the least
// invasive way to give head and body an overall deadline and to keep
// dripping clients off the workers: the library's routing, parsing of the
// (already framed) head, and response writing are used unchanged.
class HostHttpServer : public httplib::Server {
 public:
  std::function<void(int)> adopt;

  // Reads one request from `stream`, runs it and writes the response.
  bool ServeRequest(httplib::Stream& stream, bool close_connection, bool& connection_closed) {
    return process_request(stream, close_connection, connection_closed, nullptr);
  }

 private:
  // Runs on the accept thread (InPlaceTaskQueue): only hands the socket on.
  bool process_and_close_socket(socket_t sock) override {
    adopt(sock);
    return true;
  }
};

// The library's task queue for accepted sockets: the task (handing the
// socket to the front) is quick, so it runs in place.
class InPlaceTaskQueue : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> fn) override { fn(); }
  void shutdown() override {}
};

}  // namespace

struct WebServer::Impl {
  explicit Impl(ServerOptions opts)
      : options(std::move(opts)), new_sessions(options.max_new_sessions_per_address) {
    if (!options.session_store) {
      options.session_store = MakeMemorySessionStore(20, options.max_sessions);
    }
    std::error_code ec;
    auto canonical = std::filesystem::weakly_canonical(options.site_root, ec);
    if (!ec) options.site_root = canonical;
    for (const std::string& proxy : options.trusted_proxies) {
      std::string bad;
      if (!trusted.Parse(proxy, &bad)) {
        throw Error(kErrInvalidCall, "Not a proxy address: " + bad, "WebServer");
      }
    }
  }

  ServerOptions options;
  HostHttpServer http;
  std::unique_ptr<ConnectionFront> front;
  Application application;
  ObjectFactory factory;
  std::map<std::string, PageHandler> pages;
  std::vector<std::pair<std::string, PageHandler>> extensions;
  int listen_fd = -1;
  int bound_port = 0;
  TrustedProxies trusted;
  NewSessionLimiter new_sessions;
  // When a session was last refused for want of room: logged once a minute.
  std::atomic<int64_t> store_full_logged{0};
  ServerMetrics metrics;
  std::atomic<bool> draining{false};
  StreamTracker streams;
  std::atomic<int64_t> drain_grace_ms{0};
  std::unique_ptr<httplib::Server> metrics_http;
  std::thread metrics_thread;
  int metrics_bound_port = 0;

  void Log(const std::string& line) {
    if (options.log) {
      options.log(line);
    } else {
      std::cerr << line << '\n';
    }
  }

  // Checks basic authentication when configured; fills REMOTE_USER.
  bool Authenticate(const httplib::Request& req, std::string& user) {
    if (options.basic_auth_users.empty()) return true;
    std::string header = req.get_header_value("Authorization");
    if (header.size() < 6 || !EqualsIgnoreCase(header.substr(0, 6), "Basic ")) return false;
    std::string encoded = header.substr(6);
    std::string decoded(encoded.size(), '\0');
    size_t len = 0;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(decoded.data()), decoded.size(),
                          encoded.data(), encoded.size(), " ", &len, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0) {
      return false;
    }
    decoded.resize(len);
    size_t colon = decoded.find(':');
    if (colon == std::string::npos) return false;
    std::string name = decoded.substr(0, colon), password = decoded.substr(colon + 1);
    bool ok = false;
    for (const auto& [u, p] : options.basic_auth_users) {
      // Every pair is compared so the time taken does not tell which user exists.
      if (ConstantTimeEquals(u, name) & ConstantTimeEquals(p, password)) ok = true;
    }
    if (ok) user = name;
    return ok;
  }

  const PageHandler* FindHandler(const std::string& path) {
    auto it = pages.find(path);
    if (it != pages.end()) return &it->second;
    for (const auto& [ext, handler] : extensions) {
      if (path.size() > ext.size() &&
          EqualsIgnoreCase(std::string_view(path).substr(path.size() - ext.size()), ext)) {
        return &handler;
      }
    }
    return nullptr;
  }

  void Handle(const httplib::Request& req, httplib::Response& res,
              const httplib::ContentReader* reader) {
    // The library hands its handlers the request it owns as const; the
    // request is its own local, routed already, so the values go back in
    // place for everything that reads the headers from here on.
    RestoreSetAsideValues(const_cast<httplib::Request&>(req).headers);
    Route(req, res, reader);
    const ContentCoding coding = ChooseContentCoding(req.get_header_value("Accept-Encoding"));
    KeepLibraryFromCompressing(req);
    if (!current_channel || !current_channel->WrittenByHost()) CompressBuffered(coding, req, res);
  }

  // The library would compress at its maximum levels (slow enough to
  // multiply a page's time): it never sees what the browser accepts, and
  // the host compresses instead.
  static void KeepLibraryFromCompressing(const httplib::Request& req) {
    const_cast<httplib::Request&>(req).headers.erase("Accept-Encoding");
  }

  void Route(const httplib::Request& req, httplib::Response& res,
             const httplib::ContentReader* reader) {
    // The health check needs no page, session or database: it says whether
    // this process takes requests, and turns 503 while it drains so that a
    // load balancer stops sending it new ones.
    if (req.path == "/healthz" && (req.method == "GET" || req.method == "HEAD")) {
      bool up = !draining.load();
      res.status = up ? 200 : 503;
      res.set_header("Cache-Control", "no-store");
      res.set_content(up ? "ok\n" : "draining\n", "text/plain; charset=utf-8");
      return;
    }
    size_t header_bytes = req.target.size();
    for (const auto& [name, value] : req.headers) header_bytes += name.size() + value.size() + 4;
    if (header_bytes > options.max_header_bytes) {
      Fail(res, 431, "Request Header Fields Too Large", "The request's headers are too large.");
      return;
    }
    auto path = DecodePath(req.target);
    if (!path) {
      Fail(res, 400, "Bad Request", "The request path is not valid.");
      return;
    }
    std::string remote_user;
    if (!Authenticate(req, remote_user)) {
      res.set_header("WWW-Authenticate", "Basic realm=\"" + options.auth_realm + "\"");
      Fail(res, 401, "Unauthorized", "This site needs a user name and password.");
      return;
    }
    if (HasUnsafeSegment(*path)) {
      Fail(res, 403, "Forbidden", "The path is not allowed.");
      return;
    }
    // A folder's page is its registered handler or the folder's index.
    std::string page_path = *path;
    if (page_path.back() == '/' && !pages.count(page_path)) {
      for (const char* index : {"index.asp", "default.asp", "index.html", "default.htm"}) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(
                options.site_root / (page_path.substr(1) + index), ec)) {
          page_path += index;
          break;
        }
      }
    }
    if (IsDataPath(options.site_root, page_path)) {
      Fail(res, 404, "Not Found", "The page cannot be found.");
      return;
    }
    const PageHandler* handler = FindHandler(page_path);
    if (handler && !pages.count(page_path)) {
      // Extension handlers only run for files of the site.
      std::error_code ec;
      if (!std::filesystem::is_regular_file(options.site_root / page_path.substr(1), ec)) {
        handler = nullptr;
      }
    }
    if (handler) {
      RunPage(*handler, page_path, remote_user, req, res, reader);
      return;
    }
    if (req.method != "GET" && req.method != "HEAD") {
      Fail(res, 405, "Method Not Allowed", "Static files are only read.");
      return;
    }
    ServeStatic(page_path, res);
  }

  void ServeStatic(const std::string& path, httplib::Response& res) {
    const char* type = StaticContentType(path);
    if (!type) {
      Fail(res, 404, "Not Found", "The page cannot be found.");
      return;
    }
    std::error_code ec;
    auto file = std::filesystem::weakly_canonical(options.site_root / path.substr(1), ec);
    // A symbolic link may point outside the site: the resolved file must
    // still lie under the site root.
    auto root = options.site_root.native();
    if (ec || file.native().compare(0, root.size(), root) != 0 ||
        (file.native().size() > root.size() && file.native()[root.size()] != '/') ||
        !std::filesystem::is_regular_file(file, ec)) {
      Fail(res, 404, "Not Found", "The page cannot be found.");
      return;
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    // Designer files (reports and locale files) hold report definitions
    // and passwords: never sent, even from the page's folder.
    if (!in || IsPrivateFile(file, content.view())) {
      Fail(res, 404, "Not Found", "The page cannot be found.");
      return;
    }
    res.status = 200;
    res.set_content(content.str(), type);
  }

  void Fail(httplib::Response& res, int status, std::string_view title, std::string_view text) {
    res.status = status;
    res.set_content(SimplePage(status, title, text), "text/html; charset=utf-8");
  }

  // Who the client is: the peer, or behind a trusted proxy, whom the proxy
  // names.
  ClientOrigin Origin(const httplib::Request& req) {
    if (trusted.empty()) return ClientOrigin{req.remote_addr, false};
    auto values = [&req](const char* name) {
      std::vector<std::string> out;
      for (size_t i = 0, n = req.get_header_value_count(name); i < n; ++i)
        out.push_back(req.get_header_value(name, i));
      return out;
    };
    return ResolveClientOrigin(req.remote_addr, false, values("X-Forwarded-For"),
                               values("X-Forwarded-Proto"), trusted);
  }

  Request BuildRequest(const std::string& path, const std::string& remote_user,
                       const ClientOrigin& origin, const httplib::Request& req,
                       httplib::Response& res, const httplib::ContentReader* reader, bool& ok) {
    Request request;
    request.SetMethod(req.method);
    request.SetPath(path);
    size_t q = req.target.find('?');
    std::string query = q == std::string::npos ? std::string() : req.target.substr(q + 1);
    ok = ParseUrlEncoded(query, request.MutableQuery(), options.max_fields);
    if (!ok) {
      Fail(res, 413, "Too Many Fields", "The request carries too many fields.");
      return request;
    }

    if (reader) {
      std::string content_type = req.get_header_value("Content-Type");
      if (req.is_multipart_form_data()) {
        // Multipart parts arrive in posted order; each part's content is
        // collected and added as a form field.
        std::vector<httplib::MultipartFormData> parts;
        size_t total = 0;
        bool read = (*reader)(
            [&](const httplib::MultipartFormData& part) {
              if (parts.size() >= options.max_fields) return false;
              parts.push_back(part);
              return true;
            },
            [&](const char* data, size_t len) {
              total += len;
              if (total > options.max_body_bytes) return false;
              parts.back().content.append(data, len);
              return true;
            });
        if (!read || total > options.max_body_bytes) {
          ok = false;
          if (parts.size() >= options.max_fields) {
            Fail(res, 413, "Too Many Fields", "The request carries too many fields.");
          } else if (total > options.max_body_bytes) {
            Fail(res, 413, "Payload Too Large", "The request body is too large.");
          } else {
            Fail(res, 400, "Bad Request", "The posted form could not be read.");
          }
          return request;
        }
        for (auto& part : parts) request.MutableForm().Add(part.name, std::move(part.content));
      } else {
        std::string body;
        bool read = (*reader)([&](const char* data, size_t len) {
          if (body.size() + len > options.max_body_bytes) return false;
          body.append(data, len);
          return true;
        });
        if (!read) {
          ok = false;
          Fail(res, 413, "Payload Too Large", "The request body is too large.");
          return request;
        }
        if (AsciiLower(content_type).rfind("application/x-www-form-urlencoded", 0) == 0) {
          ok = ParseUrlEncoded(body, request.MutableForm(), options.max_fields);
          if (!ok) {
            Fail(res, 413, "Too Many Fields", "The request carries too many fields.");
            return request;
          }
        }
        request.SetBody(std::move(body));
      }
    }

    std::string cookie_header;
    for (size_t i = 0, n = req.get_header_value_count("Cookie"); i < n; ++i) {
      if (i) cookie_header.append("; ");
      cookie_header.append(req.get_header_value("Cookie", i));
    }
    ParseCookieHeader(cookie_header, request.MutableCookies());

    request.SetVariable("URL", path);
    request.SetVariable("SCRIPT_NAME", path);
    request.SetVariable("PATH_INFO", path);
    request.SetVariable("PATH_TRANSLATED", (options.site_root / path.substr(1)).string());
    request.SetVariable("APPL_PHYSICAL_PATH", options.site_root.string() + "/");
    request.SetVariable("QUERY_STRING", query);
    request.SetVariable("REQUEST_METHOD", req.method);
    request.SetVariable("REMOTE_ADDR", origin.address);
    request.SetVariable("REMOTE_HOST", origin.address);
    request.SetVariable("REMOTE_PORT", std::to_string(req.remote_port));
    request.SetVariable("REMOTE_USER", remote_user);
    request.SetVariable("AUTH_USER", remote_user);
    request.SetVariable("AUTH_TYPE", remote_user.empty() ? "" : "Basic");
    request.SetVariable("LOCAL_ADDR", req.local_addr);
    std::string host = req.get_header_value("Host");
    std::string server_name = host.empty() ? req.local_addr : host.substr(0, host.rfind(':'));
    if (!host.empty() && host[0] == '[') server_name = host.substr(0, host.find(']') + 1);
    request.SetVariable("SERVER_NAME", server_name);
    request.SetVariable("SERVER_PORT", std::to_string(req.local_port));
    request.SetVariable("SERVER_PROTOCOL", req.version);
    request.SetVariable("SERVER_SOFTWARE", "Fennick");
    request.SetVariable("HTTPS", origin.https ? "on" : "off");
    request.SetVariable("SERVER_PORT_SECURE", origin.https ? "1" : "0");
    request.SetVariable("CONTENT_TYPE", req.get_header_value("Content-Type"));
    request.SetVariable("CONTENT_LENGTH", req.get_header_value("Content-Length"));
    std::string all_http;
    for (const auto& [name, value] : req.headers) {
      std::string var = "HTTP_";
      for (char c : name) {
        var.push_back(c == '-' ? '_' : AsciiUpperChar(c));
      }
      all_http.append(var).append(":").append(value).append("\n");
      request.SetVariable(std::move(var), value);
    }
    request.SetVariable("ALL_HTTP", all_http);
    return request;
  }

  void RunPage(const PageHandler& handler, const std::string& path,
               const std::string& remote_user, const httplib::Request& req,
               httplib::Response& res, const httplib::ContentReader* reader) {
    bool ok = true;
    const ClientOrigin origin = Origin(req);
    Request request = BuildRequest(path, remote_user, origin, req, res, reader, ok);
    if (!ok) return;
    auto store = std::make_shared<PageSessionStore>(options.session_store);
    // The session is looked up when the page first uses it, not here: a
    // page that never touches it neither waits for the store nor fails
    // when the store is away. A session id is only taken from the browser
    // while the store knows it, so a client cannot choose its own id.
    Session session(store, SessionCookieIds(request.CookieFields()),
                    [this, address = origin.address] { return AdmitNewSession(address); });
    PageContext page(std::move(request), std::move(session), application,
                     Server(options.site_root, path, factory, options.locale));
    page.response().MaxBytes(options.max_response_bytes);
    page.SetLogSink([this](const std::string& line) { Log(line); });
    page.ShowSql(options.show_sql);

    {
      PageBinding binding(page);
      try {
        handler(page);
        page.RunEndWork();
      } catch (const PageEnd&) {
        // The page ended itself; what it wrote is sent.
      } catch (const Error& e) {
        // What the page wrote before the error is never sent: it is not the
        // page it meant to show, and it may be huge.
        page.response().Discard();
        page.response().Status("500 Internal Server Error");
        page.response().MutableBody() = ErrorBlock(e);
      } catch (const std::exception& e) {
        page.response().Discard();
        page.response().Status("500 Internal Server Error");
        page.response().MutableBody() = ErrorBlock(Error(-1, e.what(), "Fennick"));
      }
    }
    if (page.session().Transient()) NoteSessionNotKept();

    Response& response = page.response();
    if (!store->failure().empty()) {
      SessionsUnavailable(res, store->failure());
      return;
    }
    if (response.StatusCode() == 500) {
      metrics.CountPageError();
      if (page.Deadline() != std::chrono::steady_clock::time_point::max() &&
          std::chrono::steady_clock::now() >= page.Deadline()) {
        metrics.CountPageTimeout();
      }
    }
    if (response.TooLarge() || response.Body().size() > options.max_response_bytes) {
      // Output cut at the cap would pass for a whole page; the page's error
      // block appended after it is in the part cut off.
      response.Discard();
      response.MutableBody() = ErrorBlock(Error(
          kErrResponseTooLarge,
          "The page's output is larger than the server's limit of " +
              std::to_string(options.max_response_bytes) + " bytes for one response",
          "Response object"));
      response.Status("500 Internal Server Error");
    }
    if (page.session().Started()) {
      Cookie cookie;
      cookie.value = page.session().SessionID();
      cookie.http_only = true;
      cookie.same_site = "Lax";
      // Over https (here, or at a trusted proxy in front) the browser must
      // never send the id over plain http.
      cookie.secure = origin.https;
      response.SetCookie(kSessionCookie, std::move(cookie));
    }
    res.status = response.StatusCode();
    for (const auto& [name, value] : response.Headers()) res.set_header(name, value);
    for (const auto& [name, cookie] : response.Cookies()) {
      res.set_header("Set-Cookie", FormatSetCookie(name, cookie));
    }
    if (response.Expires()) {
      int32_t minutes = *response.Expires();
      if (minutes <= 0) {
        res.set_header("Cache-Control", "no-cache");
        res.set_header("Expires", "0");
      } else {
        res.set_header("Cache-Control", "max-age=" + std::to_string(minutes * 60));
      }
    }
    if (response.StreamedBody()) {
      StreamBody(page, req, res);
      return;
    }
    res.body = std::move(response.MutableBody());
    res.set_header("Content-Type", response.FullContentType());
  }

  // Whether a page of `address` may start a new session that is kept.
  bool AdmitNewSession(const std::string& address) {
    bool first_refusal = false;
    if (new_sessions.Admit(address, std::chrono::steady_clock::now(), &first_refusal)) {
      return true;
    }
    if (first_refusal) {
      Log("sessions: " + address + " started " +
          std::to_string(options.max_new_sessions_per_address) +
          " new sessions this minute; its further pages get sessions that are not kept");
    }
    return false;
  }

  // A page's new session was refused for want of room (or by the limit
  // above, already logged): said once a minute, so that a full store shows.
  void NoteSessionNotKept() {
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    int64_t last = store_full_logged.load();
    if (now - last < 60 || !store_full_logged.compare_exchange_strong(last, now)) return;
    Log("sessions: a page's new session was not kept (the session store is full of sessions "
        "in use, or its client starts too many)");
  }

  void SessionsUnavailable(httplib::Response& res, const std::string& why) {
    metrics.CountSessionStoreError();
    Log("session store: " + why);
    res.status = 503;
    res.headers.clear();
    res.set_header("Retry-After", "5");
    res.set_content(SimplePage(503, "Service Unavailable", kSessionsUnavailable),
                    "text/html; charset=utf-8");
  }

  // Sends the page's buffered output and then its producer's pieces, on
  // this worker: the response counts as in flight until its last piece,
  // so a drain waits for it (and cuts it off only when its time is up).
  void StreamBody(PageContext& page, const httplib::Request& req, httplib::Response& res) {
    Response& response = page.response();
    ResponseChannel::StreamedHead head;
    head.status = response.Status();
    const std::string content_type = response.FullContentType();
    res.set_header("Content-Type", content_type);
    if (!res.has_header("Content-Encoding") && IsCompressibleType(content_type)) {
      AddVaryAcceptEncoding(res);
      head.coding = ChooseContentCoding(req.get_header_value("Accept-Encoding"));
    }
    head.headers.assign(res.headers.begin(), res.headers.end());
    head.chunked = req.version != "HTTP/1.0";
    head.close = current_closing || EqualsIgnoreCase(req.get_header_value("Connection"), "close");
    head.head_only = req.method == "HEAD";
    if (!current_channel) return;
    PageBinding binding(page);
    const std::string first = std::move(response.MutableBody());
    response.MutableBody().clear();
    current_channel->WriteStreamed(head, first, response.TakeStreamedBody(), streams,
                                   [this](const std::string& line) { Log(line); });
  }
};

WebServer::WebServer(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
  if (sodium_init() < 0) throw Error(-1, "libsodium could not be initialised", "WebServer");
  Impl* impl = impl_.get();
  auto& http = impl->http;
  ConnectionFrontOptions front;
  front.threads = impl->options.threads == 0 ? 1 : impl->options.threads;
  front.limits.max_head_bytes = impl->options.max_header_bytes;
  front.limits.max_body_bytes = impl->options.max_body_bytes;
  front.request_deadline = std::chrono::seconds(impl->options.request_deadline_seconds);
  front.write_timeout = std::chrono::seconds(impl->options.write_timeout_seconds);
  front.keep_alive = std::chrono::seconds(impl->options.keep_alive_seconds);
  front.max_connections_per_address = impl->options.max_connections_per_address;
  if (!impl->trusted.empty()) {
    front.uncapped = [impl](std::string_view address) { return impl->trusted.Contains(address); };
  }
  front.on_refusal = [impl](int status) { impl->metrics.CountRefusal(status); };
  impl->front = std::make_unique<ConnectionFront>(
      front,
      [impl](httplib::Stream& stream, bool close_connection, bool& connection_closed) {
        ResponseChannel channel(stream);
        current_channel = &channel;
        current_closing = close_connection;
        bool ok = impl->http.ServeRequest(channel, close_connection, connection_closed);
        current_channel = nullptr;
        if (channel.MustClose()) connection_closed = true;
        return ok;
      },
      [](int status, std::string_view title) {
        return SimplePage(status, title, RefusalText(status));
      },
      [impl](const std::string& line) { impl->Log(line); });
  http.adopt = [impl](int sock) { impl->front->Adopt(sock); };
  http.new_task_queue = [] { return new InPlaceTaskQueue; };
  http.set_tcp_nodelay(true);
  // What the library's Keep-Alive header announces; the front enforces it.
  http.set_keep_alive_max_count(front.keep_alive_max_count);
  http.set_keep_alive_timeout(impl->options.keep_alive_seconds);
  http.set_payload_max_length(impl->options.max_body_bytes);
  http.set_socket_options([impl](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    impl->listen_fd = sock;
  });

  http.Get(".*", [impl](const httplib::Request& req, httplib::Response& res) {
    impl->Handle(req, res, nullptr);
  });
  http.Post(".*", [impl](const httplib::Request& req, httplib::Response& res,
                         const httplib::ContentReader& reader) {
    impl->Handle(req, res, &reader);
  });
  http.set_error_handler([impl](const httplib::Request& req, httplib::Response& res) {
    Impl::KeepLibraryFromCompressing(req);
    if (!res.body.empty()) return;
    const char* title = res.status == 413   ? "Payload Too Large"
                        : res.status == 404 ? "Not Found"
                        : res.status == 400 ? "Bad Request"
                                            : "Error";
    impl->Fail(res, res.status, title, "The request could not be served.");
  });
  http.set_exception_handler([impl](const httplib::Request& req, httplib::Response& res,
                                    std::exception_ptr) {
    Impl::KeepLibraryFromCompressing(req);
    impl->Fail(res, 500, "Internal Server Error", "The request could not be served.");
  });
  http.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
    request_start = std::chrono::steady_clock::now();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  http.set_logger([impl](const httplib::Request& req, const httplib::Response& res) {
    // Each connection is served on one worker thread from start to end, so
    // the start time set before routing belongs to this request.
    double ms = 0;
    if (request_start != std::chrono::steady_clock::time_point{}) {
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                     request_start)
               .count();
      request_start = {};
    }
    impl->metrics.CountRequest(res.status, ms / 1000);
    // What reached the client after the head: a streamed export's bytes
    // too, which the library never held.
    const size_t bytes = current_channel ? current_channel->BodyBytesSent() : res.body.size();
    char line[64];
    std::snprintf(line, sizeof line, " %d %zu %.1fms ", res.status, bytes, ms);
    std::string path = req.target.substr(0, req.target.find('?'));
    impl->Log(req.method + " " + path + line + impl->Origin(req).address);
  });
}

WebServer::~WebServer() { Stop(); }

void WebServer::RegisterPage(std::string path, PageHandler handler) {
  impl_->pages[std::move(path)] = std::move(handler);
}

void WebServer::RegisterExtension(std::string extension, PageHandler handler) {
  impl_->extensions.emplace_back(std::move(extension), std::move(handler));
}

void WebServer::SetObjectFactory(ObjectFactory factory) { impl_->factory = std::move(factory); }

bool WebServer::Bind(std::string* error) {
  try {
    const ServerOptions& o = impl_->options;
    InstallSealer(o.secret.empty() ? Sealer::LoadServerKey(o.site_root / "data")
                                   : Sealer::KeyFromSecret(o.secret));
  } catch (const Error& e) {
    if (error) *error = e.description();
    return false;
  }
  int port = impl_->options.port;
  bool ok;
  if (port == 0) {
    port = impl_->http.bind_to_any_port(impl_->options.bind_address);
    ok = port > 0;
  } else {
    ok = impl_->http.bind_to_port(impl_->options.bind_address, port);
  }
  if (!ok) {
    if (error) {
      *error = "cannot listen on " + impl_->options.bind_address + ":" +
               std::to_string(impl_->options.port);
    }
    return false;
  }
  impl_->bound_port = port;
  if (!impl_->options.metrics_address.empty() || impl_->options.metrics_port != 0) {
    Impl* impl = impl_.get();
    impl->metrics_http = std::make_unique<httplib::Server>();
    impl->metrics_http->new_task_queue = [] { return new httplib::ThreadPool(2); };
    impl->metrics_http->Get("/metrics", [impl](const httplib::Request&, httplib::Response& res) {
      std::string text = impl->metrics.Render(static_cast<int64_t>(impl->front->ActiveRequests()));
      if (impl->options.extra_metrics) text += impl->options.extra_metrics();
      res.set_content(text, "text/plain; version=0.0.4; charset=utf-8");
    });
    const std::string address =
        impl->options.metrics_address.empty() ? "127.0.0.1" : impl->options.metrics_address;
    int mport = impl->options.metrics_port;
    bool bound = mport == 0 ? (mport = impl->metrics_http->bind_to_any_port(address)) > 0
                            : impl->metrics_http->bind_to_port(address, mport);
    if (!bound) {
      if (error)
        *error = "cannot listen for metrics on " + address + ":" +
                 std::to_string(impl->options.metrics_port);
      impl->http.stop();
      return false;
    }
    impl->metrics_bound_port = mport;
  }
  // The library listens with a small fixed backlog; widen it on the same
  // socket so bursts of new connections are queued, not dropped.
  if (impl_->listen_fd >= 0) ::listen(impl_->listen_fd, kListenBacklog);
  // The workers start with the socket, so that Run only has to listen.
  impl_->front->Start();
  return true;
}

int WebServer::port() const { return impl_->bound_port; }

void WebServer::Run() {
  if (impl_->metrics_http) {
    impl_->metrics_thread = std::thread([this] { impl_->metrics_http->listen_after_bind(); });
    // The library only stops a loop that runs; a shutdown right after start
    // would otherwise leave the metrics thread listening for ever.
    for (int i = 0; i < 1000 && !impl_->metrics_http->is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  impl_->http.listen_after_bind();
  if (impl_->draining.load()) {
    impl_->front->Drain(std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(impl_->drain_grace_ms.load()));
    // Time is up: downloads still going are cut off, so that their
    // workers come back; CutResponses() tells.
    impl_->streams.CutAll();
  }
  impl_->front->Stop();
  if (impl_->metrics_http) {
    // The metrics stay readable while the server drains; they go last.
    impl_->metrics_http->stop();
    if (impl_->metrics_thread.joinable()) impl_->metrics_thread.join();
  }
}

void WebServer::Drain(std::chrono::milliseconds grace) {
  impl_->drain_grace_ms.store(grace.count());
  impl_->draining.store(true);
  Stop();
}

int WebServer::metrics_port() const { return impl_->metrics_bound_port; }

size_t WebServer::CutResponses() const { return impl_->streams.CutCount(); }

void WebServer::Stop() {
  if (!impl_) return;
  if (impl_->http.is_running()) {
    impl_->http.stop();
  } else if (impl_->listen_fd >= 0) {
    // Stopped between Bind and Run (a signal right after start-up): the
    // library only stops a running loop, but a shut listening socket ends
    // the loop at its first accept.
    ::shutdown(impl_->listen_fd, SHUT_RDWR);
  }
}

Application& WebServer::application() { return impl_->application; }

const ServerOptions& WebServer::options() const { return impl_->options; }

}  // namespace fennick
