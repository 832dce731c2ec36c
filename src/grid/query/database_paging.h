// Paging in the database: the one rule that decides whether a grid reads
// only the page it shows, or every row of its result, and the reading of
// that page.
//
// A grid that shows one page of a large result need not read the result:
// it asks the database for the number of rows of its filtered query (the
// query as a derived table) and for the page's rows (the engine's paging
// clause after the command's own ORDER BY), both in one read snapshot where
// the engine offers one. Everything drawn from them is what the grid draws
// from all rows: the counter, the navigation bar, the start moved back from
// past the end, the rows with their absolute numbers, footers over the
// shown rows. Whatever needs every row (the print view, a graph of all
// rows, master-details, exports, a procedure sorted and filtered on its
// fetched rows, paging switched off) reads every row as before, and so
// does an engine the grid knows no paging clause for.
//
// The page is read in a stable order (grid/query/stable_order.h): the
// grid's ORDER BY, or none, followed by a tie-break (the primary key of
// the command's one table, else every column), so that consecutive pages
// neither repeat nor lose a row on any engine, with or without a sort and
// whether the sort key is unique or not; reading every row reads them in
// the same order (AllRowsSql). A page past the middle of the result is
// read from its far end (grid/query/deep_page.h).
#ifndef FENNICK_GRID_QUERY_DATABASE_PAGING_H_
#define FENNICK_GRID_QUERY_DATABASE_PAGING_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fennick {

struct GridObject;

// Why a Display reads every row of its result (kNone: one page is enough).
enum class AllRowsReason {
  kNone,
  kSwitchedOff,     // DatabasePaging is False
  kProcedure,       // a procedure's rows are sorted and filtered once fetched
  kNoPaging,        // PageResults off, or no page size
  kPrintView,       // every printed page
  kGraphOnly,       // the graph of every row instead of the grid
  kGraphOfAllRows,  // "View All" under the graph
  kMasterDetails,   // master rows are grouped from every record
  kAllRowsReader,   // an export reads the whole result
  kEngine,          // no known paging clause for the database type
  kUnstableOrder,   // the engine's order may change, and the grid found no
                    // tie-break to fix it (no key, no column to order by)
  kDeepSortedPage,  // SQLite: a page deep in an order no index gives
  kUntypedColumn,   // SQLite: a column null throughout the page has no type
  kRefused,         // the database refused the paged reading, or it did not
                    // hold the rows the count promised
};

// The rule: why this grid, as configured and requested, must read every
// row; kNone when it may read one page from the database. (kUnstableOrder
// and the reasons from kDeepSortedPage on are known only while the page
// is read: ReadOnePage.)
AllRowsReason WhyAllRows(const GridObject& g);

// The rows the print view reads: MaxPrintRows + 1 (the one more tells
// that the result was longer, and the renderer cuts it off), or 0 (no
// limit) outside the print view or without a cap. The print view of a
// large result thus never holds more than the cap in memory.
int32_t PrintRowLimit(const GridObject& g);

// The clause that takes `limit` rows after skipping `offset`, appended
// after the ORDER BY, for the database type; nullopt for an engine whose
// clause is not known (the grid then reads every row).
std::optional<std::string> PageClause(int database_type, int64_t limit, int64_t offset);

// The first record (1-based) of the page to show out of `rows` items: a
// start past them moves to the last page; 1 without a page size.
int64_t CorrectedStart(int64_t start, int64_t rows, int64_t page_size);

// The first record (1-based) of the page that holds `start`, after the
// correction above: pages begin at multiples of the page size, so a start
// left from another page size (or set by the page) moves to the beginning
// of its page and the counter and page links match the rows shown.
int64_t PageStart(int64_t start, int64_t rows, int64_t page_size);

// Reads one page into g.result when the rule allows it: counts the rows of
// `counted_sql` (the filtered command without the grid's ORDER BY), or
// takes the count the form carried back (grid/query/row_count_reuse.h), and
// reads the page of `ordered_sql` (the filtered command as the all-rows
// path opens it) that the request's start falls on, in its stable order
// and from the nearer end, correcting the start on the page's shared
// values. On success g.result.recordset holds the page's rows,
// g.result.page_offset the 0-based index of its first row,
// g.result.row_count the rows of the whole result and g.result.opened_sql
// the statement (without paging clause) whose rows the page is part of.
// On SQLite a page that skips more than kSqliteSortedOffsetRows rows (from
// whichever end it is read) in an order that no index gives is read from
// every row instead: SQLite keeps the skipped rows in a sorted temporary
// table to skip them, which grows far slower than sorting the result
// once. Returns false, leaving
// the result without rows, when the rule asks for every row (the reason in
// g.result.all_rows_reason), or when the database refuses the paged reading
// in any way (a statement it rejects, rows failing to read, a page that
// does not hold the rows the count promised): the caller then reads every
// row, and that path reports whatever is wrong exactly as it always has.
inline constexpr int64_t kSqliteSortedOffsetRows = 10000;

bool ReadOnePage(GridObject& g, const std::string& counted_sql, const std::string& ordered_sql);

// The statement that reads every row of `ordered_sql` (`counted_sql`
// without the grid's ORDER BY) in the order the pages show, so that a
// page looks the same in both modes and exports and the print view follow
// it: the stable order's forward statement, after ReadOnePage declined.
// `ordered_sql` itself where the grid never pages (another engine, a
// procedure), where the paged reading was refused, or where no tie-break
// can be written or described.
std::string AllRowsSql(GridObject& g, const std::string& counted_sql,
                       const std::string& ordered_sql);

}  // namespace fennick

#endif  // FENNICK_GRID_QUERY_DATABASE_PAGING_H_
