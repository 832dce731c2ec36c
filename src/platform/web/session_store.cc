// The in-memory session store: values per session id, dropped after the
// session's idle timeout, and at most a fixed number of sessions, the least
// recently used dropped first.
//
// Sessions sit in one list in order of use, the most recent at the front,
// so both the cap and the idle sweep work from the back and never walk the
// sessions that are in use.
#include <chrono>
#include <list>
#include <map>
#include <mutex>
#include <unordered_map>

#include "fennick/page.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

class MemorySessionStore : public SessionStore {
 public:
  MemorySessionStore(int32_t timeout_minutes, size_t max_sessions)
      : timeout_minutes_(timeout_minutes), max_sessions_(max_sessions) {}

  Variant Get(std::string_view id, std::string_view name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry* session = Find(id);
    if (!session) return Variant();
    auto value = session->values.find(AsciiLower(name));
    return value == session->values.end() ? Variant() : value->second;
  }

  void Set(std::string_view id, std::string_view name, Variant value) override {
    std::lock_guard<std::mutex> lock(mutex_);
    FindOrCreate(id).values[AsciiLower(name)] = std::move(value);
  }

  void Remove(std::string_view id, std::string_view name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Entry* session = Find(id)) session->values.erase(AsciiLower(name));
  }

  void Abandon(std::string_view id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Entry* session = Find(id)) session->values.clear();
  }

  bool Touch(std::string_view id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Expire();
    return Find(id) != nullptr;
  }

  void Create(std::string_view id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    FindOrCreate(id);
  }

  int32_t TimeoutMinutes() const override { return timeout_minutes_; }

  int32_t SessionTimeoutMinutes(std::string_view id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry* session = Find(id);
    return session ? session->timeout_minutes : timeout_minutes_;
  }

  void SetSessionTimeout(std::string_view id, int32_t minutes) override {
    std::lock_guard<std::mutex> lock(mutex_);
    FindOrCreate(id).timeout_minutes = minutes;
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    std::string id;
    Clock::time_point last_used;
    int32_t timeout_minutes;
    std::map<std::string, Variant> values;
  };
  using Order = std::list<Entry>;

  static bool Expired(const Entry& e, Clock::time_point now) {
    return now - e.last_used > std::chrono::minutes(e.timeout_minutes);
  }

  // The live session `id`, moved to the front as just used; nullptr when
  // there is none (an idle one found here is dropped on the spot).
  Entry* Find(std::string_view id) {
    auto it = index_.find(std::string(id));
    if (it == index_.end()) return nullptr;
    auto now = Clock::now();
    if (Expired(*it->second, now)) {
      order_.erase(it->second);
      index_.erase(it);
      return nullptr;
    }
    order_.splice(order_.begin(), order_, it->second);
    it->second->last_used = now;
    return &*it->second;
  }

  Entry& FindOrCreate(std::string_view id) {
    if (Entry* session = Find(id)) return *session;
    if (max_sessions_ != 0) {
      while (order_.size() >= max_sessions_) {
        index_.erase(order_.back().id);
        order_.pop_back();
      }
    }
    order_.push_front(Entry{std::string(id), Clock::now(), timeout_minutes_, {}});
    index_[order_.front().id] = order_.begin();
    return order_.front();
  }

  // Drops idle sessions, at most once a second, walking from the least
  // recently used. Timeouts are at least a minute, so the walk stops at the
  // first session used within the last minute: all before it are newer.
  void Expire() {
    auto now = Clock::now();
    if (now - last_sweep_ < std::chrono::seconds(1)) return;
    last_sweep_ = now;
    for (auto it = order_.end(); it != order_.begin();) {
      --it;
      if (now - it->last_used < std::chrono::minutes(1)) break;
      if (Expired(*it, now)) {
        index_.erase(it->id);
        it = order_.erase(it);
      }
    }
  }

  const int32_t timeout_minutes_;
  const size_t max_sessions_;
  std::mutex mutex_;
  Order order_;                                          // GUARDED_BY(mutex_), most recent first
  std::unordered_map<std::string, Order::iterator> index_;  // GUARDED_BY(mutex_)
  Clock::time_point last_sweep_{};                       // GUARDED_BY(mutex_)
};

}  // namespace

std::shared_ptr<SessionStore> MakeMemorySessionStore(int32_t timeout_minutes,
                                                     size_t max_sessions) {
  return std::make_shared<MemorySessionStore>(timeout_minutes, max_sessions);
}

}  // namespace fennick
