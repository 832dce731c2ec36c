// Math functions: Abs, Int, Fix, Round, Sgn, Sqr, Exp, Log, Sin, Cos, Tan,
// Atn, Hex, Oct. Abs, Int, Fix and Round keep their argument's type where
// it can hold the result; the others give Doubles.
#include <cmath>
#include <string>

#include "platform/script/builtins.h"
#include "platform/script/coerce.h"
#include "platform/script/operators.h"
#include "platform/script/script_error.h"

namespace fennick::script {
namespace {

double Checked(double d) {
  if (!std::isfinite(d)) RaiseRuntime(kErrOverflow);
  return d;
}

// Applies a rounding function to a value, keeping its type.
template <typename Round>
Variant RoundKeepingType(const Variant& arg, Round round) {
  if (arg.IsNull()) return arg;
  Variant v = ToNumeric(arg);
  switch (v.type()) {
    case VarType::kBoolean:
      return Variant(static_cast<int16_t>(v.AsInt64()));
    case VarType::kByte: case VarType::kInteger: case VarType::kLong:
      return v;
    case VarType::kSingle:
      return Variant(static_cast<float>(round(v.AsDouble())));
    case VarType::kCurrency:
      return Variant::Currency(
          static_cast<int64_t>(round(static_cast<double>(v.CurrencyRaw()) / 10000.0)) * 10000);
    case VarType::kDate:
      return Variant::Date(round(v.AsDouble()));
    default:
      return Variant(Checked(round(v.AsDouble())));
  }
}

Variant Abs(Arguments a) {
  if (a[0].IsNull()) return a[0];
  Variant v = ToNumeric(a[0]);
  bool negative = v.type() == VarType::kCurrency ? v.CurrencyRaw() < 0 : v.AsDouble() < 0;
  if (v.type() == VarType::kBoolean) return Variant(static_cast<int16_t>(-v.AsInt64()));
  return negative ? Negate(v) : v;
}

Variant Int(Arguments a) {
  return RoundKeepingType(a[0], [](double d) { return std::floor(d); });
}

Variant Fix(Arguments a) {
  return RoundKeepingType(a[0], [](double d) { return std::trunc(d); });
}

// Rounds half to even at `places` decimals. A value whose decimal form is a
// tie (2.675 at two places, though its binary value is slightly below) is
// treated as the tie it reads as.
double RoundHalfEven(double value, int places) {
  double scale = std::pow(10.0, places);
  double scaled = value * scale;
  if (!std::isfinite(scaled)) return value;
  double floor = std::floor(scaled);
  double fraction = scaled - floor;
  double tolerance = std::fabs(scaled) * 4 * 2.220446049250313e-16;
  double r;
  if (std::fabs(fraction - 0.5) <= tolerance) {
    r = std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
  } else {
    r = fraction < 0.5 ? floor : floor + 1;
  }
  return r / scale;
}

Variant Round(Arguments a) {
  int32_t places = LongArgument(a, 1, 0);
  if (places < 0) RaiseRuntime(kErrInvalidCall);
  if (a[0].IsNull()) return a[0];
  Variant v = ToNumeric(a[0]);
  if (places > 22) places = 22;  // beyond any double's precision
  switch (v.type()) {
    case VarType::kBoolean:
      return Variant(static_cast<int16_t>(v.AsInt64()));
    case VarType::kByte: case VarType::kInteger: case VarType::kLong:
      return v;
    case VarType::kCurrency: {
      if (places >= 4) return v;
      int64_t unit = 1;
      for (int i = places; i < 4; ++i) unit *= 10;
      int64_t raw = v.CurrencyRaw();
      int64_t q = raw / unit, rest = raw % unit;
      if (2 * rest > unit || (2 * rest == unit && q % 2 != 0)) ++q;
      if (2 * rest < -unit || (2 * rest == -unit && q % 2 != 0)) --q;
      return Variant::Currency(q * unit);
    }
    case VarType::kSingle:
      return Variant(static_cast<float>(RoundHalfEven(v.AsDouble(), places)));
    case VarType::kDate:
      return Variant::Date(RoundHalfEven(v.AsDouble(), places));
    default:
      return Variant(RoundHalfEven(v.AsDouble(), places));
  }
}

double NumberArgument(const Variant& v) {
  if (v.IsNull()) RaiseRuntime(kErrInvalidNull);
  return ToDouble(v);
}

Variant Sgn(Arguments a) {
  double d = NumberArgument(a[0]);
  return Variant(static_cast<int16_t>(d < 0 ? -1 : d > 0 ? 1 : 0));
}

Variant Sqr(Arguments a) {
  double d = NumberArgument(a[0]);
  if (d < 0) RaiseRuntime(kErrInvalidCall);
  return Variant(std::sqrt(d));
}

Variant Exp(Arguments a) { return Variant(Checked(std::exp(NumberArgument(a[0])))); }

Variant Log(Arguments a) {
  double d = NumberArgument(a[0]);
  if (d <= 0) RaiseRuntime(kErrInvalidCall);
  return Variant(std::log(d));
}

Variant Sin(Arguments a) { return Variant(Checked(std::sin(NumberArgument(a[0])))); }
Variant Cos(Arguments a) { return Variant(Checked(std::cos(NumberArgument(a[0])))); }
Variant Tan(Arguments a) { return Variant(Checked(std::tan(NumberArgument(a[0])))); }
Variant Atn(Arguments a) { return Variant(std::atan(NumberArgument(a[0]))); }

// Hex and Oct write an Integer's 16 bits and any other value's 32 bits, so
// negative numbers appear in two's complement (Hex(-1) is FFFF).
Variant Radix(const Variant& arg, int bits_per_digit) {
  if (arg.IsNull()) return arg;
  Variant v = ToNumeric(arg);
  uint32_t bits;
  bool narrow = v.type() == VarType::kInteger || v.type() == VarType::kByte ||
                v.type() == VarType::kBoolean;
  int32_t n = ToLong(v);
  bits = narrow ? static_cast<uint16_t>(n) : static_cast<uint32_t>(n);
  const char* digits = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), digits[bits & ((1u << bits_per_digit) - 1)]);
    bits >>= bits_per_digit;
  } while (bits != 0);
  return Variant(std::move(out));
}

Variant Hex(Arguments a) { return Radix(a[0], 4); }
Variant Oct(Arguments a) { return Radix(a[0], 3); }

constexpr Builtin kMathBuiltins[] = {
    {"Abs", 1, 1, Abs}, {"Int", 1, 1, Int}, {"Fix", 1, 1, Fix}, {"Round", 1, 2, Round},
    {"Sgn", 1, 1, Sgn}, {"Sqr", 1, 1, Sqr}, {"Exp", 1, 1, Exp}, {"Log", 1, 1, Log},
    {"Sin", 1, 1, Sin}, {"Cos", 1, 1, Cos}, {"Tan", 1, 1, Tan}, {"Atn", 1, 1, Atn},
    {"Hex", 1, 1, Hex}, {"Oct", 1, 1, Oct},
};

}  // namespace

std::span<const Builtin> MathBuiltins() { return kMathBuiltins; }

}  // namespace fennick::script
