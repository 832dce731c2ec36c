// The summary box under a report: one line per aggregate of the summary
// specification (sum, average, minimum, maximum, record count, variance,
// standard deviation of a column over the rows the grid opened), each
// computed by the database and formatted like its column.
#ifndef FENNICK_GRID_RENDER_SUMMARY_BOX_H_
#define FENNICK_GRID_RENDER_SUMMARY_BOX_H_

#include <string>
#include <string_view>

#include "fennick/variant.h"
#include "grid/render/summary_context.h"
#include "platform/data/aggregate_functions.h"

namespace fennick {

// value rounded to 2 decimals, halves to even (2.125 gives 2.12).
double RoundAggregate(double value);

// Writes the box when the summary specification has at least 3 characters. Each
// entry is field + "__" + TYPE + "__" + caption: TYPE must be exactly one of
// the seven aggregate names (else the entry is skipped), and the field must
// name a shown result column (any case, bare or table-qualified), else the
// box says in red that it has no summary of that field. The caption
// (default TYPE + " " + field) is the report author's HTML, written as
// given; the value is formatted like the column's cells. Raises the
// database's error when an aggregate query fails.
void WriteSummaryBox(const SummaryContext& context);

// One aggregate of result column `column` over the rows the grid opened
// (see grid/query/aggregate_query.h). A number comes back rounded by
// RoundAggregate as a Double; a date or text (MIN and MAX of such columns)
// as the database gave it; Empty when no row or Null came back. Raises the
// database's error.
Variant ComputeAggregate(const SummaryContext& context, const GridColumn& column,
                         data::Aggregate aggregate);

// value formatted like column `column`'s cells: by the number-format entry
// (number, percent or currency with its decimals) of the column, found by
// its qualified name and then its bare one, or for an aggregate column
// (SUM_2) of the column it aggregates (unless the context turns that
// lookup off); without an entry, the value's plain text ("1234.5").
std::string FormatAggregateValue(const SummaryContext& context, const GridColumn& column,
                                 double value);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_SUMMARY_BOX_H_
