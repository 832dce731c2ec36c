// FormatDatePicture: dates written by a picture such as "dd mmm yyyy hh:nn".
//
// A picture is compiled once into a list of parts (a literal or a date
// field) and kept per thread, so a date column costs one lookup and a few
// appends per cell. Field letters are read without regard to case, as
// pictures are written both ways ("DD/MM/YYYY"); only the AM/PM markers keep
// the case they are written in. Weeks start on Sunday and the week holding
// 1 January is week 1.
#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "fennick/variant.h"
#include "base/ascii.h"
#include "platform/intl/date_picture.h"
#include "platform/intl/format.h"
#include "platform/intl/icu_support.h"

namespace fennick::intl {

using detail::Field;
using detail::Part;
using detail::Picture;

namespace {

size_t RunLength(std::string_view picture, size_t at) {
  size_t n = 1;
  while (at + n < picture.size() && AsciiLowerChar(picture[at + n]) == AsciiLowerChar(picture[at])) ++n;
  return n;
}

// Number of bytes of the UTF-8 character starting with `lead`.
size_t Utf8Length(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

void AppendNumber(int value, std::string& out) {
  char digits[12];
  int n = 0;
  unsigned v = static_cast<unsigned>(value < 0 ? -value : value);
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (value < 0) out.push_back('-');
  while (n > 0) out.push_back(digits[--n]);
}

void AppendTwoDigits(int value, std::string& out) {
  if (value < 10) out.push_back('0');
  AppendNumber(value, out);
}

const Picture& CompiledPicture(std::string_view text) {
  // Pictures come from page code, so there are few; the bound only keeps a
  // page that builds pictures from data from growing the cache without end.
  constexpr size_t kMaxPictures = 256;
  thread_local std::unordered_map<std::string, Picture> cache;
  thread_local const std::pair<const std::string, Picture>* last = nullptr;
  if (last != nullptr && last->first == text) return last->second;
  std::string key(text);
  auto it = cache.find(key);
  if (it == cache.end()) {
    if (cache.size() >= kMaxPictures) cache.clear();
    Picture compiled = detail::CompilePicture(text);
    it = cache.emplace(std::move(key), std::move(compiled)).first;
  }
  last = &*it;
  return it->second;
}

}  // namespace

namespace detail {

Picture CompilePicture(std::string_view picture) {
  Picture out;
  auto add_literal = [&out](std::string_view text) {
    if (!out.parts.empty() && out.parts.back().field == Field::kLiteral) {
      out.parts.back().text.append(text);
    } else {
      out.parts.push_back({Field::kLiteral, std::string(text), {}});
    }
  };
  auto add = [&out](Field field) { out.parts.push_back({field, {}, {}}); };
  // Whether the last field written was an hour: then "m" means minutes.
  auto after_hour = [&out]() {
    for (auto it = out.parts.rbegin(); it != out.parts.rend(); ++it) {
      if (it->field == Field::kLiteral) continue;
      return it->field == Field::kHour || it->field == Field::kHour2;
    }
    return false;
  };

  size_t i = 0;
  while (i < picture.size()) {
    const char c = picture[i];
    const char lower = AsciiLowerChar(c);
    size_t run = RunLength(picture, i);
    size_t used = 1;
    switch (lower) {
      case '"': {
        size_t end = picture.find('"', i + 1);
        if (end == std::string_view::npos) end = picture.size();
        add_literal(picture.substr(i + 1, end - i - 1));
        used = end + 1 - i;
        break;
      }
      case '\\':
        if (i + 1 < picture.size()) {
          const size_t length = Utf8Length(static_cast<unsigned char>(picture[i + 1]));
          add_literal(picture.substr(i + 1, length));
          used = 1 + length;
        }
        break;
      case 'd': {
        static constexpr Field kByRun[] = {Field::kDay, Field::kDay2, Field::kWeekdayAbbr,
                                           Field::kWeekday, Field::kShortDate, Field::kLongDate};
        used = std::min<size_t>(run, 6);
        add(kByRun[used - 1]);
        if (used <= 2) out.month_in_date = true;
        break;
      }
      case 'm':
        used = std::min<size_t>(run, 4);
        if (used <= 2 && after_hour()) {
          add(used == 1 ? Field::kMinute : Field::kMinute2);
        } else {
          static constexpr Field kByRun[] = {Field::kMonth, Field::kMonth2, Field::kMonthAbbr,
                                             Field::kMonthName};
          add(kByRun[used - 1]);
        }
        break;
      case 'y':
        used = run >= 4 ? 4 : std::min<size_t>(run, 2);
        add(used == 4 ? Field::kYear4 : used == 2 ? Field::kYear2 : Field::kDayOfYear);
        break;
      case 'h':
        used = std::min<size_t>(run, 2);
        add(used == 2 ? Field::kHour2 : Field::kHour);
        break;
      case 'n':
        used = std::min<size_t>(run, 2);
        add(used == 2 ? Field::kMinute2 : Field::kMinute);
        break;
      case 's':
        used = std::min<size_t>(run, 2);
        add(used == 2 ? Field::kSecond2 : Field::kSecond);
        break;
      case 'w':
        used = std::min<size_t>(run, 2);
        add(used == 2 ? Field::kWeekOfYear : Field::kWeekdayNumber);
        break;
      case 'q':
        add(Field::kQuarter);
        break;
      case 'a': {
        const std::string_view rest = picture.substr(i);
        if (StartsWithIgnoreCase(rest, "am/pm")) {
          out.parts.push_back(
              {Field::kHalfOfDay, std::string(rest.substr(0, 2)), std::string(rest.substr(3, 2))});
          used = 5;
        } else if (StartsWithIgnoreCase(rest, "a/p")) {
          out.parts.push_back(
              {Field::kHalfOfDay, std::string(rest.substr(0, 1)), std::string(rest.substr(2, 1))});
          used = 3;
        } else if (StartsWithIgnoreCase(rest, "ampm")) {
          add(Field::kLocaleHalf);
          used = 4;
        } else {
          add_literal(picture.substr(i, 1));
          break;
        }
        out.twelve_hour = true;
        break;
      }
      default:
        used = Utf8Length(static_cast<unsigned char>(c));
        add_literal(picture.substr(i, used));
        break;
    }
    i += used;
  }
  return out;
}

void AppendPicture(const Picture& picture, double ole_date, std::string_view locale,
                   std::string& out) {
  const DateParts date = SplitOleDate(ole_date);
  // The parts may have rounded up to the next day (23:59:59.7).
  DateParts day_only;
  day_only.year = date.year;
  day_only.month = date.month;
  day_only.day = date.day;
  const double day = MakeOleDate(day_only);
  const detail::DateNames* names = nullptr;
  auto locale_names = [&]() -> const detail::DateNames& {
    if (names == nullptr) names = &detail::NamesFor(locale);
    return *names;
  };

  for (const Part& part : picture.parts) {
    switch (part.field) {
      case Field::kLiteral:
        out.append(part.text);
        break;
      case Field::kDay:
        AppendNumber(date.day, out);
        break;
      case Field::kDay2:
        AppendTwoDigits(date.day, out);
        break;
      case Field::kWeekdayAbbr:
        out.append(locale_names().weekday_abbr[OleWeekday(day) - 1]);
        break;
      case Field::kWeekday:
        out.append(locale_names().weekday[OleWeekday(day) - 1]);
        break;
      case Field::kShortDate:
        out.append(FormatDateTime(day, 2, locale));
        break;
      case Field::kLongDate:
        out.append(FormatDateTime(day, 1, locale));
        break;
      case Field::kWeekdayNumber:
        AppendNumber(OleWeekday(day), out);
        break;
      case Field::kWeekOfYear:
      case Field::kDayOfYear: {
        DateParts january_1;
        january_1.year = date.year;
        january_1.month = 1;
        january_1.day = 1;
        const double first = MakeOleDate(january_1);
        const int day_of_year = static_cast<int>(day - first) + 1;
        if (part.field == Field::kDayOfYear) {
          AppendNumber(day_of_year, out);
        } else {
          // Weeks begin on Sunday; the days of 1 January's week before it
          // belong to week 1 as well.
          AppendNumber((day_of_year - 1 + OleWeekday(first) - 1) / 7 + 1, out);
        }
        break;
      }
      case Field::kMonth:
        AppendNumber(date.month, out);
        break;
      case Field::kMonth2:
        AppendTwoDigits(date.month, out);
        break;
      case Field::kMonthAbbr:
        out.append(picture.month_in_date ? locale_names().month_in_date_abbr[date.month - 1]
                                   : locale_names().month_alone_abbr[date.month - 1]);
        break;
      case Field::kMonthName:
        out.append(picture.month_in_date ? locale_names().month_in_date[date.month - 1]
                                   : locale_names().month_alone[date.month - 1]);
        break;
      case Field::kQuarter:
        AppendNumber((date.month - 1) / 3 + 1, out);
        break;
      case Field::kYear2:
        AppendTwoDigits(date.year % 100, out);
        break;
      case Field::kYear4:
        AppendNumber(date.year, out);
        break;
      case Field::kHour:
      case Field::kHour2: {
        int hour = date.hour;
        if (picture.twelve_hour) hour = hour % 12 == 0 ? 12 : hour % 12;
        if (part.field == Field::kHour2) {
          AppendTwoDigits(hour, out);
        } else {
          AppendNumber(hour, out);
        }
        break;
      }
      case Field::kMinute:
        AppendNumber(date.minute, out);
        break;
      case Field::kMinute2:
        AppendTwoDigits(date.minute, out);
        break;
      case Field::kSecond:
        AppendNumber(date.second, out);
        break;
      case Field::kSecond2:
        AppendTwoDigits(date.second, out);
        break;
      case Field::kHalfOfDay:
        out.append(date.hour < 12 ? part.text : part.pm_text);
        break;
      case Field::kLocaleHalf:
        out.append(date.hour < 12 ? locale_names().am : locale_names().pm);
        break;
    }
  }
}

}  // namespace detail

std::string FormatDatePicture(double ole_date, std::string_view picture_text,
                              std::string_view locale) {
  detail::CheckOleDate(ole_date);
  std::string out;
  out.reserve(picture_text.size() + 16);
  detail::AppendPicture(CompiledPicture(picture_text), ole_date, locale, out);
  return out;
}

}  // namespace fennick::intl
