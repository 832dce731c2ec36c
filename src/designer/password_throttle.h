// Throttling of report passwords, per report and client address.
//
// Five wrong passwords for one report from one address are free; from the
// fifth on, every wrong one makes that pair wait before any password of it
// is looked at again: 1 second, then 2, 4, 8 ... up to 15 minutes. While
// the pair waits, every try (the right password too) is answered at once
// with the time left; no thread sleeps. A right password clears the pair;
// a pair's count is forgotten an hour after its last wrong password.
//
// The counts live in this process: with several server instances each
// instance counts on its own. The table holds at most kThrottleCapacity
// pairs; when full, forgotten pairs go first, then the one whose last
// wrong password is oldest. Thread-safe.
#ifndef FENNICK_DESIGNER_PASSWORD_THROTTLE_H_
#define FENNICK_DESIGNER_PASSWORD_THROTTLE_H_

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace fennick::designer {

inline constexpr int kFreePasswordTries = 5;
inline constexpr size_t kThrottleCapacity = 10000;

class PasswordThrottle {
 public:
  using Clock = std::chrono::steady_clock;

  // The one table of this process.
  static PasswordThrottle& Shared();

  // Whole seconds the pair must still wait before a try (0: it may try).
  int64_t WaitSeconds(std::string_view report, std::string_view client, Clock::time_point now);
  // Counts a wrong password of the pair at `now`.
  void Failed(std::string_view report, std::string_view client, Clock::time_point now);
  // A right password: the pair starts again from nothing.
  void Succeeded(std::string_view report, std::string_view client);

 private:
  struct Entry {
    int failures = 0;
    Clock::time_point last;   // the last wrong password
    Clock::time_point until;  // no try before this
  };
  static std::string Key(std::string_view report, std::string_view client);
  void MakeRoom(Clock::time_point now);  // with mutex_ held

  std::mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;  // GUARDED_BY(mutex_)
};

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_PASSWORD_THROTTLE_H_
