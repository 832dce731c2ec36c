// The metrics text: what a Prometheus scrape reads.
#include "platform/web/server_metrics.h"

#include <gtest/gtest.h>

namespace fennick {
namespace {

TEST(ServerMetricsTest, CountsRenderAsPrometheusText) {
  ServerMetrics metrics;
  metrics.CountRequest(200, 0.004);
  metrics.CountRequest(200, 0.3);
  metrics.CountRequest(500, 20);
  metrics.CountRefusal(408);
  metrics.CountRefusal(999);  // out of range: not a status, not counted
  metrics.CountPageError();
  metrics.CountPageTimeout();
  metrics.CountSessionStoreError();
  EXPECT_EQ(metrics.Render(3),
            "# HELP fennick_requests_total Requests answered, by HTTP status.\n"
            "# TYPE fennick_requests_total counter\n"
            "fennick_requests_total{status=\"200\"} 2\n"
            "fennick_requests_total{status=\"408\"} 1\n"
            "fennick_requests_total{status=\"500\"} 1\n"
            "# HELP fennick_request_duration_seconds Time from a complete request to its "
            "response.\n"
            "# TYPE fennick_request_duration_seconds histogram\n"
            "fennick_request_duration_seconds_bucket{le=\"0.001\"} 0\n"
            "fennick_request_duration_seconds_bucket{le=\"0.0025\"} 0\n"
            "fennick_request_duration_seconds_bucket{le=\"0.005\"} 1\n"
            "fennick_request_duration_seconds_bucket{le=\"0.01\"} 1\n"
            "fennick_request_duration_seconds_bucket{le=\"0.025\"} 1\n"
            "fennick_request_duration_seconds_bucket{le=\"0.05\"} 1\n"
            "fennick_request_duration_seconds_bucket{le=\"0.1\"} 1\n"
            "fennick_request_duration_seconds_bucket{le=\"0.25\"} 1\n"
            "fennick_request_duration_seconds_bucket{le=\"0.5\"} 2\n"
            "fennick_request_duration_seconds_bucket{le=\"1\"} 2\n"
            "fennick_request_duration_seconds_bucket{le=\"2.5\"} 2\n"
            "fennick_request_duration_seconds_bucket{le=\"10\"} 2\n"
            "fennick_request_duration_seconds_bucket{le=\"+Inf\"} 3\n"
            "fennick_request_duration_seconds_sum 20.304000\n"
            "fennick_request_duration_seconds_count 3\n"
            "# HELP fennick_page_errors_total Pages that ended with an error page.\n"
            "# TYPE fennick_page_errors_total counter\n"
            "fennick_page_errors_total 1\n"
            "# HELP fennick_timeouts_total Pages stopped at their time limit and requests that "
            "did not arrive in time.\n"
            "# TYPE fennick_timeouts_total counter\n"
            "fennick_timeouts_total{kind=\"page\"} 1\n"
            "fennick_timeouts_total{kind=\"request\"} 1\n"
            "# HELP fennick_session_store_errors_total Requests that failed because the shared "
            "session store could not be used.\n"
            "# TYPE fennick_session_store_errors_total counter\n"
            "fennick_session_store_errors_total 1\n"
            "# HELP fennick_active_requests Requests being served now.\n"
            "# TYPE fennick_active_requests gauge\n"
            "fennick_active_requests 3\n");
}

}  // namespace
}  // namespace fennick
