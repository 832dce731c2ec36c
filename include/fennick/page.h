// The page context: the intrinsic objects of the page being served.
//
// For every HTTP request the web host builds one PageContext holding the
// page's Request, Response, Session, Application and Server objects, the page
// URL, and the component state shared by every object the page creates.
// While the page runs, its context is bound to the running thread (the object
// context); component objects find the intrinsic objects through it.
//
// A PageContext and the objects in it belong to one page on one thread and
// are not thread-safe; Application and the session store are shared between
// pages and guard themselves.
#ifndef FENNICK_PAGE_H_
#define FENNICK_PAGE_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "fennick/object.h"
#include "fennick/variant.h"

namespace fennick {

// An ordered collection of named fields, as a query string or a posted form
// arrives: names keep their posted order, lookups ignore case, and a name
// posted several times holds all of its values.
class FieldList {
 public:
  void Add(std::string name, std::string value);
  size_t Count() const { return entries_.size(); }
  // The name of the i-th distinct field (0-based), in posted order.
  const std::string& Name(size_t i) const { return entries_[i].name; }
  // All values of a field, joined by ", " as checked boxes of one name
  // arrive; "" when the field is missing.
  std::string Get(std::string_view name) const;
  std::string Get(size_t i) const;
  // The values of a field, or nullptr when it is missing.
  const std::vector<std::string>* Values(std::string_view name) const;
  bool Has(std::string_view name) const { return Values(name) != nullptr; }

 private:
  struct Entry {
    std::string name;
    std::vector<std::string> values;
  };
  std::vector<Entry> entries_;
  std::unordered_map<std::string, size_t> index_;  // lower-cased name
};

// Request: what the browser sent. Fields are URL-decoded UTF-8.
class Request {
 public:
  std::string QueryString(std::string_view name) const { return query_.Get(name); }
  std::string Form(std::string_view name) const { return form_.Get(name); }
  std::string Cookies(std::string_view name) const;
  // "" for an unknown variable. Covers URL, QUERY_STRING, REQUEST_METHOD,
  // REMOTE_ADDR, REMOTE_USER, LOCAL_ADDR, SERVER_NAME, SERVER_PORT and every
  // header as HTTP_NAME (dashes as underscores).
  std::string ServerVariables(std::string_view name) const;
  // Request(name): the query string, then the form, then cookies, then
  // server variables; "" when none has it.
  std::string Item(std::string_view name) const;
  std::string operator()(std::string_view name) const { return Item(name); }

  const FieldList& QueryFields() const { return query_; }
  const FieldList& FormFields() const { return form_; }
  const FieldList& CookieFields() const { return cookies_; }
  const FieldList& Variables() const { return variables_; }
  // The raw request body (for an upload, what the browser posted).
  const std::string& Body() const { return body_; }
  const std::string& Method() const { return method_; }
  const std::string& Path() const { return path_; }

  // Filled by the host (and by tests that fake a request).
  FieldList& MutableQuery() { return query_; }
  FieldList& MutableForm() { return form_; }
  FieldList& MutableCookies() { return cookies_; }
  void SetVariable(std::string name, std::string value);
  void SetBody(std::string body) { body_ = std::move(body); }
  void SetMethod(std::string method) { method_ = std::move(method); }
  void SetPath(std::string path) { path_ = std::move(path); }

 private:
  FieldList query_, form_, cookies_, variables_;
  std::string body_, method_ = "GET", path_ = "/";
};

struct Cookie {
  std::string value;
  std::string path = "/";
  std::string domain;
  std::string expires;  // an HTTP date, empty for a session cookie
  bool secure = false;
  bool http_only = false;
  std::string same_site;  // "Lax", "Strict", "None" or empty
};

// Response: the page's output and headers. Output is buffered in one string
// and sent when the page ends.
class Response {
 public:
  // Appends to the buffered output. Raises kErrResponseTooLarge, writing
  // nothing, when the output would grow beyond MaxBytes().
  void Write(std::string_view text) {
    if (text.size() > max_bytes_ - body_.size()) RaiseTooLarge();
    body_.append(text);
  }
  void BinaryWrite(std::string_view bytes) { Write(bytes); }
  // The cap on the buffered output, set by the host from its options; no cap
  // by default.
  size_t MaxBytes() const { return max_bytes_; }
  void MaxBytes(size_t value) { max_bytes_ = value; }
  // Whether a write was refused for the cap (even if the page caught the
  // error): the host then answers with an error page instead of the output.
  bool TooLarge() const { return too_large_; }
  // Discards what was written so far. Raises an error when buffering is off.
  void Clear();
  // Discards the page's answer so that an error page takes its place: the
  // buffered and streamed body, the headers the page added, and its content
  // type and charset (text/html and utf-8 again). Status and cookies stay.
  void Discard();
  // Stops the page; what was written is sent. Never returns.
  [[noreturn]] void End();
  // 302 to url and End. Never returns.
  [[noreturn]] void Redirect(std::string_view url);
  void AddHeader(std::string_view name, std::string_view value);
  void SetCookie(std::string_view name, Cookie cookie);
  void SetCookie(std::string_view name, std::string_view value);

  const std::string& ContentType() const { return content_type_; }
  void ContentType(std::string_view value) { content_type_ = value; }
  const std::string& Charset() const { return charset_; }
  void Charset(std::string_view value) { charset_ = value; }
  // The status line as ASP writes it: "200 OK", "404 Not Found".
  std::string Status() const;
  // Accepts "404 Not Found" or "404"; raises an error for anything else.
  void Status(std::string_view value);
  int StatusCode() const { return status_code_; }
  bool Buffer() const { return buffer_; }
  // Buffering can only be switched before anything was written.
  void Buffer(bool value);
  // Minutes until the browser's copy expires (0: expires at once).
  std::optional<int32_t> Expires() const { return expires_; }
  void Expires(int32_t minutes);
  int32_t CodePage() const { return code_page_; }
  void CodePage(int32_t value) { code_page_ = value; }
  // The locale of the page's formatting; 0 means the server's locale.
  int32_t LCID() const { return lcid_; }
  void LCID(int32_t value) { lcid_ = value; }

  const std::string& Body() const { return body_; }
  std::string& MutableBody() { return body_; }
  const std::vector<std::pair<std::string, std::string>>& Headers() const {
    return headers_;
  }
  const std::vector<std::pair<std::string, Cookie>>& Cookies() const {
    return cookies_;
  }
  // The Content-Type header value: the content type and the charset.
  std::string FullContentType() const;

  // Hands one piece of a streamed body to the browser; false when the
  // browser is gone (the producer should then stop).
  using BodySink = std::function<bool(std::string_view piece)>;
  // Produces a body piece by piece. It runs after the page ended, still
  // bound to the page (its deadline applies), and writes through the sink.
  // Any exception it lets escape aborts the connection without the final
  // chunk, so the browser sees a failed download, never a short file that
  // looks whole.
  using BodyProducer = std::function<void(const BodySink& sink)>;
  // Makes the response a streamed one: the host sends what was buffered,
  // then the producer's pieces, with chunked transfer coding. Streamed
  // pieces do not count against MaxBytes, as they are never held whole.
  // An error escaping the page drops the producer (the error page is sent
  // instead).
  void StreamBody(BodyProducer producer) { producer_ = std::move(producer); }
  const BodyProducer& StreamedBody() const { return producer_; }
  BodyProducer TakeStreamedBody() { return std::move(producer_); }

 private:
  [[noreturn]] void RaiseTooLarge();

  std::string body_;
  size_t max_bytes_ = static_cast<size_t>(-1);
  bool too_large_ = false;
  std::string content_type_ = "text/html";
  std::string charset_ = "utf-8";
  int status_code_ = 200;
  std::string status_text_ = "OK";
  bool buffer_ = true;
  std::optional<int32_t> expires_;
  int32_t code_page_ = 65001;
  int32_t lcid_ = 0;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::vector<std::pair<std::string, Cookie>> cookies_;
  BodyProducer producer_;
};

// Values kept between requests of one browser session.
class SessionStore;

//
// A page's session is looked up in the store only when the page first uses
// it (any member but Started and Transient), so a page that never touches
// Session never waits for, nor fails with, the store. The browser's cookie
// may name a live session; a page whose browser has none starts one (a fresh
// random id, created in the store) the first time it stores a value, reads
// SessionID or sets Timeout; reading or removing values never starts one.
// Looking a session up refreshes its idle time. The host sends the session
// cookie when the page started a session.
//
// A new session may be refused: the host limits how many one client starts,
// and the store may have no room without dropping sessions in use. The page
// then runs with a transient session: a store of its own that serves the
// page's reads and writes and is discarded with the page, without a cookie.
class Session {
 public:
  // Whether a new session may be kept (asked once, when the page starts one).
  using StartGate = std::function<bool()>;

  // The existing session `id` of `store`, known to be alive.
  Session(std::shared_ptr<SessionStore> store, std::string id)
      : store_(std::move(store)), id_(std::move(id)) {}
  // No session yet; one is started on demand in `store`.
  explicit Session(std::shared_ptr<SessionStore> store) : store_(std::move(store)) {}
  // The session the browser's cookie may name: the first of `cookie_ids`
  // the store knows, looked up on first use; else none yet, started on
  // demand when `gate` (if any) allows, transient otherwise.
  Session(std::shared_ptr<SessionStore> store, std::vector<std::string> cookie_ids, StartGate gate)
      : store_(std::move(store)),
        cookie_ids_(std::move(cookie_ids)),
        looked_up_(cookie_ids_.empty()),
        gate_(std::move(gate)) {}

  // The value of `name` (case-insensitive); Empty when it was never set.
  Variant Get(std::string_view name) const;
  // Starts the session when there is none.
  void Set(std::string_view name, Variant value);
  Variant operator()(std::string_view name) const { return Get(name); }
  void Remove(std::string_view name);
  // Drops every value of the session (Session.Abandon).
  void Abandon();
  // Starts the session when there is none.
  const std::string& SessionID();
  // The id of the session the page has, without starting one: ExistingID
  // looks the cookie's session up when the page has not yet ("" when the
  // cookie names none); KnownID never asks the store, and is "" until the
  // page looked its session up or started one.
  const std::string& ExistingID() const {
    LookUp();
    return id_;
  }
  const std::string& KnownID() const { return id_; }
  // Minutes of idleness after which the session ends.
  int32_t Timeout() const;
  // Starts the session when there is none. Raises kErrInvalidCall outside
  // 1 to 525600 minutes (a year).
  void Timeout(int32_t minutes);
  // Whether this page started a session that is kept (and needs a cookie).
  bool Started() const { return started_; }
  // Whether this page's new session was refused and lives only with it.
  bool Transient() const { return transient_; }

 private:
  // Finds the session the cookie names, once. The store's errors pass.
  void LookUp() const;
  void Start();

  // The store, and the id once known, change only on first use.
  mutable std::shared_ptr<SessionStore> store_;
  mutable std::string id_;  // empty until looked up or started
  std::vector<std::string> cookie_ids_;
  mutable bool looked_up_ = true;
  StartGate gate_;
  bool started_ = false;
  bool transient_ = false;
};

// The store behind sessions. The in-memory store is the default; another
// (shared between servers) can be plugged in. Implementations are
// thread-safe.
class SessionStore {
 public:
  virtual ~SessionStore() = default;
  virtual Variant Get(std::string_view id, std::string_view name) = 0;
  virtual void Set(std::string_view id, std::string_view name, Variant value) = 0;
  virtual void Remove(std::string_view id, std::string_view name) = 0;
  virtual void Abandon(std::string_view id) = 0;
  // Whether a session with this id is alive; refreshes its idle time.
  virtual bool Touch(std::string_view id) = 0;
  // Starts a session with this id. Returns false, starting none, when the
  // store has no room for it without dropping a session in use.
  virtual bool Create(std::string_view id) = 0;
  // The idle timeout new sessions get.
  virtual int32_t TimeoutMinutes() const = 0;
  // The idle timeout of one session. Stores that keep one timeout for all
  // sessions answer TimeoutMinutes() and ignore SetSessionTimeout.
  virtual int32_t SessionTimeoutMinutes(std::string_view id) {
    (void)id;
    return TimeoutMinutes();
  }
  virtual void SetSessionTimeout(std::string_view id, int32_t minutes) {
    (void)id;
    (void)minutes;
  }
};

// An in-memory session store with an idle timeout, holding at most
// max_sessions sessions (0: no limit). At the cap a new session takes the
// place of one that never came back (a session whose browser made no second
// request with it), the oldest first, else of the least recently used one
// idle for more than five minutes; when there is none, the new session is
// refused (Create returns false). So a flood of clients that never return
// their cookie cannot push out users who are active. A value stored into a
// session that was dropped while its page ran brings it back even over the
// cap, which the pages in flight bound. Thread-safe.
std::shared_ptr<SessionStore> MakeMemorySessionStore(int32_t timeout_minutes = 20,
                                                     size_t max_sessions = 10000);

// Process-wide values shared by every page. Thread-safe.
class Application {
 public:
  Variant Get(std::string_view name) const;
  void Set(std::string_view name, Variant value);
  Variant operator()(std::string_view name) const { return Get(name); }
  // Lock/Unlock serialise a read-modify-write sequence across pages.
  void Lock() { page_lock_.lock(); }
  void Unlock() { page_lock_.unlock(); }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, Variant> values_;  // GUARDED_BY(mutex_), lower-cased keys
  std::recursive_mutex page_lock_;
};

class PageContext;

// Creates a component object by ProgID for Server.CreateObject; returns
// nullptr when the ProgID is unknown. The component registers its classes.
using ObjectFactory = std::function<std::shared_ptr<Object>(std::string_view progid)>;

// Server: utilities of the page's server.
class Server {
 public:
  Server(std::filesystem::path site_root, std::string page_url,
         ObjectFactory factory, std::string locale)
      : site_root_(std::move(site_root)),
        page_url_(std::move(page_url)),
        factory_(std::move(factory)),
        locale_(std::move(locale)) {}

  // The physical path of a virtual path: "/x" from the site root, "x" from
  // the page's folder. Raises an error for a path that would leave the site.
  std::filesystem::path MapPath(std::string_view virtual_path) const;
  // As ASP encodes: blank to "+", other reserved and non-ASCII bytes %XX.
  static std::string URLEncode(std::string_view text);
  static std::string HTMLEncode(std::string_view text);
  // Raises "Invalid ProgID" errors for unknown classes.
  std::shared_ptr<Object> CreateObject(std::string_view progid) const;
  const std::filesystem::path& SiteRoot() const { return site_root_; }
  // The server's default locale, an ICU name such as "en_US".
  const std::string& Locale() const { return locale_; }

 private:
  std::filesystem::path site_root_;
  std::string page_url_;
  ObjectFactory factory_;
  std::string locale_;
};

class PageContext {
 public:
  PageContext(Request request, Session session, Application& application,
              Server server)
      : request_(std::move(request)),
        session_(std::move(session)),
        application_(application),
        server_(std::move(server)) {}
  PageContext(const PageContext&) = delete;
  PageContext& operator=(const PageContext&) = delete;

  Request& request() { return request_; }
  Response& response() { return response_; }
  Session& session() { return session_; }
  Application& application() { return application_; }
  Server& server() { return server_; }
  // The path of the page being served (server variable "URL").
  std::string Url() const { return request_.ServerVariables("URL"); }

  // The moment by which the page must finish (its time limit), or
  // time_point::max() when it has none. Work that runs outside the script
  // engine (queries, regular expressions, expression evaluation) stops there.
  std::chrono::steady_clock::time_point Deadline() const { return deadline_; }
  void Deadline(std::chrono::steady_clock::time_point value) { deadline_ = value; }

  // The server's log, for what a page must never show its reader (SQL
  // texts, database hosts and ports, server paths): one line per call. The
  // host gives the sink (its own request log); without one the line goes
  // to stderr. The sink must be safe to call from any page's thread.
  using LogSink = std::function<void(const std::string& line)>;
  void Log(std::string_view line) const;
  void SetLogSink(LogSink sink) { log_sink_ = std::move(sink); }
  // Whether the server shows grids' SQL in their pages, as an HTML comment
  // (a development aid: `fennick serve --show-sql`, on with --demo).
  bool ShowSql() const { return show_sql_; }
  void ShowSql(bool on) { show_sql_ = on; }

  // Work an object leaves for the end of the page (a grid's export the
  // page asked for but never displayed). The host runs it, in the order
  // given, once the page's own code has run through without an error or
  // an early end, while the page is still bound; what it raises is the
  // page's (an export's PageEnd included). A page that failed or ended
  // itself drops it.
  void AtEnd(std::function<void()> work) { end_work_.push_back(std::move(work)); }
  // Runs the end work (the host's call); an exception leaves the rest
  // undone.
  void RunEndWork();
  void DropEndWork() { end_work_.clear(); }

  // Component state shared by every object of this page, created on first
  // use and discarded with the page.
  template <class T>
  T& State() {
    auto it = state_.find(std::type_index(typeid(T)));
    if (it == state_.end()) {
      it = state_.emplace(std::type_index(typeid(T)),
                          std::shared_ptr<void>(std::make_shared<T>())).first;
    }
    return *static_cast<T*>(it->second.get());
  }

 private:
  Request request_;
  Response response_;
  Session session_;
  Application& application_;
  Server server_;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  LogSink log_sink_;
  bool show_sql_ = false;
  std::vector<std::function<void()>> end_work_;
  std::unordered_map<std::type_index, std::shared_ptr<void>> state_;
};

// The object context: the page bound to the calling thread, or nullptr when
// no page is running.
PageContext* CurrentPage();
// The page bound to the calling thread; raises an error naming `who` when no
// page is running.
PageContext& RequirePage(std::string_view who);
// The deadline of the page bound to the calling thread; time_point::max()
// when no page is running or it has no time limit.
std::chrono::steady_clock::time_point CurrentDeadline();
// Raises kErrPageTimeLimit, with `source` as its source, when the page bound
// to the calling thread is past its deadline. Cheap enough for every cell.
void CheckPageDeadline(std::string_view source);
// Whether the page runs inside a transaction (never, here).
inline bool IsInTransaction() { return false; }

// Binds a page to the calling thread for the lifetime of the binder.
class PageBinding {
 public:
  explicit PageBinding(PageContext& page);
  ~PageBinding();
  PageBinding(const PageBinding&) = delete;
  PageBinding& operator=(const PageBinding&) = delete;

 private:
  PageContext* previous_;
};

}  // namespace fennick

#endif  // FENNICK_PAGE_H_
