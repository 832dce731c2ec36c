// Request counters and their Prometheus text.
#include "platform/web/server_metrics.h"

#include <cstdio>

namespace fennick {

void ServerMetrics::CountRequest(int status, double seconds) {
  if (status >= 100 && status < kStatuses)
    by_status_[status].fetch_add(1, std::memory_order_relaxed);
  size_t bucket = 0;
  while (bucket < kBuckets.size() && seconds > kBuckets[bucket]) ++bucket;
  // Buckets are stored one each and summed when rendered: one addition per
  // request instead of one per bucket above it.
  buckets_[bucket].fetch_add(1, std::memory_order_relaxed);
  latency_count_.fetch_add(1, std::memory_order_relaxed);
  latency_micros_.fetch_add(static_cast<uint64_t>(seconds * 1e6), std::memory_order_relaxed);
}

void ServerMetrics::CountRefusal(int status) {
  if (status >= 100 && status < kStatuses)
    by_status_[status].fetch_add(1, std::memory_order_relaxed);
  if (status == 408) request_timeouts_.fetch_add(1, std::memory_order_relaxed);
}

std::string ServerMetrics::Render(int64_t active_requests) const {
  auto load = [](const std::atomic<uint64_t>& n) {
    return std::to_string(n.load(std::memory_order_relaxed));
  };
  std::string out;
  out.append(
      "# HELP fennick_requests_total Requests answered, by HTTP status.\n"
      "# TYPE fennick_requests_total counter\n");
  for (int status = 100; status < kStatuses; ++status) {
    if (by_status_[status].load(std::memory_order_relaxed) == 0) continue;
    out.append("fennick_requests_total{status=\"").append(std::to_string(status));
    out.append("\"} ").append(load(by_status_[status])).append("\n");
  }
  out.append(
      "# HELP fennick_request_duration_seconds Time from a complete request to its response.\n"
      "# TYPE fennick_request_duration_seconds histogram\n");
  uint64_t cumulative = 0;
  char bound[32];
  for (size_t i = 0; i <= kBuckets.size(); ++i) {
    cumulative += buckets_[i].load(std::memory_order_relaxed);
    if (i < kBuckets.size()) {
      std::snprintf(bound, sizeof bound, "%g", kBuckets[i]);
    } else {
      std::snprintf(bound, sizeof bound, "+Inf");
    }
    out.append("fennick_request_duration_seconds_bucket{le=\"").append(bound);
    out.append("\"} ").append(std::to_string(cumulative)).append("\n");
  }
  char sum[32];
  std::snprintf(sum, sizeof sum, "%.6f",
                static_cast<double>(latency_micros_.load(std::memory_order_relaxed)) / 1e6);
  out.append("fennick_request_duration_seconds_sum ").append(sum).append("\n");
  out.append("fennick_request_duration_seconds_count ").append(load(latency_count_)).append("\n");
  out.append(
         "# HELP fennick_page_errors_total Pages that ended with an error page.\n"
         "# TYPE fennick_page_errors_total counter\n"
         "fennick_page_errors_total ")
      .append(load(page_errors_))
      .append("\n");
  out.append(
         "# HELP fennick_timeouts_total Pages stopped at their time limit and requests that did "
         "not arrive in time.\n"
         "# TYPE fennick_timeouts_total counter\n"
         "fennick_timeouts_total{kind=\"page\"} ")
      .append(load(page_timeouts_))
      .append("\n");
  out.append("fennick_timeouts_total{kind=\"request\"} ").append(load(request_timeouts_));
  out.append("\n");
  out.append(
         "# HELP fennick_session_store_errors_total Requests that failed because the shared "
         "session store could not be used.\n"
         "# TYPE fennick_session_store_errors_total counter\n"
         "fennick_session_store_errors_total ")
      .append(load(session_store_errors_))
      .append("\n");
  out.append(
         "# HELP fennick_active_requests Requests being served now.\n"
         "# TYPE fennick_active_requests gauge\n"
         "fennick_active_requests ")
      .append(std::to_string(active_requests))
      .append("\n");
  return out;
}

}  // namespace fennick
