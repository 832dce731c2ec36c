// Delivery of stored reports by mail on their schedules.
//
// A report designer's schedules live beside its reports file
// ("reports.xml.schedules.xml"). A delivery pass claims every run that is
// due, exports the report, mails it through the SMTP server of the
// settings (file or environment: FENNICK_SMTP_URL, FENNICK_SMTP_USER,
// FENNICK_SMTP_PASSWORD, FENNICK_SMTP_FROM, FENNICK_SMTP_TLS) and records
// the outcome. Several passes at once (processes or threads, one host or
// several sharing the folder) never send one run twice: each run is
// claimed under the schedules file's lock for a lease, and its outcome is
// recorded before the claim is let go. `fennick deliver` runs one pass;
// `fennick serve --deliver` runs a DeliveryLoop. All of it is thread-safe.
#ifndef FENNICK_DELIVERY_H_
#define FENNICK_DELIVERY_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fennick {

struct DeliveryOptions {
  std::filesystem::path site_root;
  // The reports files whose schedules run, as paths from the site root.
  std::vector<std::string> reports_files = {"/data/reports.xml"};
  // Where exports are written before they are mailed, from the site root.
  std::string outbox = "/data/outbox/";
  // The SMTP settings file ("" for the environment alone).
  std::filesystem::path smtp_settings;
  // Who claims runs ("" for host name and process id).
  std::string runner;
  // How long a claim holds: a runner that dies mid-send leaves its runs
  // to others after this.
  int64_t lease_seconds = 900;
  // A failed send is tried again after this, doubled at each failure.
  int64_t retry_seconds = 60;
  std::string locale = "en_US";
  // Asked between runs: true ends the pass early (the server is stopping).
  // Runs claimed and not started are left to expire and run later.
  std::function<bool()> should_stop;
  // One line per run and per problem; stderr when empty. Never holds the
  // mail server's credentials.
  std::function<void(const std::string&)> log;
};

// What passes did: mails sent, runs skipped for having no rows, failed
// sends to be retried, runs given up after their last retry, schedules
// stopped for good (their report was deleted).
struct DeliveryTotals {
  int64_t sent = 0, skipped = 0, retried = 0, failed = 0, stopped = 0;
};

// Runs every due schedule once and returns what happened. `error` (when
// given) receives why nothing could run at all (unusable mail settings).
DeliveryTotals RunDueDeliveries(const DeliveryOptions& options, std::string* error = nullptr);

// The totals of every pass of this process so far (for metrics).
DeliveryTotals DeliveryCounters();
// The same as Prometheus counters: fennick_delivery_sent_total, ..._skipped_,
// ..._retried_, ..._failed_ and ..._stopped_total.
std::string DeliveryMetricsText();

// Runs a pass at once and then every `interval` on a thread of its own,
// until Stop() or destruction (which wait for a pass in flight).
class DeliveryLoop {
 public:
  DeliveryLoop(DeliveryOptions options, std::chrono::seconds interval);
  ~DeliveryLoop();
  DeliveryLoop(const DeliveryLoop&) = delete;
  DeliveryLoop& operator=(const DeliveryLoop&) = delete;
  void Stop();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace fennick

#endif  // FENNICK_DELIVERY_H_
