// Reading values that engines hand over as text: dates and times in their
// ISO forms (and the invariant "m/d/yyyy" form filters use), SQLite's
// numeric date forms, and exact currency amounts.
#ifndef FENNICK_PLATFORM_DATA_VALUE_TEXT_H_
#define FENNICK_PLATFORM_DATA_VALUE_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace fennick::data {

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]" ("T" may separate date and
// time) or a time alone "HH:MM[:SS[.fff]]" (an OLE date on day 0). A
// trailing zone ("Z", "+02", "-05:30") is ignored: values are shown as the
// engine wrote them. Returns false for anything else, including
// impossible dates such as February 30.
bool ParseIsoDate(std::string_view text, double& ole_date);
// ParseIsoDate's forms, and "m/d/yyyy[ h:mm[:ss][ AM|PM]]".
bool ParseDateText(std::string_view text, double& ole_date);

// "YYYY-MM-DD HH:MM:SS", as both engines read dates sent to them.
std::string FormatIsoDate(double ole_date);

// SQLite keeps dates as Julian day numbers (REAL) or Unix seconds
// (INTEGER) as well as text.
inline double OleDateFromJulianDay(double julian_day) { return julian_day - 2415018.5; }
inline double OleDateFromUnixSeconds(double seconds) { return seconds / 86400.0 + 25569.0; }

// A whole text that is a base-10 integer ("-42"), or a number in the
// forms engines write ("1.5", "-2e-3", "NaN", "Infinity"); no blanks.
bool ParseInteger(std::string_view text, int64_t& value);
bool ParseEngineDouble(std::string_view text, double& value);

// An exact decimal amount ("-1234.5", "12.34567" rounded half away from
// zero) in ten-thousandths. Blanks around it are allowed. Returns false for
// anything else or an amount beyond the currency range.
bool ParseCurrency(std::string_view text, int64_t& ten_thousandths);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_VALUE_TEXT_H_
