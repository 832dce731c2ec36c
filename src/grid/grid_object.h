// The internals of one DataGrid object: its host context, the page's shared
// grid state, what it read from the request, its own settings and texts,
// and the recordset it opened.
#ifndef FENNICK_GRID_GRID_OBJECT_H_
#define FENNICK_GRID_GRID_OBJECT_H_

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fennick/error.h"
#include "frame/host.h"
#include "grid/column_expressions.h"
#include "grid/grid_state.h"

namespace fennick {

class Recordset;
struct CellWriterCache;

struct GridObject {
  HostContext host;
  GridPageState* page = nullptr;  // owned by the page's component state
  GridRequestState req;

  std::string default_sort_order;
  std::string required_sort_order;
  std::string title = "Quillon";
  std::string graph_fields;
  int16_t graph_type = 0;
  bool graph_only = false;
  std::string graph_legend_column;
  std::string graph_title, graph_y_label, graph_x_label;
  std::vector<int> graph_columns;  // the columns the last graph drew
  std::string export_file_name;

  std::string procedure_name;
  std::string parameters;  // "name|=|value|||" per parameter
  bool owns_connection = false;
  std::shared_ptr<Recordset> recordset;
  // The database's error when the statement ran but reading its rows
  // failed; Display then shows it in place of the table.
  std::optional<Error> fetch_error;
  // Set when the recordset came from Command (it offers "starts with").
  bool built_from_command = false;
  // The result's columns with their qualifiers, known once the query ran.
  std::vector<GridColumn> columns;

  // A filter-bar clause added while reading the request, kept apart so it
  // can be withdrawn when its field is not one the grid offers.
  std::string filter_before_clause;
  std::string clause_field;
  bool has_new_clause = false;
  // The filter as the query builder checked and wrote it in SQL ("" when
  // the recordset opened unfiltered); later queries over the same rows use
  // this, never the posted text.
  std::string applied_filter_sql;
  // The SQL text the grid's recordset was opened with ("" until a command
  // ran). Binary cells' download links carry it, since their row numbers
  // count the rows of this result, filtered and ordered.
  std::string opened_sql;

  // The column formats resolved per column and the cell writer's scratch
  // buffers (grid/cell_formats.h).
  std::shared_ptr<CellWriterCache> cell_writer_cache;

  // Display texts by lower-case key, and the page-number switch.
  std::map<std::string, std::string> texts;
  bool show_page_numbers = true;

  // Switches the report designer sets on the grids it drives.
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

  // The text of a display key ("" when unset).
  const std::string& Text(const std::string& key) const {
    static const std::string kEmpty;
    auto it = texts.find(key);
    return it == texts.end() ? kEmpty : it->second;
  }
};

// Reads the request into a new grid (first request or post, filter bar,
// postback argument) and applies the creation resets.
void ReadRequestState(GridObject& g);

// The hidden state fields written after the table, values HTML-encoded.
void WriteStateFields(GridObject& g);
// The postback script written before the grid's form.
extern const char kPostBackScript[];

// Keys of the display texts that SetDisplayText accepts.
bool IsDisplayTextKey(const std::string& lower_key);

}  // namespace fennick

#endif  // FENNICK_GRID_GRID_OBJECT_H_
