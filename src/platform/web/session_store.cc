// The in-memory session store: values per session id, dropped after the
// idle timeout.
#include <chrono>
#include <map>
#include <mutex>
#include <unordered_map>

#include "fennick/page.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

class MemorySessionStore : public SessionStore {
 public:
  explicit MemorySessionStore(int32_t timeout_minutes)
      : timeout_(std::chrono::minutes(timeout_minutes)), timeout_minutes_(timeout_minutes) {}

  Variant Get(std::string_view id, std::string_view name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sessions_.find(std::string(id));
    if (it == sessions_.end()) return Variant();
    auto value = it->second.values.find(AsciiLower(name));
    return value == it->second.values.end() ? Variant() : value->second;
  }

  void Set(std::string_view id, std::string_view name, Variant value) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& session = sessions_[std::string(id)];
    session.last_used = Clock::now();
    session.values[AsciiLower(name)] = std::move(value);
  }

  void Remove(std::string_view id, std::string_view name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sessions_.find(std::string(id));
    if (it != sessions_.end()) it->second.values.erase(AsciiLower(name));
  }

  void Abandon(std::string_view id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sessions_.find(std::string(id));
    if (it != sessions_.end()) it->second.values.clear();
  }

  bool Touch(std::string_view id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Expire();
    auto it = sessions_.find(std::string(id));
    if (it == sessions_.end()) return false;
    it->second.last_used = Clock::now();
    return true;
  }

  void Create(std::string_view id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sessions_[std::string(id)].last_used = Clock::now();
  }

  int32_t TimeoutMinutes() const override { return timeout_minutes_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    Clock::time_point last_used;
    std::map<std::string, Variant> values;
  };

  // Drops idle sessions, at most once a second so that a busy server does
  // not walk the table on every request.
  void Expire() {
    auto now = Clock::now();
    if (now - last_sweep_ < std::chrono::seconds(1)) return;
    last_sweep_ = now;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      if (now - it->second.last_used > timeout_) {
        it = sessions_.erase(it);
      } else {
        ++it;
      }
    }
  }

  const Clock::duration timeout_;
  const int32_t timeout_minutes_;
  std::mutex mutex_;
  std::unordered_map<std::string, Entry> sessions_;  // GUARDED_BY(mutex_)
  Clock::time_point last_sweep_{};                   // GUARDED_BY(mutex_)
};

}  // namespace

std::shared_ptr<SessionStore> MakeMemorySessionStore(int32_t timeout_minutes) {
  return std::make_shared<MemorySessionStore>(timeout_minutes);
}

}  // namespace fennick
