// ClassifyFieldType.
#include "frame/field_types.h"

#include <string>

#include "base/ascii.h"
#include "fennick/variant.h"

namespace fennick {

TypeClass ClassifyFieldType(std::string_view type, int mode) {
  if (mode == 1) {
    double code = 0;
    if (!ParseNumber(type, code)) return TypeClass::kText;
    switch (static_cast<int>(code)) {
      case 2: case 3: case 4: case 5: case 14: case 16: case 18: case 19: case 20: case 21:
      case 131:
        return TypeClass::kNumber;
      case 6:
        return TypeClass::kMoney;
      case 7: case 133: case 134: case 135:
        return TypeClass::kDate;
      case 11: case 17:
        return TypeClass::kBoolean;
      case 72:
        return TypeClass::kGuid;
      case 204: case 205:
        return TypeClass::kBinary;
      default:
        return TypeClass::kText;
    }
  }
  if (mode != 2 && mode != 9) return TypeClass::kText;
  const std::string name = AsciiLower(type);
  auto has = [&name](const char* part) { return name.find(part) != std::string::npos; };
  if (has("text") || has("char")) return TypeClass::kText;
  if (has("real") || has("float") || has("decimal") || has("int")) return TypeClass::kNumber;
  if (has("date")) return TypeClass::kDate;
  if (has("money")) return TypeClass::kMoney;
  if (name == "bit") return TypeClass::kBoolean;
  if (name == "timestamp" || name == "image" || has("binary")) return TypeClass::kBinary;
  return TypeClass::kText;
}

}  // namespace fennick
