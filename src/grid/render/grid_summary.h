// DataGrid's side of the summary writer: the summary box, the row cells
// and the footer rows drawn from the grid being displayed, over the page's
// shared settings and format lists and into the grid's output buffer.
#ifndef FENNICK_GRID_RENDER_GRID_SUMMARY_H_
#define FENNICK_GRID_RENDER_GRID_SUMMARY_H_

#include <cstdint>

#include "grid/render/grid_render.h"
#include "grid/render/summary_context.h"

namespace fennick {

// The summary writer's context for the grid being drawn.
SummaryContext GridSummaryContext(GridRender& r);

// Whether rows end with a total or an average cell.
bool HasRowCells(const GridRender& r);

// The box below the grid (after the filter and sort summary).
void WriteGridSummaryBox(GridRender& r);
// The header cells of the row cells, the row cells of rows first..last
// (one row's, or a master row's over its details), and the footer rows
// after rows first..last; each writes nothing when switched off.
void WriteGridRowCellHeaders(GridRender& r);
void WriteGridRowCells(GridRender& r, int64_t first, int64_t last);
void WriteGridFooters(GridRender& r, int64_t first, int64_t last);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_GRID_SUMMARY_H_
