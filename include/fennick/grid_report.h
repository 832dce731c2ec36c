// Report settings of a DataGrid that only C++ reaches: the summary box,
// the "Total" and "Average" footer rows, the total and average cells at the
// end of every row, and the lists of a summary report.
//
// The report designer sets these from a report definition; they are not
// part of DataGrid's late-bound interface, so a script page cannot set
// them. Like the grid's other shared settings they belong to the running
// page: every grid of the page sees them, and the next request starts
// without them. Call them after creating the grid and before Display.
#ifndef FENNICK_GRID_REPORT_H_
#define FENNICK_GRID_REPORT_H_

#include <string_view>

namespace fennick {

class DataGrid;

// The aggregates of the summary box: entries field + "__" + TYPE + "__" +
// caption separated by ",", TYPE one of SUM, AVG, MIN, MAX, COUNT, STDEV,
// VAR (any other entry is skipped), the caption defaulting to TYPE + " " +
// field. Shorter than 3 characters: no box.
void SetSummarySpecification(DataGrid& grid, std::string_view specification);

// The footer rows and the row cells.
void SetColumnTotals(DataGrid& grid, bool on);
void SetColumnAverages(DataGrid& grid, bool on);
void SetRowTotals(DataGrid& grid, bool on);
void SetRowAverages(DataGrid& grid, bool on);

// The fields that get a column total / average (comma-separated, bare or
// table-qualified). A list that is not empty switches its footer row on
// and keeps values under the named columns only.
void SetTotalFields(DataGrid& grid, std::string_view fields);
void SetAverageFields(DataGrid& grid, std::string_view fields);

// The aggregate lists of a summary report (comma-separated fields).
enum class AggregateList { kSum, kAvg, kMin, kMax, kStdev, kVar };
void SetAggregateFields(DataGrid& grid, AggregateList list, std::string_view fields);

// The fields the report shows (comma-separated, any case, bare or
// table-qualified as "Orders.Freight"); columns not named get no cell and
// stay out of exports. Empty: every column that is not hidden.
void SetShownFields(DataGrid& grid, std::string_view fields);

}  // namespace fennick

#endif  // FENNICK_GRID_REPORT_H_
