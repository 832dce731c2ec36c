// New sessions per client address and minute.
#include "platform/web/session_limiter.h"

#include <algorithm>

namespace fennick {
namespace {

constexpr auto kWindow = std::chrono::minutes(1);

}  // namespace

bool NewSessionLimiter::Admit(std::string_view address, Clock::time_point now,
                              bool* first_refusal) {
  if (first_refusal) *first_refusal = false;
  if (per_minute_ == 0) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  if (windows_.size() >= forget_above_) Forget(now);
  auto [it, added] = windows_.try_emplace(std::string(address));
  Window& window = it->second;
  if (added || now - window.start >= kWindow) window = Window{now};
  if (window.admitted < per_minute_) {
    ++window.admitted;
    return true;
  }
  if (first_refusal) *first_refusal = !window.refused;
  window.refused = true;
  return false;
}

void NewSessionLimiter::Forget(Clock::time_point now) {
  std::erase_if(windows_, [now](const auto& entry) { return now - entry.second.start >= kWindow; });
  // Many addresses within one minute: the next sweep waits until the table
  // has doubled, so sweeping stays linear in the addresses seen.
  forget_above_ = std::max<size_t>(4096, 2 * windows_.size());
}

}  // namespace fennick
