// Type classes of fields: what the grid keys cell classes, quoting, formats
// and aggregates on.
#ifndef FENNICK_FRAME_FIELD_TYPES_H_
#define FENNICK_FRAME_FIELD_TYPES_H_

#include <string_view>

namespace fennick {

inline constexpr int kTypeNumber = 131;
inline constexpr int kTypeMoney = 6;
inline constexpr int kTypeDate = 7;
inline constexpr int kTypeBoolean = 11;
inline constexpr int kTypeBinary = 128;
inline constexpr int kTypeGuid = 72;
inline constexpr int kTypeText = 200;

// Mode 1: `type` is an ADO type code written as a number. Modes 2 and 9: a
// column type name of a SQL Server catalogue ("nvarchar", "money", "bit").
// Any other mode, and a mode-1 text that is no number, give text (200).
int ClassifyFieldType(std::string_view type, int mode);

}  // namespace fennick

#endif  // FENNICK_FRAME_FIELD_TYPES_H_
