// The cells of the plot table: one column cell per column above the axis,
// and below it either a tick cell per column or, when values go below 0, a
// negative column cell per column.
#ifndef FENNICK_GRAPH_GRAPH_CELLS_H_
#define FENNICK_GRAPH_GRAPH_CELLS_H_

#include <cstddef>

#include "graph/graph_text.h"
#include "graph/graph_view.h"

namespace fennick::graph {

// The part of column `column` above the axis: its bars side by side, or
// its stacked bar with the first row on top, with the grid lines above
// them; then the spacer cell when the graph has spacing.
void WriteColumnCell(GraphOutput& out, const GraphView& g, size_t column);

// A short tick on the axis below a column (graphs without negative values).
void WriteTickCell(GraphOutput& out, const GraphView& g);

// The part of column `column` below the axis: negative values hang down
// from the axis, with the grid lines below them.
void WriteNegativeCell(GraphOutput& out, const GraphView& g, size_t column);

}  // namespace fennick::graph

#endif  // FENNICK_GRAPH_GRAPH_CELLS_H_
