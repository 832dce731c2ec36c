// The footers that close each details table of a master-details grid: the
// one call site for the grid's column footers inside details tables.
#include "grid/render/details_footers.h"

namespace fennick {

void WriteDetailsFooters(GridRender& r, int64_t first, int64_t last) {
  // The grid's column footers are not drawn yet; the details tables call
  // here so that they close with them once they are.
  (void)r;
  (void)first;
  (void)last;
}

}  // namespace fennick
