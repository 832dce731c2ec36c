// Argument conversion for late-bound calls.
#include "frame/dispatch.h"

#include "base/ascii.h"

#include <cmath>

namespace fennick {

std::string LowerName(std::string_view name) {
  return AsciiLower(name);
}

Variant ConvertArgument(const Variant& value, ArgType type) {
  if (type == ArgType::kVariant) return value;
  if (value.IsNull()) throw Error(kErrInvalidNull, "Invalid use of Null");
  switch (type) {
    case ArgType::kBoolean:
      return Variant(value.AsBool());
    case ArgType::kInteger: {
      double r = std::nearbyint(value.AsDouble());  // round half to even, as CInt does
      if (!(r >= -32768 && r <= 32767)) throw Error(kErrOverflow, "Overflow");
      return Variant(static_cast<int16_t>(r));
    }
    case ArgType::kLong: {
      double r = std::nearbyint(value.AsDouble());
      if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw Error(kErrOverflow, "Overflow");
      return Variant(static_cast<int32_t>(r));
    }
    case ArgType::kDouble:
      return Variant(value.AsDouble());
    case ArgType::kString:
      return Variant(value.AsString());
    case ArgType::kVariant:
      break;
  }
  return value;
}

}  // namespace fennick
