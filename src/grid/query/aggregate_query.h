// The SQL of one summary-box value: an aggregate over the rows the grid
// opened.
//
// The aggregate reads the grid's own statement as a derived table,
//   SELECT SUM(q."Amount") FROM (<the statement the grid opened>) AS q
// so it counts exactly the rows the grid shows: the page's WHERE with its
// ORs, the checked filter, GROUP BY, DISTINCT, joins and aliases all stay
// inside the statement, whose trailing ORDER BY is dropped (it cannot
// change an aggregate). The column is named as the result names it.
#ifndef FENNICK_GRID_QUERY_AGGREGATE_QUERY_H_
#define FENNICK_GRID_QUERY_AGGREGATE_QUERY_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/aggregate_functions.h"

namespace fennick {

// A result column's name delimited for the database, always quoted (a
// result name may be a keyword, hold blanks or keep its case): "[Amount]"
// on SQL Server and Access, "`Amount`" on MySQL, "\"Amount\"" elsewhere.
// A delimiter inside the name is doubled.
std::string QuoteResultColumn(int database_type, std::string_view name);

// The grid's opened statement as the derived table of an aggregate: without
// its trailing ORDER BY, or, when the grid fetched at most `row_limit` rows
// (> 0) of a statement without a limit of its own, with that limit on the
// databases that write it as LIMIT (the ORDER BY then stays).
std::string AggregateSource(std::string_view opened_sql, int database_type, int64_t row_limit);

// SELECT COUNT(*), SUM(q.<first>), SUM(q.<second>)... FROM (<source>) AS q:
// the row count and the column sums of the footer rows over the whole
// result, in one statement.
std::string ColumnSumsSql(std::string_view opened_sql, const std::vector<std::string>& columns,
                          int database_type, int64_t row_limit = 0);

// SELECT FUNCTION(q.<column>) FROM (<opened_sql> without its trailing
// ORDER BY) AS q. The function is the aggregate's name on the engine of
// `provider` (stddev_samp on PostgreSQL). When the grid fetched at most
// `row_limit` rows (> 0) of a statement that has no limit of its own, the
// same limit is put into the derived table (after the ORDER BY, which then
// stays) on the databases that write it as LIMIT.
std::string AggregateSql(std::string_view opened_sql, std::string_view column,
                         data::Aggregate aggregate, int database_type, std::string_view provider,
                         int64_t row_limit = 0);

}  // namespace fennick

#endif  // FENNICK_GRID_QUERY_AGGREGATE_QUERY_H_
