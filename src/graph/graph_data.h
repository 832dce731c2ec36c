// Data preparation of the bar graph: the rows added so far become a table
// of values, relative graphs become percentages, and the extremes that the
// scale is built on are found.
#ifndef FENNICK_GRAPH_GRAPH_DATA_H_
#define FENNICK_GRAPH_GRAPH_DATA_H_

#include <cstddef>
#include <string_view>
#include <vector>

#include "graph/graph_state.h"
#include "graph/graph_text.h"

namespace fennick::graph {

// One value of the table.
struct GraphCell {
  double value = 0;
  // The value's text as the page gave it (" 12", "10.50"); empty when the
  // value is written as a number (a missing or non-numeric item, which
  // counts as 0, or a percentage of a relative graph).
  std::string_view text;
};

struct GraphData {
  size_t rows = 0;
  size_t columns = 0;
  // rows × columns values, row by row.
  std::vector<GraphCell> cells;
  // Per column, the sum of its values above -1 (stacked graphs only).
  std::vector<double> column_totals;
  // The extremes the scale is built on, as whole numbers.
  double max = 0;
  double min = 0;

  const GraphCell& At(size_t row, size_t column) const { return cells[row * columns + column]; }
};

// The rounding of the graph: to the nearest whole number, halves to the
// even neighbour (2.5 gives 2, 3.5 gives 4).
double RoundEven(double value);
// The remainder of a by b after rounding both to whole numbers; its sign is
// that of a. b must not round to 0.
double RoundedMod(double a, double b);

// Prepares the table from state.rows_text. Writes back into the state: a
// relative graph becomes stacked, and a graph without a legend takes the
// row names as its legend when they are longer than 3 characters.
//
// The table's cells point into state.rows_text, which must not change while
// the table is in use. Raises, before anything is drawn:
//   5 when no row was added;
//   9 when the first row has no value (it fixes the number of columns);
//   6 "Overflow" when a value, or in a stacked graph a column's total,
//     lies outside the 32-bit range the scale is computed in.
GraphData PrepareData(GraphState& state);

// Appends a cell as titles and the legend show it: its text, or its value
// as a number.
void AppendCellText(GraphOutput& out, const GraphCell& cell);

}  // namespace fennick::graph

#endif  // FENNICK_GRAPH_GRAPH_DATA_H_
