// Formatting functions (FormatNumber, FormatCurrency, FormatPercent,
// FormatDateTime, in the page's locale) and the tests on values (IsNumeric,
// IsDate, IsNull, IsEmpty, IsObject, IsArray, TypeName, VarType).
#include "platform/intl/format.h"
#include "platform/script/builtins.h"
#include "platform/script/coerce.h"
#include "platform/script/date_literal.h"
#include "platform/script/script_error.h"

namespace fennick::script {
namespace {

using NumberFormatter = std::string (*)(double, int, int, int, int, std::string_view);

Variant FormatWith(Arguments a, NumberFormatter format) {
  if (a[0].IsNull()) RaiseRuntime(kErrInvalidNull);
  double value = ToDouble(a[0]);
  int32_t decimals = LongArgument(a, 1, -1);
  if (decimals < -1 || decimals > 255) RaiseRuntime(kErrInvalidCall);
  int leading = TriStateArgument(a, 2);
  int parens = TriStateArgument(a, 3);
  int group = TriStateArgument(a, 4);
  return Variant(format(value, decimals, leading, parens, group, {}));
}

Variant FormatNumber(Arguments a) { return FormatWith(a, intl::FormatNumber); }
Variant FormatCurrency(Arguments a) { return FormatWith(a, intl::FormatCurrency); }
Variant FormatPercent(Arguments a) { return FormatWith(a, intl::FormatPercent); }

Variant FormatDateTime(Arguments a) {
  int32_t named = LongArgument(a, 1, 0);
  if (named < 0 || named > 4) RaiseRuntime(kErrInvalidCall);
  return Variant(intl::FormatDateTime(ToDate(a[0]), named));
}

Variant IsNumeric(Arguments a) {
  const Variant& v = a[0];
  switch (v.type()) {
    case VarType::kEmpty:
      return Variant(true);
    case VarType::kString: {
      double d;
      return Variant(ParseScriptNumber(v.Bytes(), d));
    }
    case VarType::kDate:
      return Variant(false);
    default:
      return Variant(IsNumericType(v.type()));
  }
}

Variant IsDate(Arguments a) {
  const Variant& v = a[0];
  if (v.type() == VarType::kDate) return Variant(true);
  if (!v.IsString()) return Variant(false);
  double d;
  return Variant(intl::ParseLocaleDate(v.Bytes(), d) || ParseDateLiteral(v.Bytes(), d));
}

Variant IsNull(Arguments a) { return Variant(a[0].IsNull()); }
Variant IsEmpty(Arguments a) { return Variant(a[0].IsEmpty()); }
Variant IsObject(Arguments a) { return Variant(a[0].type() == VarType::kObject); }
Variant IsArray(Arguments) { return Variant(false); }

Variant TypeName(Arguments a) {
  const Variant& v = a[0];
  switch (v.type()) {
    case VarType::kEmpty: return Variant("Empty");
    case VarType::kNull: return Variant("Null");
    case VarType::kInteger: return Variant("Integer");
    case VarType::kLong: return Variant("Long");
    case VarType::kSingle: return Variant("Single");
    case VarType::kDouble: return Variant("Double");
    case VarType::kCurrency: return Variant("Currency");
    case VarType::kDate: return Variant("Date");
    case VarType::kString: return Variant("String");
    case VarType::kObject: return Variant(v.AsObject() ? "Object" : "Nothing");
    case VarType::kError: return Variant("Error");
    case VarType::kBoolean: return Variant("Boolean");
    case VarType::kDecimal: return Variant("Decimal");
    case VarType::kByte: return Variant("Byte");
    case VarType::kLongLong: return Variant("LongLong");
    case VarType::kBinary: return Variant("Byte()");
  }
  return Variant("Unknown");
}

Variant VarTypeOf(Arguments a) { return Variant(static_cast<int16_t>(a[0].type())); }

constexpr Builtin kFormatBuiltins[] = {
    {"FormatNumber", 1, 5, FormatNumber},
    {"FormatCurrency", 1, 5, FormatCurrency},
    {"FormatPercent", 1, 5, FormatPercent},
    {"FormatDateTime", 1, 2, FormatDateTime},
    {"IsNumeric", 1, 1, IsNumeric},
    {"IsDate", 1, 1, IsDate},
    {"IsNull", 1, 1, IsNull},
    {"IsEmpty", 1, 1, IsEmpty},
    {"IsObject", 1, 1, IsObject},
    {"IsArray", 1, 1, IsArray},
    {"TypeName", 1, 1, TypeName},
    {"VarType", 1, 1, VarTypeOf},
};

}  // namespace

std::span<const Builtin> FormatBuiltins() { return kFormatBuiltins; }

}  // namespace fennick::script
