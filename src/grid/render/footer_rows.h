// Totals and averages around a report's rows: the total and average cells
// at the end of every row with their header cells, and the "Total" and
// "Average" footer rows under the rows shown.
//
// Without a master table the row cells add the number and money columns
// after the first; with one (master-details) they add the aggregate columns
// and COUNT_1. Both row cells take the number format of the row's last
// column. The footer rows write a cell under every column that is shown,
// a value under those that are summed, and fill the positions of the row
// cells; Average always comes before Total.
#ifndef FENNICK_GRID_RENDER_FOOTER_ROWS_H_
#define FENNICK_GRID_RENDER_FOOTER_ROWS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "frame/field_types.h"
#include "grid/render/summary_context.h"

namespace fennick {

// Whether the row cells add column `index` (named `name`, of `type_class`):
// without a master table a column with index 1 or more of the number or
// money class; with one, an aggregate column or COUNT_1.
bool IsSummedColumn(std::string_view name, size_t index, TypeClass type_class, bool master);
// How many columns of the result pass IsSummedColumn.
int SummedColumnCount(const SummaryContext& context);
// The sum of the row's (0-based) numeric cells in summed columns, rounded
// to 2 decimals with halves to even.
double RowSum(const SummaryContext& context, int64_t row);

// The header cells of the row cells ("Average", then "Total"), when on.
void WriteRowCellHeaders(const SummaryContext& context);
// The row cells of one row, when on. The average of a row without summed
// columns is an empty cell.
void WriteRowCells(const SummaryContext& context, int64_t row);

// A column's total over rows first..last: a number, or, for an aggregate
// column whose ReplaceColumn template holds "[eval]", the script expression
// the browser computes its cells with.
struct ColumnSum {
  bool script = false;
  double total = 0;
  std::string expression;
};
ColumnSum ColumnTotal(const SummaryContext& context, size_t column, int64_t first, int64_t last);
// "0" followed, for each row, by the column's template with "[eval]" made
// "+(", "[/eval]" made ")", and its "{{column}}" placeholders and "#TEMP#"
// made the row's values in brackets. A value that is not a plain number
// becomes 0, so no value can add script to the expression.
std::string ColumnEvalTotal(const SummaryContext& context, size_t column, std::string_view tmpl,
                            int64_t first, int64_t last);

// The footer rows after rows first..last: Average, then Total, each when
// switched on (a per-field list that is set switches its row on). The rows
// take the class and style of row position `position`. An error inside a
// row ends it with an error cell (its text HTML-encoded) and a note of the
// column reached; the rendering goes on.
void WriteFooterRows(const SummaryContext& context, int64_t first, int64_t last, int64_t position);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_FOOTER_ROWS_H_
