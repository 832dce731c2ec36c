// Conversion functions: CStr, CInt, CLng, CByte, CSng, CDbl, CCur, CBool,
// CDate. Null raises 94 "Invalid use of Null"; a value beyond the target
// type raises 6 "Overflow"; a text that is not a number (or date) raises 13.
#include <cmath>

#include "platform/script/builtins.h"
#include "platform/script/coerce.h"
#include "platform/script/script_error.h"

namespace fennick::script {
namespace {

Variant CStr(Arguments a) { return Variant(ToText(a[0])); }
Variant CInt(Arguments a) { return Variant(ToInteger(a[0])); }
Variant CLng(Arguments a) { return Variant(ToLong(a[0])); }
Variant CByte(Arguments a) { return Variant::Byte(ToByte(a[0])); }
Variant CDbl(Arguments a) { return Variant(ToDouble(a[0])); }

Variant CSng(Arguments a) {
  double d = ToDouble(a[0]);
  if (std::fabs(d) > 3.402823466e38) RaiseRuntime(kErrOverflow);
  return Variant(static_cast<float>(d));
}

Variant CCur(Arguments a) { return Variant::Currency(ToCurrencyRaw(a[0])); }
Variant CBool(Arguments a) { return Variant(ToBoolean(a[0])); }
Variant CDate(Arguments a) { return Variant::Date(ToDate(a[0])); }

constexpr Builtin kConversionBuiltins[] = {
    {"CStr", 1, 1, CStr}, {"CInt", 1, 1, CInt}, {"CLng", 1, 1, CLng},
    {"CByte", 1, 1, CByte}, {"CSng", 1, 1, CSng}, {"CDbl", 1, 1, CDbl},
    {"CCur", 1, 1, CCur}, {"CBool", 1, 1, CBool}, {"CDate", 1, 1, CDate},
};

}  // namespace

std::span<const Builtin> ConversionBuiltins() { return kConversionBuiltins; }

}  // namespace fennick::script
