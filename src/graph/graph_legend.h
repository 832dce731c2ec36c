// The legend of the bar graph: a framed table right of the plot with one
// colour swatch and text per legend entry.
#ifndef FENNICK_GRAPH_GRAPH_LEGEND_H_
#define FENNICK_GRAPH_GRAPH_LEGEND_H_

#include "graph/graph_text.h"
#include "graph/graph_view.h"

namespace fennick::graph {

// Writes the legend cell; the graph must have a legend. In a one-column
// graph each entry also shows its row's value and that value's share of
// the column total (or the percentage itself in a relative graph).
void WriteLegendCell(GraphOutput& out, const GraphView& g);

}  // namespace fennick::graph

#endif  // FENNICK_GRAPH_GRAPH_LEGEND_H_
