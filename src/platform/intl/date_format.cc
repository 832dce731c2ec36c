// FormatDateTime: the five named date formats (general date, long date,
// short date, long time, short time) in the page's locale.
//
// The locales Fennick maps from LCIDs get fixed patterns, the forms their
// users know from their desktops: a four-digit year in the short date, a
// plain blank before AM/PM, a 24-hour short time. ICU's own styles differ
// (a two-digit year, a narrow no-break space), so they only serve, adjusted,
// for other locales. Dates are read as UTC wall clocks on a proleptic
// Gregorian calendar, since OLE dates carry no zone.
//
// ICU's formatter costs about two microseconds a date, too much for a value
// written in every cell, so a pattern made only of fields a date picture
// writes alike is compiled into a picture; ICU writes the rest (other
// digits, eras, standalone months).
#include <unicode/dtptngen.h>
#include <unicode/numsys.h>
#include <unicode/smpdtfmt.h>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/intl/date_picture.h"
#include "platform/intl/format.h"
#include "platform/intl/icu_support.h"

namespace fennick::intl {

namespace {

enum class DateStyle : char { kGeneral, kLongDate, kShortDate, kLongTime, kShortTime };

struct NamedPatterns {
  const char* locale;
  const char* short_date;
  const char* long_date;
  const char* long_time;
  const char* short_time;
};

constexpr NamedPatterns kKnownPatterns[] = {
    {"en_US", "M/d/y", "EEEE, MMMM d, y", "h:mm:ss a", "HH:mm"},
    {"en_GB", "dd/MM/y", "dd MMMM y", "HH:mm:ss", "HH:mm"},
    {"fr_FR", "dd/MM/y", "EEEE d MMMM y", "HH:mm:ss", "HH:mm"},
    {"de_DE", "dd.MM.y", "EEEE, d. MMMM y", "HH:mm:ss", "HH:mm"},
    {"es_ES", "dd/MM/y", "EEEE, d 'de' MMMM 'de' y", "H:mm:ss", "HH:mm"},
    {"it_IT", "dd/MM/y", "EEEE d MMMM y", "HH:mm:ss", "HH:mm"},
    {"pt_BR", "dd/MM/y", "EEEE, d 'de' MMMM 'de' y", "HH:mm:ss", "HH:mm"},
    {"nl_NL", "d-M-y", "EEEE d MMMM y", "HH:mm:ss", "HH:mm"},
};

// ICU's short dates use two-digit years ("yy"); reports show four. Runs of
// exactly two 'y' outside quoted text become a single 'y' (the full year).
icu::UnicodeString WidenYear(const icu::UnicodeString& pattern) {
  icu::UnicodeString out;
  bool quoted = false;
  for (int32_t i = 0; i < pattern.length(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'\'') quoted = !quoted;
    if (!quoted && c == u'y') {
      int32_t run = 1;
      while (i + run < pattern.length() && pattern[i + run] == u'y') ++run;
      out.append(run == 2 ? icu::UnicodeString(u"y") : icu::UnicodeString(run, u'y', run));
      i += run - 1;
      continue;
    }
    out.append(c);
  }
  return out;
}

// ICU 72 separates AM/PM by a narrow no-break space; reports use a blank.
icu::UnicodeString PlainBlanks(icu::UnicodeString pattern) {
  pattern.findAndReplace(icu::UnicodeString(u"\u202F"), icu::UnicodeString(u" "));
  pattern.findAndReplace(icu::UnicodeString(u"\u00A0"), icu::UnicodeString(u" "));
  return pattern;
}

icu::UnicodeString StylePattern(const icu::DateFormat* format) {
  icu::UnicodeString pattern;
  if (const auto* simple = dynamic_cast<const icu::SimpleDateFormat*>(format)) {
    simple->toPattern(pattern);
  }
  return pattern;
}

// The pattern of one named format for a locale Fennick has no fixed
// patterns for, derived from ICU's styles.
icu::UnicodeString DerivedPattern(const icu::Locale& locale, DateStyle style) {
  std::unique_ptr<icu::DateFormat> format;
  switch (style) {
    case DateStyle::kGeneral:
      return DerivedPattern(locale, DateStyle::kShortDate) + u" " +
             DerivedPattern(locale, DateStyle::kLongTime);
    case DateStyle::kShortDate:
      format.reset(icu::DateFormat::createDateInstance(icu::DateFormat::kShort, locale));
      return WidenYear(StylePattern(format.get()));
    case DateStyle::kLongDate:
      format.reset(icu::DateFormat::createDateInstance(icu::DateFormat::kFull, locale));
      return StylePattern(format.get());
    case DateStyle::kLongTime:
      format.reset(icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, locale));
      return PlainBlanks(StylePattern(format.get()));
    case DateStyle::kShortTime: {
      UErrorCode status = U_ZERO_ERROR;
      std::unique_ptr<icu::DateTimePatternGenerator> generator(
          icu::DateTimePatternGenerator::createInstance(locale, status));
      detail::CheckIcu(status, "Choosing a time pattern");
      icu::UnicodeString pattern = generator->getBestPattern(u"HHmm", status);
      detail::CheckIcu(status, "Choosing a time pattern");
      return PlainBlanks(pattern);
    }
  }
  return {};
}

}  // namespace

namespace detail {

icu::UnicodeString NamedDatePattern(const icu::Locale& locale, int named_format) {
  const auto style = static_cast<DateStyle>(named_format);
  const std::string country = std::string(locale.getLanguage()) + "_" + locale.getCountry();
  for (const NamedPatterns& known : kKnownPatterns) {
    if (country != known.locale) continue;
    const auto pattern = [](const char* text) { return icu::UnicodeString::fromUTF8(text); };
    switch (style) {
      case DateStyle::kGeneral:
        return pattern(known.short_date) + u" " + pattern(known.long_time);
      case DateStyle::kLongDate:
        return pattern(known.long_date);
      case DateStyle::kShortDate:
        return pattern(known.short_date);
      case DateStyle::kLongTime:
        return pattern(known.long_time);
      case DateStyle::kShortTime:
        return pattern(known.short_time);
    }
  }
  return DerivedPattern(locale, style);
}

}  // namespace detail

namespace {

// A named format ready to write: its pattern compiled into a picture when
// the pattern uses only fields a picture writes alike (the common case, and
// far cheaper per cell), else an ICU formatter.
struct NamedFormat {
  std::optional<detail::Picture> picture;
  std::unique_ptr<icu::SimpleDateFormat> icu;
};

bool UsesAsciiDigits(const icu::Locale& locale) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::NumberingSystem> digits(
      icu::NumberingSystem::createInstance(locale, status));
  return U_SUCCESS(status) && digits != nullptr && std::string_view(digits->getName()) == "latn";
}

// The picture that writes what `pattern` writes, or nullopt when the pattern
// has a field pictures do not cover (standalone months, eras, zones, ...).
std::optional<detail::Picture> PictureFromPattern(const icu::UnicodeString& pattern) {
  using detail::Field;
  detail::Picture picture;
  picture.month_in_date = true;  // ICU's "MMMM" is the in-date form
  auto literal = [&picture](const icu::UnicodeString& text) {
    if (picture.parts.empty() || picture.parts.back().field != Field::kLiteral) {
      picture.parts.push_back({Field::kLiteral, {}, {}});
    }
    detail::AppendUtf8(text, picture.parts.back().text);
  };
  bool has_12 = false, has_24 = false;
  int32_t i = 0;
  while (i < pattern.length()) {
    const char16_t c = pattern[i];
    if (c == u'\'') {
      if (i + 1 < pattern.length() && pattern[i + 1] == u'\'') {
        literal(u"'");
        i += 2;
        continue;
      }
      // Quoted text, in which '' stands for one quote.
      icu::UnicodeString text;
      ++i;
      while (i < pattern.length()) {
        if (pattern[i] == u'\'') {
          if (i + 1 < pattern.length() && pattern[i + 1] == u'\'') {
            text.append(u'\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        text.append(pattern[i++]);
      }
      literal(text);
      continue;
    }
    if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))) {
      literal(icu::UnicodeString(c));
      ++i;
      continue;
    }
    int32_t run = 1;
    while (i + run < pattern.length() && pattern[i + run] == c) ++run;
    i += run;
    Field field;
    switch (c) {
      case u'd':
        if (run > 2) return std::nullopt;
        field = run == 1 ? Field::kDay : Field::kDay2;
        break;
      case u'M': {
        static constexpr Field kByRun[] = {Field::kMonth, Field::kMonth2, Field::kMonthAbbr,
                                           Field::kMonthName};
        if (run > 4) return std::nullopt;
        field = kByRun[run - 1];
        break;
      }
      case u'y':
        // "y" is the whole year unpadded, "yy" its last two digits.
        if (run > 2) return std::nullopt;
        field = run == 1 ? Field::kYear4 : Field::kYear2;
        break;
      case u'E':
        if (run > 4) return std::nullopt;
        field = run == 4 ? Field::kWeekday : Field::kWeekdayAbbr;
        break;
      case u'h':
      case u'H':
        if (run > 2) return std::nullopt;
        (c == u'h' ? has_12 : has_24) = true;
        field = run == 1 ? Field::kHour : Field::kHour2;
        break;
      case u'm':
        if (run > 2) return std::nullopt;
        field = run == 1 ? Field::kMinute : Field::kMinute2;
        break;
      case u's':
        if (run > 2) return std::nullopt;
        field = run == 1 ? Field::kSecond : Field::kSecond2;
        break;
      case u'a':
        if (run > 1) return std::nullopt;
        field = Field::kLocaleHalf;
        break;
      default:
        return std::nullopt;
    }
    picture.parts.push_back({field, {}, {}});
  }
  if (has_12 && has_24) return std::nullopt;
  picture.twelve_hour = has_12;
  return picture;
}

NamedFormat BuildNamedFormat(const std::string& locale, DateStyle style) {
  const icu::Locale icu_locale = detail::ToIcuLocale(locale);
  const icu::UnicodeString pattern = detail::NamedDatePattern(icu_locale, static_cast<int>(style));
  NamedFormat format;
  if (UsesAsciiDigits(icu_locale)) format.picture = PictureFromPattern(pattern);
  if (format.picture) return format;
  UErrorCode status = U_ZERO_ERROR;
  format.icu = std::make_unique<icu::SimpleDateFormat>(pattern, icu_locale, status);
  detail::CheckIcu(status, "Creating a date format for " + locale);
  format.icu->adoptCalendar(detail::NewUtcGregorian(icu_locale).release());
  return format;
}

const NamedFormat& FormatFor(std::string_view locale, DateStyle style) {
  thread_local std::unordered_map<std::string, NamedFormat> cache;
  std::string key = detail::EffectiveLocale(locale);
  const size_t locale_length = key.size();
  key.push_back('\n');
  key.push_back(static_cast<char>(style));
  auto it = cache.find(key);
  if (it == cache.end()) {
    NamedFormat format = BuildNamedFormat(key.substr(0, locale_length), style);
    it = cache.emplace(std::move(key), std::move(format)).first;
  }
  return it->second;
}

}  // namespace

std::string FormatDateTime(double ole_date, int named_format, std::string_view locale) {
  detail::CheckOleDate(ole_date);
  if (named_format < 0 || named_format > 4) {
    detail::ThrowInvalidCall("the named date format must be 0 to 4");
  }
  DateStyle style = static_cast<DateStyle>(named_format);
  if (style == DateStyle::kGeneral) {
    // The general date leaves out what carries no information: the time at
    // midnight, the date on day 0 (a time of day alone). Day 0 at midnight
    // is written as the time.
    const DateParts parts = SplitOleDate(ole_date);
    const bool has_time = parts.hour != 0 || parts.minute != 0 || parts.second != 0;
    const bool has_date = parts.year != 1899 || parts.month != 12 || parts.day != 30;
    if (!has_date) style = DateStyle::kLongTime;
    else if (!has_time) style = DateStyle::kShortDate;
  }
  const NamedFormat& format = FormatFor(locale, style);
  std::string out;
  if (format.picture) {
    detail::AppendPicture(*format.picture, ole_date, locale, out);
  } else {
    icu::UnicodeString text;
    format.icu->format(detail::OleToUDate(ole_date), text);
    detail::AppendUtf8(text, out);
  }
  return out;
}

}  // namespace fennick::intl
