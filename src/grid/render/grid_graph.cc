// DataGrid's bar graph: the grid's numeric columns over a range of its
// result, drawn by SimpleGraph, with the link that switches the graph
// between the current page's rows and all rows.
#include "grid/render/grid_graph.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "base/ascii.h"
#include "fennick/simple_graph.h"
#include "frame/host.h"
#include "frame/module_state.h"
#include "frame/text_routines.h"
#include "grid/grid_object.h"
#include "grid/render/data_markup.h"
#include "grid/render/field_index.h"
#include "grid/render/grid_render.h"
#include "grid/render/grid_table.h"

namespace fennick {
namespace {

constexpr std::string_view kRowsNotAdded =
    "<font color=navy><b>Rows not added!</b><br>You must first add rows to the graph before "
    "create graphs.</font><br>";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The number at the start of a cell's text: blanks are skipped, "." is the
// decimal point, and reading stops at the first character that cannot
// continue the number; no leading number gives 0. The value never depends
// on the locale.
double LeadingNumber(std::string_view text) {
  std::string digits;
  size_t i = 0;
  auto skip = [&] {
    while (i < text.size() && IsBlank(text[i])) ++i;
  };
  skip();
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) digits.push_back(text[i++]);
  bool point = false;
  bool any = false;
  for (;; ++i) {
    skip();
    if (i >= text.size()) break;
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits.push_back(c);
      any = true;
    } else if (c == '.' && !point) {
      digits.push_back(c);
      point = true;
    } else {
      break;
    }
  }
  if (!any) return 0;
  // Exponent, only when complete ("1e5"; "1e" stays 1).
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    std::string exponent = "e";
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent.push_back(text[j++]);
    size_t start = j;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9') exponent.push_back(text[j++]);
    if (j > start) digits.append(exponent);
  }
  // Parse without the C locale's decimal point: integer and fraction by hand
  // for plain numbers, exponent applied after.
  double value = 0;
  double scale = 1;
  bool negative = false;
  bool fraction = false;
  size_t k = 0;
  if (k < digits.size() && (digits[k] == '+' || digits[k] == '-')) negative = digits[k++] == '-';
  for (; k < digits.size() && digits[k] != 'e'; ++k) {
    if (digits[k] == '.') {
      fraction = true;
      continue;
    }
    const int d = digits[k] - '0';
    if (fraction) {
      scale /= 10;
      value += d * scale;
    } else {
      value = value * 10 + d;
    }
  }
  if (k < digits.size()) {
    int e = 0;
    bool e_negative = false;
    ++k;
    if (k < digits.size() && (digits[k] == '+' || digits[k] == '-')) e_negative = digits[k++] == '-';
    for (; k < digits.size() && e < 400; ++k) e = e * 10 + (digits[k] - '0');
    for (int n = 0; n < e; ++n) value = e_negative ? value / 10 : value * 10;
  }
  return negative ? -value : value;
}

bool IsIntegerText(std::string_view text) {
  text = TrimBlanks(text);
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  if (text.empty()) return false;
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string CellText(const GridRender& r, int64_t row, int column) {
  Recordset& rows = *r.rows;
  rows.AbsolutePosition(static_cast<int32_t>(r.Fetched(row) + 1));
  const Variant v = rows.Fields(static_cast<size_t>(column)).Value();
  if (v.IsNull() || v.IsEmpty()) return {};
  return v.AsString();
}

}  // namespace

void DrawGraph(GridRender& r, int64_t first, int64_t last, bool page_break) {
  GridObject& g = r.g;
  double step = 0;
  RunTraced("DrawGraph", step, [&] {
    if (g.settings.graph_type == 0) return;
    const std::vector<GridColumn>& columns = g.result.columns;

    step = 1;
    int legend = -1;
    if (IsIntegerText(g.settings.graph_legend_column)) {
      legend = std::stoi(std::string(TrimBlanks(g.settings.graph_legend_column)));
    } else {
      legend = FieldIndex(columns, g.settings.graph_legend_column);
    }
    const bool legend_valid = legend >= 0 && static_cast<size_t>(legend) < columns.size();

    step = 2;
    std::vector<int> graphed;
    for (size_t i = 0; i < columns.size(); ++i) {
      if (!g.settings.graph_fields.empty()) {
        const std::string name = AsciiUpper(columns[i].name);
        const std::string fields = AsciiUpper(g.settings.graph_fields);
        if (fields.find("," + name + ",") == std::string::npos &&
            fields.find("." + name + ",") == std::string::npos) {
          continue;
        }
      }
      if (static_cast<int>(i) == legend) continue;
      if (columns[i].type_class == TypeClass::kNumber ||
          columns[i].type_class == TypeClass::kMoney) {
        graphed.push_back(static_cast<int>(i));
      }
    }

    step = 3;
    if (graphed.empty()) {
      r.out.append(kRowsNotAdded);
      return;
    }

    step = 4;
    g.result.graph_columns = graphed;
    step = 5;
    SimpleGraph graph;

    step = 6;
    if (last < first) last = first;
    last = std::min(last, r.last_row);
    std::vector<std::string> captions(graphed.size());
    std::vector<double> values(graphed.size());
    const bool data_is_markup = g.page->allow_html_in_data;
    for (int64_t row = first; row <= last; ++row) {
      std::string label = legend_valid ? CellText(r, row, legend) : std::string();
      if (!data_is_markup && !label.empty()) {
        // The legend shows the value as text and in its title attribute.
        std::string encoded;
        AppendHtmlText(label, encoded);
        label.swap(encoded);
      }
      step = 7;
      for (size_t k = 0; k < graphed.size(); ++k) {
        values[k] = LeadingNumber(CellText(r, row, graphed[k]));
        if (row == first) {
          const size_t c = static_cast<size_t>(graphed[k]);
          captions[k] = c < r.captions.size() ? r.captions[c] : columns[c].name;
          if (!data_is_markup && captions[k] == columns[c].name) {
            // A caption the page did not write is the result's column name.
            std::string encoded;
            AppendHtmlText(captions[k], encoded);
            captions[k].swap(encoded);
          }
        }
      }
      step = 8;
      if (!label.empty()) {
        graph.AddRowData(label, std::span<const double>(values));
      } else {
        graph.AddRow(std::span<const double>(values));
      }
      step = 6;
    }

    step = 9;
    if (graphed.size() > 1) graph.XScaleValues(captions);
    graph.xALign("center");
    graph.TitleClassName("graph_title");
    graph.xLabelClassName("xlabel");
    graph.yLabelClassName("ylabel");
    graph.Title(g.settings.graph_title);
    graph.yLabel(g.settings.graph_y_label);
    graph.xLabel(g.settings.graph_x_label);

    step = 10;
    if (g.settings.graph_type == 2) graph.Stacked(true);
    if (g.settings.graph_type == 3) graph.Relative(true);

    step = 11;
    if (!g.req.print_view && (!g.req.page_graph || last < r.last_row)) {
      const GridPageState& p = *g.page;
      const bool on = g.req.page_graph;
      r.out.append(MakeLink(g.settings.Text(on ? "removegraphpagingtext" : "graphpagingtext"),
                            g.settings.Text(on ? "removegraphpagingtitle" : "graphpagingtitle"),
                            PostBackHref(on ? "8" : "9"), p.paging_link_class, p.paging_link_style,
                            "", CurrentModuleState().images_url));
    }
    r.out.append(graph.GetGraph());

    step = 12;
    if (page_break) r.out.append("<div style='page-break-after:always;'></div>");
  });
}

}  // namespace fennick
