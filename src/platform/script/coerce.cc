// Conversions between Variant types with the script world's rules.
#include "platform/script/coerce.h"

#include <cmath>
#include <cstdio>
#include <climits>
#include <ctime>
#include <vector>

#include "platform/intl/format.h"
#include "platform/script/script_error.h"

namespace fennick::script {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  }
  return true;
}

[[noreturn]] void RaiseForOperand(const Variant& v) {
  if (v.IsNull()) RaiseRuntime(kErrInvalidNull);
  if (v.IsObject() || v.type() == VarType::kObject) RaiseRuntime(kErrObjectNotSet);
  RaiseRuntime(kErrTypeMismatch);
}

double RoundToIntegral(double d, double low, double high) {
  double r = std::nearbyint(d);  // ties to even, as the script world rounds
  if (!(r >= low && r <= high)) RaiseRuntime(kErrOverflow);
  return r;
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
    if (word.size() <= full.size() && EqualsNoCase(word, full.substr(0, word.size())))
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
    if (word.size() <= full.size() && EqualsNoCase(word, full.substr(0, word.size())))
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

void CheckTextLength(size_t length) {
  if (length > kMaxTextLength) RaiseRuntime(kErrOutOfMemory);
}

bool ParseScriptNumber(std::string_view text, double& value) {
  std::string_view t = Trim(text);
  if (t.empty()) return false;
  bool plain = t.front() == '&';
  if (!plain) {
    // Only digits, signs, a point and an exponent make an invariant number;
    // this also keeps out "inf" and "nan", which are not numbers here.
    plain = true;
    for (char c : t) {
      if (!((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' ||
            c == 'E')) {
        plain = false;
        break;
      }
    }
  }
  if (plain && ParseNumber(t, value) && std::isfinite(value)) return true;
  return intl::ParseLocaleNumber(t, value) && std::isfinite(value);
}

bool ParseDateLiteral(std::string_view text, double& ole_date) {
  std::vector<DatePiece> pieces;
  std::string_view t = Trim(text);
  for (size_t i = 0; i < t.size();) {
    char c = t[i];
    size_t j = i;
    if (c >= '0' && c <= '9') {
      int value = 0;
      while (j < t.size() && t[j] >= '0' && t[j] <= '9' && j - i < 6) value = value * 10 + (t[j++] - '0');
      if (j < t.size() && t[j] >= '0' && t[j] <= '9') return false;
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
    bool colon = pieces[k].kind == DatePiece::kNumber && pieces[k + 1].kind == DatePiece::kSeparator &&
                 pieces[k + 1].text == ":";
    bool ampm = pieces[k].kind == DatePiece::kNumber && pieces[k + 1].kind == DatePiece::kWord &&
                (EqualsNoCase(pieces[k + 1].text, "am") || EqualsNoCase(pieces[k + 1].text, "pm"));
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
      if (k + 1 < pieces.size() && pieces[k].kind == DatePiece::kSeparator && pieces[k].text == ":" &&
          pieces[k + 1].kind == DatePiece::kNumber) {
        field = pieces[k + 1].value;
        k += 2;
        return true;
      }
      return false;
    };
    if (take_minutes(minute)) take_minutes(second);
    if (k < pieces.size() && pieces[k].kind == DatePiece::kWord) {
      bool pm = EqualsNoCase(pieces[k].text, "pm");
      if (!pm && !EqualsNoCase(pieces[k].text, "am")) return false;
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
    if (parts.empty() && pieces[k].kind == DatePiece::kWord && IsWeekdayWord(pieces[k].text)) continue;
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

bool IsNumericType(VarType type) {
  switch (type) {
    case VarType::kBoolean: case VarType::kByte: case VarType::kInteger: case VarType::kLong:
    case VarType::kLongLong: case VarType::kSingle: case VarType::kDouble:
    case VarType::kCurrency: case VarType::kDecimal: case VarType::kDate:
      return true;
    default:
      return false;
  }
}

Variant ToNumeric(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty:
      return Variant(static_cast<int16_t>(0));
    case VarType::kString: {
      double d;
      if (!ParseScriptNumber(v.Bytes(), d)) RaiseRuntime(kErrTypeMismatch);
      return Variant(d);
    }
    case VarType::kNull:
      return v;
    default:
      if (IsNumericType(v.type())) return v;
      RaiseForOperand(v);
  }
}

double ToDouble(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty:
      return 0;
    case VarType::kString: {
      double d;
      if (!ParseScriptNumber(v.Bytes(), d)) RaiseRuntime(kErrTypeMismatch);
      return d;
    }
    default:
      if (IsNumericType(v.type())) return v.AsDouble();
      RaiseForOperand(v);
  }
}

int32_t ToLong(const Variant& v) {
  if (v.type() == VarType::kLong || v.type() == VarType::kInteger || v.type() == VarType::kByte)
    return static_cast<int32_t>(v.AsInt64());
  if (v.type() == VarType::kCurrency) {
    // Exact: the ten-thousandths decide the rounding, not a double.
    int64_t raw = v.CurrencyRaw();
    int64_t whole = raw / 10000, rest = raw % 10000;
    if (rest > 5000 || (rest == 5000 && whole % 2 != 0)) ++whole;
    if (rest < -5000 || (rest == -5000 && whole % 2 != 0)) --whole;
    if (whole < INT32_MIN || whole > INT32_MAX) RaiseRuntime(kErrOverflow);
    return static_cast<int32_t>(whole);
  }
  return static_cast<int32_t>(RoundToIntegral(ToDouble(v), -2147483648.0, 2147483647.0));
}

int16_t ToInteger(const Variant& v) {
  int32_t n = ToLong(v);
  if (n < -32768 || n > 32767) RaiseRuntime(kErrOverflow);
  return static_cast<int16_t>(n);
}

uint8_t ToByte(const Variant& v) {
  int32_t n = ToLong(v);
  if (n < 0 || n > 255) RaiseRuntime(kErrOverflow);
  return static_cast<uint8_t>(n);
}

int64_t ToCurrencyRaw(const Variant& v) {
  if (v.type() == VarType::kCurrency) return v.CurrencyRaw();
  if (v.IsIntegral()) {
    int64_t n = v.AsInt64();
    if (n > 922337203685477LL || n < -922337203685477LL) RaiseRuntime(kErrOverflow);
    return n * 10000;
  }
  double d = ToDouble(v) * 10000.0;
  return static_cast<int64_t>(RoundToIntegral(d, -9.2233720368547758e18, 9.2233720368547748e18));
}

double ToDate(const Variant& v) {
  double d;
  switch (v.type()) {
    case VarType::kDate:
      return v.AsDouble();
    case VarType::kString:
      if (intl::ParseLocaleDate(v.Bytes(), d) || ParseDateLiteral(v.Bytes(), d)) return d;
      RaiseRuntime(kErrTypeMismatch);
    case VarType::kEmpty:
      return 0;
    default:
      if (!IsNumericType(v.type())) RaiseForOperand(v);
      d = v.AsDouble();
      if (!(d >= kMinOleDate && d <= kMaxOleDate)) RaiseRuntime(kErrOverflow);
      return d;
  }
}

bool ToBoolean(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty:
      return false;
    case VarType::kString: {
      std::string_view t = Trim(v.Bytes());
      if (EqualsNoCase(t, "true")) return true;
      if (EqualsNoCase(t, "false")) return false;
      double d;
      if (!ParseScriptNumber(t, d)) RaiseRuntime(kErrTypeMismatch);
      return d != 0;
    }
    default:
      if (IsNumericType(v.type())) return v.AsDouble() != 0;
      RaiseForOperand(v);
  }
}

std::string ToText(const Variant& v) {
  if (v.IsNull()) RaiseRuntime(kErrInvalidNull);
  std::string out;
  AppendText(v, out);
  return out;
}

void AppendText(const Variant& v, std::string& out) {
  switch (v.type()) {
    case VarType::kNull: case VarType::kEmpty:
      return;
    case VarType::kDate:
      out.append(intl::FormatDateTime(v.AsDouble(), 0));
      return;
    case VarType::kSingle: {
      // A Single shows the 7 digits it holds, not the float's binary tail.
      float f = static_cast<float>(v.AsDouble());
      double shown;
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(f));
      ParseNumber(buffer, shown);
      out.append(FormatDouble(shown));
      return;
    }
    case VarType::kObject: case VarType::kBinary: case VarType::kError:
      RaiseForOperand(v);
    default:
      v.AppendTo(out);
  }
}

double OleToLinear(double ole_date) {
  if (ole_date >= 0) return ole_date;
  double day = std::trunc(ole_date);
  return day + (day - ole_date);
}

double LinearToOle(double days) {
  double day = std::floor(days);
  double time = days - day;
  return day >= 0 ? days : day - time;
}

Variant FitInteger(int64_t value) {
  if (value >= -32768 && value <= 32767) return Variant(static_cast<int16_t>(value));
  if (value >= INT32_MIN && value <= INT32_MAX) return Variant(static_cast<int32_t>(value));
  return Variant(static_cast<double>(value));
}

}  // namespace fennick::script
