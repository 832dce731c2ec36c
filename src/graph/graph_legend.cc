// The legend cell: swatches, legend texts and one-column shares.
#include "graph/graph_legend.h"

#include <string>

namespace fennick::graph {

void WriteLegendCell(GraphOutput& out, const GraphView& g) {
  const GraphState& s = g.state;
  const std::vector<std::string>& legend = *s.legend;
  double total = 0;
  for (size_t row = 0; row < g.data.rows; ++row) total += g.data.At(row, 0).value;

  out << "<td rowspan=3 valign=top>&nbsp;<table cellpadding=1 border=0 ";
  if (s.add_scale) out << " style='border: 1px solid " << s.v_line_color << "' ";
  out << ">";
  for (size_t i = 0; i < legend.size(); ++i) {
    std::string_view color = RowColor(s, i);
    out << "<tr><td>&nbsp;</td><td><span style='font-size:8pt;background-color:" << color
        << ";border:1px solid " << s.scale_color
        << ";'><span style='font-size:8pt;border:1px solid " << color
        << ";height:99%;'>&nbsp;&nbsp;&nbsp;&nbsp;</span></span></td>"
        << "<td><font face='arial,helvetica' size='-3' color='" << s.scale_color << "'>"
        << legend[i];
    // An entry beyond the last row has no value to show.
    if (g.data.columns == 1 && i < g.data.rows) {
      const GraphCell& cell = g.data.At(i, 0);
      out << " <i>(";
      AppendCellText(out, cell);
      if (s.relative) {
        out << "%";
      } else if (total != 0) {
        out << " - " << Num{RoundEven(cell.value / total * 100 * 100) / 100} << "%";
      }
      // A column totalling 0 has no shares: the values alone are shown.
      out << ")</i>";
    }
    out << "</font></td></tr>";
  }
  out << "</table></td>";
}

}  // namespace fennick::graph
