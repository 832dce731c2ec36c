// The report grid: a grid the report designer renders into a string
// instead of the page.
//
// It has the whole configuration surface of a DataGrid (reached through
// grid()) and reads the request the same way, but it owns every value a
// DataGrid shares with the other grids of its page: its format lists,
// captions, summary settings, page size and command belong to this object
// alone, so two report grids, or a report grid and a DataGrid, on one page
// never see each other's columns. It writes no form of its own (the
// designer's page holds the form) and nothing to the page: GetGridHtml
// returns what a DataGrid would have written. Its exports go to
// the exporter a DataGrid's would (the second-generation one unless
// UseFastExport is set on the grid's page state), with the "print" page of
// the first-generation exporter besides. One page, one thread; not
// thread-safe.
#ifndef FENNICK_GRID_REPORT_GRID_H_
#define FENNICK_GRID_REPORT_GRID_H_

#include <memory>
#include <string>
#include <string_view>

#include "fennick/data_grid.h"

namespace fennick {

struct GridPageState;

class ReportGrid {
 public:
  // Binds the running page and reads its request into the grid's own
  // state; the page's shared grid state is left exactly as it was. Raises
  // an error when no page is running; ends the page on the requests a
  // DataGrid ends it on (image download, popup filter window).
  ReportGrid();
  ~ReportGrid();
  ReportGrid(const ReportGrid&) = delete;
  ReportGrid& operator=(const ReportGrid&) = delete;

  // The grid to configure (Command, Connection, column formats, ...).
  DataGrid& grid() { return *grid_; }

  // Appends text to the grid's buffer unchanged.
  void WriteLine(std::string_view text) { buffer_.append(text); }

  // Renders the grid (as DataGrid::Display does) into the buffer and
  // returns the buffer's whole content; the buffer is not cleared, so a
  // second call returns the first rendering followed by the second.
  // Nothing reaches the page, also when an error escapes (it escapes with
  // the grid's trace). The print view of a master-details report ends with
  // a script that opens the browser's print dialog.
  std::string GetGridHtml();

  // Whether the request asks this grid for an export (an export button's
  // post).
  bool ExportPending();
  // Runs the pending export and ends the page.
  [[noreturn]] void RunExport();

 private:
  std::unique_ptr<GridPageState> state_;
  std::unique_ptr<DataGrid> grid_;
  std::string buffer_;
};

}  // namespace fennick

#endif  // FENNICK_GRID_REPORT_GRID_H_
