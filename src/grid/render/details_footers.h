// The footers that close each details table of a master-details grid.
#ifndef FENNICK_GRID_RENDER_DETAILS_FOOTERS_H_
#define FENNICK_GRID_RENDER_DETAILS_FOOTERS_H_

#include <cstdint>

#include "grid/render/grid_render.h"

namespace fennick {

// Writes the column footers (summaries of the detail records first..last,
// 0-based, inclusive) as the last rows of a details table, after its data
// rows and before the table closes. `r.hidden` marks the columns the
// details table leaves out. Currently writes nothing: it is the one place
// the footers of the grid's summaries are to be called from.
void WriteDetailsFooters(GridRender& r, int64_t first, int64_t last);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_DETAILS_FOOTERS_H_
