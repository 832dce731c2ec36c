// The per-report, per-address count of wrong report passwords.
#include "designer/password_throttle.h"

#include <algorithm>

namespace fennick::designer {
namespace {

constexpr auto kForgetAfter = std::chrono::hours(1);
constexpr auto kLongestWait = std::chrono::minutes(15);

}  // namespace

PasswordThrottle& PasswordThrottle::Shared() {
  static PasswordThrottle* shared = new PasswordThrottle();  // used until exit
  return *shared;
}

std::string PasswordThrottle::Key(std::string_view report, std::string_view client) {
  // An id never holds a line break; the address comes from the connection.
  std::string key(report);
  key.push_back('\n');
  key.append(client);
  return key;
}

int64_t PasswordThrottle::WaitSeconds(std::string_view report, std::string_view client,
                                      Clock::time_point now) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto it = entries_.find(Key(report, client));
  if (it == entries_.end() || it->second.until <= now) return 0;
  const auto left = it->second.until - now;
  return std::chrono::ceil<std::chrono::seconds>(left).count();
}

void PasswordThrottle::Failed(std::string_view report, std::string_view client,
                              Clock::time_point now) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::string key = Key(report, client);
  auto it = entries_.find(key);
  if (it == entries_.end()) {
    MakeRoom(now);
    it = entries_.emplace(std::move(key), Entry{}).first;
  }
  Entry& entry = it->second;
  if (now - entry.last > kForgetAfter) entry.failures = 0;
  entry.failures = std::min(entry.failures + 1, 64);
  entry.last = now;
  if (entry.failures >= kFreePasswordTries) {
    // 1 s after the fifth, doubling with each further one.
    const int doublings = std::min(entry.failures - kFreePasswordTries, 20);
    const auto wait =
        std::min<Clock::duration>(std::chrono::seconds(int64_t{1} << doublings), kLongestWait);
    entry.until = now + wait;
  }
}

void PasswordThrottle::Succeeded(std::string_view report, std::string_view client) {
  std::lock_guard<std::mutex> guard(mutex_);
  entries_.erase(Key(report, client));
}

void PasswordThrottle::MakeRoom(Clock::time_point now) {
  if (entries_.size() < kThrottleCapacity) return;
  std::erase_if(entries_, [&](const auto& item) {
    return now - item.second.last > kForgetAfter && item.second.until <= now;
  });
  if (entries_.size() < kThrottleCapacity) return;
  auto oldest =
      std::min_element(entries_.begin(), entries_.end(),
                       [](const auto& a, const auto& b) { return a.second.last < b.second.last; });
  entries_.erase(oldest);
}

}  // namespace fennick::designer
