// The in-memory session store: values per session id, dropped after the
// session's idle timeout, and at most a fixed number of sessions.
//
// Sessions sit in two lists in order of use, the most recent at the front:
// those that never came back (made by one request whose browser has not
// sent the cookie again: every session of a flood of cookie-less requests)
// and those that did. At the cap a new session takes the place of the
// oldest that never came back, else of a returning one that has been idle
// for a while; sessions in use are never dropped for a newcomer, which is
// refused instead. Both the cap and the idle sweep work from the backs of
// the lists and never walk the sessions that are in use.
#include <chrono>
#include <list>
#include <map>
#include <mutex>
#include <unordered_map>

#include "fennick/page.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

// A returning session used within this time is in use: never dropped to
// make room.
constexpr auto kInUse = std::chrono::minutes(5);

class MemorySessionStore : public SessionStore {
 public:
  MemorySessionStore(int32_t timeout_minutes, size_t max_sessions)
      : timeout_minutes_(timeout_minutes), max_sessions_(max_sessions) {}

  Variant Get(std::string_view id, std::string_view name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry* session = Find(id, false);
    if (!session) return Variant();
    auto value = session->values.find(AsciiLower(name));
    return value == session->values.end() ? Variant() : value->second;
  }

  void Set(std::string_view id, std::string_view name, Variant value) override {
    std::lock_guard<std::mutex> lock(mutex_);
    FindOrRestore(id).values[AsciiLower(name)] = std::move(value);
  }

  void Remove(std::string_view id, std::string_view name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Entry* session = Find(id, false)) session->values.erase(AsciiLower(name));
  }

  void Abandon(std::string_view id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Entry* session = Find(id, false)) session->values.clear();
  }

  bool Touch(std::string_view id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Expire();
    return Find(id, true) != nullptr;
  }

  bool Create(std::string_view id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Find(id, false)) return true;
    if (!MakeRoom()) return false;
    Insert(id);
    return true;
  }

  int32_t TimeoutMinutes() const override { return timeout_minutes_; }

  int32_t SessionTimeoutMinutes(std::string_view id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry* session = Find(id, false);
    return session ? session->timeout_minutes : timeout_minutes_;
  }

  void SetSessionTimeout(std::string_view id, int32_t minutes) override {
    std::lock_guard<std::mutex> lock(mutex_);
    FindOrRestore(id).timeout_minutes = minutes;
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    std::string id;
    Clock::time_point last_used;
    int32_t timeout_minutes;
    std::map<std::string, Variant> values;
    bool returned = false;  // a later request came back with it
  };
  using Order = std::list<Entry>;

  static bool Expired(const Entry& e, Clock::time_point now) {
    return now - e.last_used > std::chrono::minutes(e.timeout_minutes);
  }
  Order& ListOf(const Entry& e) { return e.returned ? returning_ : fresh_; }

  // The live session `id`, moved to the front of its list as just used
  // (to the returning sessions when `returning`, a new request's lookup);
  // nullptr when there is none (an idle one found here is dropped).
  Entry* Find(std::string_view id, bool returning) {
    auto it = index_.find(std::string(id));
    if (it == index_.end()) return nullptr;
    Order::iterator entry = it->second;
    auto now = Clock::now();
    if (Expired(*entry, now)) {
      ListOf(*entry).erase(entry);
      index_.erase(it);
      return nullptr;
    }
    Order& from = ListOf(*entry);
    if (returning) entry->returned = true;
    ListOf(*entry).splice(ListOf(*entry).begin(), from, entry);
    entry->last_used = now;
    return &*entry;
  }

  Entry& Insert(std::string_view id) {
    fresh_.push_front(Entry{std::string(id), Clock::now(), timeout_minutes_, {}});
    index_[fresh_.front().id] = fresh_.begin();
    return fresh_.front();
  }

  // A session the page is writing to was dropped (idle, or for room) while
  // the page ran: it comes back, over the cap if need be, as the page
  // would otherwise lose what it stores without a word.
  Entry& FindOrRestore(std::string_view id) {
    if (Entry* session = Find(id, false)) return *session;
    MakeRoom();
    return Insert(id);
  }

  // Drops sessions until one more fits under the cap: those that never
  // came back, oldest first, then returning ones idle beyond kInUse, least
  // recently used first. False when only sessions in use are left.
  bool MakeRoom() {
    if (max_sessions_ == 0) return true;
    const auto now = Clock::now();
    while (fresh_.size() + returning_.size() >= max_sessions_) {
      Order* victims = &fresh_;
      if (fresh_.empty()) {
        if (returning_.empty() || now - returning_.back().last_used <= kInUse) return false;
        victims = &returning_;
      }
      index_.erase(victims->back().id);
      victims->pop_back();
    }
    return true;
  }

  // Drops idle sessions, at most once a second, walking each list from the
  // least recently used. Timeouts are at least a minute, so a walk stops at
  // the first session used within the last minute: all before it are newer.
  void Expire() {
    auto now = Clock::now();
    if (now - last_sweep_ < std::chrono::seconds(1)) return;
    last_sweep_ = now;
    for (Order* order : {&fresh_, &returning_}) {
      for (auto it = order->end(); it != order->begin();) {
        --it;
        if (now - it->last_used < std::chrono::minutes(1)) break;
        if (Expired(*it, now)) {
          index_.erase(it->id);
          it = order->erase(it);
        }
      }
    }
  }

  const int32_t timeout_minutes_;
  const size_t max_sessions_;
  std::mutex mutex_;
  Order fresh_;                                             // GUARDED_BY(mutex_)
  Order returning_;                                         // GUARDED_BY(mutex_)
  std::unordered_map<std::string, Order::iterator> index_;  // GUARDED_BY(mutex_)
  Clock::time_point last_sweep_{};                          // GUARDED_BY(mutex_)
};

}  // namespace

std::shared_ptr<SessionStore> MakeMemorySessionStore(int32_t timeout_minutes,
                                                     size_t max_sessions) {
  return std::make_shared<MemorySessionStore>(timeout_minutes, max_sessions);
}

}  // namespace fennick
