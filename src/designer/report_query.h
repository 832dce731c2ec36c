// The statement of a stored report: built from its definition, with the
// administrator's hidden filters, the run-time tokens and the values users
// type for required parameters put in safely.
//
// A report's SQL is assembled here from the definition (tables, fields,
// relations, filters, grouping, aggregates) or is a procedure call. What a
// user types never becomes SQL text as typed: a required parameter or a
// session value is written as a literal of its place (quotes doubled inside
// a quoted literal, a number where no quotes surround it, a validated ISO
// date), and a token is recognised only where the report's author put one.
//
// Everything here is plain value code: no page, no file, no connection.
#ifndef FENNICK_DESIGNER_REPORT_QUERY_H_
#define FENNICK_DESIGNER_REPORT_QUERY_H_

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "designer/report_definition.h"

namespace fennick::designer {

// The designer settings that shape a report's statement.
struct ReportQueryOptions {
  int database_type = 0;  // the connection's type code (GetDatabaseType)
  std::string db_owner;   // DbOwner
  // SqlNamePrefix / SqlNameSuffix: "$" means not set; both "" switch
  // delimiting off.
  std::string sql_name_prefix = "$";
  std::string sql_name_suffix = "$";
  std::string hidden_sql_filter;   // HiddenSqlFilter
  std::string hidden_filter_list;  // AddHiddenSqlFilter: table "|=|" filter "|||" ...
};

// What a statement's tokens and parameters are filled from at display time.
struct ReportRunValues {
  // A session value by name ("" when missing).
  std::function<std::string(std::string_view name)> session;
  // A required parameter's typed value: the query field "n_" + name, then
  // name; nullopt when the request does not carry it.
  std::function<std::optional<std::string>(std::string_view name)> parameter;
  std::time_t now = 0;  // the time the date tokens stand for
};

// A report's statement, ready for the report grid, or why it is not.
struct ReportStatement {
  std::string sql;  // the statement to run ("" unless ok())
  // Required parameters the request does not carry, in order of first
  // appearance: the page asks for them and runs nothing.
  std::vector<std::string> missing_parameters;
  std::string error;  // a typed value that cannot be used (an invalid date...)
  bool ok() const { return missing_parameters.empty() && error.empty(); }
};

// The statement of a report from its definition, ready to run.
// A table report: SELECT list, FROM, filters, relations, hidden filters,
// GROUP BY, with its run-time tokens and required parameters filled.
// A procedure report (isproc 1): the call in the "|=|" / "|||" form with
// each parameter's value ("?Year" and "@name" values filled from `values`,
// missing ones listed), to be read back with ParseProcedureCall and run
// with named parameters; hidden filters cannot reach into a procedure.
ReportStatement PrepareReportStatement(const ReportDefinition& report,
                                       const ReportQueryOptions& options,
                                       const ReportRunValues& values);

// A stored statement (the reports file's `query`) with its tokens, the
// page's named parameters (name, value) and the hidden filters of
// `report`'s tables applied. Also the way to run a table shown whole:
// "SELECT * FROM " + QuoteReportName(name) with `report.tables` = name, so
// that tokens in the hidden filters ("OwnerId='@USERID'") are filled.
ReportStatement PrepareStoredStatement(std::string_view sql, const ReportDefinition& report,
                                       const ReportQueryOptions& options,
                                       const ReportRunValues& values);

// The SELECT statement of a definition, before hidden filters, tokens and
// parameters.
std::string BuildReportSql(const ReportDefinition& report, const ReportQueryOptions& options);

// The WHERE condition of the report's filters, without the word WHERE; ""
// when there are none.
std::string GetFilters(const ReportDefinition& report, const ReportQueryOptions& options);

// The page method GetFilter: the constant condition "0=0", whatever it is
// given (kept for pages that call it).
std::string GetFilter(std::string_view value, std::string_view condition, std::string_view type);

// One filter entry with its condition code shown as words, as HTML: the
// field and value are HTML-encoded, the words are in <i>.
std::string FilterDisplayText(std::string_view entry);

// A delimited table or field name for the report's database (with the
// DbOwner in front when `with_owner`). With delimiting switched off, a
// name other than letters, digits, "_", "$" and "." keeps the
// database's own delimiters.
std::string QuoteReportName(const ReportQueryOptions& options, std::string_view name,
                            bool with_owner);

// The statement with the hidden filters of `report`'s tables and
// HiddenSqlFilter added: before the statement's own GROUP BY, HAVING,
// ORDER BY or LIMIT, its own condition put in parentheses first. Tokens in
// the hidden filters are left as written, so a statement that will run
// goes through PrepareStoredStatement instead (a table shown as it is:
// "SELECT * FROM " + its quoted name, with `report.tables` the table). A
// compound statement (UNION, INTERSECT, EXCEPT) gives "".
std::string ApplyHiddenSqlFilters(std::string_view statement, const ReportDefinition& report,
                                  const ReportQueryOptions& options);

// A procedure report's parameters, parsed from its `params` text, values
// as stored ("?Year" stays "?Year"; PrepareReportStatement fills them).
struct ProcedureArgument {
  std::string name;   // without the leading "@"
  std::string value;  // as the report stores it, without quotes or "#"
  std::string category;
};
std::vector<ProcedureArgument> ProcedureArguments(const ReportDefinition& report);

// The procedure call text: the quoted procedure name, `name_separator`,
// then "@" name "=" literal per parameter joined by `list_separator`
// (literals left empty when `with_values` is off).
std::string BuildProcedureCall(const ReportDefinition& report, const ReportQueryOptions& options,
                               std::string_view name_separator, std::string_view list_separator,
                               bool with_values);

// A procedure call in the "|=|" / "|||" form, read back: the procedure
// name (delimiters removed) and each "@name=literal" as a name (without
// "@") and its value (quotes or "#" removed, doubled quotes undone). The
// separators are looked for outside quoted literals only, so a typed value
// holding "|||" stays one value. nullopt for text not in that form.
struct ProcedureCall {
  std::string procedure;
  std::vector<std::pair<std::string, std::string>> arguments;
};
std::optional<ProcedureCall> ParseProcedureCall(std::string_view text);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_REPORT_QUERY_H_
