// Date functions: Now, Date, Time, Timer, Year, Month, Day, Hour, Minute,
// Second, Weekday, WeekdayName, MonthName, DateAdd, DateDiff, DatePart,
// DateSerial, TimeSerial, DateValue, TimeValue.
//
// Intervals are the script world's: yyyy year, q quarter, m month, y day of
// year, d day, w weekday, ww week, h hour, n minute, s second. Weeks start
// on the given first day (Sunday unless told) and the first week of a year
// is the one holding 1 January unless told otherwise. "Now" is the server's
// local time.
#include <sys/time.h>

#include <cmath>
#include <ctime>
#include <string>

#include "platform/intl/format.h"
#include "base/ascii.h"
#include "platform/script/builtins.h"
#include "platform/script/coerce.h"
#include "platform/script/script_error.h"

namespace fennick::script {
namespace {

enum class Interval {
  kYear, kQuarter, kMonth, kDayOfYear, kDay, kWeekday, kWeek, kHour, kMinute, kSecond,
};

Interval ParseInterval(const Variant& v) {
  if (v.IsNull()) RaiseRuntime(kErrInvalidNull);
  const std::string s = AsciiLower(ToText(v));
  if (s == "yyyy") return Interval::kYear;
  if (s == "q") return Interval::kQuarter;
  if (s == "m") return Interval::kMonth;
  if (s == "y") return Interval::kDayOfYear;
  if (s == "d") return Interval::kDay;
  if (s == "w") return Interval::kWeekday;
  if (s == "ww") return Interval::kWeek;
  if (s == "h") return Interval::kHour;
  if (s == "n") return Interval::kMinute;
  if (s == "s") return Interval::kSecond;
  RaiseRuntime(kErrInvalidCall);
}

// The first day of the week argument: 1 Sunday .. 7 Saturday; 0 (the
// system's) is Sunday here.
int FirstDayArgument(Arguments a, size_t i) {
  int32_t d = LongArgument(a, i, 1);
  if (d < 0 || d > 7) RaiseRuntime(kErrInvalidCall);
  return d == 0 ? 1 : d;
}

int FirstWeekArgument(Arguments a, size_t i) {
  int32_t w = LongArgument(a, i, 1);
  if (w < 0 || w > 3) RaiseRuntime(kErrInvalidCall);
  return w == 0 ? 1 : w;
}

Variant CheckedDate(double ole_date) {
  if (!(ole_date >= kMinOleDate && ole_date <= kMaxOleDate)) RaiseRuntime(kErrInvalidCall);
  return Variant::Date(ole_date);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

// Seconds since 1899-12-30 00:00 of an OLE date, to the nearest second, so
// that hour, minute and second arithmetic stays exact.
int64_t LinearSeconds(double ole_date) {
  return std::llround(OleToLinear(ole_date) * 86400.0);
}

double FromLinearSeconds(int64_t seconds) {
  int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  int64_t rest = seconds - days * 86400;
  return LinearToOle(static_cast<double>(days) + static_cast<double>(rest) / 86400.0);
}

// The day number on a continuous scale; the small nudge keeps a midnight
// that a floating sum left a hair short on its own day.
int64_t LinearDay(double ole_date) {
  return static_cast<int64_t>(std::floor(OleToLinear(ole_date) + 1e-9));
}

// Day of the week, 1..7 counted from first_day.
int WeekdayFrom(double ole_date, int first_day) {
  return (OleWeekday(ole_date) - first_day + 7) % 7 + 1;
}

int DayOfYear(const DateParts& p) {
  DateParts jan1;
  jan1.year = p.year, jan1.month = 1, jan1.day = 1;
  DateParts day = p;
  day.hour = day.minute = day.second = 0;
  day.millisecond = 0;
  return static_cast<int>(MakeOleDate(day) - MakeOleDate(jan1)) + 1;
}

// The linear day on which week 1 of `year` starts.
int64_t FirstWeekStart(int year, int first_day, int first_week) {
  DateParts jan1;
  jan1.year = year, jan1.month = 1, jan1.day = 1;
  double jan1_date = MakeOleDate(jan1);
  int64_t start = LinearDay(jan1_date) - (WeekdayFrom(jan1_date, first_day) - 1);
  int days_in_year_part = 7 - static_cast<int>(LinearDay(jan1_date) - start);
  if (first_week == 2 && days_in_year_part < 4) start += 7;   // first four-day week
  if (first_week == 3 && days_in_year_part < 7) start += 7;   // first full week
  return start;
}

int WeekOfYear(double ole_date, int first_day, int first_week) {
  DateParts p = SplitOleDate(ole_date);
  int64_t day = LinearDay(ole_date);
  int64_t start = FirstWeekStart(p.year, first_day, first_week);
  if (day < start) start = FirstWeekStart(p.year - 1, first_day, first_week);
  return static_cast<int>((day - start) / 7) + 1;
}

Variant LocalNow(bool date_part, bool time_part) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  std::time_t t = tv.tv_sec;
  std::tm local{};
  localtime_r(&t, &local);
  DateParts p;
  p.year = local.tm_year + 1900, p.month = local.tm_mon + 1, p.day = local.tm_mday;
  if (!date_part) p.year = 1899, p.month = 12, p.day = 30;
  if (time_part) p.hour = local.tm_hour, p.minute = local.tm_min, p.second = local.tm_sec;
  return Variant::Date(MakeOleDate(p));
}

Variant Now(Arguments) { return LocalNow(true, true); }
Variant Today(Arguments) { return LocalNow(true, false); }
Variant TimeOfDay(Arguments) { return LocalNow(false, true); }

Variant Timer(Arguments) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  std::time_t t = tv.tv_sec;
  std::tm local{};
  localtime_r(&t, &local);
  double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + tv.tv_usec / 1e6;
  return Variant(static_cast<float>(seconds));
}

// Year, Month, ... : Null gives Null.
template <int DateParts::*Field>
Variant Part(Arguments a) {
  if (a[0].IsNull()) return a[0];
  DateParts p = SplitOleDate(ToDate(a[0]));
  return Variant(static_cast<int16_t>(p.*Field));
}

Variant Weekday(Arguments a) {
  int first_day = FirstDayArgument(a, 1);
  if (a[0].IsNull()) return a[0];
  return Variant(static_cast<int16_t>(WeekdayFrom(ToDate(a[0]), first_day)));
}

Variant WeekdayNameOf(Arguments a) {
  int32_t n = ToLong(a[0]);
  bool abbreviate = Given(a, 1) && ToBoolean(a[1]);
  int first_day = FirstDayArgument(a, 2);
  if (n < 1 || n > 7) RaiseRuntime(kErrInvalidCall);
  return Variant(intl::WeekdayName((n - 1 + first_day - 1) % 7 + 1, abbreviate));
}

Variant MonthNameOf(Arguments a) {
  int32_t n = ToLong(a[0]);
  bool abbreviate = Given(a, 1) && ToBoolean(a[1]);
  if (n < 1 || n > 12) RaiseRuntime(kErrInvalidCall);
  return Variant(intl::MonthName(n, abbreviate));
}

Variant AddMonths(double ole_date, int64_t months) {
  DateParts p = SplitOleDate(ole_date);
  int64_t total = static_cast<int64_t>(p.year) * 12 + (p.month - 1) + months;
  if (total < 100 * 12 || total > 9999 * 12 + 11) RaiseRuntime(kErrInvalidCall);
  p.year = static_cast<int>(total / 12);
  p.month = static_cast<int>(total % 12) + 1;
  // The 31st plus one month is the month's last day.
  if (p.day > DaysInMonth(p.year, p.month)) p.day = DaysInMonth(p.year, p.month);
  return CheckedDate(MakeOleDate(p));
}

Variant DateAdd(Arguments a) {
  Interval interval = ParseInterval(a[0]);
  if (a[1].IsNull()) RaiseRuntime(kErrInvalidNull);
  if (a[2].IsNull()) return a[2];
  // The count's fraction is dropped, as the script world does.
  double count_d = std::trunc(ToDouble(a[1]));
  double date = ToDate(a[2]);
  if (std::fabs(count_d) > 4e9) RaiseRuntime(kErrInvalidCall);
  int64_t count = static_cast<int64_t>(count_d);
  switch (interval) {
    case Interval::kYear: return AddMonths(date, count * 12);
    case Interval::kQuarter: return AddMonths(date, count * 3);
    case Interval::kMonth: return AddMonths(date, count);
    case Interval::kWeek: count *= 7; [[fallthrough]];
    case Interval::kDayOfYear: case Interval::kDay: case Interval::kWeekday:
      return CheckedDate(FromLinearSeconds(LinearSeconds(date) + count * 86400));
    case Interval::kHour: return CheckedDate(FromLinearSeconds(LinearSeconds(date) + count * 3600));
    case Interval::kMinute: return CheckedDate(FromLinearSeconds(LinearSeconds(date) + count * 60));
    case Interval::kSecond: return CheckedDate(FromLinearSeconds(LinearSeconds(date) + count));
  }
  RaiseRuntime(kErrInvalidCall);
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// DateDiff counts the interval boundaries crossed from the first date to
// the second: DateDiff("yyyy", #12/31/2003#, #1/1/2004#) is 1.
Variant DateDiff(Arguments a) {
  Interval interval = ParseInterval(a[0]);
  int first_day = FirstDayArgument(a, 3);
  FirstWeekArgument(a, 4);  // checked; week differences do not depend on it
  if (a[1].IsNull() || a[2].IsNull()) return Variant::Null();
  double d1 = ToDate(a[1]), d2 = ToDate(a[2]);
  DateParts p1 = SplitOleDate(d1), p2 = SplitOleDate(d2);
  int64_t r = 0;
  switch (interval) {
    case Interval::kYear: r = p2.year - p1.year; break;
    case Interval::kQuarter:
      r = (p2.year * 4 + (p2.month - 1) / 3) - (p1.year * 4 + (p1.month - 1) / 3);
      break;
    case Interval::kMonth: r = (p2.year * 12 + p2.month) - (p1.year * 12 + p1.month); break;
    case Interval::kDayOfYear: case Interval::kDay: r = LinearDay(d2) - LinearDay(d1); break;
    case Interval::kWeekday: r = (LinearDay(d2) - LinearDay(d1)) / 7; break;
    case Interval::kWeek: {
      int64_t s1 = LinearDay(d1) - (WeekdayFrom(d1, first_day) - 1);
      int64_t s2 = LinearDay(d2) - (WeekdayFrom(d2, first_day) - 1);
      r = (s2 - s1) / 7;
      break;
    }
    case Interval::kHour:
      r = FloorDiv(LinearSeconds(d2), 3600) - FloorDiv(LinearSeconds(d1), 3600);
      break;
    case Interval::kMinute:
      r = FloorDiv(LinearSeconds(d2), 60) - FloorDiv(LinearSeconds(d1), 60);
      break;
    case Interval::kSecond: r = LinearSeconds(d2) - LinearSeconds(d1); break;
  }
  if (r < INT32_MIN || r > INT32_MAX) RaiseRuntime(kErrOverflow);
  return Variant(static_cast<int32_t>(r));
}

Variant DatePart(Arguments a) {
  Interval interval = ParseInterval(a[0]);
  int first_day = FirstDayArgument(a, 2);
  int first_week = FirstWeekArgument(a, 3);
  if (a[1].IsNull()) return a[1];
  double d = ToDate(a[1]);
  DateParts p = SplitOleDate(d);
  int r = 0;
  switch (interval) {
    case Interval::kYear: r = p.year; break;
    case Interval::kQuarter: r = (p.month - 1) / 3 + 1; break;
    case Interval::kMonth: r = p.month; break;
    case Interval::kDayOfYear: r = DayOfYear(p); break;
    case Interval::kDay: r = p.day; break;
    case Interval::kWeekday: r = WeekdayFrom(d, first_day); break;
    case Interval::kWeek: r = WeekOfYear(d, first_day, first_week); break;
    case Interval::kHour: r = p.hour; break;
    case Interval::kMinute: r = p.minute; break;
    case Interval::kSecond: r = p.second; break;
  }
  return Variant(static_cast<int16_t>(r));
}

// DateSerial: months and days beyond their range roll over (month 13 is
// January of the next year, day 0 the last day of the month before); years
// 0 to 99 are 1900 to 1999.
Variant DateSerial(Arguments a) {
  int32_t year = ToLong(a[0]), month = ToLong(a[1]), day = ToLong(a[2]);
  if (year >= 0 && year <= 99) year += 1900;
  if (year < -100000 || year > 100000 || month < -1200000 || month > 1200000 ||
      day < -40000000 || day > 40000000)
    RaiseRuntime(kErrInvalidCall);
  DateParts p;
  p.year = year, p.month = month, p.day = day;
  return CheckedDate(MakeOleDate(p));
}

Variant TimeSerial(Arguments a) {
  int64_t seconds = static_cast<int64_t>(ToLong(a[0])) * 3600 +
                    static_cast<int64_t>(ToLong(a[1])) * 60 + ToLong(a[2]);
  return CheckedDate(FromLinearSeconds(seconds));
}

Variant DateValue(Arguments a) {
  double d = ToDate(a[0]);
  return Variant::Date(std::trunc(d));
}

Variant TimeValue(Arguments a) {
  double d = ToDate(a[0]);
  return Variant::Date(std::fabs(d - std::trunc(d)));
}

constexpr Builtin kDateBuiltins[] = {
    {"Now", 0, 0, Now},
    {"Date", 0, 0, Today},
    {"Time", 0, 0, TimeOfDay},
    {"Timer", 0, 0, Timer},
    {"Year", 1, 1, Part<&DateParts::year>},
    {"Month", 1, 1, Part<&DateParts::month>},
    {"Day", 1, 1, Part<&DateParts::day>},
    {"Hour", 1, 1, Part<&DateParts::hour>},
    {"Minute", 1, 1, Part<&DateParts::minute>},
    {"Second", 1, 1, Part<&DateParts::second>},
    {"Weekday", 1, 2, Weekday},
    {"WeekdayName", 1, 3, WeekdayNameOf},
    {"MonthName", 1, 2, MonthNameOf},
    {"DateAdd", 3, 3, DateAdd},
    {"DateDiff", 3, 5, DateDiff},
    {"DatePart", 2, 4, DatePart},
    {"DateSerial", 3, 3, DateSerial},
    {"TimeSerial", 3, 3, TimeSerial},
    {"DateValue", 1, 1, DateValue},
    {"TimeValue", 1, 1, TimeValue},
};

}  // namespace

std::span<const Builtin> DateBuiltins() { return kDateBuiltins; }

}  // namespace fennick::script
