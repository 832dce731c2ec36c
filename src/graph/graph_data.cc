// From the rows added to the table of values, percentages and extremes.
#include "graph/graph_data.h"

#include <cmath>
#include <string>

#include "base/split.h"
#include "fennick/error.h"

namespace fennick::graph {
namespace {

constexpr char kSource[] = "Fennick.SimpleGraph";
// The scale's arithmetic works on 32-bit whole numbers.
constexpr double kLargestValue = 2147483647.0;

void CheckRange(double rounded) {
  if (std::fabs(rounded) > kLargestValue) {
    throw Error(kErrOverflow,
                "Overflow: graph values must lie between -2147483647 and 2147483647",
                kSource);
  }
}

// Turns each column into whole percentages of the column's non-negative
// total that add up to exactly 100.
void MakeRelative(GraphData& data) {
  for (size_t c = 0; c < data.columns; ++c) {
    double total = 0;
    for (size_t r = 0; r < data.rows; ++r) {
      double v = data.cells[r * data.columns + c].value;
      if (v >= 0) total += v;
    }
    if (total < 1) total = 1;
    double sum = 0;
    for (size_t r = 0; r < data.rows; ++r) {
      GraphCell& cell = data.cells[r * data.columns + c];
      cell.value = cell.value < 0 ? 0 : RoundEven(cell.value / total * 100);
      cell.text = {};
      sum += cell.value;
    }
    // Rounding may miss 100; the last row takes up the difference, so a
    // column of zeros shows its last row at 100.
    data.cells[(data.rows - 1) * data.columns + c].value += 100 - sum;
  }
  data.max = 100;
  data.min = 0;
}

void FindExtremes(GraphData& data, bool stacked) {
  data.max = data.min = RoundEven(data.cells[0].value);
  if (!stacked) {
    for (const GraphCell& cell : data.cells) {
      double v = RoundEven(cell.value);
      if (std::fabs(v) > data.max) data.max = std::fabs(v);
      if (v < data.min) data.min = v;
    }
    return;
  }
  // A stacked bar is as high as its column's total; its lowest point is
  // taken from the first value only.
  data.column_totals.assign(data.columns, 0.0);
  for (size_t c = 0; c < data.columns; ++c) {
    double total = 0;
    for (size_t r = 0; r < data.rows; ++r) {
      double v = data.cells[r * data.columns + c].value;
      if (v > -1) total += v;
    }
    data.column_totals[c] = total;
    double rounded = RoundEven(total);
    CheckRange(rounded);
    if (rounded > data.max) data.max = rounded;
  }
}

}  // namespace

double RoundEven(double value) { return std::nearbyint(value); }

double RoundedMod(double a, double b) { return std::fmod(RoundEven(a), RoundEven(b)); }

GraphData PrepareData(GraphState& state) {
  if (state.relative) state.stacked = true;
  if (!state.legend && CharacterCount(state.row_names) > 3) {
    state.legend = SplitText(state.row_names, kRowSeparator);
  }
  if (state.rows_text.size() < kRowSeparator.size()) {
    throw Error(kErrInvalidCall,
                "Invalid procedure call or argument: the graph has no rows; add rows with "
                "AddRow or AddRowData before drawing it",
                kSource);
  }

  std::string_view all(state.rows_text);
  all.remove_suffix(kRowSeparator.size());
  std::vector<std::string_view> rows = SplitView(all, kRowSeparator);
  std::vector<std::string_view> items;
  if (!rows.empty()) items = SplitView(rows[0], ",");
  if (items.empty()) {
    throw Error(9,
                "Subscript out of range: the first row of the graph has no values, so the "
                "graph has no columns",
                kSource);
  }

  GraphData data;
  data.rows = rows.size();
  data.columns = items.size();
  data.cells.resize(data.rows * data.columns);
  for (size_t r = 0; r < data.rows; ++r) {
    if (r > 0) items = SplitView(rows[r], ",");
    // Surplus items are ignored; missing and non-numeric ones count as 0.
    size_t n = items.size() < data.columns ? items.size() : data.columns;
    for (size_t c = 0; c < n; ++c) {
      double v;
      if (NumericText(items[c], v)) {
        CheckRange(RoundEven(v));
        data.cells[r * data.columns + c] = GraphCell{v, items[c]};
      }
    }
  }

  if (state.relative) {
    MakeRelative(data);
  } else {
    FindExtremes(data, state.stacked);
  }
  return data;
}

void AppendCellText(GraphOutput& out, const GraphCell& cell) {
  if (cell.text.empty()) {
    out << Num{cell.value};
  } else {
    out << cell.text;
  }
}

}  // namespace fennick::graph
