// Builds the summary writer's context from a DataGrid being displayed.
#include "grid/render/grid_summary.h"

#include "frame/module_state.h"
#include "grid/render/footer_rows.h"
#include "grid/render/summary_box.h"

namespace fennick {

SummaryContext GridSummaryContext(GridRender& r) {
  GridObject& g = r.g;
  const GridPageState& p = *g.page;
  SummaryContext c;
  c.out = &r.out;
  c.settings = &p.summary;
  c.formats.number_list = p.number_list;
  c.formats.template_list = p.template_list;
  c.page = &p;
  c.command = p.command;
  c.columns = &g.result.columns;
  c.hidden = &r.hidden;
  c.rows = r.rows.get();
  c.last_row = r.last_row;
  c.row_offset = r.row_offset;
  c.opened_sql = g.result.opened_sql;
  c.row_limit = CurrentModuleState().max_records;
  c.connection = p.connection.get();
  c.database_type = g.req.database_type;
  c.label = g.settings.Text("summarylabeltext");
  return c;
}

bool HasRowCells(const GridRender& r) {
  const SummarySettings& s = r.g.page->summary;
  return s.row_totals || s.row_averages;
}

void WriteGridSummaryBox(GridRender& r) {
  // A stored procedure's rows have no statement to aggregate over.
  if (r.g.page->summary.specification.size() < 3 || r.g.result.opened_sql.empty() ||
      !r.g.page->connection) {
    return;
  }
  WriteSummaryBox(GridSummaryContext(r));
}

void WriteGridRowCellHeaders(GridRender& r) {
  if (HasRowCells(r)) WriteRowCellHeaders(GridSummaryContext(r));
}

void WriteGridRowCells(GridRender& r, int64_t first, int64_t last) {
  if (HasRowCells(r)) WriteRowCells(GridSummaryContext(r), first, last);
}

void WriteGridFooters(GridRender& r, int64_t first, int64_t last) {
  const SummarySettings& s = r.g.page->summary;
  if (!s.column_totals && !s.column_averages && s.total_fields.empty() &&
      s.average_fields.empty()) {
    return;
  }
  if (last > r.last_row) last = r.last_row;
  if (first < 0) first = 0;
  WriteFooterRows(GridSummaryContext(r), first, last, last + 1);
}

}  // namespace fennick
