#include "delivery/schedule_time.h"

#include <gtest/gtest.h>

#include <ctime>

namespace fennick::delivery {
namespace {

// "2026-03-08 07:00" (UTC) as Unix seconds.
int64_t Utc(const char* text) {
  std::tm tm{};
  strptime(text, "%Y-%m-%d %H:%M", &tm);
  return static_cast<int64_t>(timegm(&tm));
}

std::string UtcText(std::optional<int64_t> t) {
  if (!t) return "never";
  const std::time_t v = static_cast<std::time_t>(*t);
  std::tm tm{};
  gmtime_r(&v, &tm);
  char out[32];
  std::strftime(out, sizeof out, "%Y-%m-%d %H:%M", &tm);
  return out;
}

TEST(ScheduleTimeTest, NextRunAcrossMonthEndsZonesAndClockChanges) {
  struct Case {
    const char* timing;
    const char* zone;
    const char* after;  // UTC
    const char* next;   // UTC
  } cases[] = {
      {"daily 07:30", "UTC", "2026-01-01 07:29", "2026-01-01 07:30"},
      {"daily 07:30", "UTC", "2026-01-01 07:30", "2026-01-02 07:30"},
      // Paris is UTC+1 in winter, UTC+2 in summer.
      {"weekly mon,fri 09:00", "Europe/Paris", "2026-01-03 12:00", "2026-01-05 08:00"},
      {"weekly mon,fri 09:00", "Europe/Paris", "2026-07-03 06:00", "2026-07-03 07:00"},
      // The 31st of a short month is its last day.
      {"monthly 31 06:00", "UTC", "2026-04-01 00:00", "2026-04-30 06:00"},
      {"monthly 31 06:00", "UTC", "2026-02-01 00:00", "2026-02-28 06:00"},
      {"monthly 31 06:00", "UTC", "2028-02-01 00:00", "2028-02-29 06:00"},
      {"monthly 31 06:00", "UTC", "2026-04-30 06:00", "2026-05-31 06:00"},
      // New York skips 02:00-03:00 on 2026-03-08: 02:30 runs at 03:00 EDT.
      {"daily 02:30", "America/New_York", "2026-03-08 05:00", "2026-03-08 07:00"},
      {"daily 02:30", "America/New_York", "2026-03-08 07:00", "2026-03-09 06:30"},
      // 01:00-02:00 repeats on 2026-11-01: 01:30 runs once, at the first.
      {"daily 01:30", "America/New_York", "2026-11-01 04:00", "2026-11-01 05:30"},
      {"daily 01:30", "America/New_York", "2026-11-01 05:30", "2026-11-02 06:30"},
      {"cron */30 1 * * *", "America/New_York", "2026-11-01 05:30", "2026-11-02 06:00"},
      {"cron 0 7 * * 1-5", "Europe/London", "2026-01-02 07:00", "2026-01-05 07:00"},
      {"cron 15 8 1 jan,jul *", "UTC", "2026-01-01 08:15", "2026-07-01 08:15"},
      // Day of month and day of week both given: either matches.
      {"cron 0 12 13 * 5", "UTC", "2026-01-01 00:00", "2026-01-02 12:00"},
      {"cron 0 12 13 * fri", "UTC", "2026-01-09 12:00", "2026-01-13 12:00"},
      {"cron 0 0 30 2 *", "UTC", "2026-01-01 00:00", "never"},
  };
  for (const Case& c : cases) {
    std::optional<ScheduleTiming> timing = ParseTiming(c.timing, c.zone);
    ASSERT_TRUE(timing) << c.timing;
    EXPECT_EQ(TimingText(*timing), c.timing);
    EXPECT_EQ(UtcText(NextRun(*timing, Utc(c.after))), c.next) << c.timing << " after " << c.after;
  }
}

TEST(ScheduleTimeTest, InvalidTimingsAreRefusedWithTheReason) {
  struct Case {
    const char* timing;
    const char* zone;
    const char* error;  // "" when ParseTiming refuses the text itself
  } cases[] = {
      {"daily 07:30", "Mars/Olympus", "Unknown time zone: Mars/Olympus"},
      {"cron 61 * * * *", "UTC", "Not a five-field cron expression: 61 * * * *"},
      {"cron * * * *", "UTC", "Not a five-field cron expression: * * * *"},
      {"cron 0 7 * * 1-9", "UTC", "Not a five-field cron expression: 0 7 * * 1-9"},
      {"daily 24:00", "UTC", ""},
      {"monthly 32 07:00", "UTC", ""},
      {"weekly xyz 07:00", "UTC", ""},
      {"hourly 07:00", "UTC", ""},
  };
  for (const Case& c : cases) {
    std::optional<ScheduleTiming> timing = ParseTiming(c.timing, c.zone);
    if (*c.error == '\0') {
      EXPECT_FALSE(timing) << c.timing;
      continue;
    }
    ASSERT_TRUE(timing) << c.timing;
    EXPECT_EQ(CheckTiming(*timing), c.error);
    EXPECT_FALSE(NextRun(*timing, 0));
  }
  ScheduleTiming no_days;
  no_days.kind = Recurrence::kWeekly;
  EXPECT_EQ(CheckTiming(no_days), "A weekly schedule needs at least one day.");
}

}  // namespace
}  // namespace fennick::delivery
