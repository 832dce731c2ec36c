// Variant conversions and OLE date arithmetic, in their invariant forms.
#include "fennick/variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/ascii.h"
#include "base/ole_date.h"
#include "fennick/error.h"
#include "fennick/object.h"

namespace fennick {

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25569;  // 25569: 1899-12-30 to 1970-01-01
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468 - 25569;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = yoe + era * 400;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

namespace {

[[noreturn]] void TypeMismatch() { throw Error(kErrTypeMismatch, "Type mismatch"); }

}  // namespace

double MakeOleDate(const DateParts& p) {
  // Roll months over first, then let days overflow through the day count.
  int64_t month0 = static_cast<int64_t>(p.month) - 1;
  int64_t year = p.year + (month0 >= 0 ? month0 / 12 : (month0 - 11) / 12);
  month0 = ((month0 % 12) + 12) % 12;
  const int64_t days = DaysFromCivil(year, month0 + 1, 1) + (p.day - 1);
  const double time =
      (p.hour * 3600.0 + p.minute * 60.0 + p.second + p.millisecond / 1000.0) /
      86400.0;
  // OLE dates before day 0 keep the time as a positive fraction written
  // after a negative day count: -1.25 is 1899-12-29 06:00.
  if (days < 0) return static_cast<double>(days) - time;
  return static_cast<double>(days) + time;
}

DateParts SplitOleDate(double date) {
  DateParts p;
  double day_part = std::trunc(date);
  double frac = std::fabs(date - day_part);
  int64_t seconds = std::llround(frac * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    day_part += date < 0 ? -1 : 1;
  }
  CivilFromDays(static_cast<int64_t>(day_part), p.year, p.month, p.day);
  p.hour = static_cast<int>(seconds / 3600);
  p.minute = static_cast<int>((seconds / 60) % 60);
  p.second = static_cast<int>(seconds % 60);
  return p;
}

int OleWeekday(double date) {
  // 1899-12-30 was a Saturday (7).
  int64_t day = static_cast<int64_t>(std::trunc(date));
  int64_t w = ((day % 7) + 7 + 6) % 7;  // 0 = Sunday
  return static_cast<int>(w) + 1;
}

Variant::Variant(std::shared_ptr<Object> object)
    : type_(object ? VarType::kObject : VarType::kEmpty),
      object_(std::move(object)) {}

Variant Variant::Byte(uint8_t value) {
  Variant v;
  v.type_ = VarType::kByte;
  v.num_.i = value;
  return v;
}

Variant Variant::Currency(int64_t value_times_10000) {
  Variant v;
  v.type_ = VarType::kCurrency;
  v.num_.i = value_times_10000;
  return v;
}

Variant Variant::CurrencyFromDouble(double value) {
  if (!(std::fabs(value) < 922337203685477.0)) throw Error(kErrOverflow, "Overflow");
  return Currency(std::llround(value * 10000.0));
}

Variant Variant::Date(double ole_date) {
  Variant v;
  v.type_ = VarType::kDate;
  v.num_.d = ole_date;
  return v;
}

Variant Variant::Decimal(double value) {
  Variant v;
  v.type_ = VarType::kDecimal;
  v.num_.d = value;
  return v;
}

Variant Variant::Binary(std::string bytes) {
  Variant v;
  v.type_ = VarType::kBinary;
  v.str_ = std::move(bytes);
  return v;
}

Variant Variant::Binary(const std::vector<uint8_t>& bytes) {
  return Binary(std::string(bytes.begin(), bytes.end()));
}

Variant Variant::ErrorValue(int32_t number) {
  Variant v;
  v.type_ = VarType::kError;
  v.num_.i = number;
  return v;
}

bool Variant::IsNumber() const {
  switch (type_) {
    case VarType::kInteger: case VarType::kLong: case VarType::kSingle:
    case VarType::kDouble: case VarType::kCurrency: case VarType::kDecimal:
    case VarType::kByte: case VarType::kLongLong: case VarType::kBoolean:
      return true;
    default:
      return false;
  }
}

bool Variant::IsIntegral() const {
  switch (type_) {
    case VarType::kInteger: case VarType::kLong: case VarType::kByte:
    case VarType::kLongLong: case VarType::kBoolean:
      return true;
    default:
      return false;
  }
}

bool Variant::AsBool() const {
  switch (type_) {
    case VarType::kEmpty: case VarType::kNull:
      return false;
    case VarType::kString: {
      std::string_view s = str_;
      while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
      while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
      if (EqualsIgnoreCase(s, "true")) return true;
      if (EqualsIgnoreCase(s, "false")) return false;
      return AsDouble() != 0;
    }
    default:
      return AsDouble() != 0;
  }
}

int64_t Variant::AsInt64() const {
  if (IsIntegral()) return type_ == VarType::kBoolean ? -num_.i : num_.i;
  double d = AsDouble();
  // Banker's rounding, as CLng does.
  double r = std::nearbyint(d);
  if (!(std::fabs(r) < 9.2233720368547758e18)) throw Error(kErrOverflow, "Overflow");
  return static_cast<int64_t>(r);
}

double Variant::AsDouble() const {
  switch (type_) {
    case VarType::kEmpty: case VarType::kNull:
      return 0;
    case VarType::kBoolean:
      return num_.i ? -1.0 : 0.0;  // True is -1 in the script world
    case VarType::kInteger: case VarType::kLong: case VarType::kByte:
    case VarType::kLongLong: case VarType::kError:
      return static_cast<double>(num_.i);
    case VarType::kCurrency:
      return static_cast<double>(num_.i) / 10000.0;
    case VarType::kSingle: case VarType::kDouble: case VarType::kDate:
    case VarType::kDecimal:
      return num_.d;
    case VarType::kString: {
      double v;
      if (!ParseNumber(str_, v)) TypeMismatch();
      return v;
    }
    default:
      TypeMismatch();
  }
}

std::string Variant::AsString() const {
  std::string out;
  AppendTo(out);
  return out;
}

void Variant::AppendTo(std::string& out) const {
  switch (type_) {
    case VarType::kEmpty: case VarType::kNull:
      return;
    case VarType::kString: case VarType::kBinary:
      out.append(str_);
      return;
    case VarType::kBoolean:
      out.append(num_.i ? "True" : "False");
      return;
    case VarType::kInteger: case VarType::kLong: case VarType::kByte:
    case VarType::kLongLong: case VarType::kError: {
      char buf[24];
      auto res = std::to_chars(buf, buf + sizeof buf, num_.i);
      out.append(buf, res.ptr);
      return;
    }
    case VarType::kCurrency:
      out.append(FormatDouble(static_cast<double>(num_.i) / 10000.0));
      return;
    case VarType::kSingle:
      out.append(FormatDouble(static_cast<double>(static_cast<float>(num_.d))));
      return;
    case VarType::kDouble: case VarType::kDecimal:
      out.append(FormatDouble(num_.d));
      return;
    case VarType::kDate:
      out.append(FormatOleDateInvariant(num_.d));
      return;
    case VarType::kObject:
      TypeMismatch();
  }
}

bool Variant::operator==(const Variant& other) const {
  if (type_ != other.type_) return false;
  switch (type_) {
    case VarType::kEmpty: case VarType::kNull:
      return true;
    case VarType::kString: case VarType::kBinary:
      return str_ == other.str_;
    case VarType::kObject:
      return object_ == other.object_;
    case VarType::kSingle: case VarType::kDouble: case VarType::kDate:
    case VarType::kDecimal:
      return num_.d == other.num_.d;
    default:
      return num_.i == other.num_.i;
  }
}

std::string FormatDouble(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  if (value == 0) return "0";
  char buf[40];
  double magnitude = std::fabs(value);
  if (magnitude >= 1e15 || magnitude < 1e-15) {
    std::snprintf(buf, sizeof buf, "%.14E", value);
    // Trim the mantissa's trailing zeros and the exponent's leading ones:
    // 1.00000000000000E+020 -> 1E+20.
    std::string s = buf;
    size_t e = s.find('E');
    std::string mant = s.substr(0, e), exp = s.substr(e + 1);
    if (mant.find('.') != std::string::npos) {
      while (mant.back() == '0') mant.pop_back();
      if (mant.back() == '.') mant.pop_back();
    }
    char sign = exp[0];
    exp.erase(0, 1);
    while (exp.size() > 1 && exp[0] == '0') exp.erase(0, 1);
    return mant + "E" + sign + exp;
  }
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string s = buf;
  if (s.find('.') != std::string::npos && s.find('E') == std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

bool ParseNumber(std::string_view text, double& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return false;
  if (text.size() > 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h' ||
                                            text[1] == 'O' || text[1] == 'o')) {
    int base = (text[1] == 'H' || text[1] == 'h') ? 16 : 8;
    uint64_t n = 0;
    auto res = std::from_chars(text.data() + 2, text.data() + text.size(), n, base);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return false;
    value = static_cast<double>(n);
    return true;
  }
  std::string_view body = text;
  bool negative = false;
  if (body.front() == '+' || body.front() == '-') {
    negative = body.front() == '-';
    body.remove_prefix(1);
  }
  if (body.empty() || body.front() == '+' || body.front() == '-') return false;
  double v = 0;
  auto res = std::from_chars(body.data(), body.data() + body.size(), v,
                             std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != body.data() + body.size()) {
    // from_chars rejects a leading ".5"; accept it as scripts do.
    if (body.front() == '.') {
      std::string with_zero = "0";
      with_zero.append(body);
      res = std::from_chars(with_zero.data(), with_zero.data() + with_zero.size(), v);
      if (res.ec != std::errc() || res.ptr != with_zero.data() + with_zero.size())
        return false;
    } else {
      return false;
    }
  }
  value = negative ? -v : v;
  return true;
}

std::string FormatOleDateInvariant(double date) {
  DateParts p = SplitOleDate(date);
  char buf[64];
  std::string out;
  bool has_date = std::trunc(date) != 0;
  bool has_time = p.hour != 0 || p.minute != 0 || p.second != 0;
  if (has_date || !has_time) {
    std::snprintf(buf, sizeof buf, "%d/%d/%d", p.month, p.day, p.year);
    out = buf;
  }
  if (has_time) {
    int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h12, p.minute, p.second,
                  p.hour < 12 ? "AM" : "PM");
    if (!out.empty()) out.push_back(' ');
    out.append(buf);
  }
  return out;
}

}  // namespace fennick
