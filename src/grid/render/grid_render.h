// The drawing context of one grid's Display: the result being shown, what
// the row writers know of each column, and the one output buffer every
// routine of the grid's rendering appends to (the buffer goes to the page in
// a few large writes).
#ifndef FENNICK_GRID_RENDER_GRID_RENDER_H_
#define FENNICK_GRID_RENDER_GRID_RENDER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fennick/data.h"
#include "fennick/variant.h"
#include "grid/grid_object.h"
#include "grid/render/cell_writer.h"

namespace fennick {

struct ResultSums;

// The result being shown, read in place (the recordset holds every row, or
// the one page the database gave, in its column storage; the page's rows
// are read from it, not copied), with what the row writers need to know
// about each column. Rows are numbered in the whole result wherever they
// came from. Borrows the grid.
struct GridRender {
  GridRender(GridObject& grid, std::string& buffer) : g(grid), out(buffer) {}
  GridObject& g;
  std::string& out;
  std::shared_ptr<Recordset> rows;
  // The whole result's index of the first row `rows` holds (0 unless the
  // database gave one page).
  int64_t row_offset = 0;
  int64_t last_row = -1;  // the row count of the whole result - 1
  std::vector<std::string> captions;
  std::vector<bool> hidden;
  bool sort_links = true;
  bool paging = true;
  bool filtering = true;
  bool export_area = true;
  bool columnar = false;
  // The print view shows fewer rows than the result holds (MaxPrintRows).
  bool print_cut = false;

  // The whole result's sums for the footer rows (FooterScope "Result"),
  // once asked of the database.
  std::shared_ptr<ResultSums> result_sums;

  // The index in `rows` of the whole result's row `row`.
  size_t Fetched(int64_t row) const { return static_cast<size_t>(row - row_offset); }
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

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_GRID_RENDER_H_
