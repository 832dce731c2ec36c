// The grid's bar graph: the numeric columns of the shown rows drawn through
// SimpleGraph, with the link that switches between the page's rows and all
// rows.
#ifndef FENNICK_GRID_RENDER_GRID_GRAPH_H_
#define FENNICK_GRID_RENDER_GRID_GRAPH_H_

#include <cstdint>

#include "grid/render/grid_render.h"

namespace fennick {

// The bar graph of rows first..last (0-based; a last below the first is
// raised to it, and the range stops at the last row) of the grid's numeric
// columns, with the link that switches between the current page's rows and
// all rows; a page break follows when asked. Nothing when the grid has no
// graph type.
void DrawGraph(GridRender& r, int64_t first, int64_t last, bool page_break);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_GRID_GRAPH_H_
