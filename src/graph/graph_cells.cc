// Column cells above the axis, tick cells and negative column cells.
#include "graph/graph_cells.h"

#include <string_view>

#include "graph/graph_blocks.h"

namespace fennick::graph {
namespace {

// The line left of a column: the y axis for the first column, else the
// vertical line between columns when those are shown; empty for none.
std::string_view LeftLineColor(const GraphState& state, size_t column) {
  if (column == 0) return state.scale_color;
  if (state.show_v_lines) return state.v_line_color;
  return {};
}

// Grid lines above a stacked bar: the empty space up to the top, and the
// gap from the bar's top to the next grid line.
void WriteStackedLines(GraphOutput& out, const GraphView& g, size_t column) {
  const GraphState& s = g.state;
  const double ppu = g.scale.pixels_per_unit;
  double total = g.data.column_totals[column];
  if (total > 0) {
    double gap = s.scale_size - RoundedMod(total, s.scale_size);
    double space_px = RoundEven((g.scale.top - total - gap) * ppu);
    if (space_px > 0) {
      out << "<tr><td height='" << Num{space_px} << "' width='" << Num{s.bar_width}
          << "' nowrap>";
      DrawHLines(out, s, space_px, s.h_line_color, g.scale.step_px, true);
      out << "</td></tr>";
    }
    double gap_px = RoundEven(gap * ppu);
    out << "<tr><td title='" << Num{gap_px} << "' height='" << Num{gap_px} << "' width='"
        << Num{s.bar_width} << "' nowrap>";
    DrawHLines(out, s, gap_px, s.h_line_color, gap_px, true);
    out << "</td></tr>";
  } else {
    out << "<tr><td height='" << Num{s.max_bar_height} << "' width='"
        << Num{s.bar_width} << "' nowrap>";
    DrawHLines(out, s, s.max_bar_height, s.h_line_color, g.scale.step_px, true);
    out << "</td></tr>";
  }
}

// Grid lines above one bar of a plain graph: whole steps down to the line
// just above the bar, then the gap from that line to the bar's top.
void WriteLinesAboveBar(GraphOutput& out, const GraphView& g, double bar_px) {
  const GraphState& s = g.state;
  const double step_px = g.scale.step_px;
  if (bar_px < 1) {
    DrawHLines(out, s, s.max_bar_height, s.h_line_color, step_px, true);
    return;
  }
  // A scale too small for a one-pixel step has no grid lines to align to.
  if (step_px <= 0) return;
  double gap_px = step_px - RoundedMod(bar_px, step_px);
  DrawHLines(out, s, s.max_bar_height - (bar_px + gap_px), s.h_line_color, step_px, true);
  DrawHLines(out, s, gap_px, s.h_line_color, gap_px, true);
}

}  // namespace

void WriteColumnCell(GraphOutput& out, const GraphView& g, size_t column) {
  const GraphState& s = g.state;
  const double group_width = static_cast<double>(g.scale.group_width);
  std::string_view left = LeftLineColor(s, column);
  out << "<td valign=bottom nowrap width='" << Num{group_width} << "' height='"
      << Num{s.max_bar_height} << "' ";
  if (s.add_scale && !left.empty()) {
    out << "style='border-left:1px solid " << left << ";border-bottom:1px solid "
        << s.scale_color << ";'";
  }
  out << "><table border=0 cellSpacing=0 cellPadding=0 width='" << Num{group_width} << "'>";
  if (!s.stacked) out << "<tr>";
  if (s.show_h_lines && s.stacked && !s.relative) WriteStackedLines(out, g, column);

  for (size_t row = 0; row < g.data.rows; ++row) {
    if (s.stacked) out << "<tr>";
    out << "<td nowrap width='" << Num{s.bar_width} << "' valign=bottom>";
    double bar_px = BarHeightAbove(g.data.At(row, column).value, g.scale.pixels_per_unit);
    if (s.show_h_lines && !s.stacked) WriteLinesAboveBar(out, g, bar_px);
    DrawBar(out, bar_px, RowColor(s, row), TitleOf(s, g.data, row, column));
    out << "</td>";
    if (s.stacked) out << "</tr>";
  }

  if (!s.stacked) out << "</tr>";
  out << "</table></td>";
  if (s.spacing > 0) {
    out << "<td valign=bottom ";
    if (s.add_scale) out << "style='border-bottom:1px solid " << s.scale_color << ";'";
    out << " width='" << Num{s.spacing} << "'>";
    if (s.show_h_lines) {
      DrawHLines(out, s, s.max_bar_height, s.h_line_color,
                 s.scale_size * g.scale.pixels_per_unit, true);
    } else {
      out << "<font style='font-size:3px;'>&nbsp;</font>";
    }
    out << "</td>";
  }
}

void WriteTickCell(GraphOutput& out, const GraphView& g) {
  const GraphState& s = g.state;
  const double group_width = static_cast<double>(g.scale.group_width);
  out << "<td nowrap width=" << Num{group_width}
      << " valign=top height=1><table cellSpacing=0 cellPadding=0 border=0 width="
      << Num{group_width} << ">"
      << "<tr><td width=\"100%\" style='border-left:1px solid " << s.scale_color << ";'>"
      << "<font style='font-size:7px;'>&nbsp;</font>"
      << "</td></tr></table></td>";
  if (s.spacing > 0) {
    out << "<td width='" << Num{s.spacing} << "'>"
        << "<font style='font-size:1px;'>&nbsp;</font>"
        << "</td>";
  }
}

void WriteNegativeCell(GraphOutput& out, const GraphView& g, size_t column) {
  const GraphState& s = g.state;
  const double group_width = static_cast<double>(g.scale.group_width);
  const double step_px = g.scale.step_px;
  const double depth = g.scale.negative_depth_px - step_px;
  std::string_view left = LeftLineColor(s, column);
  out << "<td nowrap width=" << Num{group_width} << " valign=top height='" << Num{depth}
      << "' ";
  if (s.add_scale && !left.empty()) out << "style='border-left:1px solid " << left << ";'";
  out << ">"
      << "<table cellSpacing=0 cellPadding=0 border=0 width=" << Num{group_width} << ">";
  if (!s.stacked) out << "<tr>";

  for (size_t row = 0; row < g.data.rows; ++row) {
    if (s.stacked) out << "<tr>";
    out << "<td width='" << Num{s.bar_width} << "' valign=top>";
    const GraphCell& cell = g.data.At(row, column);
    if (cell.value < 0) {
      double bar_px = BarHeightBelow(cell.value, g.scale.pixels_per_unit);
      DrawBar(out, bar_px, RowColor(s, row), TitleOf(s, g.data, row, column));
      // Without a whole-pixel step there are no grid lines to align to.
      if (s.show_h_lines && step_px > 0) {
        double gap_px = step_px - RoundedMod(bar_px, step_px);
        DrawHLines(out, s, gap_px, s.h_line_color, gap_px, false);
        DrawHLines(out, s, g.scale.negative_depth_px - (bar_px + gap_px) - step_px,
                   s.h_line_color, step_px, false);
      }
    } else if (s.show_h_lines) {
      DrawHLines(out, s, depth, s.h_line_color, step_px, false);
    } else {
      out << "&nbsp;";
    }
    out << "</td>";
    if (s.stacked) out << "</tr>";
  }

  if (!s.stacked) out << "</tr>";
  out << "</table></td>";
  if (s.spacing > 0) {
    out << "<td valign=top height='" << Num{depth} << "' width='" << Num{s.spacing}
        << "'>";
    if (s.show_h_lines) {
      DrawHLines(out, s, depth, s.h_line_color, step_px, false);
    } else {
      out << "<font style='font-size:3px;'>&nbsp;</font>";
    }
    out << "</td>";
  }
}

}  // namespace fennick::graph
