// Paging in the database: the rule, the engines' paging clauses, the read
// snapshot and the reading of one page.
#include "grid/query/database_paging.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include "base/ascii.h"
#include "fennick/data.h"
#include "frame/module_state.h"
#include "grid/grid_object.h"
#include "grid/query/database_type.h"
#include "grid/query/deep_page.h"
#include "grid/query/row_count_reuse.h"
#include "grid/query/stable_order.h"

namespace fennick {
namespace {

// The count and the page read from one snapshot of the database, where the
// engine offers one, so that the page holds the rows the count promised.
//
// SQLite: a savepoint starts a deferred transaction (or nests in the
// page's own), whose first read fixes what the following reads see.
// PostgreSQL: inside a transaction the page opened, a savepoint keeps to
// it (and its isolation); otherwise the reads run in a read-only
// repeatable-read transaction of their own.
// Other engines read without one: a page that does not match its count
// then sends the grid to its all-rows path.
class ReadSnapshot {
 public:
  ReadSnapshot(Connection& connection, int database_type) : connection_(connection) {
    if (database_type == kDbSQLite) {
      Run("SAVEPOINT fennick_page");
      end_ = {"ROLLBACK TO fennick_page", "RELEASE fennick_page"};
    } else if (database_type == kDbPostgreSql) {
      const std::optional<bool> in_transaction = connection.InTransaction();
      if (in_transaction.value_or(false)) {
        Run("SAVEPOINT fennick_page");
        // A failed read aborts the page's transaction up to the savepoint
        // only: rolling back to it (nothing was written) keeps the page's
        // transaction usable either way.
        end_ = {"ROLLBACK TO SAVEPOINT fennick_page", "RELEASE SAVEPOINT fennick_page"};
      } else if (in_transaction) {
        Run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        end_ = {"ROLLBACK"};
      }
    }
  }
  ~ReadSnapshot() {
    for (const std::string& sql : end_) {
      try {
        Run(sql);
      } catch (const Error&) {
        // Ignoring errors on purpose: nothing was written, and a connection
        // that fails here fails the grid's next statement visibly.
      }
    }
  }
  ReadSnapshot(const ReadSnapshot&) = delete;
  ReadSnapshot& operator=(const ReadSnapshot&) = delete;

 private:
  // As text: a one-word statement ("ROLLBACK") would otherwise be looked
  // up as a table or procedure name first, a catalogue query that fails
  // in an aborted transaction and would leave it open.
  void Run(const std::string& sql) { connection_.Execute(sql, nullptr, kAdCmdText); }

  Connection& connection_;
  std::vector<std::string> end_;
};

// Whether a column of the page has no type of its own to show: SQLite
// types a column without a declared type (an expression) by its first
// value that is not null, so a column null throughout the page would be
// typed as text where every row might type it as a number.
bool HasUntypedColumn(Recordset& page) {
  for (size_t c = 0; c < page.FieldCount(); ++c) {
    Field field = page.Fields(c);
    if (field.Type() != kAdVarChar || field.DefinedSize() != 0) continue;
    bool all_null = true;
    for (page.MoveFirst(); !page.Eof(); page.MoveNext()) {
      if (!field.IsNull()) {
        all_null = false;
        break;
      }
    }
    if (all_null) return true;
  }
  return false;
}

// Whether SQLite sorts the rows of `sql` itself (no index gives its
// order), from its query plan.
bool SqliteSortsRows(Connection& connection, const std::string& sql) {
  Recordset plan;
  plan.Open("EXPLAIN QUERY PLAN " + sql, connection, kAdOpenStatic, kAdLockReadOnly, -1);
  for (; !plan.Eof(); plan.MoveNext()) {
    for (size_t c = 0; c < plan.FieldCount(); ++c) {
      const Variant v = plan.Fields(c).Value();
      if (v.IsString() && v.AsString().find("TEMP B-TREE FOR") != std::string::npos &&
          v.AsString().find("ORDER BY") != std::string::npos) {
        return true;
      }
    }
  }
  return false;
}

int64_t CountRows(Connection& connection, const std::string& counted_sql) {
  Recordset count;
  count.Open("SELECT COUNT(*) FROM (" + counted_sql + ") fennick_count", connection, kAdOpenStatic,
             kAdLockReadOnly, -1);
  if (count.Eof() || count.FieldCount() != 1) throw Error(kErrDataCommandFailed, "no count");
  return count.Fields(0).Value().AsInt64();
}

}  // namespace

AllRowsReason WhyAllRows(const GridObject& g) {
  const GridPageState& p = *g.page;
  if (!g.settings.database_paging) return AllRowsReason::kSwitchedOff;
  if (!TrimBlanks(g.settings.procedure_name).empty()) return AllRowsReason::kProcedure;
  if (!p.page_results || p.page_size <= 0) return AllRowsReason::kNoPaging;
  if (g.req.print_view) return AllRowsReason::kPrintView;
  if (g.settings.graph_only) return AllRowsReason::kGraphOnly;
  if (g.settings.graph_type > 0 && !g.req.page_graph) return AllRowsReason::kGraphOfAllRows;
  if (p.master_mode) return AllRowsReason::kMasterDetails;
  if (g.result.all_rows_needed) return AllRowsReason::kAllRowsReader;
  if (!PageClause(g.req.database_type, 1, 0)) return AllRowsReason::kEngine;
  return AllRowsReason::kNone;
}

int32_t PrintRowLimit(const GridObject& g) {
  const int32_t cap = CurrentModuleState().max_print_rows;
  if (!g.req.print_view || cap <= 0 || cap == std::numeric_limits<int32_t>::max()) return 0;
  return cap + 1;
}

std::optional<std::string> PageClause(int database_type, int64_t limit, int64_t offset) {
  switch (database_type) {
    case kDbMySql:
    case kDbSQLite:
    case kDbPostgreSql:
      return " LIMIT " + std::to_string(limit) + " OFFSET " + std::to_string(offset);
    default:
      // SQL Server, Oracle and the rest page with OFFSET ... FETCH only
      // from some version on, and the grid cannot tell which it talks to.
      return std::nullopt;
  }
}

int64_t CorrectedStart(int64_t start, int64_t rows, int64_t page_size) {
  if (page_size <= 0) return 1;
  if (start <= rows - 1) return std::max<int64_t>(start, 1);
  const int64_t remainder = rows % page_size;
  const int64_t corrected = remainder != 0 ? rows - remainder + 1 : rows - page_size + 1;
  return std::max<int64_t>(corrected, 1);
}

int64_t PageStart(int64_t start, int64_t rows, int64_t page_size) {
  start = CorrectedStart(start, rows, page_size);
  if (page_size > 0) start = (start - 1) / page_size * page_size + 1;
  return start;
}

std::string AllRowsSql(GridObject& g, const std::string& counted_sql,
                       const std::string& ordered_sql) {
  const AllRowsReason reason = g.result.all_rows_reason;
  const int type = g.req.database_type;
  if (!g.page->connection || !PageClause(type, 1, 0) || reason == AllRowsReason::kProcedure ||
      reason == AllRowsReason::kRefused || reason == AllRowsReason::kUnstableOrder) {
    return ordered_sql;
  }
  try {
    ReadSnapshot snapshot(*g.page->connection, type);
    std::optional<PageOrder> order = StableOrder(*g.page->connection, g.page->connection_string,
                                                 type, ordered_sql, counted_sql);
    if (!order || order->forward == ordered_sql) return ordered_sql;
    // Planned once inside the snapshot: a tie-break the database cannot
    // order by (a json column) is found here, where failing costs nothing.
    if (type != kDbSQLite) {
      Recordset plan;
      plan.Open("EXPLAIN " + order->forward, *g.page->connection, kAdOpenStatic, kAdLockReadOnly,
                kAdCmdText);
    }
    return order->forward;
  } catch (const Error&) {
    return ordered_sql;  // the command as it always ran; it reports its own errors
  }
}

// The most rows a page placed by a carried count skips when read forward;
// past them it is read from the end of the result, after a fresh count.
constexpr int64_t kCarriedForwardRows = 1000;

bool ReadOnePage(GridObject& g, const std::string& counted_sql, const std::string& ordered_sql) {
  OpenResult& result = g.result;
  result.paged = false;
  result.all_rows_reason = WhyAllRows(g);
  if (result.all_rows_reason != AllRowsReason::kNone) return false;
  GridPageState& p = *g.page;
  const int type = g.req.database_type;
  const int32_t max_records = CurrentModuleState().max_records;
  try {
    auto page = std::make_shared<Recordset>();
    int64_t rows = 0;
    int64_t offset = 0;
    int64_t expected = 0;
    std::optional<PageOrder> order;
    {
      ReadSnapshot snapshot(*p.connection, type);
      // Inside the snapshot: a describing query that fails there leaves a
      // transaction the page opened as it was.
      order = StableOrder(*p.connection, p.connection_string, type, ordered_sql, counted_sql);
      if (!order) {
        result.all_rows_reason = AllRowsReason::kUnstableOrder;
        return false;
      }
      // A count the form carried back stands while nothing it depends on
      // changed (grid/query/row_count_reuse.h).
      const std::optional<int64_t> carried = CarriedRowCount(g, counted_sql);
      rows = carried ? *carried
                     : NoteCountedRows(g, counted_sql, CountRows(*p.connection, counted_sql));
      auto plan = [&] {
        // MaxRecords caps the result the grid shows, as it caps the rows
        // the all-rows path reads.
        if (max_records > 0) rows = std::min<int64_t>(rows, max_records);
        offset = PageStart(p.start_rec, rows, p.page_size) - 1;
        expected = std::clamp<int64_t>(rows - offset, 0, p.page_size);
        return PlanPageReading(*p.connection, *order, rows, offset, expected,
                               max_records > 0 && rows >= max_records);
      };
      PageReading reading = plan();
      if (carried && reading.from_end) {
        // A page read from the end of the result cannot tell whether rows
        // came or went since the count it was placed by. Near the start it
        // is read forward, where the page itself shows it; deep in a large
        // result counting again costs less than skipping every row before it.
        if (offset <= kCarriedForwardRows) {
          reading = PageReading{order->forward, offset, false};
        } else {
          rows = NoteCountedRows(g, counted_sql, CountRows(*p.connection, counted_sql));
          reading = plan();
        }
      }
      if (type == kDbSQLite && reading.skipped > kSqliteSortedOffsetRows &&
          SqliteSortsRows(*p.connection, reading.sql)) {
        result.all_rows_reason = AllRowsReason::kDeepSortedPage;
        return false;
      }
      // An empty result still opens its (empty) page: the grid learns its
      // columns from it and says that nothing was returned.
      std::optional<std::string> clause = PageClause(
          type, std::max<int64_t>(expected, 1) + CarriedCountProbe(g, offset, expected),
          reading.skipped);
      page->Open(reading.sql + *clause, *p.connection, kAdOpenStatic, kAdLockReadOnly, -1);
      if (reading.from_end) page->ReverseRows();
    }
    const int64_t fetched = page->RecordCount();
    // A reused count the page contradicts: read the page again, counting.
    if (CarriedCountDisproved(g, fetched, expected)) {
      return ReadOnePage(g, counted_sql, ordered_sql);
    }
    // More rows than asked for (a clause the command swallowed) or fewer
    // than counted (rows that changed between the two reads, where no
    // snapshot holds them): only every row gives the right page.
    if (fetched != expected) {
      result.all_rows_reason = AllRowsReason::kRefused;
      return false;
    }
    if (fetched > 0 && type == kDbSQLite && HasUntypedColumn(*page)) {
      result.all_rows_reason = AllRowsReason::kUntypedColumn;
      return false;
    }
    if (fetched > 0) page->MoveFirst();
    result.recordset = std::move(page);
    result.opened_sql = order->forward;
    result.page_offset = offset;
    result.row_count = rows;
    result.paged = true;
    return true;
  } catch (const Error&) {
    // Refused in any way (a filter the database rejects, a command that
    // cannot stand as a derived table, rows failing to read): the all-rows
    // path runs the command as it always has and reports what is wrong.
    result.recordset.reset();
    result.all_rows_reason = AllRowsReason::kRefused;
    return false;
  }
}

}  // namespace fennick
