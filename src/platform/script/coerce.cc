// Conversions between Variant types with the script world's rules.
#include "platform/script/coerce.h"

#include <climits>
#include <cmath>
#include <cstdio>

#include "base/ascii.h"
#include "platform/intl/format.h"
#include "platform/script/date_literal.h"
#include "platform/script/script_error.h"

namespace fennick::script {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
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

}  // namespace

namespace {
thread_local size_t text_spent = 0;
}  // namespace

void CheckTextLength(size_t length) {
  if (length > kMaxTextLength) RaiseRuntime(kErrOutOfMemory);
}

void ChargeText(size_t length) {
  CheckTextLength(length);
  text_spent += length;
  if (text_spent > kTextBudget) RaiseRuntime(kErrOutOfMemory);
}

void ResetTextBudget() { text_spent = 0; }

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
      if (EqualsIgnoreCase(t, "true")) return true;
      if (EqualsIgnoreCase(t, "false")) return false;
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
