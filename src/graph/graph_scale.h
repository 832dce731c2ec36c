// Sizing of the bar graph: bar width, the scale's top and step, and the
// pixel quantities every cell is drawn with.
#ifndef FENNICK_GRAPH_GRAPH_SCALE_H_
#define FENNICK_GRAPH_GRAPH_SCALE_H_

#include <cstddef>
#include <cstdint>

#include "graph/graph_data.h"
#include "graph/graph_state.h"

namespace fennick::graph {

struct GraphScale {
  // The value at the top of the scale: above the maximum, or 100 for the
  // percentages of a relative graph.
  double top = 1;
  // Pixels per value unit (the area above the axis spans 0 to top).
  double pixels_per_unit = 0;
  // Pixels between two scale lines.
  double step_px = 0;
  // Pixels of the area below the axis, scale line included.
  double negative_depth_px = 0;
  // Pixel width of one column: all its bars side by side, or one stacked bar.
  int64_t group_width = 0;
  // Cells of the plot table per row: one per column, two with spacing.
  size_t cell_count = 0;
};

// The scale top for the maximum of a graph that is not relative: the
// maximum raised past the next multiple of its leading power of ten (345
// gives 400, 300 gives 400, 0 gives 1). A top below 1, possible only when
// every stacked total is negative, becomes 1, the top of an empty graph.
double ScaleTop(double max);

// Chooses bar width and scale step and computes the pixel quantities.
// Writes back into the state: the bar width and scale step chosen (their
// user-set marks cleared when the page's value did not fit), and no
// horizontal lines when bars get narrower than 2 pixels.
GraphScale PrepareScale(GraphState& state, const GraphData& data);

// Pixel height of a bar above the axis, and of one below it.
double BarHeightAbove(double value, double pixels_per_unit);
double BarHeightBelow(double value, double pixels_per_unit);

}  // namespace fennick::graph

#endif  // FENNICK_GRAPH_GRAPH_SCALE_H_
