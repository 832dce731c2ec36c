// The building blocks of the bar graph: one bar, a block of grid lines and
// a column of scale numbers. Each is a small table (or a one-pixel div)
// appended to the graph's output.
#ifndef FENNICK_GRAPH_GRAPH_BLOCKS_H_
#define FENNICK_GRAPH_GRAPH_BLOCKS_H_

#include <string>
#include <string_view>

#include "graph/graph_data.h"
#include "graph/graph_state.h"
#include "graph/graph_text.h"

namespace fennick::graph {

// What the tooltip of a bar says: the value (with "%" in a relative
// graph), preceded by the row's legend text and followed by the column's
// x-scale label when those exist.
struct BarTitle {
  const GraphCell* cell = nullptr;
  bool percent = false;
  const std::string* legend = nullptr;   // may be null
  const std::string* x_label = nullptr;  // may be null
};

// The title of the bar of `row` and `column`.
BarTitle TitleOf(const GraphState& state, const GraphData& data, size_t row, size_t column);

// A bar `height_px` pixels high filled with `color`; nothing when the
// height is 0 or less.
void DrawBar(GraphOutput& out, double height_px, std::string_view color, const BarTitle& title);

// Fills a block `height` pixels high with cells `step` pixels high whose
// top (at_top) or bottom border is one grid line: dotted in the grid-line
// colour, solid in any other colour. Nothing when the block would need more
// than 100 cells, or when height or step is not above 0.
void DrawHLines(GraphOutput& out, const GraphState& state, double height,
                std::string_view color, double step, bool at_top);

// The scale numbers of a block `height_px` pixels high, one per step of
// `step_px` pixels, each at the bottom of its cell. Above the axis they
// count down from the first line below the top; below it they count
// -step, -2 × step, and so on. Nothing when the block would need more than
// 100 cells, or when either size is below 1.
void DrawScaleLabels(GraphOutput& out, const GraphState& state, double height_px,
                     double step_px, bool negative);

}  // namespace fennick::graph

#endif  // FENNICK_GRAPH_GRAPH_BLOCKS_H_
