// A delivery schedule: which stored report goes to whom, when, in which
// format, with which parameter values, and how its runs went.
//
// A schedule carries what the report needs to run without a browser:
//   - the report's required parameter values, as the creator typed them;
//   - the creator's session values for the "@" tokens of the report's
//     statement and of the designer's hidden filters (each value the
//     statement asked the session for when the schedule was made, by name;
//     a token whose name is not recorded reads ""), and
//   - the designer settings of the page it was made on (ReportContext):
//     connection, hidden filters and fields, the table lists the report
//     is checked against. The report itself is read from the reports file
//     and checked again at every run, as a report page does.
// Everything a schedule holds came from a user or from storage: Validate
// checks it again before it is saved and before it runs.
#ifndef FENNICK_DELIVERY_SCHEDULE_H_
#define FENNICK_DELIVERY_SCHEDULE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "delivery/schedule_time.h"

namespace fennick::delivery {

// Most recipients of one schedule: more is refused rather than trimmed.
inline constexpr size_t kMaxRecipients = 50;
inline constexpr size_t kMaxSubjectBytes = 200;
inline constexpr size_t kMaxMessageBytes = 4000;
inline constexpr size_t kMaxValueBytes = 1000;  // a parameter or session value
// Failed sends of one run, the first included, before the run is given up.
inline constexpr int kMaxAttempts = 4;

using NamedValues = std::vector<std::pair<std::string, std::string>>;

// The designer settings a report runs with (see the file comment); set by
// the page that made the schedule, never by the browser.
struct ReportContext {
  std::string connection_string;
  int database_type = -1;
  std::string db_owner;
  std::string sql_name_prefix = "$", sql_name_suffix = "$";
  std::string hidden_sql_filter, hidden_filter_list;
  std::string hidden_fields, use_fields;
  std::string use_tables, hidden_tables, use_procedures;
  int32_t max_records = 0;
  bool csv_safe = true;
};

// Where a schedule's runs stand. A run is claimed by one runner for a
// lease; the outcome is recorded and the claim released in one change of
// the schedules file.
struct RunState {
  int64_t run = 1;  // the number of the run now due
  std::string claimed_by;
  int64_t claimed_at = 0, claim_expires = 0;
  int attempts = 0;      // failed sends of this run so far
  int64_t retry_at = 0;  // not before this time (back-off)
  int64_t last_run_at = 0;
  bool last_ok = false;
  std::string last_result;  // "" before the first run
  std::string stopped;      // why the schedule stopped for good ("" running)
  int64_t sent = 0, failed = 0;  // mails sent, runs given up
};

struct Schedule {
  std::string id;  // "S" + number, unique in its file
  std::string report_id;
  std::vector<std::string> recipients;
  ScheduleTiming timing;
  std::string format = "csv";  // csv, xlsx or pdf
  NamedValues parameters;
  NamedValues session_values;
  bool only_with_rows = false;
  std::string subject, message;
  std::string created_by;
  bool paused = false;
  int64_t next_run = 0;  // Unix seconds; 0 until saved
  ReportContext context;
  RunState state;
};

// "" when `address` is one mailbox ("local@domain.example") that is safe in
// a mail header, else why not. No display names, comments, quoting or
// control characters: what is stored is exactly what goes into RCPT TO.
std::string CheckAddress(std::string_view address);

// "" when the schedule may be saved and run, else the first reason it may
// not (an address, the count of recipients, a header that would break the
// mail, the timing, the format, an oversized value).
std::string Validate(const Schedule& schedule);

// The formats a schedule may name; whether this server can make one is
// known when it runs (see delivery/report_export.h).
bool IsScheduleFormat(std::string_view format);

}  // namespace fennick::delivery

#endif  // FENNICK_DELIVERY_SCHEDULE_H_
