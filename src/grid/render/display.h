// The steps of DataGrid::Display that the master-details rendering shares
// with the plain grid's: the drawing switches, reading the result's
// columns, the form, the start correction, the tool bar, the box for
// rows that failed to read and the grid's ending below its table.
#ifndef FENNICK_GRID_RENDER_DISPLAY_H_
#define FENNICK_GRID_RENDER_DISPLAY_H_

#include <cstdint>
#include <string>

#include "fennick/error.h"
#include "grid/grid_object.h"
#include "grid/query/database_paging.h"
#include "grid/render/grid_render.h"

namespace fennick {

// Reads the open result's columns into g.result.columns unless the query
// builder already did.
void AnalyseColumns(GridObject& g);

// Whether the report designer's list of shown fields, when it set one,
// holds the column.
bool IsShownField(const GridPageState& page, const GridColumn& column);

// Sets the drawing switches from the page's settings (the print view
// turns paging, filtering, exports and sort links off) and gives the
// alternate rows the item style and class when they have none.
void PrepareRender(GridRender& r);

// The postback script and, when the grid writes its own form, the form's
// opening tag posting back to the page.
void OpenGridForm(const GridObject& g, std::string& out);

// The tool bar above the grid: the print link (with the master-details
// links in that mode), the popup filter button and the export area.
void WriteToolBar(GridRender& r);

// Runs `draw` with a step counter and one output buffer, and writes the
// buffer to the page after it, or ahead of the error that escapes it.
void DrawInOneBuffer(GridObject& g, void (*draw)(GridObject& g, double& step, std::string& out));

// In place of the table when there is none: the fetch error box (step
// set to 5) when the rows could not be read, or "No records returned!"
// (with the report designer's filter text when it asks for it) over an
// empty result, dropping the result. False, writing nothing, when there
// are rows to show.
bool WriteWithoutRows(GridObject& g, double& step, std::string& out);
// WriteWithoutRows into r.out; over an empty result with
// KeepBarsWhenEmpty (outside the print view) the text is followed by the
// filter bar (or the popup filter button), a Reset link, the hidden state
// fields, the filter and sort summary and the end of the grid's form, so
// the user can change or drop the filter.
bool WriteEmptyResult(GridRender& r, double& step);

// Everything below the grid's table: the bottom navigation bar from
// `first` (0-based, in the items the grid pages: rows, or master rows)
// over items up to `last_item`; the page's state fields, the filter
// summary, the summary box and the end of the grid's own form, all
// written to the page; then, with step set to 14, the graph below the
// form, over records `page_first_record` to `page_last_record` when the
// graph follows the page, else over every record. Leaves the graph in
// r.out for the caller to write.
void FinishGrid(GridRender& r, int64_t first, int64_t last_item, int64_t page_first_record,
                int64_t page_last_record, double& step);

// The "Error #:" box that stands in place of the table when the rows
// could not be read: the database's message without server details, and
// the reference of its line in the server's log.
void WriteFetchError(const Error& e, std::string& out);

// In the print view (whose reading PrintRowLimit bounds), cuts r.last_row
// to MaxPrintRows and notes the cut (r.print_cut) when the result holds
// more rows.
void CutPrintedRows(GridRender& r);

// Above the printed pages of a cut print view: how many rows are shown,
// and that the exports give every row.
void WritePrintCutNote(GridRender& r);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_DISPLAY_H_
