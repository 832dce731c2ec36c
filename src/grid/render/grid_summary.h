// DataGrid's side of the summary writer: the summary box, the row cells
// and the footer rows drawn from the grid being displayed, over the page's
// shared settings and format lists and into the grid's output buffer.
#ifndef FENNICK_GRID_RENDER_GRID_SUMMARY_H_
#define FENNICK_GRID_RENDER_GRID_SUMMARY_H_

#include <cstdint>
#include <vector>

#include "export/export_footers.h"

#include "grid/render/grid_render.h"
#include "grid/render/summary_context.h"

namespace fennick {

// The summary writer's context for the grid being drawn.
SummaryContext GridSummaryContext(GridRender& r);

// Whether rows end with a total or an average cell.
bool HasRowCells(const GridRender& r);

// Checks the totals the page set on the grid (DataGrid::AddSummary,
// FooterTotals, FooterAverages) against the result's columns: raises error
// 5 naming the member and the first column the result lacks, or a footer
// column that holds no numbers. Nothing when the page set none.
void CheckPageTotals(const GridObject& g);

// The box below the grid (after the filter and sort summary).
void WriteGridSummaryBox(GridRender& r);
// The header cells of the row cells, the row cells of rows first..last
// (one row's, or a master row's over its details), and the footer rows
// after rows first..last; each writes nothing when switched off.
void WriteGridRowCellHeaders(GridRender& r);
void WriteGridRowCells(GridRender& r, int64_t first, int64_t last);
// Under FooterScope "Result" (outside master-details) the footer rows show
// the whole filtered result's sums, asked of the database once per
// rendering (a procedure's result, which has no statement, is added from
// its rows).
void WriteGridFooters(GridRender& r, int64_t first, int64_t last);

// The footer rows an export writes after its rows (Average, then Total,
// as switched on): the sums of the whole filtered result the export
// holds, whatever FooterScope says, by field position, each with its text
// in the column's number format. None in master-details, for a procedure
// or when no footer row is on. Raises the database's error.
std::vector<ExportFooterRow> GridExportFooters(GridObject& g);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_GRID_SUMMARY_H_
