// Deep pages: which end of the order a page is read from.
#include "grid/query/deep_page.h"

#include "base/ascii.h"

namespace fennick {

bool SqliteReadsInRowidOrder(Connection& connection, const std::string& sql) {
  Recordset plan;
  plan.Open("EXPLAIN QUERY PLAN " + sql, connection, kAdOpenStatic, kAdLockReadOnly, -1);
  if (plan.Eof() || plan.RecordCount() != 1 || plan.FieldCount() < 4) return false;
  // "SCAN t", "SEARCH t USING INTEGER PRIMARY KEY (rowid>?)"; an index
  // (covering or searched) gives the index's order instead.
  const std::string detail = plan.Fields(3).Value().AsString();
  if (!StartsWithIgnoreCase(detail, "SCAN ") && !StartsWithIgnoreCase(detail, "SEARCH ")) {
    return false;
  }
  return detail.find(" USING ") == std::string::npos ||
         detail.find(" USING INTEGER PRIMARY KEY") != std::string::npos;
}

PageReading PlanPageReading(Connection& connection, const PageOrder& order, int64_t rows,
                            int64_t offset, int64_t limit, bool rows_capped) {
  PageReading reading{order.forward, offset, false};
  const int64_t from_end = rows - offset - limit;
  if (order.reversed.empty() || rows_capped || from_end < 0 || from_end >= offset) return reading;
  if (order.needs_rowid_scan && !SqliteReadsInRowidOrder(connection, order.forward)) {
    return reading;
  }
  return {order.reversed, from_end, true};
}

}  // namespace fennick
