// How many new sessions each client address may start: a client that
// starts sessions by the thousand (requests without the cookie to a page
// that stores a value) would otherwise fill the session store.
//
// Each address has a one-minute window from its first new session; within
// it at most `per_minute` sessions are admitted. Addresses whose window is
// over are forgotten when the table grows, so the table holds about the
// addresses of the last minute.
//
// Thread-safe.
#ifndef FENNICK_PLATFORM_WEB_SESSION_LIMITER_H_
#define FENNICK_PLATFORM_WEB_SESSION_LIMITER_H_

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace fennick {

class NewSessionLimiter {
 public:
  using Clock = std::chrono::steady_clock;

  // At most `per_minute` new sessions per address a minute; 0 for no limit.
  explicit NewSessionLimiter(size_t per_minute) : per_minute_(per_minute) {}

  // Whether `address` may start one more session at `now`; counts it when
  // so. `first_refusal` is set when this is the address's first refusal in
  // its window (worth one log line).
  bool Admit(std::string_view address, Clock::time_point now, bool* first_refusal);

 private:
  struct Window {
    Clock::time_point start;
    size_t admitted = 0;
    bool refused = false;
  };
  void Forget(Clock::time_point now);

  const size_t per_minute_;
  std::mutex mutex_;
  std::unordered_map<std::string, Window> windows_;  // GUARDED_BY(mutex_)
  size_t forget_above_ = 4096;                       // GUARDED_BY(mutex_)
};

}  // namespace fennick

#endif  // FENNICK_PLATFORM_WEB_SESSION_LIMITER_H_
