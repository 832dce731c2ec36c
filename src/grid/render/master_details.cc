// The master-details layout of a grid. The result is read once, grouped in
// memory into master rows (runs of records agreeing on the master table's
// columns) and drawn a page of master rows at a time: each master row in
// the grid table, followed, when it is the current master or the user asked
// for all details, by a details table of its records. The columnar layout
// shows every master with its details beside it.
//
// Paging, the record counter, the page-size box and the print pages all
// count master rows. The current master ("curidx") and the show-all switch
// ("showall") come back from the browser; the master columns never do:
// they are worked out from the grid's columns on every request.
#include "grid/render/master_details.h"

#include <algorithm>
#include <string>
#include <utility>

#include "fennick/data.h"
#include "frame/host.h"
#include "frame/text_routines.h"
#include "grid/query/master_columns.h"
#include "grid/render/display.h"
#include "grid/render/filter_bar.h"
#include "grid/render/grid_graph.h"
#include "grid/render/grid_summary.h"
#include "grid/render/grid_table.h"
#include "grid/render/master_groups.h"
#include "grid/render/navigation_bar.h"
#include "grid/state/state_fields.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

constexpr char kNoMasterTable[] =
    "<font color=red><b>Master table not selected<b><br>You must first select a master "
    "table</font>";

// The box for a master table that no column of the result belongs to
// (neither by its name nor by an alias the command gives it).
std::string NoMasterColumnsMessage(std::string_view master_table) {
  return "<font color=red><b>Master table not selected<b><br>No column of the result belongs to "
         "the master table &quot;" +
         HtmlEncode(master_table) + "&quot;</font>";
}

// The argument that makes `group` the current master and collapses the
// others.
std::string CurrentDetailArgument(int64_t group) {
  return "6;curidx:" + std::to_string(group) + ";";
}

// The row class and style of a master row at `position`.
std::string RowAttributes(const GridPageState& p, int64_t position) {
  const bool odd = position % 2 == 1;
  return (odd ? p.alt_item_class : p.item_class) + (odd ? p.alt_item_style : p.item_style);
}

// A link that expands `group`, its text shown in the row's font.
void AppendExpandLink(const MasterDetailsRender& m, int64_t group, const std::string& row_attributes,
                      const std::string& text) {
  const GridPageState& p = *m.r.g.page;
  std::string& out = m.r.out;
  out.append("<a");
  out.append(p.link_class);
  out.append(p.link_style);
  out.append(" href=\"");
  out.append(PostBackHref(CurrentDetailArgument(group)));
  out.append("\"><font");
  out.append(row_attributes);
  out.append(">");
  out.append(text);
  out.append("</font></a>");
}

// Switches the row-number column off while a details table is written (its
// records keep no numbers of their own) and back when it goes.
class RowNumbersOff {
 public:
  explicit RowNumbersOff(GridPageState& page) : page_(page), saved_(page.add_row_numbers) {
    page_.add_row_numbers = false;
  }
  ~RowNumbersOff() { page_.add_row_numbers = saved_; }
  RowNumbersOff(const RowNumbersOff&) = delete;
  RowNumbersOff& operator=(const RowNumbersOff&) = delete;

 private:
  GridPageState& page_;
  bool saved_;
};

// The first and last record of masters first_group..last_group.
std::pair<int64_t, int64_t> RecordRange(const MasterDetailsRender& m, int64_t first_group,
                                        int64_t last_group) {
  return {m.FirstRecord(first_group), m.group_ends[last_group]};
}

// The print view: the masters cut into pages of PageSize masters, each
// with the page's header and footer and a page break between pages.
void WriteMasterPrintPages(MasterDetailsRender& m) {
  GridRender& r = m.r;
  const GridObject& g = r.g;
  const GridPageState& p = *g.page;
  const int64_t groups = m.GroupCount();
  const int64_t size = p.page_size > 0 ? p.page_size : groups;
  const int64_t pages = std::max<int64_t>(1, (groups + size - 1) / size);
  WritePrintCutNote(r);
  for (int64_t page = 1; page <= pages; ++page) {
    auto expand = [&](std::string text) {
      ReplaceAll(text, "@ReportTitle", g.settings.title);
      ReplaceAll(text, "@CurrentPage", std::to_string(page));
      ReplaceAll(text, "@NumOfPages", std::to_string(pages));
      ReplaceAll(text, "@NumOfRecs", std::to_string(groups));
      return text;
    };
    const int64_t first = (page - 1) * size;
    const int64_t last = std::min(page * size - 1, groups - 1);
    r.out.append(expand(p.print_header));
    WriteMasterPage(m, first, last);
    if (g.settings.graph_type > 0 && g.req.page_graph) {
      auto [first_record, last_record] = RecordRange(m, first, last);
      DrawGraph(r, first_record, last_record, false);
    }
    r.out.append(expand(p.print_footer));
    if (page < pages || g.designer.page_break_after_report)
      r.out.append("<div style=\"page-break-after:always;\">&nbsp;</div>");
  }
}

void BindMasterInto(GridObject& g, double& step, std::string& out) {
  RunTraced("Bind", step, [&] {
    GridPageState& p = *g.page;
    if (p.master_table.empty()) {
      g.result.recordset.reset();
      g.result.fetch_error.reset();
      out.append(kNoMasterTable);
      return;
    }
    out.reserve(64 * 1024);
    GridRender r(g, out);
    PrepareRender(r);

    step = 2;
    if (g.result.recordset) AnalyseColumns(g);
    CheckPageTotals(g);
    MasterDetailsRender m(r);
    // Worked out again here as well as by the query builder: a procedure's
    // columns are only known once it ran.
    m.master_columns = MasterColumnIndexes(g.result.columns, p.master_table, p.command);
    p.master_columns = "," + MasterColumns(g.result.columns, p.master_table, p.command) + ",";
    if (m.master_columns.empty() && !g.result.columns.empty()) {
      // Grouping by no column would make the whole result one master row
      // that hides the mistake: the page author is told which name
      // matched nothing.
      g.result.recordset.reset();
      g.result.fetch_error.reset();
      out.append(NoMasterColumnsMessage(p.master_table));
      return;
    }
    std::vector<bool> is_master(g.result.columns.size(), false);
    for (size_t c : m.master_columns) is_master[c] = true;
    for (size_t c = 0; c < g.result.columns.size(); ++c) {
      const GridColumn& column = g.result.columns[c];
      r.captions.push_back(ColumnCaptionOf(p, column));
      const bool hidden = IsHiddenColumn(p, column) || !IsShownField(p, column);
      r.hidden.push_back(hidden);
      m.master_hidden.push_back(hidden || !is_master[c]);
      m.detail_hidden.push_back(hidden || is_master[c]);
    }

    step = 3;
    OpenGridForm(g, out);

    step = 4;
    if (WriteEmptyResult(r, step)) return;

    step = 5;
    r.rows = std::move(g.result.recordset);
    r.last_row = static_cast<int64_t>(r.rows->RecordCount()) - 1;
    CutPrintedRows(r);
    m.group_ends = GroupEnds(*r.rows, r.last_row + 1, m.master_columns);
    const int64_t last_group = m.GroupCount() - 1;

    step = 6;
    // Start, page size and the counter all count master rows.
    p.start_rec = CorrectedStart(p.start_rec, last_group + 1, p.page_size);
    if (r.paging && p.page_size > 0) {
      p.start_rec = (p.start_rec - 1) / p.page_size * p.page_size + 1;
    }
    const int64_t first = p.start_rec - 1;
    const int64_t last = r.paging ? std::min(first + p.page_size - 1, last_group) : last_group;
    // Settled before the tool bar, whose "Collapse Details" link carries
    // the current master; the posted value may name any row at all.
    m.current_detail = g.req.current_detail;
    if (!g.req.print_view) {
      const int64_t page_first = r.paging ? first : 0;
      if (m.current_detail < page_first || m.current_detail > last) m.current_detail = page_first;
      g.req.current_detail = m.current_detail;
    }

    step = 7;
    if (g.settings.graph_only) {
      DrawGraph(r, 0, r.last_row, true);
      if (g.designer.writes_own_form) out.append("</form>");
      return;
    }

    step = 8;
    WriteToolBar(r);

    step = 9;
    if (p.add_top_navigation_bar && !g.req.print_view) {
      WriteNavigationBar(g, first, p.page_size, last_group, r.paging, false, out);
    }

    step = 10;
    if (r.filtering && !p.use_popup_filters) WriteFilterBar(g, out);

    step = 12;
    if (g.req.print_view) {
      WriteMasterPrintPages(m);
    } else {
      WriteMasterPage(m, r.paging ? first : 0, last);
    }

    step = 13;
    // A page-following graph shows the records of the page's masters.
    std::pair<int64_t, int64_t> page_records(0, r.last_row);
    if (r.paging) page_records = RecordRange(m, first, last);
    FinishGrid(r, first, last_group, page_records.first, page_records.second, step);
  });
}

}  // namespace

void BindMasterDetails(GridObject& g) { DrawInOneBuffer(g, BindMasterInto); }

void WriteDetailsToolLinks(GridRender& r) {
  const GridObject& g = r.g;
  if (g.req.print_view || r.columnar) return;
  const GridPageState& p = *g.page;
  if (g.req.show_all_details) {
    r.out.append("&nbsp;&nbsp;<a");
    r.out.append(p.paging_link_class);
    r.out.append(" href=\"");
    r.out.append(PostBackHref(CurrentDetailArgument(g.req.current_detail)));
    r.out.append("\" >Collapse Details</a>");
  } else {
    r.out.append("&nbsp;&#183;&nbsp;<a");
    r.out.append(p.paging_link_class);
    r.out.append(" href=\"");
    r.out.append(PostBackHref("7"));
    r.out.append("\" >Show all Details</a>");
  }
}

void WriteMasterPage(MasterDetailsRender& m, int64_t first_group, int64_t last_group) {
  GridRender& r = m.r;
  const GridPageState& p = *r.g.page;
  last_group = std::min(last_group, m.GroupCount() - 1);
  OpenGridTable(p, !r.columnar, r.out);
  if (!r.columnar) {
    std::vector<bool> saved = std::exchange(r.hidden, m.master_hidden);
    WriteHeaderRow(r);
    r.hidden = std::move(saved);
  }
  if (m.current_detail < first_group || m.current_detail > last_group) {
    m.current_detail = first_group;
  }
  for (int64_t group = first_group; group <= last_group; ++group) {
    const int64_t first_record = m.FirstRecord(group);
    const int64_t last_record = m.group_ends[group];
    if (!r.columnar) {
      WriteMasterRow(m, group);
      if (group == m.current_detail || r.g.req.show_all_details) {
        r.out.append("<tr><td align=right colspan=100 bgcolor=white>");
        WriteDetails(m, first_record, last_record);
        r.out.append("</td></tr>");
      }
    } else {
      r.out.append("<tr><td valign=top><table border=0>");
      WriteMasterRecord(m, group);
      r.out.append("</table></td><td valign=top>");
      WriteDetails(m, first_record, last_record);
      r.out.append("</td></tr>");
    }
  }
  CloseGridTable(r.out);
}

void WriteMasterRow(MasterDetailsRender& m, int64_t group) {
  GridRender& r = m.r;
  const GridPageState& p = *r.g.page;
  const bool show_all = r.g.req.show_all_details;
  const bool expanded = show_all || group == m.current_detail;
  const std::string attributes = RowAttributes(p, show_all ? 0 : group);
  r.out.append("<tr");
  r.out.append(attributes);
  r.out.append(">");
  if (p.add_row_numbers) {
    r.out.append("<td nowrap width=1>");
    AppendExpandLink(m, group, attributes, std::to_string(group + 1));
    r.out.append("</td>");
  }
  const int64_t record = m.FirstRecord(group);
  bool first_cell = true;
  for (size_t c : m.master_columns) {
    if (m.master_hidden[c]) continue;
    r.out.append("<td class=\"");
    r.out.append(CellClass(r.g.result.columns[c].type_class));
    r.out.append("\">");
    if (first_cell && !p.add_row_numbers) {
      AppendExpandLink(m, group, attributes, expanded ? "-" : "+");
      r.out.append("&nbsp;");
    }
    first_cell = false;
    AppendCellValue(r, c, record);
    r.out.append("</td>");
  }
  // Under the header's row-cell headers: the totals of the master's
  // details.
  WriteGridRowCells(r, record, m.group_ends[group]);
  r.out.append("</tr>");
}

void WriteMasterRecord(MasterDetailsRender& m, int64_t group) {
  GridRender& r = m.r;
  const int64_t record = m.FirstRecord(group);
  for (size_t c : m.master_columns) {
    if (!m.master_hidden[c]) WriteColumnarCell(r, c, record);
  }
  r.out.append("<tr><td colspan=3>&nbsp;</td></tr>");
}

void WriteDetails(MasterDetailsRender& m, int64_t first_record, int64_t last_record) {
  GridRender& r = m.r;
  GridPageState& p = *r.g.page;
  r.out.append("<table class=details width=\"97%\"><tr><td>");
  OpenGridTable(p, true, r.out);
  std::vector<bool> saved = std::exchange(r.hidden, m.detail_hidden);
  {
    RowNumbersOff no_numbers(p);
    WriteHeaderRow(r);
    // The rows close with the grid's footer rows, as every table does.
    WriteRows(r, first_record, last_record);
  }
  r.hidden = std::move(saved);
  CloseGridTable(r.out);
  r.out.append("</td></tr></table>");
}

}  // namespace fennick
