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

// A statement taken apart at the ORDER BY that ends it: the last ORDER BY
// at the top level (not inside parentheses, so neither a subquery's nor a
// window's), outside literals, quoted names and comments, in any case and
// with any blanks or line breaks between its words. `found` is false, and
// the other members empty, when the statement has none, or when the order
// chooses the rows (a TOP before it; LIMIT, OFFSET, FETCH or FOR after it).
struct OrderBySplit {
  bool found = false;
  std::string statement;  // the text before ORDER BY, trailing blanks removed
  std::string order;      // the items after it, without a closing ";" or comment
};
OrderBySplit SplitTrailingOrderBy(std::string_view sql);

// The statement without the ORDER BY that ends it (SplitTrailingOrderBy),
// or whole when it has none that may go.
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
