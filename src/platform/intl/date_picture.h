// Compiled date pictures, shared by the picture formats of date columns and
// the named formats (whose ICU patterns are compiled into the same form when
// they use nothing a picture cannot write).
//
// Internal to src/platform/intl.
#ifndef FENNICK_PLATFORM_INTL_DATE_PICTURE_H_
#define FENNICK_PLATFORM_INTL_DATE_PICTURE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fennick::intl::detail {

enum class Field : uint8_t {
  kLiteral,
  kDay,           // d     5
  kDay2,          // dd    05
  kWeekdayAbbr,   // ddd   Fri
  kWeekday,       // dddd  Friday
  kShortDate,     // ddddd   the named short date
  kLongDate,      // dddddd  the named long date
  kWeekdayNumber, // w     1 (Sunday) to 7
  kWeekOfYear,    // ww    1 to 54
  kMonth,         // m     3
  kMonth2,        // mm    03
  kMonthAbbr,     // mmm   Mar
  kMonthName,     // mmmm  March
  kQuarter,       // q     1 to 4
  kDayOfYear,     // y     1 to 366
  kYear2,         // yy    04
  kYear4,         // yyyy  2004
  kHour,          // h     2 or 14
  kHour2,         // hh    02 or 14
  kMinute,        // n, or m right after an hour
  kMinute2,       // nn, or mm right after an hour
  kSecond,        // s
  kSecond2,       // ss
  kHalfOfDay,     // AM/PM, am/pm, A/P, a/p: the half written as in the picture
  kLocaleHalf,    // AMPM: the locale's AM/PM text
};

struct Part {
  Field field;
  std::string text;      // the literal; for kHalfOfDay the morning marker
  std::string pm_text;   // for kHalfOfDay the afternoon marker
};

struct Picture {
  std::vector<Part> parts;
  bool twelve_hour = false;
  // Month names in their in-date form ("5 марта"), as beside a day.
  bool month_in_date = false;
};

// Compiles a picture as FormatDatePicture reads it.
Picture CompilePicture(std::string_view picture);

// Appends `ole_date` written by `picture` to `out`, with the names of
// `locale` (empty: the current one). The date must be in range.
void AppendPicture(const Picture& picture, double ole_date, std::string_view locale,
                   std::string& out);

}  // namespace fennick::intl::detail

#endif  // FENNICK_PLATFORM_INTL_DATE_PICTURE_H_
