// The internals of one DataGrid object, split by lifetime: the host context
// and the page's shared grid values it borrows, what it read from the
// request, the settings the page gave it, the switches the report designer
// sets on the grids it drives, and the result it opened.
#ifndef FENNICK_GRID_GRID_OBJECT_H_
#define FENNICK_GRID_GRID_OBJECT_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fennick/data_grid.h"
#include "fennick/error.h"
#include "frame/host.h"
#include "grid/query/column_expressions.h"
#include "grid/query/database_paging.h"
#include "grid/query/row_count_reuse.h"
#include "grid/state/page_state.h"
#include "grid/state/request_state.h"
#include "grid/state/summary_settings.h"

namespace fennick {

class Cursor;
class Recordset;
struct CellWriterCache;

// What the page set on this grid through its properties and methods.
struct GridSettings {
  std::string default_sort_order;
  std::string required_sort_order;
  std::string title = "Quillon";
  std::string graph_fields;
  int16_t graph_type = 0;
  bool graph_only = false;
  std::string graph_legend_column;
  std::string graph_title, graph_y_label, graph_x_label;
  std::string export_file_name;
  bool csv_safe = false;
  bool csv_byte_order_mark = false;
  // ExportXlsx, ExportPdf: the tool bar's ".xlsx" and "PDF" buttons.
  bool export_xlsx = false;
  bool export_pdf = false;
  // PdfPaperSize: "A4" or "Letter".
  std::string pdf_paper_size = "A4";
  int32_t xsl_export_row_limit = 25000;
  int16_t export_file_lifetime_minutes = 60;

  std::string procedure_name;
  std::string parameters;  // "name|=|value|||" per parameter

  // DatabasePaging: a page is read from the database when nothing needs
  // every row (grid/query/database_paging.h).
  bool database_paging = true;
  // ShowSqlInPage: the SQL the grid ran (or would have run) goes into the
  // page as an HTML comment when a filter or the command fails.
  bool show_sql_in_page = false;
  // UrlState: the state also travels in the page's address
  // (grid/state/url_state.h).
  bool url_state = false;

  // Totals the page set on this grid (AddSummary, RowTotals, FooterTotals
  // and their kin). Once the page set any, they stand in for the report
  // designer's page-wide ones (GridPageState::summary) and their column
  // names are checked at Display.
  SummarySettings summary;
  bool own_summary = false;
  // FooterScope "Result": the footer rows add the whole filtered result.
  bool footers_over_result = false;
  // KeepBarsWhenEmpty: an empty result keeps the filter bar, the filter
  // summary and the Reset link.
  bool keep_bars_when_empty = false;
  // RowCountLifetime: how many seconds a count the form carried back may
  // stand for the rows (grid/query/row_count_reuse.h); 0 counts each time.
  int32_t row_count_lifetime = kDefaultRowCountLifetimeSeconds;

  // Display texts by lower-case key, and the page-number switch.
  std::map<std::string, std::string> texts;
  bool show_page_numbers = true;

  // The text of a display key ("" when unset).
  const std::string& Text(const std::string& key) const {
    static const std::string kEmpty;
    auto it = texts.find(key);
    return it == texts.end() ? kEmpty : it->second;
  }
};

// Switches the report designer sets on the grids it drives.
struct DesignerSwitches {
  bool writes_own_form = true;
  bool export_buttons = true;
  bool designer_display_flag = true;
  bool page_size_box = true;
  // The report designer's description of its filter, shown under the grid
  // instead of the filter and sort summary (filter_text_summary) and after
  // "No records returned!" (filter_text_when_empty).
  std::string designer_filter_text;
  bool filter_text_summary = false;
  bool filter_text_when_empty = false;
  // A page break after every print page, the last one included.
  bool page_break_after_report = false;
  // Report grids also offer the printable page (export format "print").
  bool print_export = false;
  // Whether the grid's form carries its row count to the next post; report
  // grids count on every request.
  bool carries_row_count = true;
};

// The result the grid opened and what it learnt from it.
struct OpenResult {
  // Whether the grid opened the page's connection itself (CreateConnection)
  // and closes it with the grid.
  bool owns_connection = false;
  std::shared_ptr<Recordset> recordset;
  // Set by the export before the command runs: a result opened exactly by
  // its SQL (no row limit) is then read forward only, `recordset` holding
  // its first batch and `rest` the cursor over the remaining rows.
  bool stream_rows = false;
  std::shared_ptr<Cursor> rest;
  // Set by a reader of the whole result (the export) before the command
  // runs: the grid then reads every row, never one page.
  bool all_rows_needed = false;
  // Whether `recordset` holds one page read from the database, rather
  // than every row; then `page_offset` is the 0-based index of its first
  // row in the whole result and `row_count` the rows of that result. Why
  // every row was read otherwise.
  bool paged = false;
  int64_t page_offset = 0;
  int64_t row_count = 0;
  AllRowsReason all_rows_reason = AllRowsReason::kNone;
  // The count behind a page read from the database, for the form, and the
  // command as the page set it (without the grid's ORDER BY or filter).
  RowCountState row_count_state;
  std::string page_command;
  // The database's error when the statement ran but reading its rows
  // failed; Display then shows it in place of the table.
  std::optional<Error> fetch_error;
  // Set when the recordset came from Command (it offers "starts with").
  bool built_from_command = false;
  // The result's columns with their qualifiers, known once the query ran.
  std::vector<GridColumn> columns;
  // The filter as the query builder checked and wrote it in SQL ("" when
  // the recordset opened unfiltered); later queries over the same rows use
  // this, never the posted text.
  std::string applied_filter_sql;
  // The SQL text the grid's recordset was opened with ("" until a command
  // ran). Binary cells' download links carry it, since their row numbers
  // count the rows of this result, filtered and ordered.
  std::string opened_sql;
  std::vector<int> graph_columns;  // the columns the last graph drew
  // The column formats resolved per column and the cell writer's scratch
  // buffers (grid/render/cell_formats.h).
  std::shared_ptr<CellWriterCache> cell_writer_cache;
};

struct GridObject {
  // The totals this grid draws: its own when the page set any, else the
  // page's (the report designer's).
  const SummarySettings& Summary() const {
    return settings.own_summary ? settings.summary : page->summary;
  }

  HostContext host;
  GridPageState* page = nullptr;  // owned by the page's component state
  GridRequestState req;
  GridSettings settings;
  DesignerSwitches designer;
  OpenResult result;
};

// The internals of a DataGrid, for the grid's own routines, the report
// designer and tests; not part of the public API.
struct GridAccess {
  static GridObject& Of(DataGrid& grid) { return *grid.g_; }
  // A grid over internals another grid object left behind.
  static DataGrid Adopt(std::unique_ptr<GridObject> internals) {
    return DataGrid(std::move(internals));
  }
};
inline GridObject& GridInternals(DataGrid& grid) { return GridAccess::Of(grid); }

}  // namespace fennick

#endif  // FENNICK_GRID_GRID_OBJECT_H_
