// The intrinsic objects of a page: fields, Request, Response, Session,
// Application, and the binding of a page to its thread.
#include "fennick/page.h"

#include <sodium.h>

#include <algorithm>
#include <cstdio>

#include "fennick/error.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

// The page bound to this thread while it runs. It is reset when the page
// ends, so it never outlives the page.
thread_local PageContext* current_page = nullptr;

const char* ReasonPhrase(int code) {
  switch (code) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Object Moved";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "";
  }
}

}  // namespace

void FieldList::Add(std::string name, std::string value) {
  // A grid's form posts some forty fields and a request sets about as many
  // server variables: room for them at once, rather than growing the list
  // and rehashing its index field by field.
  if (entries_.empty()) {
    entries_.reserve(32);
    index_.reserve(32);
  }
  std::string key = AsciiLower(name);
  auto it = index_.find(key);
  if (it != index_.end()) {
    entries_[it->second].values.push_back(std::move(value));
    return;
  }
  index_.emplace(std::move(key), entries_.size());
  entries_.push_back(Entry{std::move(name), {std::move(value)}});
}

const std::vector<std::string>* FieldList::Values(std::string_view name) const {
  auto it = index_.find(AsciiLower(name));
  return it == index_.end() ? nullptr : &entries_[it->second].values;
}

static std::string JoinValues(const std::vector<std::string>& values) {
  if (values.size() == 1) return values[0];
  std::string out;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) out.append(", ");
    out.append(values[i]);
  }
  return out;
}

std::string FieldList::Get(std::string_view name) const {
  const auto* values = Values(name);
  return values ? JoinValues(*values) : std::string();
}

std::string FieldList::Get(size_t i) const {
  return i < entries_.size() ? JoinValues(entries_[i].values) : std::string();
}

std::string Request::Cookies(std::string_view name) const {
  return cookies_.Get(name);
}

std::string Request::ServerVariables(std::string_view name) const {
  return variables_.Get(name);
}

void Request::SetVariable(std::string name, std::string value) {
  variables_.Add(std::move(name), std::move(value));
}

std::string Request::Item(std::string_view name) const {
  for (const FieldList* list : {&query_, &form_, &cookies_, &variables_}) {
    if (const auto* values = list->Values(name)) return JoinValues(*values);
  }
  return std::string();
}

void Response::RaiseTooLarge() {
  too_large_ = true;
  throw Error(kErrResponseTooLarge,
              "The page's output is larger than the server's limit of " +
                  std::to_string(max_bytes_) + " bytes for one response",
              "Response object");
}

void Response::Clear() {
  if (!buffer_) {
    throw Error(kErrInvalidCall,
                "Response.Clear: buffering is off for this page",
                "Response object");
  }
  body_.clear();
}

void Response::Discard() {
  body_.clear();
  body_.shrink_to_fit();  // an error page after a huge partial page holds nothing of it
  producer_ = nullptr;
  headers_.clear();
  content_type_ = "text/html";
  charset_ = "utf-8";
}

void Response::End() { throw PageEnd{}; }

void Response::Redirect(std::string_view url) {
  status_code_ = 302;
  status_text_ = "Object Moved";
  AddHeader("Location", url);
  body_ = "<head><title>Object moved</title></head><body><h1>Object Moved</h1>"
          "This object may be found <a HREF=\"";
  body_.append(HtmlAttributeEscape(url));
  body_.append("\">here</a>.</body>\n");
  throw PageEnd{};
}

void Response::AddHeader(std::string_view name, std::string_view value) {
  // A header value never carries a line break: that would let page data
  // split the response.
  std::string clean(value);
  std::erase_if(clean, [](char c) { return c == '\r' || c == '\n'; });
  std::string clean_name(name);
  std::erase_if(clean_name, [](char c) { return c == '\r' || c == '\n' || c == ':'; });
  headers_.emplace_back(std::move(clean_name), std::move(clean));
}

void Response::SetCookie(std::string_view name, Cookie cookie) {
  for (auto& [n, c] : cookies_) {
    if (n == name) {
      c = std::move(cookie);
      return;
    }
  }
  cookies_.emplace_back(std::string(name), std::move(cookie));
}

void Response::SetCookie(std::string_view name, std::string_view value) {
  Cookie c;
  c.value = value;
  SetCookie(name, std::move(c));
}

std::string Response::Status() const {
  std::string out = std::to_string(status_code_);
  if (!status_text_.empty()) {
    out.push_back(' ');
    out.append(status_text_);
  }
  return out;
}

void Response::Status(std::string_view value) {
  size_t i = 0;
  int code = 0;
  while (i < value.size() && i < 3 && value[i] >= '0' && value[i] <= '9') {
    code = code * 10 + (value[i] - '0');
    ++i;
  }
  if (i != 3 || code < 100 || (i < value.size() && value[i] != ' ')) {
    throw Error(kErrInvalidCall, "Invalid status value: " + std::string(value),
                "Response object");
  }
  status_code_ = code;
  std::string_view text = i < value.size() ? value.substr(i + 1) : std::string_view();
  status_text_ = text.empty() ? ReasonPhrase(code) : std::string(text);
  std::erase_if(status_text_, [](char c) { return c == '\r' || c == '\n'; });
}

void Response::Buffer(bool value) {
  if (value != buffer_ && !body_.empty()) {
    throw Error(kErrInvalidCall,
                "Response.Buffer cannot change after output was written",
                "Response object");
  }
  buffer_ = value;
}

void Response::Expires(int32_t minutes) { expires_ = minutes; }

std::string Response::FullContentType() const {
  std::string out = content_type_;
  if (!charset_.empty() && out.find("charset") == std::string::npos) {
    out.append("; charset=");
    out.append(charset_);
  }
  return out;
}

void Session::LookUp() const {
  if (looked_up_) return;
  // Each id is asked for in turn; a store failure leaves the lookup to be
  // tried again rather than passing for "no session".
  for (const std::string& id : cookie_ids_) {
    if (store_->Touch(id)) {
      id_ = id;
      break;
    }
  }
  looked_up_ = true;
}

void Session::Start() {
  LookUp();
  if (!id_.empty()) return;
  if (sodium_init() < 0) throw Error(-1, "libsodium could not be initialised", "Session object");
  // 128 random bits: an id nobody can guess or enumerate.
  unsigned char bytes[16];
  randombytes_buf(bytes, sizeof bytes);
  char hex[33];
  sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
  id_ = hex;
  if ((!gate_ || gate_()) && store_->Create(id_)) {
    started_ = true;
    return;
  }
  // Refused: the page still runs and sees its own values, but nothing is
  // kept for a next request and no cookie names the id.
  store_ = MakeMemorySessionStore(store_->TimeoutMinutes(), 1);
  store_->Create(id_);
  transient_ = true;
}

Variant Session::Get(std::string_view name) const {
  LookUp();
  return id_.empty() ? Variant() : store_->Get(id_, name);
}

void Session::Set(std::string_view name, Variant value) {
  Start();
  store_->Set(id_, name, std::move(value));
}

void Session::Remove(std::string_view name) {
  LookUp();
  if (!id_.empty()) store_->Remove(id_, name);
}

void Session::Abandon() {
  LookUp();
  if (!id_.empty()) store_->Abandon(id_);
}

const std::string& Session::SessionID() {
  Start();
  return id_;
}

int32_t Session::Timeout() const {
  LookUp();
  return id_.empty() ? store_->TimeoutMinutes() : store_->SessionTimeoutMinutes(id_);
}

void Session::Timeout(int32_t minutes) {
  if (minutes < 1 || minutes > 525600) {
    throw Error(kErrInvalidCall,
                "Session.Timeout must be from 1 to 525600 minutes, not " + std::to_string(minutes),
                "Session object");
  }
  Start();
  store_->SetSessionTimeout(id_, minutes);
}

Variant Application::Get(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = values_.find(AsciiLower(name));
  return it == values_.end() ? Variant() : it->second;
}

void Application::Set(std::string_view name, Variant value) {
  std::lock_guard<std::mutex> lock(mutex_);
  values_[AsciiLower(name)] = std::move(value);
}

std::shared_ptr<Object> Server::CreateObject(std::string_view progid) const {
  std::shared_ptr<Object> object = factory_ ? factory_(progid) : nullptr;
  if (!object) {
    throw Error(kErrCannotCreate,
                "Invalid ProgID: no class is registered as '" + std::string(progid) + "'",
                "Server.CreateObject");
  }
  return object;
}

std::string Server::URLEncode(std::string_view text) { return UrlEncodeAsp(text); }

std::string Server::HTMLEncode(std::string_view text) { return HtmlEncode(text); }

void PageContext::Log(std::string_view line) const {
  if (log_sink_) {
    log_sink_(std::string(line));
  } else {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
  }
}

void PageContext::RunEndWork() {
  while (!end_work_.empty()) {
    // Taken out first: work may add work, and an exception drops the rest.
    std::vector<std::function<void()>> work = std::move(end_work_);
    end_work_.clear();
    for (std::function<void()>& item : work) item();
  }
}

PageContext* CurrentPage() { return current_page; }

std::chrono::steady_clock::time_point CurrentDeadline() {
  return current_page ? current_page->Deadline() : std::chrono::steady_clock::time_point::max();
}

void CheckPageDeadline(std::string_view source) {
  if (current_page == nullptr) return;
  auto deadline = current_page->Deadline();
  if (deadline == std::chrono::steady_clock::time_point::max()) return;
  if (std::chrono::steady_clock::now() < deadline) return;
  throw Error(kErrPageTimeLimit, "The page reached its time limit and was stopped",
              std::string(source));
}

PageContext& RequirePage(std::string_view who) {
  if (current_page == nullptr) {
    throw Error(kErrCannotCreate,
                std::string(who) +
                    ": no page is being served; component objects can only be "
                    "used while a page runs",
                std::string(who));
  }
  return *current_page;
}

PageBinding::PageBinding(PageContext& page) : previous_(current_page) {
  current_page = &page;
}

PageBinding::~PageBinding() { current_page = previous_; }

}  // namespace fennick
