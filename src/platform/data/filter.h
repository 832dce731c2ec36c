// The filter grammar: conditions on named columns, as recordset filters
// and the grid's filters are written.
//
//   filter     := or
//   or         := and { OR and }
//   and        := not { AND not }
//   not        := NOT not | primary
//   primary    := "(" or ")" | condition
//   condition  := column op literal
//               | column [NOT] LIKE string
//               | column IS [NOT] NULL
//   op         := = | <> | != | < | > | <= | >=
//   column     := name { "." name }      (up to three parts; the last is
//                                          the column, the one before it
//                                          the table)
//   name       := letters, digits, "_", "$" not first | [..] | `..` | ".."
//   literal    := number | string | date | NULL | TRUE | FALSE
//   string     := '..' (a doubled quote stands for one)
//   date       := #..#  (ISO or m/d/yyyy, with an optional time)
//
// Keywords ignore case. "col = NULL" and "col <> NULL" mean IS NULL and
// IS NOT NULL. Anything else is an error: a literal on the left, a
// function, a comment, a second statement. Parsing builds a tree that can
// be checked against the columns of a result (Bind) and then evaluated on
// its rows (Matches), or written back in a canonical form (ToString).
//
// Evaluation follows SQL's three-valued logic: a comparison with a Null
// value is unknown, and a row passes only when the whole filter is true.
// Text compares ignoring ASCII case; LIKE takes % and * for any run of
// characters (an ADO filter does not know "_" and neither does this one).
#ifndef FENNICK_PLATFORM_DATA_FILTER_H_
#define FENNICK_PLATFORM_DATA_FILTER_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fennick/variant.h"

namespace fennick::data {

// The kind of value a column holds, as far as a filter cares.
enum class ValueClass : uint8_t { kNumber, kText, kDate, kBoolean, kBinary };
// The class of an ADO type code.
ValueClass ClassOfType(int32_t ado_type);

struct FilterColumn {
  std::string_view name;
  std::string_view table;  // "" when unknown
  ValueClass value_class;
};

// The outcome of Parse and Bind: ok() or a description of the first fault
// and its byte offset in the filter text.
struct FilterResult {
  std::string description;
  size_t offset = 0;
  bool ok() const { return description.empty(); }
};

// The values of one row, by column position, for Matches.
class FilterRow {
 public:
  virtual ~FilterRow() = default;
  virtual Variant Value(size_t column) const = 0;
};

enum class FilterOp : uint8_t {
  kEqual,
  kNotEqual,
  kLess,
  kGreater,
  kLessEqual,
  kGreaterEqual,
  kLike,
  kNotLike,
  kIsNull,
  kIsNotNull,
};

enum class LiteralKind : uint8_t { kNone, kNumber, kString, kDate, kNull, kBoolean };

struct FilterNode {
  enum class Kind : uint8_t { kAnd, kOr, kNot, kCondition };
  Kind kind = Kind::kCondition;
  uint32_t left = 0;   // kAnd, kOr, kNot: first operand (node index)
  uint32_t right = 0;  // kAnd, kOr: second operand
  // kCondition:
  std::string table;  // qualifier as written, delimiters removed; may be ""
  std::string column;
  FilterOp op = FilterOp::kEqual;
  LiteralKind literal_kind = LiteralKind::kNone;
  std::string literal;  // the literal's text (string unquoted, date without #)
  double number = 0;    // kNumber value, kDate OLE date, kBoolean 1 or 0
  size_t offset = 0;    // where the condition starts in the filter text
  // Set by Bind:
  int32_t column_index = -1;
  ValueClass value_class = ValueClass::kText;
  Variant operand;  // the literal converted for the column's class
};

class FilterExpression {
 public:
  // Parses `text`, replacing what the expression held. A blank text gives
  // an empty expression, which every row matches.
  FilterResult Parse(std::string_view text);
  bool empty() const { return nodes_.empty(); }

  // Resolves each column against `columns` (names ignoring case; a
  // qualifier must match the column's table when that is known) and checks
  // that each literal suits its column: a number or a numeric string for
  // numbers, a date for dates, True/False or a number for Booleans, any
  // literal for text; binary columns only take IS [NOT] NULL; LIKE needs a
  // string.
  FilterResult Bind(std::span<const FilterColumn> columns);

  // Whether a row passes (after a successful Bind).
  bool Matches(const FilterRow& row) const;

  // The canonical text: keywords upper-cased, one blank around operators,
  // names bare or in brackets, every AND and OR in parentheses.
  std::string ToString() const;

  const std::vector<FilterNode>& nodes() const { return nodes_; }
  uint32_t root() const { return root_; }

 private:
  enum class Truth : uint8_t { kFalse, kTrue, kUnknown };
  Truth Evaluate(uint32_t node, const FilterRow& row) const;
  void Write(uint32_t node, std::string& out) const;

  std::vector<FilterNode> nodes_;
  uint32_t root_ = 0;
};

// Matches text against a LIKE pattern (% and * for any run), ignoring ASCII
// case.
bool MatchesLike(std::string_view text, std::string_view pattern);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_FILTER_H_
