// The host's side of sessions: which ids a request's cookies may name, and
// the session store as one page sees it.
#ifndef FENNICK_PLATFORM_WEB_PAGE_SESSIONS_H_
#define FENNICK_PLATFORM_WEB_PAGE_SESSIONS_H_

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fennick/error.h"
#include "fennick/page.h"
#include "fennick/session_stores.h"

namespace fennick {

inline constexpr char kSessionCookie[] = "FennickSessionID";

inline constexpr char kSessionsUnavailable[] =
    "Sessions are unavailable at the moment: the session store cannot be reached. "
    "Please try again in a moment.";

// The values of the session cookie that can be one of our ids (32
// lower-case hex digits, as Session makes them), in the order sent. A
// request may carry the cookie more than once (a stale copy for another
// path, a forged extra); anything else is never looked up, so a forged id
// never reaches the store (nor a shared store's key space).
std::vector<std::string> SessionCookieIds(const FieldList& cookies);

// The session store as one page sees it: every call goes to the server's
// store, and a kErrSessionStore failure is remembered, so that the host can
// answer the page with its "sessions unavailable" page even when the page's
// own error handling (a script page's error page) caught the error.
// Not thread-safe: one page's.
class PageSessionStore : public SessionStore {
 public:
  explicit PageSessionStore(std::shared_ptr<SessionStore> store) : store_(std::move(store)) {}

  Variant Get(std::string_view id, std::string_view name) override {
    return Watch([&] { return store_->Get(id, name); });
  }
  void Set(std::string_view id, std::string_view name, Variant value) override {
    Watch([&] {
      store_->Set(id, name, std::move(value));
      return 0;
    });
  }
  void Remove(std::string_view id, std::string_view name) override {
    Watch([&] {
      store_->Remove(id, name);
      return 0;
    });
  }
  void Abandon(std::string_view id) override {
    Watch([&] {
      store_->Abandon(id);
      return 0;
    });
  }
  bool Touch(std::string_view id) override {
    return Watch([&] { return store_->Touch(id); });
  }
  bool Create(std::string_view id) override {
    return Watch([&] { return store_->Create(id); });
  }
  int32_t TimeoutMinutes() const override { return store_->TimeoutMinutes(); }
  int32_t SessionTimeoutMinutes(std::string_view id) override {
    return Watch([&] { return store_->SessionTimeoutMinutes(id); });
  }
  void SetSessionTimeout(std::string_view id, int32_t minutes) override {
    Watch([&] {
      store_->SetSessionTimeout(id, minutes);
      return 0;
    });
  }

  // The description of the first store failure; empty when none.
  const std::string& failure() const { return failure_; }

 private:
  template <typename F>
  auto Watch(F&& call) -> decltype(call()) {
    try {
      return call();
    } catch (const Error& e) {
      if (e.number() == kErrSessionStore && failure_.empty()) failure_ = e.description();
      throw;
    }
  }

  std::shared_ptr<SessionStore> store_;
  std::string failure_;
};

}  // namespace fennick

#endif  // FENNICK_PLATFORM_WEB_PAGE_SESSIONS_H_
