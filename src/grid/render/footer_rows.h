// Totals and averages around a report's rows: the total and average cells
// at the end of every row with their header cells, and the "Total" and
// "Average" footer rows under the rows shown.
//
// The row cells add the cells the row shows: without a master table the
// number and money columns after the first; with one (master-details) the
// aggregate columns and COUNT_1, and the details' numbers when the report
// is no summary report; hidden columns never, and a cell the browser
// computes ("[eval]") by what it computes. A master row's cells total its
// details. Both row cells take the number format of the row's last column.
// The footer rows write a cell under every column that is shown, a value
// under those that are summed, and fill the positions of the row cells;
// Average always comes before Total.
#ifndef FENNICK_GRID_RENDER_FOOTER_ROWS_H_
#define FENNICK_GRID_RENDER_FOOTER_ROWS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame/field_types.h"
#include "grid/render/summary_context.h"

namespace fennick {

// Whether the row cells (and the footers' values) add column `index` of
// the context's result. Never column 0 (it names the row) nor a hidden
// column. Without a master table: a number or money column. With one (the
// details of master-details), a column that is neither the master table's
// nor the first details column (which names the detail row): an aggregate
// column or COUNT_1, and, when the report has no aggregate lists, a number
// or money column.
bool IsSummedColumn(const SummaryContext& context, size_t index);
// How many columns of the result pass IsSummedColumn.
int SummedColumnCount(const SummaryContext& context);

// By column of the result: whether the Average (`average`) or Total footer
// row writes a value under it (a summed column, named by the row's field
// list when that is set, and shown).
std::vector<bool> FooterValueColumns(const SummaryContext& context, bool average);
// Whether the browser computes the column's cells (its ReplaceColumn
// template holds "[eval]"), so only a script can total them.
bool IsBrowserComputed(const SummaryContext& context, size_t column);

// The total of the summed cells of rows first..last (0-based) as the rows
// show them: `sum` adds the cells whose value is numeric, rounded to 2
// decimals with halves to even; a cell the browser computes (its column's
// template holds "[eval]") joins `expression` instead, as ColumnEvalTotal
// writes its terms. `cells` is the number of summed cells (summed columns
// times rows), the divisor of the average.
struct RowTotal {
  double sum = 0;
  std::string expression;
  int64_t cells = 0;
};
RowTotal RowsTotal(const SummaryContext& context, int64_t first, int64_t last);

// The header cells of the row cells ("Average", then "Total"), when on.
void WriteRowCellHeaders(const SummaryContext& context);
// The row cells of rows first..last, when on: one row's, or a master row's
// over the records of its details. Without summed columns the average is
// an empty cell; with cells the browser computes, both are scripts.
void WriteRowCells(const SummaryContext& context, int64_t first, int64_t last);

// A column's total over rows first..last: a number, or, for a column whose
// ReplaceColumn template holds "[eval]", the script expression the browser
// computes its cells with.
struct ColumnSum {
  bool script = false;
  double total = 0;
  std::string expression;
};
ColumnSum ColumnTotal(const SummaryContext& context, size_t column, int64_t first, int64_t last);
// "0" followed, for each row, by "+(" + block + ")" for each "[eval]" block
// of the column's template, its "{{column}}" placeholders and "#TEMP#" made
// the row's values in brackets; the template's text outside the blocks is
// left out. A value that is not a plain number becomes 0, so no value can
// add script to the expression.
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
