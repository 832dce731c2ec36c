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

// Whether a comma-separated field list (a report's shown fields, its
// footer fields) names `column`, without regard to ASCII case: by its bare
// name, or by its table and name joined by "." ("Orders.Freight", as a
// report over several tables writes its fields). A qualified item names a
// column of another table only when the column's own table is unknown.
bool FieldListNames(std::string_view list, const GridColumn& column);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_FIELD_INDEX_H_
