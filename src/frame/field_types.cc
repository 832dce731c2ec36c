// ClassifyFieldType.
#include "frame/field_types.h"

#include <string>

#include "base/ascii.h"
#include "fennick/variant.h"

namespace fennick {

int ClassifyFieldType(std::string_view type, int mode) {
  if (mode == 1) {
    double code = 0;
    if (!ParseNumber(type, code)) return kTypeText;
    switch (static_cast<int>(code)) {
      case 2: case 3: case 4: case 5: case 14: case 16: case 18: case 19: case 20: case 21:
      case 131:
        return kTypeNumber;
      case 6:
        return kTypeMoney;
      case 7: case 133: case 134: case 135:
        return kTypeDate;
      case 11: case 17:
        return kTypeBoolean;
      case 72:
        return kTypeGuid;
      case 204: case 205:
        return kTypeBinary;
      default:
        return kTypeText;
    }
  }
  if (mode != 2 && mode != 9) return kTypeText;
  const std::string name = AsciiLower(type);
  auto has = [&name](const char* part) { return name.find(part) != std::string::npos; };
  if (has("text") || has("char")) return kTypeText;
  if (has("real") || has("float") || has("decimal") || has("int")) return kTypeNumber;
  if (has("date")) return kTypeDate;
  if (has("money")) return kTypeMoney;
  if (name == "bit") return kTypeBoolean;
  if (name == "timestamp" || name == "image" || has("binary")) return kTypeBinary;
  return kTypeText;
}

}  // namespace fennick
