// The summary box's aggregate statement over the grid's opened SQL.
#include "grid/query/aggregate_query.h"

#include "base/ascii.h"
#include "grid/query/database_type.h"
#include "grid/query/sql_text.h"

namespace fennick {

std::string QuoteResultColumn(int database_type, std::string_view name) {
  char open = '"', close = '"';
  switch (database_type) {
    case kDbAccess:
    case kDbSqlServer:
    case kDbSqlNativeClient:
    case kDbSybase:
    case kDbExcel:
    case kDbText:
    case kDbFoxPro:
      open = '[';
      close = ']';
      break;
    case kDbMySql:
      open = close = '`';
      break;
    default:
      break;
  }
  std::string out(1, open);
  for (char c : name) {
    out.push_back(c);
    if (c == close) out.push_back(c);
  }
  out.push_back(close);
  return out;
}

std::string AggregateSource(std::string_view opened_sql, int database_type, int64_t row_limit) {
  const bool limit_syntax =
      database_type == kDbSQLite || database_type == kDbPostgreSql || database_type == kDbMySql;
  const std::string upper = AsciiUpper(opened_sql);
  if (row_limit > 0 && limit_syntax && upper.find(" LIMIT ") == std::string::npos) {
    // The grid read only the first rows in its order: the derived table
    // keeps the order and takes the same rows.
    std::string inner(TrimBlanks(opened_sql));
    inner.append(" LIMIT ").append(std::to_string(row_limit));
    return inner;
  }
  return WithoutTrailingOrderBy(opened_sql);
}

namespace {

void CloseDerivedTable(int database_type, std::string& sql) {
  // Oracle takes no AS before a table alias.
  sql.append(database_type == kDbOracle ? ") q" : ") AS q");
}

}  // namespace

std::string AggregateSql(std::string_view opened_sql, std::string_view column,
                         data::Aggregate aggregate, int database_type, std::string_view provider,
                         int64_t row_limit) {
  std::string sql = "SELECT ";
  sql.append(data::AggregateFunction(aggregate, provider));
  sql.append("(q.");
  sql.append(QuoteResultColumn(database_type, column));
  sql.append(") FROM (");
  sql.append(AggregateSource(opened_sql, database_type, row_limit));
  CloseDerivedTable(database_type, sql);
  return sql;
}

std::string ColumnSumsSql(std::string_view opened_sql, const std::vector<std::string>& columns,
                          int database_type, int64_t row_limit) {
  std::string sql = "SELECT COUNT(*)";
  for (const std::string& column : columns) {
    sql.append(", SUM(q.");
    sql.append(QuoteResultColumn(database_type, column));
    sql.append(")");
  }
  sql.append(" FROM (");
  sql.append(AggregateSource(opened_sql, database_type, row_limit));
  CloseDerivedTable(database_type, sql);
  return sql;
}

}  // namespace fennick
