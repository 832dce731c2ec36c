// SQL text routines of the grid: putting a filter into a statement, the
// SQL shown to developers, and SQL written into the page as a comment.
#ifndef FENNICK_GRID_QUERY_SQL_TEXT_H_
#define FENNICK_GRID_QUERY_SQL_TEXT_H_

#include <string>
#include <string_view>

namespace fennick {

// The statement with the filter added: joined with " AND " when it already
// has a WHERE, else " WHERE ", placed before GROUP BY (any case) or else
// before ORDER BY when the statement has one, else at the end. An existing
// WHERE condition is put in brackets first, so a condition holding OR is
// filtered as a whole. Only keywords of the statement itself count: those
// inside string literals, quoted names and brackets are passed over.
std::string AddFilterToSql(std::string_view sql, std::string_view filter);

// The statement without the ORDER BY that ends it (the last one at the top
// level, outside literals, quoted names and brackets, any case). The
// statement is returned whole when it has none, or when a row limit (TOP,
// LIMIT, OFFSET, FETCH) makes the order choose the rows.
std::string WithoutTrailingOrderBy(std::string_view sql);

// The command with every ", " made "," outside string literals ('...') and
// quoted names ("...", [...], `...`), whose text is kept as written.
std::string CollapseCommaBlanks(std::string_view sql);

// The SQL for reading in the page: HTML-encoded, inside <code>, with its
// keywords in blue and the clauses on their own lines.
std::string FormatSqlForDisplay(std::string_view sql);

// The SQL as an HTML comment on its own lines ("\r\n<!--\r\nSQL\r\n-->").
// A ">" inside is written as "&gt;" so the text can never end the comment.
std::string SqlComment(std::string_view sql);

}  // namespace fennick

#endif  // FENNICK_GRID_QUERY_SQL_TEXT_H_
