// DataGrid::Display: opens the grid's recordset (every row, or the one page
// shown when the database pages: grid/query/database_paging.h) and writes
// the whole grid to the page: the form, the tool bar, the
// navigation and filter bars, the table (tabular or columnar, paged in
// memory or laid out as print pages), the filter and sort summary and the
// hidden state fields.
#include <algorithm>
#include <string>

#include "base/ascii.h"
#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "frame/argument_codec.h"
#include "frame/error_reference.h"
#include "frame/field_types.h"
#include "frame/module_state.h"
#include "frame/text_routines.h"
#include "grid/export_dispatch.h"
#include "grid/render/display.h"
#include "grid/render/export_buttons.h"
#include "grid/render/field_index.h"
#include "grid/render/filter_bar.h"
#include "grid/render/grid_graph.h"
#include "grid/render/grid_render.h"
#include "grid/render/grid_summary.h"
#include "grid/render/grid_table.h"
#include "grid/render/master_details.h"
#include "grid/render/navigation_bar.h"
#include "grid/state/request_state.h"
#include "grid/state/state_fields.h"
#include "platform/web/http_text.h"

namespace fennick {

// Reads the result's columns when the query builder has not already.
void AnalyseColumns(GridObject& g) {
  Recordset& rs = *g.result.recordset;
  if (g.result.columns.size() == rs.FieldCount()) {
    // Columns read from the filter's zero-row describe query can lack the
    // types only rows give (an expression's on SQLite); the rows' types
    // decide how the cells are written and which columns the footers add.
    for (size_t i = 0; i < rs.FieldCount(); ++i) {
      GridColumn& c = g.result.columns[i];
      const int32_t type = rs.Fields(i).Type();
      if (type == c.ado_type) continue;
      c.ado_type = type;
      c.type_class = ClassifyFieldType(std::to_string(type), 1);
    }
    return;
  }
  ReadColumns(rs, g.page->command, g.req.database_type, g.result.columns);
}

// Whether the report designer's list of shown fields, when it set one,
// holds the column.
bool IsShownField(const GridPageState& page, const GridColumn& column) {
  return page.shown_fields.empty() || FieldListNames(page.shown_fields, column);
}

void PrepareRender(GridRender& r) {
  GridObject& g = r.g;
  GridPageState& p = *g.page;
  r.paging = p.page_results;
  r.filtering = p.can_filter;
  r.export_area = g.designer.export_buttons;
  r.columnar = p.is_columnar;
  r.sort_links = p.header_sort_links;
  if (g.req.print_view) {
    r.paging = r.filtering = r.export_area = r.sort_links = false;
  }
  if (p.alt_item_style.empty()) p.alt_item_style = p.item_style;
  if (p.alt_item_class.empty()) p.alt_item_class = p.item_class;
}

void OpenGridForm(const GridObject& g, std::string& out) {
  out.append(kPostBackScript);
  if (g.designer.writes_own_form) {
    out.append("<form name=FNKQuillon method=post action=\"");
    out.append(HtmlAttributeEscape(g.host.page_url));
    out.append("\">");
  }
}

void WriteToolBar(GridRender& r) {
  GridObject& g = r.g;
  const GridPageState& p = *g.page;
  r.out.append("<div class=filterButtons><table border=0 width=\"");
  r.out.append(HtmlAttributeEscape(p.grid_width));
  r.out.append("\"><tr");
  r.out.append(p.footer_class);
  r.out.append(p.footer_style);
  r.out.append("><td class=leftCell>");
  if (!g.req.print_view) {
    r.out.append(MakeLink(g.settings.Text("printtext"), g.settings.Text("printtitle"),
                          PostBackHref("5"), p.paging_link_class, p.paging_link_style, "",
                          CurrentModuleState().images_url));
  }
  if (p.master_mode) WriteDetailsToolLinks(r);
  r.out.append("</td>");
  if (r.filtering && p.use_popup_filters) {
    r.out.append("<td  align=center width='99%' class=middleCell>");
    WritePopupFilterButton(g, r.out);
    r.out.append("</td>");
  }
  if (r.export_area && !r.columnar) {
    r.out.append("<td align=right nowrap class=rightCell><div class=export>");
    WriteExportButtons(r, r.out);
    r.out.append("</div></td>");
  }
  r.out.append("</tr></table></div>");
}

// The box that stands in place of the table when the rows could not be
// read.
void WriteFetchError(const Error& e, std::string& out) {
  out.append("<div style='color:red;'><b>Error #:</b> ");
  out.append(std::to_string(e.number()));
  out.append("<br>");
  out.append(HtmlEncode(DatabaseErrorForPage(e.description())));
  out.append("</div>");
}

void DrawInOneBuffer(GridObject& g, void (*draw)(GridObject& g, double& step, std::string& out)) {
  double step = 1;
  // The grid is drawn into one buffer and handed to the page in a few large
  // writes. When an error escapes half way, what was drawn so far still
  // goes to the page ahead of the error, as it would had every fragment
  // been written as it came.
  std::string out;
  try {
    draw(g, step, out);
  } catch (const std::exception&) {
    WriteToPage(out);
    throw;
  }
  WriteToPage(out);
}

bool WriteWithoutRows(GridObject& g, double& step, std::string& out) {
  if (g.result.fetch_error) {
    // The statement ran but its rows could not be read: the error box
    // and no table.
    step = 5;
    WriteFetchError(*g.result.fetch_error, out);
    g.result.fetch_error.reset();
    return true;
  }
  if (!g.result.recordset->Eof()) return false;
  out.append("No records returned!");
  if (g.designer.filter_text_when_empty && !g.designer.designer_filter_text.empty()) {
    out.append("<div class=filters>");
    out.append(g.designer.designer_filter_text);
    out.append("</div>");
  }
  g.result.recordset.reset();
  return true;
}

bool WriteEmptyResult(GridRender& r, double& step) {
  GridObject& g = r.g;
  // Only a result without rows keeps the bars, not one whose rows failed.
  const bool keep = g.settings.keep_bars_when_empty && !g.result.fetch_error && !g.req.print_view;
  if (!WriteWithoutRows(g, step, r.out)) return false;
  if (!keep) return true;
  // The text stays first; under it what lets the user out of the empty
  // result: the filter bar to change the filter, the Reset link to drop
  // it, and the state a post of either carries.
  const GridPageState& p = *g.page;
  if (r.filtering && !p.use_popup_filters) WriteFilterBar(g, r.out);
  r.out.append("<table cellpadding=4 width=\"");
  r.out.append(HtmlAttributeEscape(p.grid_width));
  r.out.append("\"><tr");
  r.out.append(p.footer_class);
  r.out.append(p.footer_style);
  r.out.append("><td width=\"99%\">");
  if (r.filtering && p.use_popup_filters) WritePopupFilterButton(g, r.out);
  r.out.append("&nbsp;</td><td nowrap>&nbsp;");
  r.out.append(MakeLink(g.settings.Text("resettext"), g.settings.Text("resettitle"),
                        PostBackHref("3start:1;"), p.paging_link_class, p.paging_link_style, "",
                        CurrentModuleState().images_url));
  r.out.append("&nbsp;</td></tr></table>");
  WriteToPage(r.out);
  r.out.clear();
  WriteStateFields(g);
  WriteFilterSummary(r);
  if (g.designer.writes_own_form) r.out.append("</form>");
  return true;
}

void CutPrintedRows(GridRender& r) {
  const int32_t cap = CurrentModuleState().max_print_rows;
  if (!r.g.req.print_view || cap <= 0 || r.last_row < cap) return;
  r.last_row = cap - 1;
  r.print_cut = true;
}

void WritePrintCutNote(GridRender& r) {
  if (!r.print_cut) return;
  r.out.append("<div class=printLimit style=\"color:red;\">The print view shows the first ");
  r.out.append(std::to_string(r.last_row + 1));
  r.out.append(" rows only. Use an export (Excel, CSV, XML, Text) to get every row.</div>");
}

namespace {

void OpenTableWithHeader(GridRender& r) {
  OpenGridTable(*r.g.page, !r.columnar, r.out);
  if (!r.columnar) WriteHeaderRow(r);
}

void WriteRange(GridRender& r, int64_t first, int64_t last) {
  if (r.columnar) {
    WriteColumnarRecords(r, first, last);
  } else {
    WriteRows(r, first, last);
  }
}

// The print view: the rows cut into pages of PageSize rows, each with the
// page's header and footer and a page break between pages.
void WritePrintPages(GridRender& r) {
  const GridObject& g = r.g;
  const GridPageState& p = *g.page;
  WritePrintCutNote(r);
  const int64_t rows = r.last_row + 1;
  const int64_t size = p.page_size > 0 ? p.page_size : rows;
  const int64_t pages = std::max<int64_t>(1, (rows + size - 1) / size);
  for (int64_t page = 1; page <= pages; ++page) {
    auto expand = [&](std::string text) {
      ReplaceAll(text, "@ReportTitle", g.settings.title);
      ReplaceAll(text, "@CurrentPage", std::to_string(page));
      ReplaceAll(text, "@NumOfPages", std::to_string(pages));
      ReplaceAll(text, "@NumOfRecs", std::to_string(rows));
      return text;
    };
    // Each page's header stands above its table, so every printed page
    // starts with it.
    r.out.append(expand(p.print_header));
    OpenTableWithHeader(r);
    WriteRange(r, (page - 1) * size, std::min(page * size - 1, r.last_row));
    CloseGridTable(r.out);
    if (g.settings.graph_type > 0 && g.req.page_graph) {
      DrawGraph(r, (page - 1) * size, std::min(page * size - 1, r.last_row), false);
    }
    r.out.append(expand(p.print_footer));
    if (page < pages || g.designer.page_break_after_report)
      r.out.append("<div style=\"page-break-after:always;\">&nbsp;</div>");
  }
}

void BindInto(GridObject& g, double& step, std::string& out);

}  // namespace

void FinishGrid(GridRender& r, int64_t first, int64_t last_item, int64_t page_first_record,
                int64_t page_last_record, double& step) {
  GridObject& g = r.g;
  WriteNavigationBar(g, first, g.page->page_size, last_item, r.paging, true, r.out);
  WriteToPage(r.out);
  r.out.clear();
  WriteStateFields(g);
  WriteFilterSummary(r);
  // The summary area stands after the filter summary, inside the form.
  WriteGridSummaryBox(r);
  if (g.designer.writes_own_form) r.out.append("</form>");

  step = 14;
  // The graph stands below the whole grid, after its form: its paging
  // link posts the form by name, so it needs no place inside it.
  if (g.settings.graph_type > 0 && !(g.req.print_view && g.req.page_graph)) {
    if (g.req.page_graph && r.paging) {
      DrawGraph(r, page_first_record, page_last_record, true);
    } else {
      DrawGraph(r, 0, r.last_row, true);
    }
  }
}

namespace {

void Bind(GridObject& g) { DrawInOneBuffer(g, BindInto); }

void BindInto(GridObject& g, double& step, std::string& out) {
  RunTraced("Bind", step, [&] {
    GridPageState& p = *g.page;
    out.reserve(64 * 1024);
    GridRender r(g, out);
    PrepareRender(r);

    step = 2;
    if (g.result.recordset) AnalyseColumns(g);
    CheckPageTotals(g);
    for (const GridColumn& c : g.result.columns) {
      r.captions.push_back(ColumnCaptionOf(p, c));
      r.hidden.push_back(IsHiddenColumn(p, c) || !IsShownField(p, c));
    }

    step = 3;
    OpenGridForm(g, out);

    step = 4;
    if (WriteEmptyResult(r, step)) {
      WriteToPage(out);
      out.clear();
      return;
    }

    step = 5;
    r.rows = std::move(g.result.recordset);
    if (g.result.paged) {
      // One page read from the database: rows are still numbered in the
      // whole result, which the count gave.
      r.row_offset = g.result.page_offset;
      r.last_row = g.result.row_count - 1;
    } else {
      r.last_row = static_cast<int64_t>(r.rows->RecordCount()) - 1;
      CutPrintedRows(r);
    }

    step = 6;
    if (r.paging) {
      p.start_rec = PageStart(p.start_rec, r.last_row + 1, p.page_size);
    } else {
      p.start_rec = CorrectedStart(p.start_rec, r.last_row + 1, p.page_size);
    }

    step = 7;
    if (g.settings.graph_only) {
      DrawGraph(r, 0, r.last_row, true);
      if (g.designer.writes_own_form) out.append("</form>");
      WriteToPage(out);
      out.clear();
      return;
    }

    step = 8;
    WriteToolBar(r);

    step = 9;
    const int64_t first = p.start_rec - 1;
    if (p.add_top_navigation_bar && !g.req.print_view) {
      WriteNavigationBar(g, first, p.page_size, r.last_row, r.paging, false, out);
    }

    step = 10;
    if (r.filtering && !p.use_popup_filters) WriteFilterBar(g, out);

    step = 11;
    if (!g.req.print_view) OpenTableWithHeader(r);

    step = 12;
    if (g.req.print_view) {
      WritePrintPages(r);
    } else if (!r.paging) {
      WriteRange(r, 0, r.last_row);
    } else {
      WriteRange(r, first, std::min(first + p.page_size - 1, r.last_row));
    }

    step = 13;
    if (!g.req.print_view) CloseGridTable(out);
    FinishGrid(r, first, r.last_row, first, std::min(first + p.page_size - 1, r.last_row),
               step);
    WriteToPage(out);
    out.clear();
  });
}

}  // namespace

void DataGrid::Display() {
  GridObject& g = *g_;
  double step = 1;
  RunTraced("Display", step, [&] {
    // An export requested by the postback ends the page here, with every
    // property the page set before Display.
    RunArmedGridExport(*this);
    NormaliseFormatLists(*g.page);
    step = 2;
    if (!g.page->connection) {
      ShowError("Your Database Connection must be set before calling .Display() method");
      return;
    }
    step = 3;
    BoundRequestedPageSize(*g.page);
    if (g.page->page_size <= 0) {
      g.page->page_size = 0;
      g.page->page_results = false;
    }
    step = 4;
    if (g.page->can_filter && g.page->use_popup_filters) {
      std::string script;
      WritePopupFilterScript(g, script);
      WriteToPage(script);
    }
    step = 5;
    if (!g.result.recordset) OpenRecordset();
    // Without rows the reason is already on the page, unless the rows
    // failed while being read, which Bind reports in place of the table.
    if (!g.result.recordset && !g.result.fetch_error) return;
    step = 6;
    if (g.page->master_mode) {
      BindMasterDetails(g);
    } else {
      Bind(g);
    }
    step = 7;
    const std::string& back = g.req.return_report;
    if (!back.empty()) {
      std::string out = "<div align=center><a ";
      out.append(g.page->paging_link_class);
      out.append(" href=\"");
      out.append(HtmlAttributeEscape(g.host.page_url));
      out.append("?rid=");
      out.append(UrlEncodeAsp(back));
      out.append("\">Return</a></div><input type=hidden name=rurl1 value=\"");
      out.append(HtmlAttributeEscape(back));
      out.append("\">");
      WriteToPage(out);
    }
  });
}

}  // namespace fennick
