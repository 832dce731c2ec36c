// Values written into a report's SQL: literals of one database type, and
// the run-time tokens ("@DATE", "@USERID", "@Region") and required
// parameters ("?Country") that an author's SQL text may hold.
//
// Two kinds of text meet in a report statement. The author's text (the
// administrator's hidden filters, relations, "[sql]" column expressions, a
// stored statement) may hold tokens: they are found by scanning it, as
// whole words, and what replaces them is written as a literal of the place
// the token stands in (inside quotes with the quotes doubled, elsewhere
// only a number). Values (a filter's literal, a user's typed value, a
// session value) are never scanned: they only ever become literals.
//
// Plain value code: no page, no connection; thread-compatible.
#ifndef FENNICK_DESIGNER_REPORT_LITERALS_H_
#define FENNICK_DESIGNER_REPORT_LITERALS_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "designer/report_query.h"

namespace fennick::designer {

// Whether `text` is a plain decimal number: an optional sign, digits with
// at most one ".", an optional exponent. Blanks around it are not allowed.
bool IsSqlNumber(std::string_view text);

// A quoted string literal: single quotes doubled (and backslashes doubled
// on MySQL, where a backslash escapes inside strings).
std::string QuoteLiteral(int database_type, std::string_view value);

// A date typed or stored as text, written the way the database reads it
// (without delimiters): ISO "yyyy-mm-dd[ hh:mm:ss]" on SQLite and
// PostgreSQL, "y-m-d" without padding on MySQL, "m/d/yyyy[ hh:mm:ss]"
// elsewhere. nullopt when the text is no valid date.
std::optional<std::string> DateLiteralText(int database_type, std::string_view value);

// The date text between its delimiters: "#" on Access, "{" "}" on FoxPro,
// quotes elsewhere.
std::string DelimitDate(int database_type, std::string_view text);

// Whether `value` is, as a whole, a token ("@" + name) or a required
// parameter ("?" + name); `name` receives the name. Names are ASCII
// letters, digits and "_", starting with a letter or "_".
bool IsWholeToken(std::string_view value, char marker, std::string* name = nullptr);

// Fills tokens and parameters from the run values, collecting what is
// missing and the first error. With no run values, everything stays as
// written (the statement as the builder shows it).
class TokenResolver {
 public:
  TokenResolver(const ReportQueryOptions& options, const ReportRunValues* values)
      : options_(options), values_(values) {}

  bool active() const { return values_ != nullptr; }
  const std::vector<std::string>& missing() const { return missing_; }
  const std::string& error() const { return error_; }
  void Fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
  }

  // The value a whole-value token or parameter stands for, unformatted;
  // nullopt when it is missing (a required parameter then joins the
  // missing list). Date tokens give ISO text. `value` starts with "@" or
  // "?"; `hidden` is set for the administrator's filters, where a missing
  // session value never turns into a parameter the user could type: it is
  // an error (the statement does not run).
  std::optional<std::string> ValueOf(std::string_view value, bool hidden);

  // `text` (an author's SQL text) with its tokens and parameters filled:
  // each "@name" or "?name" standing as a whole word outside identifier
  // delimiters. Inside a quoted literal the value goes in with its quotes
  // doubled; elsewhere it must be a number (else the error is set). Date
  // and time tokens go in as written by the date rules of the database.
  std::string Fill(std::string_view text, bool hidden);

 private:
  std::optional<std::string> Parameter(std::string_view name);
  std::optional<std::string> SystemToken(std::string_view name, bool for_text) const;

  const ReportQueryOptions& options_;
  const ReportRunValues* values_;
  std::vector<std::string> missing_;
  std::string error_;
};

// Whether `sql` (an author's condition or expression) stays one closed
// piece when put inside parentheses: every quoted literal and delimited
// name closed (on MySQL a backslash escapes inside quotes, as MySQL reads
// it), parentheses balanced outside them, and no ";" or comment. A piece
// that is not closed could end the parentheses around it and lift the
// conditions that follow.
bool IsClosedFragment(std::string_view sql, int database_type);

// Where `keyword` ("WHERE", "GROUP BY"; any case, any white space between
// its words) stands as a word in `sql` outside quoted literals, delimited
// names, comments and parentheses, starting at `from` or later: the span
// of the words; nullopt when it does not.
struct KeywordSpan {
  size_t begin;
  size_t end;
};
std::optional<KeywordSpan> FindTopLevel(std::string_view sql, std::string_view keyword,
                                        size_t from = 0);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_REPORT_LITERALS_H_
