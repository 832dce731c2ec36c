// Schedule arithmetic over ICU's calendar and time zones.
#include "delivery/schedule_time.h"

#include <unicode/gregocal.h>
#include <unicode/timezone.h>

#include <array>
#include <bitset>
#include <cstdio>
#include <memory>
#include <vector>

#include "base/ascii.h"

namespace fennick::delivery {
namespace {

constexpr std::array<std::string_view, 7> kDayNames = {"sun", "mon", "tue", "wed",
                                                       "thu", "fri", "sat"};
constexpr std::array<std::string_view, 12> kMonthNames = {
    "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};

// Days since 1970-01-01 of a proleptic Gregorian date, and back (Howard
// Hinnant's civil-date algorithms).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

struct Civil {
  int64_t year;
  unsigned month, day, weekday;  // weekday: 0 Sunday
};

Civil CivilFromDays(int64_t z) {
  const int64_t days = z;
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
  const unsigned weekday = static_cast<unsigned>(((days % 7) + 11) % 7);  // 1970-01-01: Thursday
  return {y, m, d, weekday};
}

unsigned DaysInMonth(int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// A parsed cron expression: which values each field allows.
struct Cron {
  std::bitset<60> minutes;
  std::bitset<24> hours;
  std::bitset<32> days;
  std::bitset<13> months;
  std::bitset<7> weekdays;
  bool days_any = true, weekdays_any = true;
};

// The number or name at the start of `text` within [low, high], or -1.
int CronValue(std::string_view text, int low, int high, const std::string_view* names,
              size_t name_count) {
  if (text.empty()) return -1;
  if (names != nullptr && text.size() == 3) {
    const std::string lower = AsciiLower(text);
    for (size_t i = 0; i < name_count; ++i) {
      if (lower == names[i]) return static_cast<int>(i) + low;
    }
  }
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || value > 1000) return -1;
    value = value * 10 + (c - '0');
  }
  return value >= low && value <= high ? value : -1;
}

// Fills `allowed` (indexed by value) from one field; false when malformed.
template <size_t N>
bool ParseCronField(std::string_view field, int low, int high, std::bitset<N>& allowed,
                    bool* any, const std::string_view* names = nullptr, size_t name_count = 0) {
  if (any) *any = field == "*" || field.substr(0, 2) == "*/";
  size_t start = 0;
  while (start <= field.size()) {
    size_t comma = field.find(',', start);
    if (comma == std::string_view::npos) comma = field.size();
    std::string_view item = field.substr(start, comma - start);
    int step = 1;
    if (size_t slash = item.find('/'); slash != std::string_view::npos) {
      step = CronValue(item.substr(slash + 1), 1, high, nullptr, 0);
      if (step < 1) return false;
      item = item.substr(0, slash);
    }
    int from = low, to = high;
    if (item != "*") {
      const size_t dash = item.find('-');
      from = CronValue(item.substr(0, dash), low, high, names, name_count);
      to = dash == std::string_view::npos ? from
                                          : CronValue(item.substr(dash + 1), low, high, names,
                                                      name_count);
      if (from < 0 || to < from) return false;
      // "5/15" runs from 5 to the field's end.
      if (dash == std::string_view::npos && step > 1) to = high;
    }
    for (int v = from; v <= to; v += step) allowed.set(static_cast<size_t>(v) % N);
    start = comma + 1;
  }
  return allowed.any();
}

std::optional<Cron> ParseCron(std::string_view text) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    size_t end = text.find(' ', i);
    if (end == std::string_view::npos) end = text.size();
    if (end > i) fields.push_back(text.substr(i, end - i));
    i = end;
  }
  if (fields.size() != 5) return std::nullopt;
  Cron cron;
  // Day of week 7 is Sunday too: bitset<7> folds it onto 0.
  if (!ParseCronField(fields[0], 0, 59, cron.minutes, nullptr) ||
      !ParseCronField(fields[1], 0, 23, cron.hours, nullptr) ||
      !ParseCronField(fields[2], 1, 31, cron.days, &cron.days_any) ||
      !ParseCronField(fields[3], 1, 12, cron.months, nullptr, kMonthNames.data(), 12) ||
      !ParseCronField(fields[4], 0, 7, cron.weekdays, &cron.weekdays_any, kDayNames.data(), 7)) {
    return std::nullopt;
  }
  return cron;
}

std::unique_ptr<icu::TimeZone> FindZone(std::string_view name) {
  std::unique_ptr<icu::TimeZone> zone(
      icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(icu::StringPiece(
          name.data(), static_cast<int32_t>(name.size())))));
  if (!zone) return nullptr;
  icu::UnicodeString id;
  zone->getID(id);
  if (id == icu::UnicodeString(UCAL_UNKNOWN_ZONE_ID)) return nullptr;
  return zone;
}

bool DayMatches(const ScheduleTiming& timing, const Cron* cron, const Civil& day) {
  switch (timing.kind) {
    case Recurrence::kDaily:
      return true;
    case Recurrence::kWeekly:
      return (timing.weekdays >> day.weekday) & 1u;
    case Recurrence::kMonthly: {
      const unsigned last = DaysInMonth(day.year, day.month);
      return day.day == std::min<unsigned>(static_cast<unsigned>(timing.month_day), last);
    }
    case Recurrence::kCron: {
      if (!cron->months[day.month]) return false;
      const bool by_day = cron->days[day.day], by_weekday = cron->weekdays[day.weekday];
      if (cron->days_any && cron->weekdays_any) return true;
      if (cron->days_any) return by_weekday;
      if (cron->weekdays_any) return by_day;
      return by_day || by_weekday;
    }
  }
  return false;
}

}  // namespace

std::string CheckTiming(const ScheduleTiming& timing) {
  if (!FindZone(timing.time_zone)) return "Unknown time zone: " + timing.time_zone;
  if (timing.kind == Recurrence::kCron) {
    return ParseCron(timing.cron) ? "" : "Not a five-field cron expression: " + timing.cron;
  }
  if (timing.hour < 0 || timing.hour > 23 || timing.minute < 0 || timing.minute > 59) {
    return "The time must lie between 00:00 and 23:59.";
  }
  if (timing.kind == Recurrence::kWeekly && (timing.weekdays & 0x7Fu) == 0) {
    return "A weekly schedule needs at least one day.";
  }
  if (timing.kind == Recurrence::kMonthly && (timing.month_day < 1 || timing.month_day > 31)) {
    return "The day of the month must lie between 1 and 31.";
  }
  return "";
}

std::optional<int64_t> NextRun(const ScheduleTiming& timing, int64_t after) {
  if (!CheckTiming(timing).empty()) return std::nullopt;
  std::optional<Cron> cron;
  if (timing.kind == Recurrence::kCron) cron = ParseCron(timing.cron);
  UErrorCode status = U_ZERO_ERROR;
  icu::GregorianCalendar calendar(FindZone(timing.time_zone).release(), status);
  if (U_FAILURE(status)) return std::nullopt;
  calendar.setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
  calendar.setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
  calendar.setTime(static_cast<UDate>(after) * 1000.0, status);
  const int64_t first_day =
      DaysFromCivil(calendar.get(UCAL_YEAR, status),
                    static_cast<unsigned>(calendar.get(UCAL_MONTH, status) + 1),
                    static_cast<unsigned>(calendar.get(UCAL_DATE, status)));
  if (U_FAILURE(status)) return std::nullopt;
  auto instant = [&](const Civil& day, int hour, int minute) -> std::optional<int64_t> {
    calendar.clear();
    calendar.set(static_cast<int32_t>(day.year), static_cast<int32_t>(day.month - 1),
                 static_cast<int32_t>(day.day), hour, minute, 0);
    UErrorCode s = U_ZERO_ERROR;
    const UDate t = calendar.getTime(s);
    if (U_FAILURE(s)) return std::nullopt;
    return static_cast<int64_t>(t / 1000.0);
  };
  // A day before `after`'s local day may still hold a later instant only
  // across a zone's date-line change; starting one day early covers it.
  for (int64_t d = first_day - 1; d <= first_day + 5 * 366; ++d) {
    const Civil day = CivilFromDays(d);
    if (!DayMatches(timing, cron ? &*cron : nullptr, day)) continue;
    if (!cron) {
      std::optional<int64_t> t = instant(day, timing.hour, timing.minute);
      if (t && *t > after) return t;
      continue;
    }
    for (int h = 0; h < 24; ++h) {
      if (!cron->hours[static_cast<size_t>(h)]) continue;
      for (int m = 0; m < 60; ++m) {
        if (!cron->minutes[static_cast<size_t>(m)]) continue;
        std::optional<int64_t> t = instant(day, h, m);
        if (t && *t > after) return t;
      }
    }
  }
  return std::nullopt;
}

std::string TimingText(const ScheduleTiming& timing) {
  char clock[8];
  std::snprintf(clock, sizeof clock, "%02d:%02d", timing.hour, timing.minute);
  switch (timing.kind) {
    case Recurrence::kDaily:
      return std::string("daily ") + clock;
    case Recurrence::kWeekly: {
      std::string days;
      for (unsigned i = 0; i < 7; ++i) {
        if ((timing.weekdays >> i) & 1u) days += (days.empty() ? "" : ",") + std::string(kDayNames[i]);
      }
      return "weekly " + days + " " + clock;
    }
    case Recurrence::kMonthly:
      return "monthly " + std::to_string(timing.month_day) + " " + clock;
    case Recurrence::kCron:
      return "cron " + timing.cron;
  }
  return "";
}

std::optional<ScheduleTiming> ParseTiming(std::string_view text, std::string_view time_zone) {
  ScheduleTiming timing;
  timing.time_zone = std::string(time_zone);
  auto read_clock = [&timing](std::string_view clock) {
    if (clock.size() != 5 || clock[2] != ':') return false;
    const int h = CronValue(clock.substr(0, 2), 0, 23, nullptr, 0);
    const int m = CronValue(clock.substr(3, 2), 0, 59, nullptr, 0);
    timing.hour = h;
    timing.minute = m;
    return h >= 0 && m >= 0;
  };
  const size_t space = text.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const std::string_view kind = text.substr(0, space), rest = text.substr(space + 1);
  const size_t last = rest.rfind(' ');
  if (kind == "cron") {
    timing.kind = Recurrence::kCron;
    timing.cron = std::string(TrimBlanks(rest));
    return timing;
  }
  if (kind == "daily") {
    timing.kind = Recurrence::kDaily;
    if (!read_clock(rest)) return std::nullopt;
    return timing;
  }
  if (last == std::string_view::npos || !read_clock(rest.substr(last + 1))) return std::nullopt;
  const std::string_view what = rest.substr(0, last);
  if (kind == "monthly") {
    timing.kind = Recurrence::kMonthly;
    timing.month_day = CronValue(what, 1, 31, nullptr, 0);
    return timing.month_day > 0 ? std::optional(timing) : std::nullopt;
  }
  if (kind != "weekly") return std::nullopt;
  timing.kind = Recurrence::kWeekly;
  std::bitset<7> days;
  if (!ParseCronField(what, 0, 7, days, nullptr, kDayNames.data(), 7)) return std::nullopt;
  timing.weekdays = static_cast<unsigned>(days.to_ulong());
  return timing;
}

}  // namespace fennick::delivery
