// The skeleton of the graph: outer table, title row, y label, plot table
// with scale header, bar row, below-axis row and x-scale row, legend and
// x-label row.
#include "graph/graph_render.h"

#include <string_view>

#include "graph/graph_blocks.h"
#include "graph/graph_cells.h"
#include "graph/graph_legend.h"
#include "graph/graph_text.h"
#include "graph/graph_view.h"

namespace fennick::graph {
namespace {

constexpr std::string_view kTinySpace = "<font style='font-size:1px;'>&nbsp;</font>";

void WriteTitleRow(GraphOutput& out, const GraphState& s) {
  out << "<tr>";
  if (!s.y_label.empty()) out << "<td>&nbsp;</td>";
  out << "<th " << s.title_class << "><font " << s.title_class << " color='" << s.scale_color
      << "'>" << s.title << "</font></th><td>&nbsp;</td></tr>";
}

// The y label is written top to bottom, one character per line.
void WriteYLabel(GraphOutput& out, const GraphState& s) {
  out << "<th valign=top " << s.y_label_class << ">&nbsp;<br><font " << s.y_label_class
      << " color='" << s.scale_color << "'>";
  std::string_view label = s.y_label;
  size_t i = 0;
  while (i < label.size()) {
    size_t next = i + 1;
    while (next < label.size() && (static_cast<unsigned char>(label[next]) & 0xC0) == 0x80) {
      ++next;
    }
    out << label.substr(i, next - i) << "<br>";
    i = next;
  }
  out << "</font></th>";
}

void WriteScaleHeader(GraphOutput& out, const GraphView& g) {
  const GraphState& s = g.state;
  // The top label's font and italics are left open; browsers close them
  // with the cell.
  out << "<tr>"
      << "<td align=right valign=bottom><font face='arial,helvetica' size='-3' color='"
      << s.scale_color << "'><i>" << Num{g.scale.top};
  if (s.relative) out << "%";
  out << "</td><td style='font-size:1px;'>&nbsp;</td>"
      << "<th colspan=" << Num{g.scale.cell_count} << ">&nbsp;</th></tr>";
}

void WriteBarRow(GraphOutput& out, const GraphView& g) {
  const GraphState& s = g.state;
  out << "<tr>";
  if (s.add_scale) {
    out << "<td nowrap valign=bottom >";
    DrawScaleLabels(out, s, s.max_bar_height, g.scale.step_px, false);
    out << "</td>"
        << "<td nowrap valign=bottom style='border-bottom:1px solid " << s.scale_color
        << ";' width=5>";
    DrawHLines(out, s, s.max_bar_height, s.scale_color, g.scale.step_px, true);
    out << "</td>";
  }
  for (size_t column = 0; column < g.data.columns; ++column) WriteColumnCell(out, g, column);
  out << "</tr>";
}

void WriteBelowAxisRow(GraphOutput& out, const GraphView& g) {
  const GraphState& s = g.state;
  const bool negative = g.data.min < 0;
  out << "<tr>";
  if (s.add_scale) {
    const double depth = g.scale.negative_depth_px - g.scale.step_px;
    out << "<td nowrap valign=top>";
    if (negative && !s.stacked) {
      DrawScaleLabels(out, s, depth, g.scale.step_px, true);
    } else {
      out << kTinySpace;
    }
    out << "</td><td nowrap valign=top>";
    if (negative && !s.stacked) {
      DrawHLines(out, s, depth, s.scale_color, g.scale.step_px, false);
    } else {
      out << kTinySpace;
    }
    out << "</td>";
  }
  if (negative) {
    for (size_t column = 0; column < g.data.columns; ++column) {
      WriteNegativeCell(out, g, column);
    }
  } else if (s.add_scale) {
    for (size_t column = 0; column < g.data.columns; ++column) WriteTickCell(out, g);
  }
  out << "</tr>";
}

void WriteXScaleRow(GraphOutput& out, const GraphView& g) {
  const GraphState& s = g.state;
  const std::vector<std::string>& labels = *s.x_scale_values;
  out << "<tr><td><font face='arial,helvetica' size='-3'>&nbsp;</font></td>"
      << "<td style='font-size:1px;'>&nbsp;</td>";
  for (size_t column = 0; column < g.data.columns && column < labels.size(); ++column) {
    // The label is written as given: it may carry markup.
    out << "<td valign=top height=1><table cellSpacing=0 cellPadding=0 border=0 width="
        << Num{g.scale.group_width} << ">"
        << "<tr><td width=\"100%\" align='" << s.x_align << "' valign=top >"
        << "<font face='arial,helvetica' size='-3' color='" << s.scale_color << "'>"
        << labels[column] << "</font>"
        << "</td></tr></table></td>";
    if (s.spacing > 0) {
      out << "<td width='" << Num{s.spacing} << "'>" << kTinySpace << "</td>";
    }
  }
  out << "</tr>";
}

void WriteXLabelRow(GraphOutput& out, const GraphState& s) {
  out << "<tr>";
  if (s.add_scale && !s.y_label.empty()) out << "<td height=1 >&nbsp;</td>";
  out << "<th height=1 valign=top " << s.x_label_class << "><font " << s.x_label_class
      << " color='" << s.scale_color << "'>" << s.x_label << "</font></th></tr>";
}

}  // namespace

void RenderGraph(GraphState& state) {
  GraphData data = PrepareData(state);
  GraphScale scale = PrepareScale(state, data);
  const GraphView g{state, data, scale};
  GraphOutput out(state.output);

  out << "<table cellSpacing=0 cellPadding=4 border=0 " << state.bg_color << ">";
  if (!state.title.empty()) WriteTitleRow(out, state);
  out << "<tr>";
  if (!state.y_label.empty()) WriteYLabel(out, state);
  out << "<td valign=top><table cellSpacing=0 cellPadding=0 border=0>";
  if (state.add_scale) WriteScaleHeader(out, g);
  WriteBarRow(out, g);
  WriteBelowAxisRow(out, g);
  if (state.x_scale_values && state.add_scale) WriteXScaleRow(out, g);
  out << "</table></td>";
  if (state.legend) WriteLegendCell(out, g);
  out << "</tr>";
  if (!state.x_label.empty()) WriteXLabelRow(out, state);
  out << "</table>";
}

}  // namespace fennick::graph
