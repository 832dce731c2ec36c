// The master-details layout of a grid: the rows of one result grouped by
// the columns of the page's MasterTable into master rows, each of which
// expands into a details table of its records. The grid pages, counts and
// prints master rows; the user expands one master at a time (postback code
// 6) or all of the page's (code 7).
#ifndef FENNICK_GRID_RENDER_MASTER_DETAILS_H_
#define FENNICK_GRID_RENDER_MASTER_DETAILS_H_

#include <cstdint>
#include <vector>

#include "grid/grid_object.h"
#include "grid/render/grid_render.h"

namespace fennick {

// What the master-details writers know of the result besides the grid's
// own drawing context. Borrows the drawing context.
struct MasterDetailsRender {
  explicit MasterDetailsRender(GridRender& render) : r(render) {}
  GridRender& r;
  std::vector<size_t> master_columns;  // 0-based, in column order
  std::vector<int64_t> group_ends;     // last record of each master
  // The columns the master rows leave out (every non-master column and
  // the hidden ones) and those the details tables leave out (the master
  // columns and the hidden ones).
  std::vector<bool> master_hidden;
  std::vector<bool> detail_hidden;
  // The master whose details show, when not all do.
  int64_t current_detail = 0;

  int64_t GroupCount() const { return static_cast<int64_t>(group_ends.size()); }
  // The first record of master `group`.
  int64_t FirstRecord(int64_t group) const { return group == 0 ? 0 : group_ends[group - 1] + 1; }
};

// Renders the grid in the master-details layout: the twin of the plain
// grid's rendering, with the same tool bar, bars, hidden fields, graph and
// print view, counted in master rows. Writes the "Master table not
// selected" message and nothing else when MasterTable is empty. Errors
// escape with the "Bind" trace label; what was drawn reaches the page
// first.
void BindMasterDetails(GridObject& g);

// The tool-bar links after the print link: "Show all Details" (code 7) or,
// when all show, "Collapse Details" (code 6 back to the current master).
// Nothing in the print view or the columnar layout.
void WriteDetailsToolLinks(GridRender& r);

// Masters first_group..last_group (0-based; stopping at the last master)
// in their own grid table. A current detail outside that range becomes
// `first_group` (stored in m.current_detail).
void WriteMasterPage(MasterDetailsRender& m, int64_t first_group, int64_t last_group);
// One master as a table row with its expand or row-number link.
void WriteMasterRow(MasterDetailsRender& m, int64_t group);
// One master as caption and value lines (columnar layout).
void WriteMasterRecord(MasterDetailsRender& m, int64_t group);
// The details table of records first..last, without the master columns
// and without row numbers, closed by the details footers.
void WriteDetails(MasterDetailsRender& m, int64_t first_record, int64_t last_record);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_MASTER_DETAILS_H_
