// Delivery passes: claim the due runs, export, mail, record.
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>

#include "delivery/mail_message.h"
#include "delivery/report_export.h"
#include "delivery/schedules_file.h"
#include "delivery/smtp_sender.h"
#include "fennick/delivery.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

using delivery::Claim;
using delivery::RunOutcome;

// Runs claimed at a time: small, so that runners working side by side
// share the due runs instead of one holding them all.
constexpr size_t kClaimBatch = 4;

std::atomic<int64_t> total_sent{0}, total_skipped{0}, total_retried{0}, total_failed{0},
    total_stopped{0};

std::string RunnerName() {
  char host[256] = "";
  gethostname(host, sizeof host - 1);
  return std::string(host) + ":" + std::to_string(::getpid());
}

std::string Plural(int64_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string MailBody(const delivery::Schedule& s, const delivery::ReportExport& report) {
  std::string html =
      "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head>"
      "<body style=\"font-family:sans-serif\">";
  html += "<h2>" + HtmlEncode(report.title.empty() ? s.report_id : report.title) + "</h2>";
  if (!s.message.empty()) {
    std::string message = HtmlEncode(s.message);
    for (size_t i = 0; (i = message.find('\n', i)) != std::string::npos; i += 5) {
      message.replace(i, 1, "<br>");
    }
    html += "<p>" + message + "</p>";
  }
  if (!s.parameters.empty()) {
    html += "<table cellpadding=\"3\">";
    for (const auto& [name, value] : s.parameters) {
      html += "<tr><th align=\"left\">" + HtmlEncode(name) + "</th><td>" + HtmlEncode(value) +
              "</td></tr>";
    }
    html += "</table>";
  }
  if (report.rows >= 0) html += "<p>" + Plural(report.rows, "row") + ".</p>";
  html += "<p>The report is attached (" + HtmlEncode(report.file_name) + ").</p></body></html>";
  return html;
}

// The mail server's part of a Message-ID: the sender's domain.
std::string MessageId(const delivery::Schedule& s, int64_t run, const std::string& from) {
  std::string id;
  for (char c : s.id) {
    if (std::isalnum(static_cast<unsigned char>(c))) id.push_back(c);
  }
  return "<fennick." + id + "." + std::to_string(run) + "." + std::to_string(std::time(nullptr)) +
         "@" + from.substr(from.rfind('@') + 1) + ">";
}

RunOutcome RunOne(const Claim& claim, const delivery::DeliverySite& site,
                  const delivery::SmtpSettings& smtp) {
  const delivery::Schedule& s = claim.schedule;
  if (std::string reason = delivery::Validate(s); !reason.empty()) {
    return {RunOutcome::Kind::kStopped, "The schedule is not valid: " + reason};
  }
  delivery::ReportExport report = delivery::ExportScheduledReport(s, site);
  if (report.report_missing) return {RunOutcome::Kind::kStopped, report.error};
  if (!report.ok()) return {RunOutcome::Kind::kFailed, report.error};
  if (report.skipped) return {RunOutcome::Kind::kSent, "No rows: nothing was sent."};
  delivery::MailMessage mail;
  mail.from = smtp.from;
  mail.to = s.recipients;
  mail.subject = s.subject.empty() ? report.title : s.subject;
  mail.html_body = MailBody(s, report);
  mail.date = std::time(nullptr);
  mail.message_id = MessageId(s, claim.run, smtp.from);
  mail.attachment = {report.file_name, report.content_type, std::move(report.content)};
  if (std::string reason = delivery::SendMail(smtp, s.recipients, delivery::BuildMessage(mail));
      !reason.empty()) {
    return {RunOutcome::Kind::kFailed, reason};
  }
  std::string result = "Sent to " + Plural(static_cast<int64_t>(s.recipients.size()), "recipient");
  if (report.rows >= 0) result += ", " + Plural(report.rows, "row");
  return {RunOutcome::Kind::kSent, result + "."};
}

}  // namespace

DeliveryTotals DeliveryCounters() {
  return {total_sent.load(), total_skipped.load(), total_retried.load(), total_failed.load(),
          total_stopped.load()};
}

std::string DeliveryMetricsText() {
  const DeliveryTotals t = DeliveryCounters();
  std::string out;
  auto counter = [&out](const char* name, const char* help, int64_t value) {
    out += std::string("# HELP fennick_delivery_") + name + "_total " + help + "\n";
    out += std::string("# TYPE fennick_delivery_") + name + "_total counter\n";
    out += std::string("fennick_delivery_") + name + "_total " + std::to_string(value) + "\n";
  };
  counter("sent", "Scheduled reports mailed.", t.sent);
  counter("skipped", "Scheduled runs with no rows to send.", t.skipped);
  counter("retried", "Failed sends that will be tried again.", t.retried);
  counter("failed", "Scheduled runs given up after their last retry.", t.failed);
  counter("stopped", "Schedules stopped for good (their report was deleted).", t.stopped);
  return out;
}

DeliveryTotals RunDueDeliveries(const DeliveryOptions& options, std::string* error) {
  auto log = [&options](const std::string& line) {
    if (options.log) {
      options.log(line);
    } else {
      std::cerr << line << "\n";
    }
  };
  DeliveryTotals totals;
  std::string reason;
  const delivery::SmtpSettings smtp = delivery::LoadSmtpSettings(options.smtp_settings, &reason);
  if (error) *error = reason;
  if (!reason.empty()) {
    log("delivery: " + reason);
    return totals;
  }
  const std::string runner = options.runner.empty() ? RunnerName() : options.runner;
  for (const std::string& reports : options.reports_files) {
    delivery::DeliverySite site;
    site.root = options.site_root;
    site.reports_url = reports;
    site.outbox_url = options.outbox;
    site.locale = options.locale;
    const size_t start = reports.find_first_not_of('/');
    if (start == std::string::npos) {
      log("delivery: not a reports file: " + reports);
      continue;
    }
    const std::string relative = reports.substr(start);
    const delivery::SchedulesFile file(options.site_root / relative);
    std::set<std::string> done;
    while (!(options.should_stop && options.should_stop())) {
      const std::vector<Claim> claims =
          file.ClaimDue(std::time(nullptr), runner, options.lease_seconds, kClaimBatch, &done);
      if (claims.empty()) break;
      for (const Claim& claim : claims) {
        if (options.should_stop && options.should_stop()) break;
        done.insert(claim.schedule.id);
        const RunOutcome outcome = RunOne(claim, site, smtp);
        const std::string recorded =
            file.Finish(claim, outcome, std::time(nullptr), options.retry_seconds);
        std::string line = "delivery: " + claim.schedule.id + " (report " +
                           claim.schedule.report_id + ", run " + std::to_string(claim.run) + "): ";
        switch (outcome.kind) {
          case RunOutcome::Kind::kSent:
            ++(outcome.result.rfind("No rows", 0) == 0 ? totals.skipped : totals.sent);
            break;
          case RunOutcome::Kind::kFailed:
            ++(claim.schedule.state.attempts + 1 < delivery::kMaxAttempts ? totals.retried
                                                                           : totals.failed);
            break;
          case RunOutcome::Kind::kStopped:
            ++totals.stopped;
            break;
        }
        log(line + outcome.result + (recorded.empty() ? "" : " [not recorded: " + recorded + "]"));
      }
    }
  }
  total_sent += totals.sent;
  total_skipped += totals.skipped;
  total_retried += totals.retried;
  total_failed += totals.failed;
  total_stopped += totals.stopped;
  return totals;
}

struct DeliveryLoop::State {
  std::mutex mutex;
  std::condition_variable wake;
  bool stop = false;  // GUARDED_BY(mutex)
  std::thread thread;
};

DeliveryLoop::DeliveryLoop(DeliveryOptions options, std::chrono::seconds interval)
    : state_(std::make_shared<State>()) {
  State* state = state_.get();
  options.should_stop = [state] {
    std::lock_guard<std::mutex> guard(state->mutex);
    return state->stop;
  };
  state_->thread = std::thread([state, options = std::move(options), interval] {
    std::unique_lock<std::mutex> lock(state->mutex);
    while (!state->stop) {
      lock.unlock();
      RunDueDeliveries(options);
      lock.lock();
      state->wake.wait_for(lock, interval, [state] { return state->stop; });
    }
  });
}

DeliveryLoop::~DeliveryLoop() { Stop(); }

void DeliveryLoop::Stop() {
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    state_->stop = true;
  }
  state_->wake.notify_all();
  if (state_->thread.joinable()) state_->thread.join();
}

}  // namespace fennick
