// The grid's table: its opening tag, the header row with sort links and
// icons, the rows in the tabular and the columnar layout, and the filter and
// sort summary below it.
#ifndef FENNICK_GRID_RENDER_GRID_TABLE_H_
#define FENNICK_GRID_RENDER_GRID_TABLE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "grid/render/grid_render.h"
#include "grid/state/page_state.h"

namespace fennick {

// The cell class of a type class: "number", "money", "date", "boolean",
// else "text".
const char* CellClass(TypeClass type_class);
// Appends the value of one cell (0-based column and row) as the rows show
// it: through the column formats, or as the image or download link of a
// binary column (nothing for an empty one).
void AppendCellValue(GridRender& r, size_t column, int64_t row);

// The link href that posts the grid's form with `argument` encoded.
std::string PostBackHref(std::string_view argument);

// "<table width=... border=... cellpadding=... cellspacing=...>", with the
// grid's class and style when asked.
void OpenGridTable(const GridPageState& page, bool with_class, std::string& out);
void CloseGridTable(std::string& out);

// The header row with its sort links and icons.
void WriteHeaderRow(GridRender& r);
// One header caption with its sort link and, for a sorted column, the icon
// that removes it from the order; column 0 is the row-number column.
void WriteHeaderCell(GridRender& r, std::string_view caption, size_t column_number);
// Rows first..last (0-based, stopping at the last row) in the tabular and
// the columnar layout.
void WriteRows(GridRender& r, int64_t first, int64_t last);
void WriteColumnarRecords(GridRender& r, int64_t first, int64_t last);
// One column of a record in the columnar layout: a table row with the
// column's caption beside its value in `row`.
void WriteColumnarCell(GridRender& r, size_t column, int64_t row);
// The filter and the sort order below the table; the filter, which comes
// back from the browser, is HTML-encoded.
void WriteFilterSummary(GridRender& r);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_GRID_TABLE_H_
