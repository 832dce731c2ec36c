// Month, weekday and AM/PM names of a locale, read once per thread from ICU's
// Gregorian date symbols and kept as UTF-8 for the date writers.
#include <unicode/dtfmtsym.h>

#include <string>
#include <unordered_map>

#include "platform/intl/format.h"
#include "platform/intl/icu_support.h"

namespace fennick::intl {
namespace detail {

namespace {

using Symbols = icu::DateFormatSymbols;

template <size_t N>
void CopyNames(const icu::UnicodeString* names, int32_t count, int32_t first,
               std::array<std::string, N>& out) {
  for (size_t i = 0; i < N && first + static_cast<int32_t>(i) < count; ++i) {
    out[i] = ToUtf8(names[first + i]);
  }
}

DateNames LoadNames(std::string_view locale) {
  UErrorCode status = U_ZERO_ERROR;
  Symbols symbols(ToIcuLocale(locale), "gregorian", status);
  CheckIcu(status, "Loading the date names");
  DateNames names;
  int32_t count = 0;
  const icu::UnicodeString* list;
  list = symbols.getMonths(count, Symbols::STANDALONE, Symbols::WIDE);
  CopyNames(list, count, 0, names.month_alone);
  list = symbols.getMonths(count, Symbols::STANDALONE, Symbols::ABBREVIATED);
  CopyNames(list, count, 0, names.month_alone_abbr);
  list = symbols.getMonths(count, Symbols::FORMAT, Symbols::WIDE);
  CopyNames(list, count, 0, names.month_in_date);
  list = symbols.getMonths(count, Symbols::FORMAT, Symbols::ABBREVIATED);
  CopyNames(list, count, 0, names.month_in_date_abbr);
  // ICU's weekday lists are indexed by UCAL_SUNDAY (1); slot 0 is empty.
  list = symbols.getWeekdays(count, Symbols::FORMAT, Symbols::WIDE);
  CopyNames(list, count, 1, names.weekday);
  list = symbols.getWeekdays(count, Symbols::FORMAT, Symbols::ABBREVIATED);
  CopyNames(list, count, 1, names.weekday_abbr);
  list = symbols.getAmPmStrings(count);
  if (count >= 2) {
    names.am = ToUtf8(list[0]);
    names.pm = ToUtf8(list[1]);
  }
  return names;
}

}  // namespace

const DateNames& NamesFor(std::string_view locale) {
  // Node-based, so references handed out stay valid as the map grows.
  thread_local std::unordered_map<std::string, DateNames> cache;
  thread_local const DateNames* last = nullptr;
  thread_local std::string last_locale;
  std::string name = EffectiveLocale(locale);
  if (last != nullptr && name == last_locale) return *last;
  auto it = cache.find(name);
  if (it == cache.end()) it = cache.emplace(name, LoadNames(name)).first;
  last = &it->second;
  last_locale = std::move(name);
  return *last;
}

}  // namespace detail

std::string MonthName(int month, bool abbreviate, std::string_view locale) {
  if (month < 1 || month > 12) detail::ThrowInvalidCall("month must be 1 to 12");
  const detail::DateNames& names = detail::NamesFor(locale);
  return abbreviate ? names.month_alone_abbr[month - 1] : names.month_alone[month - 1];
}

std::string WeekdayName(int weekday, bool abbreviate, std::string_view locale) {
  if (weekday < 1 || weekday > 7) detail::ThrowInvalidCall("weekday must be 1 to 7");
  const detail::DateNames& names = detail::NamesFor(locale);
  return abbreviate ? names.weekday_abbr[weekday - 1] : names.weekday[weekday - 1];
}

}  // namespace fennick::intl
