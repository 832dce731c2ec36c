// When a delivery schedule runs: daily, weekly on some days, monthly on a
// day, or by a five-field cron expression, at wall-clock times of an IANA
// time zone.
//
// The rules, chosen so that a schedule never runs twice for one slot and
// never silently skips a day:
//   - A monthly day past the month's end (the 31st in April, the 30th in
//     February) runs on the month's last day.
//   - A time the clocks skip (02:30 on a spring-forward day) runs at the
//     first moment after the gap (03:00 local); a time the clocks repeat
//     (01:30 on a fall-back day) runs once, at its first occurrence.
//   - A cron expression's day-of-month and day-of-week fields, both
//     restricted, match a day when either matches (the usual cron rule).
//   - NextRun gives the first slot strictly after a moment; a runner that
//     was down asks from "now", so missed slots collapse into one run.
// Time zones come from ICU (the C++20 zone database of GCC 12's library is
// incomplete). Everything here is pure value code; thread-safe.
#ifndef FENNICK_DELIVERY_SCHEDULE_TIME_H_
#define FENNICK_DELIVERY_SCHEDULE_TIME_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fennick::delivery {

enum class Recurrence { kDaily, kWeekly, kMonthly, kCron };

struct ScheduleTiming {
  Recurrence kind = Recurrence::kDaily;
  int hour = 0, minute = 0;  // wall-clock time (not for kCron)
  // kWeekly: bit 0 Sunday ... bit 6 Saturday.
  unsigned weekdays = 0;
  int month_day = 1;           // kMonthly: 1..31
  std::string cron;            // kCron: "min hour day-of-month month day-of-week"
  std::string time_zone = "UTC";  // an IANA name ("Europe/Paris")
};

// "" when `timing` can run, else why not (an unknown zone, a bad cron
// field, a weekly schedule without days, a time out of range).
std::string CheckTiming(const ScheduleTiming& timing);

// The first run strictly after `after` (Unix seconds), or nullopt when the
// timing is invalid or never matches within five years (a cron expression
// for February 30th).
std::optional<int64_t> NextRun(const ScheduleTiming& timing, int64_t after);

// The timing as stored and shown: "daily 07:30", "weekly mon,fri 07:30",
// "monthly 31 07:30", "cron 0 7 * * 1-5"; ParseTiming reads it back (the
// zone is kept apart). nullopt for text that is none of these.
std::string TimingText(const ScheduleTiming& timing);
std::optional<ScheduleTiming> ParseTiming(std::string_view text, std::string_view time_zone);

}  // namespace fennick::delivery

#endif  // FENNICK_DELIVERY_SCHEDULE_TIME_H_
