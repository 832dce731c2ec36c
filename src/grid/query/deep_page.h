// Deep pages: a page past the middle of a result is read from the far end
// of its order (the order turned around, a small offset, the rows turned
// back in memory), so the last page skips as few rows as the first and
// costs what the first costs. The rows are exactly those the forward
// reading gives: the stable order (grid/query/stable_order.h) is total, and
// its reversal is its exact mirror, nulls included.
#ifndef FENNICK_GRID_QUERY_DEEP_PAGE_H_
#define FENNICK_GRID_QUERY_DEEP_PAGE_H_

#include <cstdint>
#include <string>

#include "fennick/data.h"
#include "grid/query/stable_order.h"

namespace fennick {

// How one page is read: the statement (before its paging clause), the
// rows it skips, and whether the rows come last first and are to be
// turned around (Recordset::ReverseRows).
struct PageReading {
  std::string sql;
  int64_t skipped = 0;
  bool from_end = false;
};

// The reading of rows [offset, offset + limit) of a result of `rows` rows
// in `order`: from the end when the page lies nearer to it and the order
// can be turned around. `rows_capped`: `rows` is a row limit's, not the
// result's (the end of the result is then not the end of the rows shown,
// and the page is read forward). On SQLite without a sort, asks the query
// plan whether the table is read in rowid order; raises what that raises.
PageReading PlanPageReading(Connection& connection, const PageOrder& order, int64_t rows,
                            int64_t offset, int64_t limit, bool rows_capped);

// Whether SQLite reads the rows of `sql` in rowid order: its plan scans
// (or searches by rowid) one table and nothing else.
bool SqliteReadsInRowidOrder(Connection& connection, const std::string& sql);

}  // namespace fennick

#endif  // FENNICK_GRID_QUERY_DEEP_PAGE_H_
