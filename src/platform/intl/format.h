// Locale-aware formatting and parsing of numbers and dates, on ICU.
//
// Every routine takes the locale as an ICU name ("en_US", "fr_FR"); an empty
// name means the locale of the current page (CurrentLocale()). Formatters
// are built once per locale and pattern and cached per thread, so a call per
// grid cell costs no construction. All routines are safe to call from any
// thread.
#ifndef FENNICK_PLATFORM_INTL_FORMAT_H_
#define FENNICK_PLATFORM_INTL_FORMAT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace fennick::intl {

// Tri-state options as the script world passes them.
inline constexpr int kUseDefault = -2;
inline constexpr int kTrue = -1;
inline constexpr int kFalse = 0;

// The ICU locale of a Windows LCID (1033 en_US, 2057 en_GB, 1036 fr_FR,
// 1031 de_DE, 3082 es_ES, 1040 it_IT, 1046 pt_BR, 1043 nl_NL, ...), or ""
// for an unknown LCID.
std::string LocaleForLcid(int32_t lcid);
// The locale of the current page: its Response.LCID when the page set a
// known one, else the server's locale, else "en_US" when no page runs.
std::string CurrentLocale();

// FormatNumber, FormatCurrency, FormatPercent: `decimals` -1 means the
// locale's default (two; for FormatCurrency the currency's own, 0 for the
// yen); halves round away from zero. The tri-states choose a leading zero for
// fractions, parentheses for negatives and digit grouping; by default the
// locale decides (en-US: "0.5", "-$1.00", grouped). A value that rounds to
// zero is written without a sign. Raises error 5 for decimals outside -1..99.
std::string FormatNumber(double value, int decimals = -1, int leading_digit = kUseDefault,
                         int parens_for_negative = kUseDefault,
                         int group_digits = kUseDefault, std::string_view locale = {});
std::string FormatCurrency(double value, int decimals = -1, int leading_digit = kUseDefault,
                           int parens_for_negative = kUseDefault,
                           int group_digits = kUseDefault, std::string_view locale = {});
// value 0.256 with 1 decimal gives "25.6%" in en-US.
std::string FormatPercent(double value, int decimals = -1, int leading_digit = kUseDefault,
                          int parens_for_negative = kUseDefault,
                          int group_digits = kUseDefault, std::string_view locale = {});

// FormatDateTime with the named formats 0 general date, 1 long date,
// 2 short date, 3 long time, 4 short time. In en-US: "3/5/2004 2:07:09 PM",
// "Friday, March 5, 2004", "3/5/2004", "2:07:09 PM", "14:07". The general
// date leaves out a midnight time and a zero date, as the script world does.
// Raises error 6 (Overflow) for a date outside the years 100 to 9999 and
// error 5 for another named format.
std::string FormatDateTime(double ole_date, int named_format = 0, std::string_view locale = {});

// Month 1..12 and weekday 1 (Sunday)..7 names of the locale; error 5 for
// another number.
std::string MonthName(int month, bool abbreviate = false, std::string_view locale = {});
std::string WeekdayName(int weekday, bool abbreviate = false, std::string_view locale = {});

// A date written by a picture format: d dd ddd dddd, m mm mmm mmmm, yy yyyy,
// h hh, n nn, s ss, AM/PM am/pm, w ww, q, y, and "literal text" in double
// quotes; other characters are copied. Sunday is the first day of the week
// and the week of 1 January the first week. Letters are read in any case;
// m and mm right after an hour mean minutes; an AM/PM marker switches to a
// 12-hour clock (A/P and a/p write one letter, AMPM the locale's marker);
// ddddd and dddddd are the named short and long date; \x copies x. Raises
// error 6 as FormatDateTime does.
std::string FormatDatePicture(double ole_date, std::string_view picture,
                              std::string_view locale = {});

// Whether text is a number written in the locale (grouping, decimal
// separator, currency symbol, sign, leading/trailing blanks allowed), and
// its value.
bool ParseLocaleNumber(std::string_view text, double& value, std::string_view locale = {});
// Whether text is a date and/or time written in the locale ("3/5/2004",
// "March 5, 2004", "2004-03-05 14:07", "2:07 PM"), and its OLE date. A time
// alone gives a time on day 0. Day and month are never swapped to make an
// impossible date fit.
bool ParseLocaleDate(std::string_view text, double& ole_date, std::string_view locale = {});

}  // namespace fennick::intl

#endif  // FENNICK_PLATFORM_INTL_FORMAT_H_
