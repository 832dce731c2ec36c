// Defaults of a new graph and the bar colour of a row.
#include "graph/graph_state.h"

#include <iterator>

namespace fennick::graph {

GraphState::GraphState()
    : colors(std::begin(kDefaultColors), std::end(kDefaultColors)) {}

std::string_view RowColor(const GraphState& state, size_t row) {
  if (state.colors.empty()) return kDefaultColors[row % std::size(kDefaultColors)];
  return state.colors[row % state.colors.size()];
}

}  // namespace fennick::graph
