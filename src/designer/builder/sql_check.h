// The checker of what report builders type as SQL: join conditions
// (relations), computed columns ("[sql]" formats) and filter values.
//
// Whatever the builder stores is run later as SQL for every viewer of the
// report, so typed SQL is never stored as typed. It is parsed with a small
// grammar and written again from the parse:
//
//   condition  := or
//   or         := and { OR and }
//   and        := not { AND not }
//   not        := NOT not | predicate
//   predicate  := value [ cmp value | [NOT] LIKE value | IS [NOT] NULL
//                       | [NOT] IN "(" value { "," value } ")"
//                       | [NOT] BETWEEN value AND value ]
//   cmp        := = | <> | != | < | > | <= | >=
//   value      := term { (+ | - | "||") term }
//   term       := unary { (* | / | %) unary }
//   unary      := (- | +) unary | primary
//   primary    := number | 'text' | #date# | NULL | TRUE | FALSE | column
//               | function "(" [ value { "," value } ] ")"
//               | CASE [value] WHEN .. THEN value { WHEN .. } [ELSE value] END
//               | CAST "(" value AS (NUMBER | TEXT | DATE) ")"
//               | "(" condition ")"
//   column     := [ table "." ] name   (names bare, [..], ".." or `..`)
//
// Columns must belong to the objects the page offers (the report's own
// tables); functions must be in the one table of allowed functions
// (AllowedFunctions). Names are written delimited for the database, string
// literals with their quotes doubled, dates and casts in the database's own
// form. A subquery, a second statement, a comment or anything outside the
// grammar is refused with the offending text and the reason.
//
// Plain value code: thread-compatible, no page, no connection.
#ifndef FENNICK_DESIGNER_BUILDER_SQL_CHECK_H_
#define FENNICK_DESIGNER_BUILDER_SQL_CHECK_H_

#include <string>
#include <string_view>
#include <vector>

namespace fennick::designer {

// One object of the report with its columns, as the database lists them.
struct CheckedTable {
  std::string name;  // as the report names it ("Orders", "sales.Orders")
  std::vector<std::string> columns;
  std::vector<int> categories;  // type category of each column (131, 200, 7...)
};

// The outcome of a check: the SQL to store, or why there is none.
struct SqlCheck {
  std::string sql;
  std::string error;  // "" when the text passed
  bool ok() const { return error.empty(); }
};

// One allowed function: its name as typed and its argument counts.
struct AllowedFunction {
  const char* name;
  int min_args;
  int max_args;  // -1: any number from min_args on
};

// The table of functions the builder accepts in typed SQL.
const std::vector<AllowedFunction>& AllowedFunctions();

class SqlChecker {
 public:
  SqlChecker(int database_type, std::vector<CheckedTable> tables)
      : database_type_(database_type), tables_(std::move(tables)) {}

  // A join condition or any other condition: must be a condition (a
  // comparison, IS NULL, LIKE, IN, BETWEEN or their AND/OR/NOT), not a bare
  // value.
  SqlCheck Condition(std::string_view text) const;

  // A computed column: a value. "#TEMP#" (any case) stands for the field
  // the format belongs to and is kept as "#TEMP#" for the query builder.
  SqlCheck Expression(std::string_view text) const;

  // A "[sql]...[/sql]" format: the expression inside checked and written
  // again between the markers; any other format returned unchanged.
  SqlCheck Format(std::string_view format) const;

  // A filter entry's value for condition `code` on column `field`: a field
  // reference ("!" + column) must name a column of the report, a parameter
  // ("?" name) or token ("@" name) a plain name; an IS IN list (items
  // separated by "|") becomes literals in the database's quoting; the
  // ordering conditions (3, 4, 8, 9) need a number or a date unless
  // `allow_all`. Returns the value to store.
  SqlCheck FilterValue(std::string_view field, int code, std::string_view value,
                       bool allow_all) const;

  // The column named `name` ("table.col" or "col"), written as the report's
  // fields write it ("" with the reason in `error` when there is none).
  std::string FindColumn(std::string_view name, std::string* error, int* category = nullptr) const;

  int database_type() const { return database_type_; }
  const std::vector<CheckedTable>& tables() const { return tables_; }

 private:
  int database_type_;
  std::vector<CheckedTable> tables_;
};

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_BUILDER_SQL_CHECK_H_
