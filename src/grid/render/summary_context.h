// What the summary writer works from: where it writes, the report's summary
// settings, the format lists its values are formatted with, the columns and
// rows being shown, and the statement and connection the aggregates run
// on.
//
// The writer knows nothing of the grid object it serves: DataGrid builds a
// context over its page's shared lists and its output buffer
// (grid/render/grid_summary.h), and a grid that keeps format lists of its
// own and writes into a buffer of its own builds one over those. A context
// borrows everything it names, for the length of one rendering.
#ifndef FENNICK_GRID_RENDER_SUMMARY_CONTEXT_H_
#define FENNICK_GRID_RENDER_SUMMARY_CONTEXT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fennick/data.h"
#include "grid/query/column_expressions.h"
#include "grid/state/page_state.h"
#include "grid/state/summary_settings.h"

namespace fennick {

// The format lists summary values are formatted with (entries as in
// grid/render/format_lists.h).
struct SummaryFormats {
  std::string_view number_list;    // NumberColumn, PercentColumn, CurrencyColumn
  std::string_view template_list;  // ReplaceColumn (for the "[eval]" footers)
};

// The footer rows' sums over the whole result rather than the rows shown
// (DataGrid.FooterScope "Result"): by column, the sum the database gave
// (nullopt leaves the column's cell empty), and the result's row count, the
// averages' divisor.
struct ResultSums {
  std::vector<std::optional<double>> sums;
  int64_t rows = 0;
};

struct SummaryContext {
  std::string* out = nullptr;
  const SummarySettings* settings = nullptr;
  SummaryFormats formats;
  // Styles, the grid width, the row-number switch and the master table.
  const GridPageState* page = nullptr;
  // The command as the grid ran it (aggregate columns are looked up in it).
  std::string_view command;

  // The result: its columns, which of them get no cell (hidden, or not in
  // the shown-field list), and its rows (`last_row` is the row count - 1;
  // rows are numbered in the whole result).
  const std::vector<GridColumn>* columns = nullptr;
  const std::vector<bool>* hidden = nullptr;
  Recordset* rows = nullptr;
  int64_t last_row = -1;
  // The result's index of the first row `rows` holds (one page read from
  // the database starts past 0).
  int64_t row_offset = 0;

  // The summary box's aggregates: the statement the grid opened (its
  // filter in it), the row limit it was fetched with (0: none), and where
  // it runs.
  std::string_view opened_sql;
  int64_t row_limit = 0;
  Connection* connection = nullptr;
  int database_type = 0;

  // DataGrid's box marks its names and values with span elements and
  // formats an aggregate column's values by the column it aggregates; the
  // report grid's box does neither (its values take the entry's field's
  // own format).
  bool box_spans = true;
  bool aggregate_keys = true;
  // Set: the footer rows show these sums instead of adding rows.
  const ResultSums* result_sums = nullptr;
  // The text at the top of the box ("summarylabeltext").
  std::string_view label;
};

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_SUMMARY_CONTEXT_H_
