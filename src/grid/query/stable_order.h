// The order a grid pages in: the command's ORDER BY made total, so that
// pages cut from separate reads of the result fit together, and the same
// order turned around, so that a page near the end of the result is read
// from that end.
//
// Rows the sort leaves tied (or every row, without a sort) are ordered by a
// tie-break after the sort: the primary key of the one table the command
// reads, from the catalogue; without one, every column of the result by
// its position (binary columns left out). Two rows that still tie are then
// equal in every column the grid orders by.
//
// SQLite reads a table without ORDER BY in rowid order, and its sorts keep
// rows that tie in the order they were read: there the tie-break is only
// ever the rowid key (INTEGER PRIMARY KEY), which orders the rows exactly
// as the grid has always shown them, and a page without a sort is still
// read without ORDER BY. Elsewhere (PostgreSQL's synchronized scans and
// parallel plans, MySQL) an order the SQL does not fix is not fixed at all.
#ifndef FENNICK_GRID_QUERY_STABLE_ORDER_H_
#define FENNICK_GRID_QUERY_STABLE_ORDER_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fennick/data.h"

namespace fennick {

// One item of an ORDER BY: the expression and its direction, and the
// NULLS FIRST / NULLS LAST it names (nullopt: the engine's default).
struct OrderItem {
  std::string expression;
  bool descending = false;
  std::optional<bool> nulls_first;
};

// The items of an ORDER BY list ("3 desc,Name", "a COLLATE nocase DESC
// NULLS LAST"), split at the commas outside brackets, literals and quoted
// names; nullopt when an item is empty.
std::optional<std::vector<OrderItem>> ParseOrderItems(std::string_view list);

// The list that reads the rows of `items` in exactly the opposite order on
// the engine: each direction turned around, and where the nulls go with
// it. PostgreSQL sorts nulls after every value and SQLite and MySQL before,
// so turning the direction alone mirrors them; on PostgreSQL the placement
// is also written out (NULLS FIRST/LAST) so the text says what it does.
std::string ReversedOrderList(const std::vector<OrderItem>& items, int database_type);

// The one table a plain SELECT reads ("SELECT ... FROM name [[AS] alias]
// [WHERE ...] [ORDER BY ...]"): its name as written and what the command
// calls it (the alias, else the name). nullopt for anything that can
// return a table's row more than once or not at all as itself: joins,
// several tables, derived tables, DISTINCT, GROUP BY, HAVING, UNION.
struct SingleTable {
  std::string name;
  std::string qualifier;
};
std::optional<SingleTable> SingleTableOf(std::string_view sql);

// How one page of a grid's result is read in a stable order.
struct PageOrder {
  // The statement that reads the rows forward: the grid's statement with
  // the tie-break after its ORDER BY (on SQLite without a sort, the
  // statement unchanged: its scan order is the key order).
  std::string forward;
  // The statement reading the rows in the opposite order; empty when the
  // order cannot be turned around (an ORDER BY the grid cannot read, no
  // tie-break).
  std::string reversed;
  // SQLite without a sort: `reversed` mirrors the forward rows only when
  // the plan scans the table in rowid order (no index chosen).
  bool needs_rowid_scan = false;
};

// The stable order for `ordered_sql` (the grid's statement with its
// filter and ORDER BY) over `connection`; `counted_sql` is the same
// statement without the grid's ORDER BY (its columns are the result's).
// nullopt when the engine's order is not stable and no tie-break can be
// written (the grid then reads every row). Runs catalogue queries; the
// primary keys are kept per connection string and table for the life of
// the process (a bounded cache, thread-safe). Raises what the describing
// query raises.
std::optional<PageOrder> StableOrder(Connection& connection, std::string_view connection_string,
                                     int database_type, const std::string& ordered_sql,
                                     const std::string& counted_sql);

}  // namespace fennick

#endif  // FENNICK_GRID_QUERY_STABLE_ORDER_H_
