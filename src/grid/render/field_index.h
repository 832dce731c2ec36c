// Finding a result column by the name a page or a template gives it.
#ifndef FENNICK_GRID_RENDER_FIELD_INDEX_H_
#define FENNICK_GRID_RENDER_FIELD_INDEX_H_

#include <string_view>
#include <vector>

#include "grid/query/column_expressions.h"

namespace fennick {

// The 0-based index of the first column whose name matches `name`, or -1.
// Both sides are trimmed and compared upper-cased; the wanted name loses
// everything up to and including its first "." (so "Orders.ID" finds ID),
// and each column name loses "[", "]" and "`" and everything up to and
// including its first ".".
int FieldIndex(const std::vector<GridColumn>& columns, std::string_view name);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_FIELD_INDEX_H_
