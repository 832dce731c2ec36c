// Aggregate columns of summary reports: result columns such as SUM_2 that
// the report's SQL computes from another column, and that are keyed and
// formatted like the column they aggregate.
#ifndef FENNICK_GRID_QUERY_AGGREGATE_COLUMNS_H_
#define FENNICK_GRID_QUERY_AGGREGATE_COLUMNS_H_

#include <string>
#include <string_view>

namespace fennick {

// Whether `name` is an aggregate column: it begins with "SUM_", "AVG_",
// "MIN_", "MAX_", "VAR_" or "STDEV_" (any case, since some databases fold
// unquoted aliases to lower case). A name that is only the function ("MAX")
// is an ordinary column.
bool IsAggregateColumn(std::string_view name);

// The column an aggregate column aggregates: for the select item
// "SUM([Price]) AS SUM_2" in `command`, AggregateBaseColumn(command, "SUM_2")
// is "Price" (the text between the nearest "(" before " AS " + alias and the
// last ")" before it, without "[", "]", "`" and surrounding blanks). The
// alias must stand whole (" AS SUM_20" is not SUM_2's item). Returns the
// alias unchanged when the command has no such item or its brackets enclose
// no name.
std::string AggregateBaseColumn(std::string_view command, std::string_view alias);

}  // namespace fennick

#endif  // FENNICK_GRID_QUERY_AGGREGATE_COLUMNS_H_
