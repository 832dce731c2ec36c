// FormatDateTokens.
#include "frame/date_tokens.h"

#include <cstdio>

#include "base/ascii.h"
#include "fennick/variant.h"
#include "frame/text_routines.h"
#include "platform/intl/format.h"

namespace fennick {
namespace {

void ReplaceAll(std::string& text, std::string_view token, const std::string& value) {
  for (size_t at = text.find(token); at != std::string::npos;
       at = text.find(token, at + value.size())) {
    text.replace(at, token.size(), value);
  }
}

std::string TwoDigits(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

}  // namespace

std::string FormatDateTokens(double ole_date, std::string_view format) {
  std::string out(format);
  if (out.find('%') == std::string::npos) return out;
  DateParts p = SplitOleDate(ole_date);
  const int weekday = OleWeekday(ole_date);
  const int day_of_year =
      static_cast<int>(MakeOleDate({p.year, p.month, p.day}) - MakeOleDate({p.year, 1, 1})) + 1;
  const std::string locale = intl::CurrentLocale();
  // Each token is only computed when the format holds it: names cost a
  // formatter lookup.
  auto replace = [&out](std::string_view token, auto make) {
    if (out.find(token) != std::string::npos) ReplaceAll(out, token, make());
  };
  replace("%m", [&] { return std::to_string(p.month); });
  replace("%B", [&] { return intl::MonthName(p.month, false, locale); });
  replace("%b", [&] { return intl::MonthName(p.month, true, locale); });
  replace("%d", [&] { return std::to_string(p.day); });
  replace("%D", [&] { return TwoDigits(p.day); });
  replace("%O", [&] { return OrdinalSuffix(p.day); });
  replace("%j", [&] { return std::to_string(day_of_year); });
  replace("%Y", [&] { return std::to_string(p.year); });
  replace("%y", [&] { return TwoDigits(((p.year % 100) + 100) % 100); });
  replace("%w", [&] { return std::to_string(weekday); });
  replace("%a", [&] { return intl::WeekdayName(weekday, true, locale); });
  replace("%A", [&] { return intl::WeekdayName(weekday, false, locale); });
  replace("%H", [&] { return std::to_string(p.hour); });
  replace("%h", [&] { return std::to_string(p.hour % 12 == 0 ? 12 : p.hour % 12); });
  replace("%N", [&] { return TwoDigits(p.minute); });
  replace("%n", [&] { return p.minute == 0 ? std::string() : ":" + TwoDigits(p.minute); });
  replace("%S", [&] { return TwoDigits(p.second); });
  replace("%P", [&] { return std::string(p.hour >= 12 ? "PM" : "AM"); });
  return out;
}

}  // namespace fennick
