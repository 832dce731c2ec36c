// The grid's table: its opening tag, the header row with sort links and
// icons, the rows in the tabular and the columnar layout, and the filter
// and sort summary written below it.
#include "grid/render/grid_table.h"

#include <string>

#include "frame/argument_codec.h"
#include "frame/module_state.h"
#include "frame/text_routines.h"
#include "grid/render/grid_render.h"
#include "grid/render/grid_summary.h"
#include "platform/web/http_text.h"

namespace fennick {

const char* CellClass(TypeClass type_class) {
  switch (type_class) {
    case TypeClass::kNumber:
      return "number";
    case TypeClass::kMoney:
      return "money";
    case TypeClass::kDate:
      return "date";
    case TypeClass::kBoolean:
      return "boolean";
    default:
      return "text";
  }
}

void AppendCellValue(GridRender& r, size_t column, int64_t row) {
  if (r.g.result.columns[column].type_class == TypeClass::kBinary) {
    // An empty binary field has nothing to link to: the cell stays empty
    // instead of showing a broken image.
    if (!FetchedRow(*r.rows, r.Fetched(row)).Value(column).IsNull()) {
      WriteBinaryCell(r.g, column, row, r.out);
    }
  } else {
    WriteCell(r.g, FetchedRow(*r.rows, r.Fetched(row)), column, row, r.out);
  }
}

namespace {

void AppendNumber(int64_t number, std::string& out) { out.append(std::to_string(number)); }

// Items of an order list ("3,1 desc") as column numbers and directions.
struct OrderItem {
  size_t column = 0;
  bool descending = false;
};

std::vector<OrderItem> ParseOrderList(std::string_view list) {
  std::vector<OrderItem> items;
  while (!list.empty()) {
    size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    OrderItem o;
    size_t i = 0;
    while (i < item.size() && item[i] == ' ') ++i;
    size_t digits = i;
    while (i < item.size() && item[i] >= '0' && item[i] <= '9') {
      o.column = o.column * 10 + static_cast<size_t>(item[i] - '0');
      if (o.column > 1000000) break;
      ++i;
    }
    if (i == digits) continue;
    o.descending = AsciiLower(item.substr(i)).find("desc") != std::string::npos;
    items.push_back(o);
  }
  return items;
}

}  // namespace

std::string PostBackHref(std::string_view argument) {
  std::string href = "javascript:__doPostBack('";
  href.append(EncodeArgument(argument));
  href.append("')");
  return href;
}

void OpenGridTable(const GridPageState& page, bool with_class, std::string& out) {
  out.append("<table width=\"");
  out.append(HtmlAttributeEscape(page.grid_width));
  out.append("\" border=\"");
  out.append(std::to_string(page.border));
  out.append("\" cellpadding=\"");
  out.append(std::to_string(page.cell_padding));
  out.append("\" cellspacing=\"");
  out.append(std::to_string(page.cell_spacing));
  out.append("\"");
  out.append(page.grid_align);
  if (with_class) {
    out.append(page.grid_class);
    out.append(page.grid_style);
  }
  out.append(">");
}

void CloseGridTable(std::string& out) { out.append("</table>"); }

void WriteHeaderRow(GridRender& r) {
  const GridPageState& p = *r.g.page;
  r.out.append("<tr ");
  r.out.append(p.header_class);
  r.out.append(p.header_style);
  r.out.append(">");
  if (p.add_row_numbers) {
    r.out.append("<th>");
    WriteHeaderCell(r, r.g.settings.Text("refreshtext"), 0);
    r.out.append("</th>");
  }
  for (size_t i = 0; i < r.g.result.columns.size(); ++i) {
    if (r.hidden[i]) continue;
    r.out.append("<th>");
    if (r.g.result.columns[i].type_class == TypeClass::kBinary) {
      r.out.append("<span");
      r.out.append(p.header_link_class);
      r.out.append(p.header_text_style);
      r.out.append(">");
      r.out.append(r.captions[i]);
      r.out.append("</span>");
    } else {
      WriteHeaderCell(r, r.captions[i], i + 1);
    }
    r.out.append("</th>");
  }
  WriteGridRowCellHeaders(r);
  r.out.append("</tr>");
}

void WriteHeaderCell(GridRender& r, std::string_view caption, size_t column_number) {
  const GridObject& g = r.g;
  const GridPageState& p = *g.page;
  const std::string& order = g.req.order_list;
  std::string argument;
  std::string icon;
  std::string title;
  if (column_number == 0) {
    argument = "3start:1;";
    title = g.settings.Text("refreshtitle");
  } else {
    const std::string number = std::to_string(column_number);
    argument = "1sort:" + number + ";lastsort:" + order + ";";
    const std::string listed = "," + AsciiLower(order) + ",";
    if (("," + AsciiLower(order)).find("," + number + " desc") != std::string::npos) {
      icon = g.settings.Text("sortcoldesctext");
      title = g.settings.Text("sortcolasctitle");
    } else if (listed.find("," + number + ",") != std::string::npos) {
      icon = g.settings.Text("sortcolasctext");
      title = g.settings.Text("sortcoldesctitle");
    } else {
      title = g.settings.Text("sortcolasctitle");
    }
  }
  std::string text(caption);
  if (!p.header_text_style.empty()) {
    text = "<font" + p.header_text_style + ">" + text + "</font>";
    if (!icon.empty()) icon = "<font" + p.header_text_style + ">" + icon + "</font>";
  }
  const std::string& images = CurrentModuleState().images_url;
  if (r.sort_links) {
    r.out.append(MakeLink(text, title, PostBackHref(argument + "rsort:0;"), p.header_link_class,
                          p.header_link_style, "", images));
    if (!icon.empty()) {
      r.out.append("&nbsp;");
      r.out.append(MakeLink(icon, g.settings.Text("removesorttitle"),
                            PostBackHref(argument + "rsort:1;"), p.header_link_class,
                            p.header_link_style, "", images));
    }
  } else {
    r.out.append("<a");
    r.out.append(p.header_link_class);
    r.out.append(p.header_link_style);
    r.out.append(">");
    r.out.append(text);
    r.out.append("</a>");
  }
}

void WriteRows(GridRender& r, int64_t first, int64_t last) {
  const GridPageState& p = *r.g.page;
  if (last > r.last_row) last = r.last_row;
  const bool row_cells = HasRowCells(r);
  for (int64_t row = first < 0 ? 0 : first; row <= last; ++row) {
    const bool odd = row % 2 == 1;
    r.out.append("<tr");
    r.out.append(odd ? p.alt_item_class : p.item_class);
    r.out.append(odd ? p.alt_item_style : p.item_style);
    r.out.append(">");
    if (p.add_row_numbers) {
      r.out.append("<td nowrap width=1>");
      AppendNumber(row + 1, r.out);
      r.out.append("</td>");
    }
    for (size_t c = 0; c < r.g.result.columns.size(); ++c) {
      if (r.hidden[c]) continue;
      r.out.append("<td class=\"");
      r.out.append(CellClass(r.g.result.columns[c].type_class));
      r.out.append("\">");
      AppendCellValue(r, c, row);
      r.out.append("</td>");
    }
    if (row_cells) WriteGridRowCells(r, row, row);
    r.out.append("</tr>");
  }
  WriteGridFooters(r, first, last);
}

void WriteColumnarRecords(GridRender& r, int64_t first, int64_t last) {
  if (last > r.last_row) last = r.last_row;
  for (int64_t row = first < 0 ? 0 : first; row <= last; ++row) {
    for (size_t c = 0; c < r.g.result.columns.size(); ++c) {
      if (!r.hidden[c]) WriteColumnarCell(r, c, row);
    }
    r.out.append("<tr><td colspan=3>&nbsp;</td></tr>");
  }
}

void WriteColumnarCell(GridRender& r, size_t column, int64_t row) {
  const GridPageState& p = *r.g.page;
  r.out.append("<tr><td valign=top ");
  r.out.append(p.item_class);
  r.out.append(p.item_style);
  r.out.append(">");
  r.out.append(r.captions[column]);
  r.out.append("</td><td ");
  r.out.append(p.alt_item_class);
  r.out.append(p.alt_item_style);
  r.out.append(">");
  AppendCellValue(r, column, row);
  r.out.append("</td></tr>");
}

void WriteFilterSummary(GridRender& r) {
  const GridObject& g = r.g;
  const GridPageState& p = *g.page;
  const std::string& filter = g.req.filter_expression;
  const std::string& order = g.req.order_list;
  auto open_table = [&] {
    r.out.append("<table cellpadding=4 width=\"");
    r.out.append(HtmlAttributeEscape(p.grid_width));
    r.out.append("\">");
  };
  auto open_row = [&] {
    r.out.append("<tr");
    r.out.append(p.footer_class);
    r.out.append(p.footer_style);
    r.out.append("><td");
    r.out.append(p.footer_class);
    r.out.append(p.footer_style);
    r.out.append(">");
  };
  if (g.designer.filter_text_summary && !g.designer.designer_filter_text.empty()) {
    open_table();
    open_row();
    r.out.append("<div class=filters>");
    r.out.append(g.designer.designer_filter_text);
    r.out.append("</div></td></tr></table>");
    return;
  }
  if (filter.empty() && order.empty()) return;
  open_table();
  if (!filter.empty()) {
    open_row();
    r.out.append(g.settings.Text("filterslabeltext"));
    r.out.append(" ");
    r.out.append(HtmlEncode(filter));
    r.out.append("</td></tr>");
  }
  if (!order.empty()) {
    open_row();
    r.out.append(g.settings.Text("sortorderlabeltext"));
    r.out.append(" ");
    bool any = false;
    for (const OrderItem& item : ParseOrderList(order)) {
      if (item.column < 1 || item.column > r.captions.size()) continue;
      if (any) r.out.append(", ");
      any = true;
      r.out.append(r.captions[item.column - 1]);
      if (item.descending) {
        r.out.append(" ");
        r.out.append(g.settings.Text("sortorderdesctext"));
      }
    }
    r.out.append("</td></tr>");
  }
  r.out.append("</table>");
}

}  // namespace fennick
