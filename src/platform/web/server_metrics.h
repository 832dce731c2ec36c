// What the server counts for its operators, in the Prometheus text format:
// requests by status, request latency as a histogram, pages that ended in
// an error, timeouts (pages stopped at their time limit, requests that did
// not arrive in time) and the requests being served right now.
//
// Counting is a handful of relaxed atomic additions per request, so it is
// always on; the numbers are only read when the metrics listener is asked.
// Thread-safe.
#ifndef FENNICK_PLATFORM_WEB_SERVER_METRICS_H_
#define FENNICK_PLATFORM_WEB_SERVER_METRICS_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace fennick {

class ServerMetrics {
 public:
  // Upper bounds of the latency buckets, in seconds (+Inf follows).
  static constexpr std::array<double, 12> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                      0.1,   0.25,   0.5,   1,    2.5,   10};

  // A request answered with `status` after `seconds` (a page, a static
  // file, or a refusal the server answered itself).
  void CountRequest(int status, double seconds);
  // A refusal answered before any page ran (408, 413, 503 ...): counted by
  // status, without a latency.
  void CountRefusal(int status);
  // A page that ended with an error page.
  void CountPageError() { page_errors_.fetch_add(1, std::memory_order_relaxed); }
  void CountPageTimeout() { page_timeouts_.fetch_add(1, std::memory_order_relaxed); }
  void CountSessionStoreError() { session_store_errors_.fetch_add(1, std::memory_order_relaxed); }

  // The exposition text; `active_requests` is the gauge's current value.
  std::string Render(int64_t active_requests) const;

 private:
  static constexpr int kStatuses = 600;
  std::array<std::atomic<uint64_t>, kStatuses> by_status_{};
  std::array<std::atomic<uint64_t>, kBuckets.size() + 1> buckets_{};
  std::atomic<uint64_t> latency_count_{0};
  std::atomic<uint64_t> latency_micros_{0};
  std::atomic<uint64_t> page_errors_{0};
  std::atomic<uint64_t> page_timeouts_{0};
  std::atomic<uint64_t> request_timeouts_{0};
  std::atomic<uint64_t> session_store_errors_{0};
};

}  // namespace fennick

#endif  // FENNICK_PLATFORM_WEB_SERVER_METRICS_H_
