// Shared plumbing of the intl adapter: locale resolution, UTF-8 conversion,
// ICU error handling, OLE date conversion and the locale's date names.
//
// Internal to src/platform/intl; nothing here is seen outside the adapter.
// Every cache behind these routines lives per thread, because ICU formatters
// must not be used by two threads at once.
#ifndef FENNICK_PLATFORM_INTL_ICU_SUPPORT_H_
#define FENNICK_PLATFORM_INTL_ICU_SUPPORT_H_

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>
#include <unicode/utypes.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "fennick/variant.h"

namespace fennick::intl::detail {

// The locale a routine works in: `locale` itself, or CurrentLocale() when it
// is empty.
std::string EffectiveLocale(std::string_view locale);

// The ICU locale of a locale name ("en_US", "en-US", "fr_FR.UTF-8").
icu::Locale ToIcuLocale(std::string_view locale);

void AppendUtf8(const icu::UnicodeString& text, std::string& out);
inline std::string ToUtf8(const icu::UnicodeString& text) {
  std::string out;
  AppendUtf8(text, out);
  return out;
}

// Raises a fennick::Error naming `what` and the ICU status when `status`
// is a failure; warnings pass.
void CheckIcu(UErrorCode status, std::string_view what);

// Raises the script world's "Invalid procedure call or argument".
[[noreturn]] void ThrowInvalidCall(std::string_view detail);

// Raises "Overflow" unless `ole_date` lies within 1 January 100 and
// 31 December 9999, the range of a script date.
void CheckOleDate(double ole_date);

// The ICU instant of an OLE date read as a UTC wall clock, rounded to the
// second as the date's parts are.
UDate OleToUDate(double ole_date);

// A proleptic Gregorian calendar in UTC: OLE dates carry no time zone and
// their day count never switches to the Julian calendar.
std::unique_ptr<icu::Calendar> NewUtcGregorian(const icu::Locale& locale);

// The ICU pattern of a named date format (0 general date, 1 long date,
// 2 short date, 3 long time, 4 short time) in a locale.
icu::UnicodeString NamedDatePattern(const icu::Locale& locale, int named_format);

// The names a locale gives months, weekdays and the halves of the day, in
// UTF-8. Month names come in two forms: on their own (a heading, MonthName)
// and inside a date, which some languages inflect ("5 марта").
struct DateNames {
  std::array<std::string, 12> month_alone, month_alone_abbr;
  std::array<std::string, 12> month_in_date, month_in_date_abbr;
  std::array<std::string, 7> weekday, weekday_abbr;  // [0] is Sunday
  std::string am, pm;
};

// The names of a locale (empty: the current one). The reference stays valid
// for the life of the calling thread.
const DateNames& NamesFor(std::string_view locale);

}  // namespace fennick::intl::detail

#endif  // FENNICK_PLATFORM_INTL_ICU_SUPPORT_H_
