// ParseLocaleDate: whether a text a user typed is a date, a time or both, as
// the page's locale writes them, and which.
//
// The text is cut into numbers, words and separators. A time is an hour and
// minutes joined by ":" (seconds and their fraction optional) or an hour with
// AM/PM; what remains is the date. Months may be named (in the locale or in
// English, in full or abbreviated, any case); weekday names are skipped.
// Numeric dates follow the order of the locale's short date (month first in
// en-US, day first in fr-FR), except that a leading year (three or more
// digits, or above 31) always means year-month-day ("2004-03-05"). Two-digit years below 30 are 20xx,
// the others 19xx; a date without a year is in the current year.
//
// A text that does not fit, or names an impossible date (31 April,
// 13/5/2004 in en-US), is not a date: values are never swapped around until
// something fits, since a wrong date in a filter is worse than none.
#include <unicode/dtfmtsym.h>
#include <unicode/uchar.h>

#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "fennick/variant.h"
#include "platform/intl/format.h"
#include "platform/intl/icu_support.h"

namespace fennick::intl {

namespace {

enum class WordKind : uint8_t { kMonth, kSkip, kAm, kPm };

struct Word {
  WordKind kind;
  int month = 0;
};

enum class DateOrder : uint8_t { kMdy, kDmy, kYmd };

struct DateGrammar {
  std::unordered_map<std::string, Word> words;  // case-folded, without dots
  DateOrder order = DateOrder::kMdy;
  char16_t separator = u'/';  // of the locale's short date
};

// A word as it is looked up: case-folded, without dots and blanks (so that
// "a. m." and "févr." match "am" and "févr").
std::string WordKey(icu::UnicodeString text) {
  text.foldCase();
  icu::UnicodeString out;
  for (int32_t i = 0; i < text.length(); ++i) {
    const char16_t c = text[i];
    if (c == u'.' || c == u' ' || c == u'\u00A0' || c == u'\u202F') continue;
    out.append(c);
  }
  return detail::ToUtf8(out);
}

void AddWord(DateGrammar& grammar, const icu::UnicodeString& text, Word word) {
  // The first meaning of a word wins: months are entered before weekdays, so
  // Spanish "mar" stays March rather than Tuesday.
  if (text.isEmpty()) return;
  grammar.words.emplace(WordKey(text), word);
}

// Every alphabetic run of a name ("sexta-feira" gives "sexta" and "feira"),
// since the tokenizer splits words at anything but letters.
void AddSkippedParts(DateGrammar& grammar, const icu::UnicodeString& name) {
  int32_t start = -1;
  for (int32_t i = 0; i <= name.length(); ++i) {
    const bool letter = i < name.length() && u_isalpha(name.char32At(i));
    if (letter && start < 0) start = i;
    if (!letter && start >= 0) {
      AddWord(grammar, icu::UnicodeString(name, start, i - start), {WordKind::kSkip});
      start = -1;
    }
  }
}

void AddNames(DateGrammar& grammar, const icu::Locale& locale) {
  UErrorCode status = U_ZERO_ERROR;
  icu::DateFormatSymbols symbols(locale, "gregorian", status);
  if (U_FAILURE(status)) return;  // Ignoring errors on purpose: numbers still parse.
  using S = icu::DateFormatSymbols;
  int32_t count = 0;
  for (auto context : {S::FORMAT, S::STANDALONE}) {
    for (auto width : {S::WIDE, S::ABBREVIATED}) {
      const icu::UnicodeString* months = symbols.getMonths(count, context, width);
      for (int32_t m = 0; m < count && m < 12; ++m) {
        AddWord(grammar, months[m], {WordKind::kMonth, m + 1});
      }
    }
  }
  for (auto width : {S::WIDE, S::ABBREVIATED, S::SHORT}) {
    const icu::UnicodeString* days = symbols.getWeekdays(count, S::FORMAT, width);
    for (int32_t d = 1; d < count; ++d) AddSkippedParts(grammar, days[d]);
  }
  const icu::UnicodeString* halves = symbols.getAmPmStrings(count);
  if (count >= 2) {
    AddWord(grammar, halves[0], {WordKind::kAm});
    AddWord(grammar, halves[1], {WordKind::kPm});
  }
}

DateGrammar LoadGrammar(const std::string& locale_name) {
  DateGrammar grammar;
  const icu::Locale locale = detail::ToIcuLocale(locale_name);
  AddNames(grammar, locale);
  AddNames(grammar, icu::Locale::getEnglish());
  for (const char16_t* word : {u"am", u"a", u"pm", u"p"}) {
    AddWord(grammar, word, {word[0] == u'a' ? WordKind::kAm : WordKind::kPm});
  }
  // "T" joins date and time in "2004-03-05T14:07".
  AddWord(grammar, u"t", {WordKind::kSkip});
  const std::string language = locale.getLanguage();
  if (language == "es" || language == "pt" || language == "ca" || language == "gl") {
    AddWord(grammar, u"de", {WordKind::kSkip});  // "5 de marzo de 2004"
    AddWord(grammar, u"del", {WordKind::kSkip});
  }

  // The order and separator of the locale's numeric short date.
  const icu::UnicodeString pattern = detail::NamedDatePattern(locale, 2);
  std::string order;
  bool quoted = false, separator_found = false;
  for (int32_t i = 0; i < pattern.length(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'\'') quoted = !quoted;
    if (quoted) continue;
    const char field = c == u'd' ? 'd' : c == u'M' ? 'm' : c == u'y' ? 'y' : 0;
    if (field != 0) {
      if (order.find(field) == std::string::npos) order.push_back(field);
    } else if (!order.empty() && !separator_found && c != u'\'') {
      grammar.separator = c;
      separator_found = true;
    }
  }
  if (order.starts_with("d")) grammar.order = DateOrder::kDmy;
  if (order.starts_with("y")) grammar.order = DateOrder::kYmd;
  return grammar;
}

const DateGrammar& GrammarFor(std::string_view locale) {
  thread_local std::unordered_map<std::string, DateGrammar> cache;
  std::string name = detail::EffectiveLocale(locale);
  auto it = cache.find(name);
  if (it == cache.end()) it = cache.emplace(name, LoadGrammar(name)).first;
  return it->second;
}

enum class TokenKind : uint8_t { kNumber, kWord, kSeparator, kBlank };

struct Token {
  explicit Token(TokenKind k) : kind(k) {}
  TokenKind kind;
  int value = 0;       // a number's value
  int digits = 0;      // a number's digit count
  char separator = 0;  // '/', '-', '.', ',' or ':'
  std::string key;     // a word, as WordKey gives it
  bool used = false;   // taken by the time of day
};

// Cuts the text into tokens; nullopt for a character no date contains.
std::optional<std::vector<Token>> Tokenize(std::string_view text) {
  const icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  std::vector<Token> tokens;
  int32_t i = 0;
  while (i < u.length()) {
    const UChar32 c = u.char32At(i);
    if (c >= '0' && c <= '9') {
      Token t(TokenKind::kNumber);
      while (i < u.length() && u[i] >= u'0' && u[i] <= u'9') {
        if (++t.digits > 9) return std::nullopt;
        t.value = t.value * 10 + (u[i] - u'0');
        ++i;
      }
      tokens.push_back(std::move(t));
    } else if (u_isalpha(c)) {
      const int32_t start = i;
      while (i < u.length() && u_isalpha(u.char32At(i))) i = u.moveIndex32(i, 1);
      Token t(TokenKind::kWord);
      t.key = WordKey(icu::UnicodeString(u, start, i - start));
      tokens.push_back(std::move(t));
    } else if (u_isspace(c) || c == 0xA0 || c == 0x202F) {
      if (tokens.empty() || tokens.back().kind != TokenKind::kBlank) {
        tokens.emplace_back(TokenKind::kBlank);
      }
      i = u.moveIndex32(i, 1);
    } else if (c == '/' || c == '-' || c == '.' || c == ',' || c == ':') {
      Token t(TokenKind::kSeparator);
      t.separator = static_cast<char>(c);
      tokens.push_back(std::move(t));
      ++i;
    } else {
      return std::nullopt;
    }
  }
  return tokens;
}

bool IsNumber(const std::vector<Token>& t, size_t i) {
  return i < t.size() && t[i].kind == TokenKind::kNumber && !t[i].used;
}
bool IsSeparator(const std::vector<Token>& t, size_t i, char c) {
  return i < t.size() && t[i].kind == TokenKind::kSeparator && t[i].separator == c;
}

struct TimeOfDay {
  int hour = 0, minute = 0, second = 0;
  double millisecond = 0;
};

const Word* Lookup(const DateGrammar& grammar, const std::string& key) {
  auto it = grammar.words.find(key);
  return it == grammar.words.end() ? nullptr : &it->second;
}

// Takes "AM" or "PM" written after token `i` ("PM", "pm", "p", the locale's
// "a. m."), marking the tokens it used. Returns kAm, kPm, or kSkip when none
// follows.
WordKind TakeHalfOfDay(std::vector<Token>& t, size_t i, const DateGrammar& grammar) {
  size_t j = i;
  if (j < t.size() && t[j].kind == TokenKind::kBlank) ++j;
  // The locale's marker may be two words with dots and blanks between
  // ("p. m."); the longer reading is tried first, so that its "p" is not
  // taken for the English one.
  std::string one, two;
  size_t end_one = 0, end_two = 0;
  int words = 0;
  for (size_t k = j; k < t.size() && words < 2; ++k) {
    if (t[k].kind == TokenKind::kWord) {
      ++words;
      (words == 1 ? end_one : end_two) = k + 1;
      two += t[k].key;
      if (words == 1) one = t[k].key;
    } else if (!IsSeparator(t, k, '.') && t[k].kind != TokenKind::kBlank) {
      break;
    }
  }
  for (auto [key, end] : {std::pair{two, end_two}, std::pair{one, end_one}}) {
    if (end == 0) continue;
    const Word* w = Lookup(grammar, key);
    if (w == nullptr || (w->kind != WordKind::kAm && w->kind != WordKind::kPm)) continue;
    if (IsSeparator(t, end, '.')) ++end;
    for (size_t k = j; k < end; ++k) t[k].used = true;
    return w->kind;
  }
  return WordKind::kSkip;
}

// Finds and takes the time of day. Returns false for a malformed or second
// time; `time` stays empty when the text has none.
bool TakeTime(std::vector<Token>& t, const DateGrammar& grammar,
              std::optional<TimeOfDay>& time) {
  for (size_t i = 0; i < t.size(); ++i) {
    if (!IsNumber(t, i)) continue;
    TimeOfDay found;
    size_t end = i + 1;
    const bool has_minutes = IsSeparator(t, i + 1, ':') && IsNumber(t, i + 2);
    if (has_minutes) {
      found.minute = t[i + 2].value;
      end = i + 3;
      if (IsSeparator(t, end, ':') && IsNumber(t, end + 1)) {
        found.second = t[end + 1].value;
        end += 2;
        if ((IsSeparator(t, end, '.') || IsSeparator(t, end, ',')) && IsNumber(t, end + 1)) {
          double fraction = t[end + 1].value;
          for (int d = 0; d < t[end + 1].digits; ++d) fraction /= 10;
          found.millisecond = fraction * 1000;
          end += 2;
        }
      }
    }
    const WordKind half = TakeHalfOfDay(t, end, grammar);
    if (!has_minutes && half == WordKind::kSkip) continue;
    if (time.has_value()) return false;
    for (size_t k = i; k < end; ++k) t[k].used = true;

    int hour = t[i].value;
    if (half != WordKind::kSkip) {
      if (hour > 12) return false;
      if (hour == 12) hour = 0;
      if (half == WordKind::kPm) hour += 12;
    }
    found.hour = hour;
    if (found.hour > 23 || found.minute > 59 || found.second > 59) return false;
    time = found;
  }
  return true;
}

struct DateNumber {
  int value;
  int digits;
  bool YearLike() const { return digits >= 3 || value > 31; }
};

int FullYear(const DateNumber& year) {
  if (year.digits > 2) return year.value;
  return year.value < 30 ? 2000 + year.value : 1900 + year.value;
}

int CurrentYear() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

struct CivilDate {
  int year, month, day;
};

// Reads the date from the tokens the time left. Returns false for text that
// is no date; `date` stays empty when there is nothing left to read.
bool TakeDate(const std::vector<Token>& t, const DateGrammar& grammar,
              std::optional<CivilDate>& date) {
  std::vector<DateNumber> numbers;
  int month_name = 0;
  bool started = false;  // a number or word was seen
  // Separators between the numbers of a numeric date, which must agree.
  std::string gaps;
  std::string pending;  // separators since the last number
  for (const Token& token : t) {
    if (token.used) continue;
    if (token.kind == TokenKind::kNumber || token.kind == TokenKind::kWord) started = true;
    switch (token.kind) {
      case TokenKind::kNumber:
        if (!numbers.empty()) gaps += pending.size() == 1 ? pending : std::string("?");
        pending.clear();
        numbers.push_back({token.value, token.digits});
        break;
      case TokenKind::kWord: {
        const Word* word = Lookup(grammar, token.key);
        if (word == nullptr || word->kind == WordKind::kAm || word->kind == WordKind::kPm) {
          return false;
        }
        if (word->kind == WordKind::kMonth) {
          if (month_name != 0) return false;
          month_name = word->month;
        }
        pending += 'w';
        break;
      }
      case TokenKind::kSeparator:
        // A date neither starts with a separator nor has a ":" (that was a
        // time, taken before).
        if (token.separator == ':' || !started) return false;
        pending += token.separator;
        break;
      case TokenKind::kBlank:
        break;
    }
  }
  if (numbers.empty() && month_name == 0) return true;
  // After the date only a closing dot ("5.3.2004.") or comma may follow.
  if (pending.find_first_not_of(".,w") != std::string::npos) return false;

  int year = 0, month = 0, day = 1;
  if (month_name != 0) {
    // "March 5, 2004", "5 March 2004", "5-Mar-04", "March 2004".
    month = month_name;
    if (numbers.empty() || numbers.size() > 2) return false;
    if (numbers.size() == 1) {
      if (numbers[0].YearLike()) {
        year = FullYear(numbers[0]);
      } else {
        year = CurrentYear();
        day = numbers[0].value;
      }
    } else {
      const bool year_first = numbers[0].YearLike();
      if (year_first && numbers[1].YearLike()) return false;
      day = numbers[year_first ? 1 : 0].value;
      year = FullYear(numbers[year_first ? 0 : 1]);
    }
  } else {
    // A numeric date: its separators are one kind, a date separator.
    if (numbers.size() < 2 || numbers.size() > 3) return false;
    const char separator = gaps[0];
    for (char gap : gaps) {
      if (gap != separator) return false;
    }
    const bool locale_separator = grammar.separator < 0x80 &&
                                  separator == static_cast<char>(grammar.separator);
    if (separator != '/' && separator != '-' && separator != '.') return false;
    // "3.5" is a number to most locales, a date only where dates use dots.
    if (numbers.size() == 2 && separator == '.' && !locale_separator) return false;

    if (numbers.size() == 3) {
      DateNumber y, m, d;
      if (numbers[0].YearLike() || grammar.order == DateOrder::kYmd) {
        y = numbers[0], m = numbers[1], d = numbers[2];
      } else if (grammar.order == DateOrder::kDmy) {
        d = numbers[0], m = numbers[1], y = numbers[2];
      } else {
        m = numbers[0], d = numbers[1], y = numbers[2];
      }
      if (m.YearLike() || d.YearLike()) return false;
      year = FullYear(y);
      month = m.value;
      day = d.value;
    } else if (numbers[0].YearLike() || numbers[1].YearLike()) {
      // "3/2004" or "2004-03": a month of a year.
      if (numbers[0].YearLike() && numbers[1].YearLike()) return false;
      const bool year_first = numbers[0].YearLike();
      year = FullYear(numbers[year_first ? 0 : 1]);
      month = numbers[year_first ? 1 : 0].value;
    } else {
      // "3/5": a day of the current year.
      const bool day_first = grammar.order == DateOrder::kDmy;
      day = numbers[day_first ? 0 : 1].value;
      month = numbers[day_first ? 1 : 0].value;
      year = CurrentYear();
    }
  }
  if (year < 100 || year > 9999 || month < 1 || month > 12) return false;
  if (day < 1 || day > DaysInMonth(year, month)) return false;
  date = CivilDate{year, month, day};
  return true;
}

}  // namespace

bool ParseLocaleDate(std::string_view text, double& ole_date, std::string_view locale) {
  const DateGrammar& grammar = GrammarFor(locale);
  std::optional<std::vector<Token>> tokens = Tokenize(text);
  if (!tokens) return false;
  std::optional<TimeOfDay> time;
  std::optional<CivilDate> date;
  if (!TakeTime(*tokens, grammar, time) || !TakeDate(*tokens, grammar, date)) return false;
  if (!time && !date) return false;

  DateParts parts;  // day 0 (30 December 1899) when only a time is given
  if (date) {
    parts.year = date->year;
    parts.month = date->month;
    parts.day = date->day;
  }
  if (time) {
    parts.hour = time->hour;
    parts.minute = time->minute;
    parts.second = time->second;
    parts.millisecond = time->millisecond;
  }
  ole_date = MakeOleDate(parts);
  return true;
}

}  // namespace fennick::intl
