// The tokens of the SQL report builders type (designer/builder/sql_check.h):
// numbers, 'texts', #dates# (and FoxPro's {^dates}), names bare or
// delimited, "#TEMP#" and symbols. A ";", a comment or an escape ends the
// text with a refusal. On MySQL, "\\" inside quotes is one backslash, as
// MySQL reads it, so that text the checker wrote reads back to itself.
//
// Plain value code: thread-compatible.
#ifndef FENNICK_DESIGNER_BUILDER_SQL_TOKENS_H_
#define FENNICK_DESIGNER_BUILDER_SQL_TOKENS_H_

#include <string>
#include <string_view>
#include <vector>

namespace fennick::designer {

enum class SqlTok { kEnd, kNumber, kString, kDate, kName, kQuotedName, kSymbol, kTemp };

struct SqlToken {
  SqlTok kind = SqlTok::kEnd;
  std::string text;  // names without delimiters, strings unquoted
  size_t offset = 0;
};

// The tokens, ending with one of kind kEnd; or none, with the reason and
// where the text went wrong.
struct SqlTokens {
  std::vector<SqlToken> tokens;
  std::string error;
  size_t error_offset = 0;
  bool ok() const { return error.empty(); }
};

SqlTokens TokenizeSql(std::string_view text, int database_type);

// A date as typed between "#": yyyy-mm-dd or m/d/yyyy with an optional
// hh:mm[:ss]; hh, mm and ss are -1 without a time.
bool ParseSqlDate(std::string_view text, int* y, int* m, int* d, int* hh, int* mm, int* ss);
// The date as "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss".
std::string SqlDateText(int y, int m, int d, int hh, int mm, int ss);
// A plain decimal number: optional sign, digits, at most one ".".
bool IsSqlNumberText(std::string_view text);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_BUILDER_SQL_TOKENS_H_
