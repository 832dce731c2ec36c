// Bar width, scale top and step, and pixel quantities of the bar graph.
#include "graph/graph_scale.h"

#include <cmath>

namespace fennick::graph {
namespace {

// 10 to the power (number of digits of the whole number |value| − 1);
// 0 counts as one digit.
double LeadingPower(double value) {
  double magnitude = std::fabs(value);
  double power = 1;
  while (magnitude >= power * 10) power *= 10;
  return power;
}

void ChooseBarWidth(GraphState& state, const GraphData& data) {
  if (state.bar_width < 2) state.bar_width_set = false;
  if (state.bar_width_set) return;
  if (state.stacked) {
    // One stacked bar per column: wide for few rows, 0 from twelve rows on.
    state.bar_width =
        50 * static_cast<int32_t>(RoundEven(6.0 / static_cast<double>(data.rows)));
    return;
  }
  double bars = static_cast<double>(data.rows) * static_cast<double>(data.columns);
  int32_t width = 15 * static_cast<int32_t>(RoundEven(30.0 / bars));
  if (width < 2) {
    // Bars this narrow leave no room between grid lines.
    width = 2;
    state.show_h_lines = false;
  }
  if (width > 20) width = 20;
  state.bar_width = width;
}

void ChooseScaleStep(GraphState& state, double top) {
  if (state.scale_size_set) {
    // A step of 0 or less would divide by zero; it returns to automatic.
    if (state.scale_size <= 0) {
      state.scale_size_set = false;
    } else if (state.relative) {
      if (state.scale_size > 50) state.scale_size_set = false;
    } else {
      double lines = top / state.scale_size;
      if (!(lines >= 2 && lines <= 10)) state.scale_size_set = false;
    }
    if (state.scale_size_set) return;
  }
  if (state.relative) {
    state.scale_size = 25;
    return;
  }
  double step = RoundEven(LeadingPower(top) / 2);
  if (step < 1) step = 2;
  if (top / step < 4) step = RoundEven(step / 2);
  if (RoundedMod(top, 3) == 0 && top / step > 9) step *= 3;
  if (top / step > 7) step *= 2;
  state.scale_size = static_cast<int32_t>(step);
}

}  // namespace

double ScaleTop(double max) {
  double power = LeadingPower(max);
  double top = max + power - RoundedMod(max, power);
  return top < 1 ? 1 : top;
}

GraphScale PrepareScale(GraphState& state, const GraphData& data) {
  GraphScale scale;
  ChooseBarWidth(state, data);
  scale.group_width = state.stacked ? state.bar_width
                                    : static_cast<int64_t>(state.bar_width) *
                                          static_cast<int64_t>(data.rows);
  scale.cell_count = state.spacing > 0 ? 2 * data.columns : data.columns;

  // Percentages run from 0 to 100: the 25% step then gives four lines,
  // and a chosen step of at most 50 at least two, as for other graphs.
  scale.top = state.relative ? 100 : ScaleTop(data.max);
  ChooseScaleStep(state, scale.top);
  scale.pixels_per_unit = state.max_bar_height / scale.top;
  scale.step_px = RoundEven(state.scale_size * scale.pixels_per_unit);
  // The area below the axis reaches the next multiple of 100 beyond the
  // minimum: -5 gives 100 units, -100 gives 200.
  double low = std::fabs(data.min);
  double depth_units = (low + 100) - RoundedMod(low, 100);
  scale.negative_depth_px = RoundEven(depth_units * scale.pixels_per_unit);
  return scale;
}

double BarHeightAbove(double value, double pixels_per_unit) {
  return RoundEven(value * pixels_per_unit + 0.3);
}

double BarHeightBelow(double value, double pixels_per_unit) {
  return RoundEven(std::fabs(value * pixels_per_unit) + 0.3);
}

}  // namespace fennick::graph
