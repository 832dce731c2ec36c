// The pieces a grid's page is drawn from: the table, its header and rows,
// the columnar layout, the filter and sort summary, the navigation bar, the
// inline filter bar and the popup filter button.
//
// Every routine appends to the one output buffer of the grid's Display; the
// buffer goes to the page in a few large writes.
#ifndef FENNICK_GRID_GRID_RENDER_H_
#define FENNICK_GRID_GRID_RENDER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fennick/data.h"
#include "fennick/variant.h"
#include "grid/cell_writer.h"
#include "grid/grid_object.h"

namespace fennick {

// The result being shown, read in place (the recordset already holds every
// row in its column storage; the page's rows are read from it, not copied),
// with what the row writers need to know about each column. Borrows the
// grid.
struct GridRender {
  GridRender(GridObject& grid, std::string& buffer) : g(grid), out(buffer) {}
  GridObject& g;
  std::string& out;
  std::shared_ptr<Recordset> rows;
  int64_t last_row = -1;  // the row count - 1
  std::vector<std::string> captions;
  std::vector<bool> hidden;
  bool sort_links = true;
  bool paging = true;
  bool filtering = true;
  bool export_area = true;
  bool columnar = false;
};

// One row of the shown result as the cell writer reads it: moves the
// recordset to the row (0-based), which stays current while the row is
// written.
class FetchedRow : public RowView {
 public:
  FetchedRow(Recordset& rows, size_t row) : rows_(rows) {
    rows_.AbsolutePosition(static_cast<int32_t>(row + 1));
  }
  Variant Value(size_t column) const override { return rows_.Fields(column).Value(); }

 private:
  Recordset& rows_;
};

// The bar graph of rows first..last (0-based; a last below the first is
// raised to it, and the range stops at the last row) of the grid's numeric
// columns, with the link that switches between the current page's rows and
// all rows; a page break follows when asked. Nothing when the grid has no
// graph type.
void DrawGraph(GridRender& r, int64_t first, int64_t last, bool page_break);

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
// The filter and the sort order below the table; the filter, which comes
// back from the browser, is HTML-encoded.
void WriteFilterSummary(GridRender& r);

// The paging bar: counter, first/previous/numbered/next/last links, reset,
// page-size box and reload. `first` and `last` are 0-based row indexes.
void WriteNavigationBar(GridObject& g, int64_t first, int64_t page_size, int64_t last,
                        bool paging, bool bottom, std::string& out);
// One paging link to the page starting at row `target_first` (0-based).
void WritePageLink(GridObject& g, std::string_view text, int64_t target_first, bool active,
                   std::string_view title, std::string& out);

// The inline filter bar. Its distinct-value drop-down queries only a
// column expression the bar offers, over the grid's own command and the
// filter the query builder checked.
void WriteFilterBar(GridObject& g, std::string& out);
// The script that opens the popup filter window.
void WritePopupFilterScript(GridObject& g, std::string& out);
// The popup filter button; stores what the popup window shows in the
// session.
void WritePopupFilterButton(GridObject& g, std::string& out);

// On the popup window's own request (query "a" = "j"), writes the popup
// filter window from what the button stored in the session and ends the
// page; returns false on any other request.
bool WritePopupFilterWindow(GridObject& g);

// On a binary cell's link (query "a" = "i"), sends the bytes of the linked
// field as the whole response and ends the page: HTTP 400 (nothing run) for
// a token that does not open as a download link of this server or whose
// connection string would create a database file, 404 for a row or column
// outside the result or a field that holds no bytes, 500 with a fixed text
// when the database fails (its message would repeat what the token held).
// Returns false on any other request.
bool ServeFieldDownload(GridObject& g);

}  // namespace fennick

#endif  // FENNICK_GRID_GRID_RENDER_H_
