// Bars, grid-line blocks and scale numbers of the bar graph.
#include "graph/graph_blocks.h"

namespace fennick::graph {

BarTitle TitleOf(const GraphState& state, const GraphData& data, size_t row, size_t column) {
  BarTitle title;
  title.cell = &data.At(row, column);
  title.percent = state.relative;
  if (state.legend && row < state.legend->size()) title.legend = &(*state.legend)[row];
  if (state.x_scale_values && column < state.x_scale_values->size()) {
    title.x_label = &(*state.x_scale_values)[column];
  }
  return title;
}

void DrawBar(GraphOutput& out, double height_px, std::string_view color, const BarTitle& title) {
  if (height_px <= 0) return;
  out << "<table height='" << Num{height_px}
      << "' cellspacing=0 cellpadding=0 border=0 width='100%' >"
      << "<tr><td width='100%' bgcolor='" << color << "' style='background-color:" << color
      << ";border:1px solid " << color << ";' title=\"";
  if (title.legend) {
    out.AppendQuotedAttribute(*title.legend, false);
    out << ": ";
  }
  AppendCellText(out, *title.cell);
  if (title.percent) out << "%";
  if (title.x_label) {
    out << ", ";
    out.AppendQuotedAttribute(*title.x_label, true);
  }
  // The closing div has no opening tag; pages have always received it.
  out << "\"><font style='font-size:1px;'>&nbsp;</font></div>"
      << "</td></tr></table>";
}

void DrawHLines(GraphOutput& out, const GraphState& state, double height,
                std::string_view color, double step, bool at_top) {
  if (!(height > 0 && step > 0 && height / step <= 100)) return;
  std::string_view line = color == state.h_line_color ? "dotted" : "solid";
  std::string_view side = at_top ? "top" : "bottom";
  if (height < 3) {
    if (height > 1) {
      out << "<div style='font-size:1px;border-" << side << ":1px " << line << " " << color
          << ";'>&nbsp;</div>";
    } else {
      out << "<div style='font-size:1px;'>&nbsp;</div>";
    }
    return;
  }
  out << "<table height='" << Num{height} << "' cellspacing=0 cellpadding=0 border='"
      << "0" << "' width='100%' >";
  // Only whole steps get a line cell: a height that is no multiple of the
  // step loses its last, partial step.
  double k = 0;
  while (k < height) k += step;
  if (k > height) height -= step;
  for (k = 0; k < height; k += step) {
    out << "<tr><td title='" << Num{height} << "' width='100%' height='" << Num{step}
        << "' style='font-size:1px;border-" << side << ":1px " << line << " " << color
        << ";'>" << "&nbsp;" << "</td></tr>";
  }
  out << "</table>";
}

void DrawScaleLabels(GraphOutput& out, const GraphState& state, double height_px,
                     double step_px, bool negative) {
  if (height_px < 1 || step_px < 1 || height_px / step_px > 100) return;
  out << "<table height='" << Num{height_px}
      << "' cellspacing=0 cellpadding=0 border=0 width='100%' >";
  const double scale_size = state.scale_size;
  // Above the axis the top value sits in the header row, so the first
  // number here is the one a step below it.
  double label = negative ? scale_size
                          : RoundEven(height_px / step_px * scale_size) - scale_size;
  double limit = height_px;
  double k = 0;
  while (k < height_px) k += step_px;
  if (k > height_px) limit = height_px - step_px;
  for (k = 0; k < limit; k += step_px) {
    out << "<tr><td align=right valign=bottom width='100%' height='" << Num{step_px}
        << "'><font face='arial,helvetica' size='-3' color='" << state.scale_color << "'><i>";
    if (negative) out << "-";
    out << Num{label};
    if (state.relative) out << "%";
    out << "</i></font></td></tr>";
    label += negative ? scale_size : -scale_size;
  }
  out << "</table>";
}

}  // namespace fennick::graph
