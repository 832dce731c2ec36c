// The idle links of the process (server links) and of each thread (SQLite
// links), and the way a link goes back into them (see connection_pool.h).
#include "platform/data/connection_pool.h"

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fennick::data {
namespace {

using Clock = std::chrono::steady_clock;

struct IdleLink {
  std::string key;
  std::unique_ptr<DriverConnection> link;
  Clock::time_point since;
};
// Oldest first.
using IdleLinks = std::vector<IdleLink>;

int64_t EnvNumber(const char* name, int64_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr) return fallback;
  int64_t value = 0;
  std::string_view view(text);
  auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
  if (ec != std::errc() || end != view.data() + view.size() || value < 0) return fallback;
  return value;
}

struct Limits {
  std::atomic<size_t> idle_links{static_cast<size_t>(EnvNumber("FENNICK_DB_POOL_SIZE", 8))};
  std::atomic<int64_t> idle_seconds{EnvNumber("FENNICK_DB_POOL_IDLE_SECONDS", 60)};
};

Limits& GlobalLimits() {
  static Limits limits;
  return limits;
}

std::atomic<uint64_t> opened_links{0};
std::atomic<uint64_t> reused_links{0};

// Server links of every thread. Never destroyed: a link held by a static
// object may come back while the process exits.
struct SharedIdle {
  std::mutex mutex;
  IdleLinks idle;  // GUARDED_BY(mutex)
};

SharedIdle& Shared() {
  static auto* shared = new SharedIdle;
  return *shared;
}

// SQLite links of this thread. A link that comes back after the thread's
// list was destroyed (one a thread-local or static object held at exit)
// closes instead; the state is trivially destructible, so still readable
// then.
enum class ListState : uint8_t { kUnused, kAlive, kGone };
thread_local ListState thread_list_state = ListState::kUnused;

struct ThreadIdle {
  IdleLinks idle;
  ThreadIdle() { thread_list_state = ListState::kAlive; }
  ~ThreadIdle() { thread_list_state = ListState::kGone; }
};

IdleLinks* ThreadList() {
  if (thread_list_state == ListState::kGone) return nullptr;
  thread_local ThreadIdle list;
  return &list.idle;
}

// Moves the links idle since before `oldest` to `closing`.
void Expire(IdleLinks& idle, Clock::time_point oldest, IdleLinks& closing) {
  size_t kept = 0;
  for (size_t i = 0; i < idle.size(); ++i) {
    if (idle[i].since < oldest) {
      closing.push_back(std::move(idle[i]));
    } else if (kept++ != i) {
      idle[kept - 1] = std::move(idle[i]);
    }
  }
  idle.resize(kept);
}

// The most recently used idle link of `key`, taken out of `idle`; null
// when there is none. Newest first keeps the fewest links busy, so the
// others idle out.
std::unique_ptr<DriverConnection> TakeNewest(IdleLinks& idle, const std::string& key) {
  for (size_t i = idle.size(); i-- > 0;) {
    if (idle[i].key != key) continue;
    std::unique_ptr<DriverConnection> link = std::move(idle[i].link);
    idle.erase(idle.begin() + static_cast<ptrdiff_t>(i));
    return link;
  }
  return nullptr;
}

// Adds `entry` to `idle`, first moving the oldest link to `closing` when
// `limit` links of the same key (or, with `any_key`, of any key) wait
// already.
void Keep(IdleLinks& idle, IdleLink entry, size_t limit, bool any_key, IdleLinks& closing) {
  size_t same = 0;
  size_t oldest = idle.size();
  for (size_t i = 0; i < idle.size(); ++i) {
    if (!any_key && idle[i].key != entry.key) continue;
    if (oldest == idle.size()) oldest = i;
    ++same;
  }
  if (same >= limit && oldest < idle.size()) {
    closing.push_back(std::move(idle[oldest]));
    idle.erase(idle.begin() + static_cast<ptrdiff_t>(oldest));
  }
  idle.push_back(std::move(entry));
}

// An idle link of `key` in `scope`, after closing those idle too long.
std::unique_ptr<DriverConnection> TakeIdle(ReuseScope scope, const std::string& key,
                                           const ReuseLimits& limits) {
  IdleLinks closing;  // declared first: closed after the lock is released
  Clock::time_point oldest = Clock::now() - limits.idle_time;
  if (scope == ReuseScope::kThread) {
    IdleLinks* list = ThreadList();
    if (list == nullptr) return nullptr;
    Expire(*list, oldest, closing);
    return TakeNewest(*list, key);
  }
  SharedIdle& shared = Shared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  Expire(shared.idle, oldest, closing);
  return TakeNewest(shared.idle, key);
}

void GiveBack(ReuseScope scope, const std::string& key, std::unique_ptr<DriverConnection> link) {
  ReuseLimits limits = CurrentReuseLimits();
  if (limits.idle_links == 0 || !link->ResetForReuse()) return;
  IdleLinks closing;  // declared first: closed after the lock is released
  IdleLink entry{key, std::move(link), Clock::now()};
  if (scope == ReuseScope::kThread) {
    IdleLinks* list = ThreadList();
    if (list != nullptr) Keep(*list, std::move(entry), limits.idle_links, true, closing);
    return;
  }
  SharedIdle& shared = Shared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  Keep(shared.idle, std::move(entry), limits.idle_links, false, closing);
}

// The deleter of a reusable link: hands it back when its last owner lets
// go.
class LinkReturn {
 public:
  LinkReturn(ReuseScope scope, std::string key) : scope_(scope), key_(std::move(key)) {}

  void operator()(DriverConnection* raw) const noexcept {
    std::unique_ptr<DriverConnection> link(raw);
    try {
      GiveBack(scope_, key_, std::move(link));
    } catch (...) {
      // Ignoring errors on purpose: a link that cannot be readied closes,
      // and its owner is gone, so there is no one to tell.
    }
  }

 private:
  ReuseScope scope_;
  std::string key_;
};

}  // namespace

std::shared_ptr<DriverConnection> OpenReusable(const DriverEntry& driver,
                                               const OpenSettings& settings) {
  ReuseLimits limits = CurrentReuseLimits();
  std::optional<std::string> key;
  if (driver.reuse != ReuseScope::kNone && driver.reuse_key != nullptr && limits.idle_links > 0) {
    key = driver.reuse_key(settings);
  }
  if (!key) {
    std::shared_ptr<DriverConnection> link = driver.open(settings);
    opened_links.fetch_add(1, std::memory_order_relaxed);
    return link;
  }
  std::string full_key(driver.provider);
  full_key.append(1, '\0').append(*key);
  while (std::unique_ptr<DriverConnection> idle = TakeIdle(driver.reuse, full_key, limits)) {
    bool usable = false;
    try {
      usable = idle->Usable();
    } catch (...) {
      // Ignoring errors on purpose: a link that cannot tell is not used.
    }
    if (!usable) continue;  // closes it; the next idle one may still be good
    reused_links.fetch_add(1, std::memory_order_relaxed);
    return std::shared_ptr<DriverConnection>(idle.release(), LinkReturn(driver.reuse, full_key));
  }
  std::unique_ptr<DriverConnection> link = driver.open(settings);
  opened_links.fetch_add(1, std::memory_order_relaxed);
  return std::shared_ptr<DriverConnection>(link.release(),
                                           LinkReturn(driver.reuse, std::move(full_key)));
}

ReuseLimits CurrentReuseLimits() {
  Limits& limits = GlobalLimits();
  ReuseLimits current;
  current.idle_links = limits.idle_links.load(std::memory_order_relaxed);
  current.idle_time = std::chrono::seconds(limits.idle_seconds.load(std::memory_order_relaxed));
  return current;
}

void SetReuseLimits(const ReuseLimits& limits) {
  GlobalLimits().idle_links.store(limits.idle_links, std::memory_order_relaxed);
  GlobalLimits().idle_seconds.store(limits.idle_time.count(), std::memory_order_relaxed);
}

ReuseCounters CurrentReuseCounters() {
  return {opened_links.load(std::memory_order_relaxed),
          reused_links.load(std::memory_order_relaxed)};
}

}  // namespace fennick::data
