// Rendering of the bar graph: the page skeleton around the plot table.
#ifndef FENNICK_GRAPH_GRAPH_RENDER_H_
#define FENNICK_GRAPH_GRAPH_RENDER_H_

#include "graph/graph_state.h"

namespace fennick::graph {

// Appends the whole graph to state.output: the outer table with title,
// y label, plot table, legend and x label. The table of values and the
// scale are settled first, so an error (see PrepareData) leaves the output
// as it was. Writes the automatic choices back into the state.
void RenderGraph(GraphState& state);

}  // namespace fennick::graph

#endif  // FENNICK_GRAPH_GRAPH_RENDER_H_
