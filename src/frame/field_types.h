// Type classes of fields: what the grid keys cell classes, quoting, formats
// and aggregates on.
#ifndef FENNICK_FRAME_FIELD_TYPES_H_
#define FENNICK_FRAME_FIELD_TYPES_H_

#include <cstdint>
#include <string_view>

namespace fennick {

// The type class of a field. The values are the codes pages and the filter
// bar see ("131" for a number column), so they are written as they stand.
enum class TypeClass : int16_t {
  kNumber = 131,
  kMoney = 6,
  kDate = 7,
  kBoolean = 11,
  kBinary = 128,
  kGuid = 72,
  kText = 200,
};

// The code of a type class as pages see it.
constexpr int TypeClassCode(TypeClass type_class) { return static_cast<int>(type_class); }

// Mode 1: `type` is an ADO type code written as a number. Modes 2 and 9: a
// column type name of a SQL Server catalogue ("nvarchar", "money", "bit").
// Any other mode, and a mode-1 text that is no number, give text (200).
TypeClass ClassifyFieldType(std::string_view type, int mode);

}  // namespace fennick

#endif  // FENNICK_FRAME_FIELD_TYPES_H_
