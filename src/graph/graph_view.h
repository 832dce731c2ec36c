// What the writers of the graph's cells read: the properties, the table of
// values and the scale, all settled before the first fragment is written.
#ifndef FENNICK_GRAPH_GRAPH_VIEW_H_
#define FENNICK_GRAPH_GRAPH_VIEW_H_

#include "graph/graph_data.h"
#include "graph/graph_scale.h"
#include "graph/graph_state.h"

namespace fennick::graph {

struct GraphView {
  const GraphState& state;
  const GraphData& data;
  const GraphScale& scale;
};

}  // namespace fennick::graph

#endif  // FENNICK_GRAPH_GRAPH_VIEW_H_
