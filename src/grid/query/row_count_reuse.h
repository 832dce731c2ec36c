// Counting a grid's rows only when the answer can have changed.
//
// A grid that reads one page from the database counts the rows of its
// filtered query for the counter and the navigation bar, and the count
// costs far more than the page. The count a user saw therefore travels
// with the grid's form, sealed, in the hidden "rowcount" field, and the
// next post of that form shows it again instead of counting:
//
// - The token holds the rows, when they were counted, the session, the
//   page's path, a fingerprint of the connection string and the command as
//   the page set it (the scope), a fingerprint of the counted query (the
//   command with its filter) and the page size. A token that does not
//   open, or that names another page or another session than the page's,
//   was moved: the request is refused with 400, as any sealed field that
//   does not open as its own.
// - On its own page, a token is reused only while its scope, query and page
//   size are the grid's and it is younger than RowCountLifetime seconds
//   (default 30; 0 counts on every request). Another scope counts again
//   rather than refusing: the grids of one page read the same posted
//   fields, and a page may build its command from what was posted. A
//   filter change (the filter bar, the popup filter window, which writes
//   the filter field itself, the reset link), another page size, Reload
//   (the link that posts the page already shown) and an old count count
//   again. A sort only orders the same rows: it reuses the count.
// - The session is bound only when the page had one before the grid wrote
//   its fields (it looked its session up or started it): only then can the
//   page's query depend on who asks. A token bound to no session is good in
//   any session of its scope.
// - A page read with a reused count that does not hold the rows the count
//   promised (rows deleted: a short or empty last page; rows added: the
//   last page reads one row more to see them) is read again with a fresh
//   count in the same request, so the counter and the navigation bar are
//   never wrong for more than one request. Rows added or deleted before
//   the last page show in the rows at once and in the counter once the
//   count is taken again.
//
// The designer's report grids do not carry the field: they count each time.
#ifndef FENNICK_GRID_QUERY_ROW_COUNT_REUSE_H_
#define FENNICK_GRID_QUERY_ROW_COUNT_REUSE_H_

#include <cstdint>
#include <optional>
#include <string>

namespace fennick {

struct GridObject;

// The default of RowCountLifetime, in seconds.
inline constexpr int32_t kDefaultRowCountLifetimeSeconds = 30;

// The count behind the page a grid shows, kept for its form.
struct RowCountState {
  bool known = false;    // a count was taken or reused for this request
  bool carried = false;  // it came from the posted token
  bool spent = false;    // the posted token was disproved: count now
  int64_t rows = 0;      // the rows of the filtered query, before MaxRecords
  int64_t counted_at = 0;  // Unix seconds of the count
  std::string query;     // fingerprint of the counted query
};

// The posted count when it may stand for the rows of `counted_sql` (the
// grid's filtered command without its ORDER BY), remembered for the form;
// nullopt when the grid must count. Refuses the request (400, ending the
// page) when the posted token does not open or was moved from another
// page or session.
std::optional<int64_t> CarriedRowCount(GridObject& g, const std::string& counted_sql);

// Remembers a fresh count of `counted_sql` for the form; returns `rows`.
int64_t NoteCountedRows(GridObject& g, const std::string& counted_sql, int64_t rows);

// The rows to read beyond `expected` for the page that starts at `offset`:
// 1 on the last page of a reused count, so rows added since it was taken
// show up; 0 otherwise.
int64_t CarriedCountProbe(const GridObject& g, int64_t offset, int64_t expected);

// Whether the page read (`fetched` rows where `expected` were due) proves a
// reused count wrong; the grid then reads its page again, counting.
bool CarriedCountDisproved(GridObject& g, int64_t fetched, int64_t expected);

// The sealed "rowcount" value for the grid's form, or "" when there is no
// count to carry.
std::string SealedRowCount(const GridObject& g);

}  // namespace fennick

#endif  // FENNICK_GRID_QUERY_ROW_COUNT_REUSE_H_
