// Report statements: the SELECT of a definition, its filters, the hidden
// filters, procedure calls, and the run-time values put into them.
#include "designer/report_query.h"

#include "base/ascii.h"
#include "base/split.h"
#include "designer/report_literals.h"
#include "grid/query/database_type.h"
#include "platform/data/aggregate_functions.h"
#include "platform/web/http_text.h"

namespace fennick::designer {
namespace {

constexpr int kCategoryNumber = 131, kCategoryMoney = 6, kCategoryDate = 7, kCategoryBoolean = 11;

// Conditions that can never hold: what a filter the builder cannot have
// written (an unknown condition code, a date that is none) turns into, so
// such a report shows no rows rather than all of them.
constexpr std::string_view kNoRows = "1=0";

int CategoryOf(const ReportDefinition& report, std::string_view field) {
  std::string text = ReportSchemaValue(report.schema, field, "t");
  int value = 0;
  for (char c : TrimBlanks(text)) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > 32767) return 0;
  }
  return value;
}

bool IsNumeric(int category) {
  return category == kCategoryNumber || category == kCategoryMoney || category == kCategoryBoolean;
}

// Delimiting is switched off when both the prefix and the suffix are set
// to "". Names then go into SQL as written, so only plain names may.
bool DelimitingOff(const ReportQueryOptions& options) {
  return options.sql_name_prefix.empty() && options.sql_name_suffix.empty();
}

bool IsPlainName(std::string_view name) {
  if (TrimBlanks(name).empty()) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '.' || c == '$';
    if (!ok) return false;
  }
  return true;
}

std::string Concat(int type) {
  // SQLite and PostgreSQL join texts with "||" ("+" adds numbers there).
  return type == kDbSQLite || type == kDbPostgreSql ? "||" : "+";
}

std::string FirstTable(const ReportDefinition& report) {
  std::vector<std::string_view> tables = SplitTrimmed(report.tables, ",");
  return tables.empty() ? std::string() : std::string(tables.front());
}

// The table a filter's subquery reads: the field's own table prefix, else
// the report's (first) table.
std::string FieldTable(const ReportDefinition& report, std::string_view field) {
  size_t dot = field.find('.');
  if (dot != std::string_view::npos && dot > 0)
    return std::string(TrimBlanks(field.substr(0, dot)));
  return FirstTable(report);
}

std::string_view ProviderOf(int type) {
  if (type == kDbPostgreSql) return "PostgreSQL";
  if (type == kDbMySql) return "MySQL";
  return "";
}

// A column of the select list: the "[sql]" expression of its format, with
// "#TEMP#" standing for the delimited field, or nullopt for a plain field.
std::optional<std::string> SqlExpression(const ReportDefinition& report,
                                         const ReportQueryOptions& options, std::string_view field,
                                         TokenResolver& resolver) {
  std::string format = ReportSchemaValue(report.schema, field, "f");
  size_t open = FindIgnoreCase(format, "[sql]");
  size_t close = FindIgnoreCase(format, "[/sql]");
  if (open == std::string::npos || close == std::string::npos || close < open) return std::nullopt;
  std::string expression = format.substr(open + 5, close - open - 5);
  ReplaceAll(expression, "#TEMP#", QuoteReportName(options, field, false));
  expression = resolver.Fill(expression, false);
  // Checked definitions hold closed expressions only; one that is not
  // closed could end its parentheses, so it shows nothing instead.
  if (!IsClosedFragment(expression, options.database_type)) return std::string("NULL");
  return expression;
}

std::string ColumnAlias(int type, std::string_view item) {
  if (type == kDbPostgreSql) {
    // PostgreSQL takes no string as an alias; a quoted name keeps the case.
    std::string out = "\"";
    for (char c : item) {
      out.push_back(c);
      if (c == '"') out.push_back('"');
    }
    return out + "\"";
  }
  return QuoteLiteral(type, item);
}

std::string QuoteFieldList(const ReportDefinition& report, const ReportQueryOptions& options,
                           const std::vector<std::string_view>& items, TokenResolver& resolver) {
  std::string out;
  for (std::string_view item : items) {
    if (!out.empty()) out.push_back(',');
    if (std::optional<std::string> expression = SqlExpression(report, options, item, resolver)) {
      out += "(" + *expression + ") AS " + ColumnAlias(options.database_type, item);
    } else {
      out += QuoteReportName(options, item, false);
    }
  }
  return out;
}

std::string BuildAggregateList(const ReportDefinition& report, const ReportQueryOptions& options,
                               data::Aggregate aggregate, std::string_view list,
                               TokenResolver& resolver) {
  const std::string_view name = data::AggregateName(aggregate);
  const std::string_view function =
      data::AggregateFunction(aggregate, ProviderOf(options.database_type));
  std::string out;
  int n = 0;
  for (std::string_view item : SplitTrimmed(list, ",")) {
    ++n;
    std::optional<std::string> expression = SqlExpression(report, options, item, resolver);
    const std::string x = expression ? *expression : QuoteReportName(options, item, false);
    out += "," + std::string(function) + "(" + x + ") AS " + std::string(name) + "_" +
           std::to_string(n);
  }
  return out;
}

// A filter value as it goes into a comparison.
struct FilterValue {
  std::string text;        // the value (a literal, a token's value, a field)
  bool reference = false;  // "!" named another field: text is delimited
  bool raw_token = false;  // a token left as written (no run values)
  bool typed = false;      // came from a user or the session: strict rules
  bool missing = false;    // a required parameter not given: nothing runs
};

// Operator and literal of one comparison; nullopt when the value cannot be
// used (the condition then holds for no row).
std::optional<std::string> BuildComparison(const FilterValue& v, std::string_view op, int category,
                                           const ReportQueryOptions& options,
                                           TokenResolver& resolver) {
  const int type = options.database_type;
  std::string out(op);
  if (v.reference) return out + v.text;
  // The statement will not run; the page asks for the parameter first.
  if (v.missing) return out + "NULL";
  if (category == kCategoryDate) {
    if (v.raw_token) return out + DelimitDate(type, v.text);
    std::optional<std::string> date = DateLiteralText(type, v.text);
    if (!date) {
      resolver.Fail("\"" + v.text + "\" is not a valid date.");
      return std::nullopt;
    }
    return out + DelimitDate(type, *date);
  }
  if (IsNumeric(category)) {
    const std::string_view text = TrimBlanks(v.text);
    if (v.raw_token) return out + v.text;
    if (category == kCategoryBoolean) {
      const bool yes = EqualsIgnoreCase(text, "true") || EqualsIgnoreCase(text, "yes") ||
                       EqualsIgnoreCase(text, "on") || text == "1" || text == "-1";
      const bool no = EqualsIgnoreCase(text, "false") || EqualsIgnoreCase(text, "no") ||
                      EqualsIgnoreCase(text, "off") || text == "0";
      if (yes || no) {
        if (type == kDbPostgreSql) return out + (yes ? "TRUE" : "FALSE");
        if (type == kDbAccess) return out + (yes ? "True" : "False");
        return out + (yes ? "1" : "0");
      }
    }
    if (IsSqlNumber(text)) return out + std::string(text);
    if (v.typed) {
      resolver.Fail("\"" + v.text + "\" is not a number.");
      return std::nullopt;
    }
    return out + "0";  // a stored value that is no number compares as 0
  }
  return out + QuoteLiteral(type, v.text);
}

// The IS IN list: every item a literal of its own (a number as it stands,
// anything else quoted), so a list item can never end the list.
std::optional<std::string> InList(std::string_view list, int category,
                                  const ReportQueryOptions& options, TokenResolver& resolver) {
  std::string out;
  for (std::string_view item : SplitTrimmed(list, ",")) {
    std::string value(item);
    if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
      value = value.substr(1, value.size() - 2);
      ReplaceAll(value, "''", "'");
      // The builder wrote MySQL's backslashes doubled: QuoteLiteral doubles
      // them again.
      if (options.database_type == kDbMySql) ReplaceAll(value, "\\\\", "\\");
    }
    if (!out.empty()) out.push_back(',');
    if (category == kCategoryDate) {
      std::optional<std::string> date = DateLiteralText(options.database_type, value);
      if (!date) {
        resolver.Fail("\"" + value + "\" is not a valid date.");
        return std::nullopt;
      }
      out += DelimitDate(options.database_type, *date);
    } else if (IsSqlNumber(value)) {
      out += value;
    } else {
      out += QuoteLiteral(options.database_type, value);
    }
  }
  if (out.empty()) return std::nullopt;
  return out;
}

// The condition of one filter entry; nullopt when it must hold for no row.
std::optional<std::string> FilterCondition(const ReportDefinition& report,
                                           const ReportQueryOptions& options,
                                           std::string_view entry, bool restore_commas,
                                           TokenResolver& resolver) {
  const int type = options.database_type;
  size_t first = entry.find("__");
  if (first == std::string_view::npos) return std::nullopt;
  size_t second = entry.find("__", first + 2);
  const std::string_view field = TrimBlanks(entry.substr(0, first));
  const std::string_view code_text = TrimBlanks(entry.substr(
      first + 2, second == std::string_view::npos ? std::string_view::npos : second - first - 2));
  std::string raw = second == std::string_view::npos
                        ? std::string()
                        : std::string(TrimBlanks(entry.substr(second + 2)));
  int code = 0;
  if (code_text.empty() || code_text.size() > 2) return std::nullopt;
  for (char c : code_text) {
    if (c < '0' || c > '9') return std::nullopt;
    code = code * 10 + (c - '0');
  }
  if (code < 1 || code > 19 || field.empty()) return std::nullopt;
  if (DelimitingOff(options) && !IsPlainName(field)) return std::nullopt;

  // The builder keeps a "," of a value as "|" (a "," would end the entry).
  if (restore_commas || code == 17) ReplaceAll(raw, "|", ",");

  FilterValue v;
  v.text = raw;
  if (!raw.empty() && raw[0] == '!') {
    std::string other = raw.substr(1);
    if (DelimitingOff(options) && !IsPlainName(other)) return std::nullopt;
    v.text = QuoteReportName(options, other, false);
    v.reference = true;
  } else if (IsWholeToken(raw, '@') || IsWholeToken(raw, '?')) {
    if (resolver.active()) {
      std::optional<std::string> value = resolver.ValueOf(raw, false);
      v.text = value.value_or(std::string());
      v.typed = true;
      v.missing = !value;
    } else {
      v.raw_token = true;
    }
  }

  const std::string f = QuoteReportName(options, field, false);
  const int category = CategoryOf(report, field);
  auto cmp = [&](std::string_view op) {
    return BuildComparison(v, op, category, options, resolver);
  };
  const std::string null_test = type == kDbAccess ? "IsNull(" + f + ")" : f + " IS NULL";
  const std::string not_null_test =
      type == kDbAccess ? "Not IsNull(" + f + ")" : f + " IS NOT NULL";
  auto like = [&](std::string_view word, bool head, bool tail) {
    if (v.reference) {
      const std::string join = Concat(type);
      return f + " " + std::string(word) + " " + (head ? "'%'" + join : "") + v.text +
             (tail ? join + "'%'" : "");
    }
    std::string pattern = (head ? "%" : "") + v.text + (tail ? "%" : "");
    return f + " " + std::string(word) + " " + QuoteLiteral(type, pattern);
  };
  auto sub = [&](std::string_view function) {
    return "(SELECT " + std::string(function) + "(" + f + ") FROM " +
           QuoteReportName(options, FieldTable(report, field), true) + ")";
  };
  auto pair = [&](std::string_view second_op,
                  std::string_view joiner) -> std::optional<std::string> {
    std::optional<std::string> a = cmp("="), b = cmp(second_op);
    if (!a || !b) return std::nullopt;
    return " (" + f + *a + std::string(joiner) + f + *b + ") ";
  };

  switch (code) {
    case 1:
      return like("LIKE", true, true);
    case 7:
      return like("NOT LIKE", true, true);
    case 5:
      return like("LIKE", false, true);
    case 6:
      return like("LIKE", true, false);
    case 2:
    case 3:
    case 4:
    case 16: {
      const char* op = code == 2 ? "=" : code == 3 ? "<" : code == 4 ? ">" : "<>";
      std::optional<std::string> c = cmp(op);
      if (!c) return std::nullopt;
      return f + *c;
    }
    case 8:
      return pair(">", " OR ");
    case 9:
      return pair("<", " OR ");
    case 10:
      return "( " + null_test + " OR " + f + "='')";
    case 11:
      return "( " + not_null_test + " AND " + f + "<>'')";
    case 12:
      return null_test;
    case 13:
      return not_null_test;
    case 14:
      return f + " IN " + sub("MAX");
    case 15:
      return f + " IN " + sub("MIN");
    case 17: {
      if (v.reference) return f + " IN (" + v.text + ")";
      if (v.raw_token) return f + " IN (" + QuoteLiteral(type, v.text) + ")";
      if (v.missing) return f + " IN (NULL)";
      std::optional<std::string> list = InList(v.text, category, options, resolver);
      if (!list) return std::nullopt;
      return f + " IN (" + *list + ")";
    }
    case 18:
      return f + " < " + sub("AVG");
    case 19:
      return f + " > " + sub("AVG");
    default:
      return std::nullopt;
  }
}

// The report's filter condition; kNoRows as a whole when any entry cannot
// be used (with OR, one false entry would not keep the others from
// showing rows).
std::string BuildFilters(const ReportDefinition& report, const ReportQueryOptions& options,
                         bool restore_commas, TokenResolver& resolver) {
  std::string_view filters = report.filters;
  if (!filters.empty() && filters.front() == ',') filters.remove_prefix(1);
  const std::string joiner = report.join == 2 ? " OR " : " AND ";
  std::string out;
  for (std::string_view entry : SplitView(filters, ",")) {
    if (TrimBlanks(entry).empty()) continue;
    std::optional<std::string> condition =
        FilterCondition(report, options, entry, restore_commas, resolver);
    if (!condition) return std::string(kNoRows);
    if (!out.empty()) out += joiner;
    out += *condition;
  }
  return out;
}

// The hidden condition of `report`'s tables (AddHiddenSqlFilter) and
// HiddenSqlFilter; "" when there is none.
std::string HiddenCondition(const ReportDefinition& report, const ReportQueryOptions& options,
                            TokenResolver& resolver) {
  std::string out;
  if (!options.hidden_filter_list.empty()) {
    const std::string list = "|||" + options.hidden_filter_list;
    for (std::string_view table : SplitTrimmed(report.tables, ",")) {
      size_t at = FindIgnoreCase(list, "|||" + std::string(table) + "|=|");
      if (at == std::string::npos) continue;
      const size_t begin = at + 3 + table.size() + 3;
      size_t end = list.find("|||", begin);
      if (end == std::string::npos) end = list.size();
      std::string_view filter = TrimBlanks(std::string_view(list).substr(begin, end - begin));
      if (filter.empty()) continue;
      if (!out.empty()) out += " AND ";
      out += " (" + resolver.Fill(filter, true) + ") ";
    }
  }
  std::string_view own = TrimBlanks(options.hidden_sql_filter);
  if (!own.empty()) {
    if (!out.empty()) out += " AND ";
    out += "(" + resolver.Fill(own, true) + ")";
  }
  return out;
}

// Puts the hidden condition into `statement`: before its own GROUP BY,
// HAVING or ORDER BY, after its own condition, which is first put in
// parentheses so that an OR in it cannot reach past the hidden filter.
std::string InsertCondition(std::string_view statement, std::string_view condition,
                            TokenResolver& resolver) {
  if (condition.empty()) return std::string(statement);
  for (std::string_view keyword : {"UNION", "INTERSECT", "EXCEPT"}) {
    if (FindTopLevel(statement, keyword)) {
      // One condition cannot restrict every part of a compound statement.
      resolver.Fail("The report's statement cannot take its hidden filters.");
      return std::string();
    }
  }
  size_t end = statement.size();
  for (std::string_view keyword : {"GROUP BY", "HAVING", "ORDER BY", "LIMIT"}) {
    std::optional<KeywordSpan> at = FindTopLevel(statement, keyword, 1);
    if (at && at->begin < end) end = at->begin;
  }
  std::string_view head = statement.substr(0, end);
  while (!head.empty() && (head.back() == ' ' || head.back() == '\t' || head.back() == '\r' ||
                           head.back() == '\n')) {
    head.remove_suffix(1);
  }
  const std::string tail =
      end < statement.size() ? " " + std::string(statement.substr(end)) : std::string();
  std::string out;
  if (std::optional<KeywordSpan> where = FindTopLevel(head, "WHERE")) {
    out = std::string(head.substr(0, where->end)) + " (" +
          std::string(TrimSpace(head.substr(where->end))) + ") AND (" + std::string(condition) +
          ")";
  } else {
    out = std::string(head) + " WHERE (" + std::string(condition) + ")";
  }
  return out + tail;
}

std::string BuildSelect(const ReportDefinition& report, const ReportQueryOptions& options,
                        TokenResolver& resolver, bool with_hidden) {
  std::vector<std::string_view> fields = SplitTrimmed(report.fields, ",");
  std::string select;
  std::string group_list;
  if (report.grpby == 1) {
    const std::string aggregated = ", " + report.sum + ", " + report.avg + ", " + report.min +
                                   ", " + report.max + ", " + report.stdev + ", " + report.var +
                                   ",";
    std::vector<std::string_view> group;
    for (std::string_view field : fields) {
      const int category = CategoryOf(report, field);
      const bool can_aggregate = category == kCategoryNumber || category == kCategoryMoney;
      if (!can_aggregate || !ContainsIgnoreCase(aggregated, ", " + std::string(field) + ",")) {
        group.push_back(field);
      }
    }
    group_list = QuoteFieldList(report, options, group, resolver);
    std::string tail;
    if (report.count == 1) tail += ",COUNT(*) AS COUNT_1";
    const std::pair<data::Aggregate, const std::string*> lists[] = {
        {data::Aggregate::kSum, &report.sum},     {data::Aggregate::kAvg, &report.avg},
        {data::Aggregate::kMin, &report.min},     {data::Aggregate::kMax, &report.max},
        {data::Aggregate::kStdev, &report.stdev}, {data::Aggregate::kVar, &report.var}};
    for (const auto& [aggregate, list] : lists) {
      if (!TrimBlanks(*list).empty()) {
        tail += BuildAggregateList(report, options, aggregate, *list, resolver);
      }
    }
    // Without group fields the aggregate list stands alone.
    select = group_list.empty() && !tail.empty() ? tail.substr(1) : group_list + tail;
  } else {
    select = QuoteFieldList(report, options, fields, resolver);
    if (report.distinct == 1) select = " DISTINCT " + select;
  }

  std::string from;
  for (std::string_view table : SplitTrimmed(report.tables, ",")) {
    if (!from.empty()) from.push_back(',');
    from += QuoteReportName(options, table, true);
  }
  std::string sql = "SELECT " + select + " FROM " + from;

  std::string condition = BuildFilters(report, options, false, resolver);
  std::string_view relations = TrimBlanks(report.relations);
  if (!relations.empty()) {
    // Relations are the author's SQL: in parentheses, an OR in them stays
    // inside and cannot lift the other conditions. Checked definitions hold
    // closed relations only; relations that could close the parentheses
    // themselves ("1=1) OR (1=1") hold for no row.
    std::string filled = resolver.Fill(relations, false);
    if (!IsClosedFragment(filled, options.database_type)) filled = std::string(kNoRows);
    const std::string joined = "(" + filled + ")";
    condition = condition.empty() ? joined : "(" + condition + ") AND " + joined;
  } else if (!condition.empty()) {
    condition = "(" + condition + ")";
  }
  if (with_hidden) {
    std::string hidden = HiddenCondition(report, options, resolver);
    if (!hidden.empty()) {
      condition = condition.empty() ? "(" + hidden + ")" : condition + " AND (" + hidden + ")";
    }
  }
  if (!condition.empty()) sql += " WHERE " + condition;
  if (report.grpby == 1 && !group_list.empty()) sql += " GROUP BY " + group_list;
  return sql;
}

std::string StripValueQuotes(std::string_view value) {
  value = TrimBlanks(value);
  if (value.size() >= 2 && ((value.front() == '\'' && value.back() == '\'') ||
                            (value.front() == '#' && value.back() == '#'))) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

std::string ProcedureCallText(const ReportDefinition& report, const ReportQueryOptions& options,
                              std::string_view name_separator, std::string_view list_separator,
                              bool with_values, TokenResolver& resolver) {
  std::string list;
  for (const ProcedureArgument& argument : ProcedureArguments(report)) {
    int category = 0;
    for (char c : argument.category) {
      if (c < '0' || c > '9') {
        category = 0;
        break;
      }
      category = category * 10 + (c - '0');
      if (category > 32767) category = 0;
    }
    FilterValue v;
    if (with_values) {
      v.text = argument.value;
      if (IsWholeToken(argument.value, '@') || IsWholeToken(argument.value, '?')) {
        if (resolver.active()) {
          std::optional<std::string> value = resolver.ValueOf(argument.value, false);
          v.text = value.value_or(std::string());
          v.typed = true;
          v.missing = !value;
        } else {
          v.raw_token = true;
        }
      }
    }
    std::optional<std::string> literal;
    if (!with_values) {
      literal = IsNumeric(category) ? "=0" : "=''";
    } else {
      literal = BuildComparison(v, "=", category, options, resolver);
    }
    if (!literal) continue;  // the resolver holds the error
    if (!list.empty()) list += list_separator;
    list += "@" + argument.name + *literal;
  }
  return QuoteReportName(options, report.tables, false) + std::string(name_separator) + list;
}

std::string UnquoteName(std::string_view name) {
  name = TrimBlanks(name);
  if (name.size() >= 2 &&
      ((name.front() == '[' && name.back() == ']') || (name.front() == '`' && name.back() == '`') ||
       (name.front() == '"' && name.back() == '"'))) {
    const char close = name.back();
    std::string out;
    std::string_view inner = name.substr(1, name.size() - 2);
    for (size_t i = 0; i < inner.size(); ++i) {
      out.push_back(inner[i]);
      if (inner[i] == close && i + 1 < inner.size() && inner[i + 1] == close) ++i;
    }
    return out;
  }
  return std::string(name);
}

}  // namespace

std::string QuoteReportName(const ReportQueryOptions& options, std::string_view name,
                            bool with_owner) {
  SqlNaming naming;
  naming.owner = options.db_owner;
  // Undelimited names go into SQL as written: a name that is not plain
  // keeps the database's own delimiters, so it cannot become SQL.
  const bool plain_owner = options.db_owner.empty() || IsPlainName(options.db_owner);
  if (!DelimitingOff(options) || (IsPlainName(name) && plain_owner)) {
    naming.prefix = options.sql_name_prefix;
    naming.suffix = options.sql_name_suffix;
  }
  return QuoteSqlName(options.database_type, name, with_owner, naming);
}

std::string BuildReportSql(const ReportDefinition& report, const ReportQueryOptions& options) {
  TokenResolver resolver(options, nullptr);
  return BuildSelect(report, options, resolver, false);
}

std::string GetFilters(const ReportDefinition& report, const ReportQueryOptions& options) {
  TokenResolver resolver(options, nullptr);
  return BuildFilters(report, options, true, resolver);
}

std::string GetFilter(std::string_view, std::string_view, std::string_view) { return "0=0"; }

std::string FilterDisplayText(std::string_view entry) {
  static const int kOrder[] = {1, 7, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
  static const char* const kPhrases[] = {
      "",
      " <i>contains</i> ",
      " <i>is equal to</i> ",
      " <i>is less than</i> ",
      " <i>is greater than</i> ",
      " <i>starts with</i> ",
      " <i>ends with</i> ",
      " <i>does not contain</i> ",
      " <i>is greater than or equal to</i> ",
      " <i>is less than or equal to</i> ",
      " <i>is empty</i> ",
      " <i>is not empty</i> ",
      " <i>IS NULL</i> ",
      " <i>IS NOT NULL</i> ",
      " <i>IS MAX</i> ",
      " <i>IS MIN</i> ",
      " <i>is not equal to</i> ",
      " <i>IS IN</i> ",
      " <i>is below average</i> ",
      " <i>is above average</i> ",
  };
  // Field and value are the report author's or a user's text: encoded, so
  // only the words of the condition are markup.
  std::string text = HtmlEncode(entry);
  ReplaceAll(text, "'", "&#39;");
  for (int code : kOrder) {
    const std::string marker = "__" + std::to_string(code) + "__";
    if (text.find(marker) != std::string::npos) {
      ReplaceAll(text, marker, kPhrases[code]);
      return text;
    }
  }
  return text;
}

std::string ApplyHiddenSqlFilters(std::string_view statement, const ReportDefinition& report,
                                  const ReportQueryOptions& options) {
  TokenResolver resolver(options, nullptr);
  return InsertCondition(statement, HiddenCondition(report, options, resolver), resolver);
}

ReportStatement PrepareReportStatement(const ReportDefinition& report,
                                       const ReportQueryOptions& options,
                                       const ReportRunValues& values) {
  TokenResolver resolver(options, &values);
  ReportStatement result;
  if (report.isproc == 1) {
    // A procedure runs with its parameters bound by name; no filter can be
    // put into it.
    result.sql = ProcedureCallText(report, options, "|=|", "|||", true, resolver);
  } else {
    result.sql = BuildSelect(report, options, resolver, true);
  }
  result.missing_parameters = resolver.missing();
  result.error = resolver.error();
  if (!result.ok()) result.sql.clear();
  return result;
}

ReportStatement PrepareStoredStatement(std::string_view sql, const ReportDefinition& report,
                                       const ReportQueryOptions& options,
                                       const ReportRunValues& values) {
  TokenResolver resolver(options, &values);
  ReportStatement result;
  std::string filled = resolver.Fill(sql, false);
  result.sql = InsertCondition(filled, HiddenCondition(report, options, resolver), resolver);
  result.missing_parameters = resolver.missing();
  result.error = resolver.error();
  if (!result.ok()) result.sql.clear();
  return result;
}

std::vector<ProcedureArgument> ProcedureArguments(const ReportDefinition& report) {
  std::vector<ProcedureArgument> out;
  for (std::string_view entry : SplitView(report.params, ",")) {
    std::vector<std::string_view> parts = SplitView(entry, "|");
    if (parts.size() != 3) continue;
    ProcedureArgument argument;
    std::string_view name = TrimBlanks(parts[0]);
    if (!name.empty() && name.front() == '@') name.remove_prefix(1);
    if (name.empty()) continue;
    argument.name = std::string(name);
    argument.value = StripValueQuotes(parts[1]);
    argument.category = std::string(TrimBlanks(parts[2]));
    out.push_back(std::move(argument));
  }
  return out;
}

std::string BuildProcedureCall(const ReportDefinition& report, const ReportQueryOptions& options,
                               std::string_view name_separator, std::string_view list_separator,
                               bool with_values) {
  TokenResolver resolver(options, nullptr);
  return ProcedureCallText(report, options, name_separator, list_separator, with_values, resolver);
}

std::optional<ProcedureCall> ParseProcedureCall(std::string_view text) {
  size_t separator = text.find("|=|");
  if (separator == std::string_view::npos) return std::nullopt;
  ProcedureCall call;
  call.procedure = UnquoteName(text.substr(0, separator));
  std::string_view rest = text.substr(separator + 3);
  while (!rest.empty()) {
    // One argument: "@name=" and a literal, up to the next "|||" outside
    // quotes.
    size_t end = 0;
    char closing = 0;
    for (; end < rest.size(); ++end) {
      const char c = rest[end];
      if (closing != 0) {
        if (c == closing) closing = 0;
        continue;
      }
      if (c == '\'') {
        closing = '\'';
      } else if (rest.substr(end, 3) == "|||") {
        break;
      }
    }
    if (closing != 0) return std::nullopt;
    std::string_view item = rest.substr(0, end);
    rest = end < rest.size() ? rest.substr(end + 3) : std::string_view();
    if (TrimBlanks(item).empty()) continue;
    size_t eq = item.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    std::string_view name = TrimBlanks(item.substr(0, eq));
    if (!name.empty() && name.front() == '@') name.remove_prefix(1);
    std::string_view literal = TrimBlanks(item.substr(eq + 1));
    std::string value;
    if (literal.size() >= 2 && literal.front() == '\'' && literal.back() == '\'') {
      value = std::string(literal.substr(1, literal.size() - 2));
      ReplaceAll(value, "''", "'");
    } else {
      value = StripValueQuotes(literal);
    }
    call.arguments.emplace_back(std::string(name), std::move(value));
  }
  return call;
}

}  // namespace fennick::designer
