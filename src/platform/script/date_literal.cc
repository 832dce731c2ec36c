// Reading month-first date and time texts: pieces (numbers, words,
// separators) are split off first, the time is found by its colon or AM/PM,
// and the pieces before it are matched against the date forms.
#include "platform/script/date_literal.h"

#include <ctime>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "fennick/variant.h"

namespace fennick::script {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

// One piece of a date text: a run of digits, a run of letters, or a
// separator character.
struct DatePiece {
  enum Kind { kNumber, kWord, kSeparator } kind;
  std::string_view text;
  int value = 0;
};

int MonthFromWord(std::string_view word) {
  static constexpr const char* kMonths[] = {"january", "february", "march",     "april",
                                            "may",     "june",     "july",      "august",
                                            "september", "october", "november", "december"};
  if (word.size() < 3) return 0;
  for (int m = 0; m < 12; ++m) {
    std::string_view full = kMonths[m];
    if (word.size() <= full.size() && EqualsIgnoreCase(word, full.substr(0, word.size())))
      return m + 1;
  }
  return 0;
}

bool IsWeekdayWord(std::string_view word) {
  static constexpr const char* kDays[] = {"sunday",   "monday", "tuesday", "wednesday",
                                          "thursday", "friday", "saturday"};
  if (word.size() < 3) return false;
  for (const char* day : kDays) {
    std::string_view full = day;
    if (word.size() <= full.size() && EqualsIgnoreCase(word, full.substr(0, word.size())))
      return true;
  }
  return false;
}

int CurrentYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

int ExpandYear(const DatePiece& piece) {
  if (piece.text.size() <= 2) return piece.value < 30 ? 2000 + piece.value : 1900 + piece.value;
  return piece.value;
}

}  // namespace

bool ParseDateLiteral(std::string_view text, double& ole_date) {
  std::vector<DatePiece> pieces;
  std::string_view t = Trim(text);
  for (size_t i = 0; i < t.size();) {
    char c = t[i];
    size_t j = i;
    if (c >= '0' && c <= '9') {
      int value = 0;
      while (j < t.size() && t[j] >= '0' && t[j] <= '9') {
        if (j - i == 6) return false;  // no part of a date has more digits
        value = value * 10 + (t[j++] - '0');
      }
      pieces.push_back({DatePiece::kNumber, t.substr(i, j - i), value});
    } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
      while (j < t.size() && (t[j] | 0x20) >= 'a' && (t[j] | 0x20) <= 'z') ++j;
      pieces.push_back({DatePiece::kWord, t.substr(i, j - i)});
    } else if (c == '/' || c == '-' || c == '.' || c == ':') {
      pieces.push_back({DatePiece::kSeparator, t.substr(i, 1)});
      ++j;
    } else if (c == ' ' || c == ',' || c == '\t') {
      ++j;
    } else {
      return false;
    }
    i = j;
  }
  // The time: h:mm[:ss] or h, then an optional AM/PM.
  size_t time_at = pieces.size();
  int hour = 0, minute = 0, second = 0;
  for (size_t k = 0; k + 1 < pieces.size(); ++k) {
    if (pieces[k].kind != DatePiece::kNumber) continue;
    const DatePiece& next = pieces[k + 1];
    bool colon = next.kind == DatePiece::kSeparator && next.text == ":";
    bool ampm = next.kind == DatePiece::kWord &&
                (EqualsIgnoreCase(next.text, "am") || EqualsIgnoreCase(next.text, "pm"));
    if (colon || ampm) {
      time_at = k;
      break;
    }
  }
  bool has_time = time_at < pieces.size();
  if (has_time) {
    size_t k = time_at;
    hour = pieces[k++].value;
    auto take_minutes = [&](int& field) {
      if (k + 1 < pieces.size() && pieces[k].kind == DatePiece::kSeparator &&
          pieces[k].text == ":" && pieces[k + 1].kind == DatePiece::kNumber) {
        field = pieces[k + 1].value;
        k += 2;
        return true;
      }
      return false;
    };
    if (take_minutes(minute)) take_minutes(second);
    if (k < pieces.size() && pieces[k].kind == DatePiece::kWord) {
      bool pm = EqualsIgnoreCase(pieces[k].text, "pm");
      if (!pm && !EqualsIgnoreCase(pieces[k].text, "am")) return false;
      if (hour > 12) return false;
      hour = hour % 12 + (pm ? 12 : 0);
      ++k;
    }
    if (k != pieces.size() || hour > 23 || minute > 59 || second > 59) return false;
  }
  // The date: the pieces before the time, separators set aside.
  std::vector<DatePiece> parts;
  for (size_t k = 0; k < time_at; ++k) {
    if (pieces[k].kind == DatePiece::kSeparator) continue;
    // A leading weekday name ("Friday, March 5, 2004") adds nothing.
    if (parts.empty() && pieces[k].kind == DatePiece::kWord && IsWeekdayWord(pieces[k].text))
      continue;
    parts.push_back(pieces[k]);
  }
  int year = 1899, month = 12, day = 30;
  auto number = [](const DatePiece& p) { return p.kind == DatePiece::kNumber; };
  if (parts.empty()) {
    if (!has_time) return false;
  } else if (parts.size() == 3 && number(parts[0]) && number(parts[1]) && number(parts[2])) {
    if (parts[0].text.size() >= 3) {
      year = parts[0].value, month = parts[1].value, day = parts[2].value;
    } else {
      month = parts[0].value, day = parts[1].value, year = ExpandYear(parts[2]);
      if (month > 12 && day <= 12) std::swap(month, day);
    }
  } else if (parts.size() == 2 && number(parts[0]) && number(parts[1])) {
    month = parts[0].value, day = parts[1].value, year = CurrentYear();
  } else if (parts.size() == 3 && parts[0].kind == DatePiece::kWord && number(parts[1]) &&
             number(parts[2])) {
    month = MonthFromWord(parts[0].text), day = parts[1].value, year = ExpandYear(parts[2]);
  } else if (parts.size() == 3 && number(parts[0]) && parts[1].kind == DatePiece::kWord &&
             number(parts[2])) {
    day = parts[0].value, month = MonthFromWord(parts[1].text), year = ExpandYear(parts[2]);
  } else {
    return false;
  }
  if (!parts.empty()) {
    if (month < 1 || month > 12 || year < 100 || year > 9999) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
  }
  DateParts p;
  p.year = year, p.month = month, p.day = day;
  p.hour = hour, p.minute = minute, p.second = second;
  ole_date = MakeOleDate(p);
  return true;
}


}  // namespace fennick::script
