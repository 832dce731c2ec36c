// The grid's query: its connection, the ORDER BY from the sort clicks, the
// row limit, the filter, stored procedures, and the one recordset that the
// renderer draws from (every row, or one page: grid/query/database_paging.h).
//
// The filter comes back from the browser, so before it reaches the
// database it is parsed with the filter grammar and bound to the columns
// the command returns; the SQL sent is written from the parsed filter, in
// the database's own quoting. A filter that fails any of this takes the
// same path as one the database rejects.
#include <algorithm>
#include <cmath>
#include <optional>

#include "base/ascii.h"
#include "base/split.h"
#include "export/exporter_base.h"
#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "frame/error_reference.h"
#include "frame/field_types.h"
#include "frame/module_state.h"
#include "frame/text_routines.h"
#include "grid/export_dispatch.h"
#include "grid/grid_object.h"
#include "grid/query/column_expressions.h"
#include "grid/query/database_paging.h"
#include "grid/query/database_type.h"
#include "grid/query/master_columns.h"
#include "grid/query/order_list.h"
#include "grid/query/sql_text.h"
#include "grid/state/request_state.h"
#include "grid/state/typed_filter_value.h"
#include "platform/data/filter.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

constexpr char kNoConnectionDisplay[] =
    "Your Database Connection must be set before calling .Display() method";
constexpr char kNoCommandDisplay[] = "Your SQL Command must be set before calling .Display() method";
constexpr char kNoConnectionBuilder[] =
    "Your Database Connection must be set before calling .CreateCommand() method";

std::vector<std::string> SplitComma(std::string_view list) {
  std::vector<std::string> items;
  for (std::string_view item : SplitView(list, ",")) items.emplace_back(TrimBlanks(item));
  return items;
}

bool IsNumberText(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

int ForcedType() { return CurrentModuleState().database_type; }

// The database type of a grid's connection: its connection string decides
// as it always has; an ODBC connection the string says nothing about (a
// bare "DSN=sales") is typed by the product its driver names.
int ConnectionDatabaseType(const fennick::Connection& connection, int forced) {
  int type = GetDatabaseType(connection.ConnectionString(), forced);
  if (type == kDbUnknown && connection.State() == kAdStateOpen && connection.Provider() == "ODBC") {
    type = DatabaseTypeOfDbms(connection.DbmsName());
  }
  return type;
}

// The columns that "AUTO" finds for the required order: positions in the
// select list of the master table's numeric columns, as the report
// designer's field schema types them.
std::string AutoRequiredOrder(const GridObject& g) {
  const std::string& command = g.page->command;
  std::string upper = AsciiUpper(command);
  size_t select = upper.find("SELECT ");
  size_t from = upper.find(" FROM ");
  if (select == std::string::npos || from == std::string::npos || from < select) return "";
  std::string list;
  for (char c : command.substr(select + 7, from - select - 7)) {
    if (c != '[' && c != ']' && c != '`' && c != '"') list.push_back(c);
  }
  const std::string& schema = CurrentModuleState().field_schema;
  std::string found;
  auto items = SplitComma(list);
  for (size_t i = 0; i < items.size(); ++i) {
    size_t dot = items[i].find('.');
    if (dot == std::string::npos) continue;
    if (AsciiUpper(items[i].substr(0, dot)) != AsciiUpper(g.page->master_table)) continue;
    // The schema entry ",name~...~t131~": its "t" attribute.
    std::string needle = AsciiUpper("," + items[i] + "~");
    std::string hay = AsciiUpper("," + schema);
    size_t at = hay.find(needle);
    if (at == std::string::npos) continue;
    size_t end = hay.find(',', at + 1);
    std::string entry = hay.substr(at, end == std::string::npos ? std::string::npos : end - at);
    size_t t = entry.find("~T");
    if (t == std::string::npos) continue;
    double category = 0;
    std::string value = entry.substr(t + 2, entry.find('~', t + 2) - t - 2);
    if (!ParseNumber(value, category) || category == 0) continue;
    if (!found.empty()) found.push_back(',');
    found.append(std::to_string(i + 1));
  }
  return found;
}

// The items of the default order that the required order does not name
// already (a column twice in one ORDER BY is an error on SQL Server),
// joined by ",". Items compare by their column, without a direction.
std::string DefaultAfterRequired(std::string_view required, std::string_view default_order) {
  auto column_of = [](std::string item) {
    item = AsciiLower(TrimBlanks(item));
    for (std::string_view direction : {" desc", " asc"}) {
      if (item.size() > direction.size() &&
          item.compare(item.size() - direction.size(), direction.size(), direction) == 0) {
        item = std::string(TrimBlanks(item.substr(0, item.size() - direction.size())));
      }
    }
    return item;
  };
  std::vector<std::string> leading;
  for (const std::string& item : SplitComma(required)) leading.push_back(column_of(item));
  std::string kept;
  for (const std::string& item : SplitComma(default_order)) {
    if (item.empty()) continue;
    if (std::find(leading.begin(), leading.end(), column_of(item)) != leading.end()) continue;
    if (!kept.empty()) kept.push_back(',');
    kept.append(item);
  }
  return kept;
}

// The command with its ORDER BY, from the sort list and the grid's
// required and default orders. The required order leads every order; the
// user's order (the sort list) follows it, and when the user chose none,
// the default order does: a page that sets both gets its rows by both.
std::string OrderedCommand(const GridObject& g, const std::string& order_list) {
  const std::string& command = g.page->command;
  const std::string& required = g.settings.required_sort_order;
  const bool master_mode = g.page->master_mode;
  if (!TrimBlanks(order_list).empty()) {
    if (required.empty()) return command + " ORDER BY " + order_list;
    std::string rest = order_list;
    if (master_mode) {
      auto items = SplitComma(order_list);
      std::string first = items.empty() ? "" : items[0];
      if (first.size() > 5 && AsciiUpper(first.substr(first.size() - 5)) == " DESC") {
        first = TrimBlanks(first.substr(0, first.size() - 5));
      }
      for (const auto& master : SplitComma(g.page->master_columns)) {
        if (master == first) return command + " ORDER BY " + order_list;
      }
      for (const auto& item : SplitComma(required)) rest = RemoveFromOrderList(rest, item);
    } else if (IsNumberText(TrimBlanks(required))) {
      rest = RemoveFromOrderList(rest, TrimBlanks(required));
    }
    return command + " ORDER BY " + required + (TrimBlanks(rest).empty() ? "" : "," + rest);
  }
  const std::string& default_order = g.settings.default_sort_order;
  if (!TrimBlanks(required).empty()) {
    const std::string followers = DefaultAfterRequired(required, default_order);
    return command + " ORDER BY " + required + (followers.empty() ? "" : "," + followers);
  }
  if (!TrimBlanks(default_order).empty()) return command + " ORDER BY " + default_order;
  return command;
}

// How string literals are written for the connection: quotes doubled
// always, backslashes doubled too where the server reads them as escapes.
struct LiteralStyle {
  int database_type = kDbUnknown;
  bool backslash_escapes = false;
};

// The style for the grid's connection. The connection knows whether its
// server reads backslashes as escapes (a MySQL session's SQL mode); when
// it cannot tell, MySQL is assumed to, so that a value ending in "\" can
// never close its quotes.
LiteralStyle LiteralStyleFor(const GridObject& g) {
  LiteralStyle style;
  style.database_type = g.req.database_type;
  std::optional<bool> escapes;
  if (g.page->connection) escapes = g.page->connection->BackslashEscapes();
  style.backslash_escapes = escapes.value_or(g.req.database_type == kDbMySql);
  return style;
}

void AppendStringLiteral(std::string& out, std::string_view text, const LiteralStyle& style) {
  out.push_back('\'');
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
    if (c == '\\' && style.backslash_escapes) out.push_back('\\');
  }
  out.push_back('\'');
}

void AppendDateLiteral(std::string& out, double ole_date, int database_type) {
  DateParts p = SplitOleDate(ole_date);
  char buf[40];
  const bool has_time = p.hour || p.minute || p.second;
  if (database_type == kDbAccess) {
    std::snprintf(buf, sizeof buf, "#%d/%d/%d", p.month, p.day, p.year);
    out.append(buf);
    if (has_time) {
      std::snprintf(buf, sizeof buf, " %02d:%02d:%02d", p.hour, p.minute, p.second);
      out.append(buf);
    }
    out.push_back('#');
    return;
  }
  if (has_time) {
    std::snprintf(buf, sizeof buf, "'%04d-%02d-%02d %02d:%02d:%02d'", p.year, p.month, p.day,
                  p.hour, p.minute, p.second);
  } else {
    std::snprintf(buf, sizeof buf, "'%04d-%02d-%02d'", p.year, p.month, p.day);
  }
  out.append(buf);
}

// SQL for a parsed filter, in the database's quoting.
void WriteFilterSql(const data::FilterExpression& filter, uint32_t index, const LiteralStyle& style,
                    std::string& out) {
  const int database_type = style.database_type;
  const data::FilterNode& n = filter.nodes()[index];
  using Kind = data::FilterNode::Kind;
  switch (n.kind) {
    case Kind::kAnd:
    case Kind::kOr:
      out.push_back('(');
      WriteFilterSql(filter, n.left, style, out);
      out.append(n.kind == Kind::kAnd ? " AND " : " OR ");
      WriteFilterSql(filter, n.right, style, out);
      out.push_back(')');
      return;
    case Kind::kNot:
      out.append("NOT (");
      WriteFilterSql(filter, n.left, style, out);
      out.push_back(')');
      return;
    case Kind::kCondition:
      break;
  }
  out.append(QuoteSqlName(database_type, n.table.empty() ? n.column : n.table + "." + n.column));
  using Op = data::FilterOp;
  switch (n.op) {
    case Op::kIsNull: out.append(" IS NULL"); return;
    case Op::kIsNotNull: out.append(" IS NOT NULL"); return;
    case Op::kEqual: out.append(" = "); break;
    case Op::kNotEqual: out.append(" <> "); break;
    case Op::kLess: out.append(" < "); break;
    case Op::kGreater: out.append(" > "); break;
    case Op::kLessEqual: out.append(" <= "); break;
    case Op::kGreaterEqual: out.append(" >= "); break;
    case Op::kLike: out.append(" LIKE "); break;
    case Op::kNotLike: out.append(" NOT LIKE "); break;
  }
  using Lit = data::LiteralKind;
  switch (n.literal_kind) {
    case Lit::kNumber: {
      out.append(FormatDouble(n.number));
      return;
    }
    case Lit::kDate:
      AppendDateLiteral(out, n.number, database_type);
      return;
    case Lit::kBoolean:
      if (database_type == kDbPostgreSql) {
        out.append(n.number != 0 ? "TRUE" : "FALSE");
      } else {
        out.append(n.number != 0 ? "1" : "0");
      }
      return;
    case Lit::kString:
    case Lit::kNone:
    case Lit::kNull:
      if (database_type == kDbMySql && (n.op == Op::kLike || n.op == Op::kNotLike)) {
        // MySQL's LIKE takes a backslash as its escape character (MariaDB's
        // even without string escapes): a backslash typed as text is
        // doubled to match itself, and the escape is named so that MySQL
        // and MariaDB agree in every SQL mode.
        std::string pattern;
        for (char c : n.literal) {
          pattern.push_back(c);
          if (c == '\\') pattern.push_back('\\');
        }
        AppendStringLiteral(out, pattern, style);
        out.append(" ESCAPE ");
        AppendStringLiteral(out, "\\", style);
        return;
      }
      AppendStringLiteral(out, n.literal, style);
      return;
  }
}

// The result's columns, read from a query that returns no rows.
bool DescribeColumns(GridObject& g, const std::string& command) {
  if (g.req.database_type == kDbMySql) {
    // MySQL names a derived table's alias as the base table of its
    // columns, which would lose the tables the page's columns show; with
    // LIMIT 0 the command itself describes them without running.
    try {
      Recordset rs;
      rs.Open(command + " LIMIT 0", *g.page->connection, kAdOpenStatic, kAdLockReadOnly,
              kAdCmdText);
      ReadColumns(rs, command, g.req.database_type, g.result.columns);
      return true;
    } catch (const Error&) {
      // Ignoring errors on purpose: a command with a LIMIT of its own
      // takes the general form below.
    }
  }
  try {
    Recordset rs;
    rs.Open("SELECT * FROM (" + command + ") fennick_columns WHERE 1=0", *g.page->connection,
            kAdOpenStatic, kAdLockReadOnly, -1);
    ReadColumns(rs, command, g.req.database_type, g.result.columns);
    return true;
  } catch (const Error&) {
    return false;  // a command that cannot be described takes no filter
  }
}

// The master columns, from the columns of the describe query: the ORDER BY
// needs them before the command runs. Stored as "," + list + "," for the
// grid's hidden field; empty when the command cannot be described.
// Returns whether the columns were described.
bool FindMasterColumns(GridObject& g, const std::string& command) {
  g.page->master_columns.clear();
  if (!DescribeColumns(g, command)) return false;
  g.page->master_columns =
      "," + MasterColumns(g.result.columns, g.page->master_table, command) + ",";
  return true;
}

// Checks the posted filter and writes it as SQL; false for a filter that
// must not reach the database. `described`: the columns of `command` are
// already in the grid's result.
bool PrepareFilter(GridObject& g, const std::string& command, bool described,
                   std::string& sql_filter) {
  if (!described && !DescribeColumns(g, command)) return false;
  if (g.req.has_new_clause) {
    const GridColumn* offered = nullptr;
    for (const auto& c : g.result.columns) {
      if (!offered && ColumnExpression(c, g.req.database_type) == g.req.clause_field) {
        offered = &c;
      }
    }
    // The value as the user typed it, read in the column's display form.
    if (offered) RetypeFilterClause(g, *offered);
    if (!offered) {
      // A field the grid never offered: the submission is ignored.
      g.req.filter_expression = g.req.filter_before_clause;
      g.req.has_new_clause = false;
      if (TrimBlanks(g.req.filter_expression).empty()) {
        g.req.filter_expression.clear();
        sql_filter.clear();
        return true;
      }
    }
  }
  data::FilterExpression parsed;
  if (!parsed.Parse(g.req.filter_expression).ok()) return false;
  std::vector<data::FilterColumn> bind;
  for (const auto& c : g.result.columns) {
    data::ValueClass value_class = data::ClassOfType(c.ado_type);
    bind.push_back({c.column, c.table, value_class});
    if (c.column != c.name) bind.push_back({c.name, c.table, value_class});
  }
  if (!parsed.Bind(bind).ok()) return false;
  sql_filter.clear();
  if (!parsed.empty()) WriteFilterSql(parsed, parsed.root(), LiteralStyleFor(g), sql_filter);
  return true;
}

// Whether the grid writes the SQL it ran into the page as an HTML comment:
// only when the page (ShowSqlInPage) or the server (--show-sql) asks, as
// the SQL names tables and hidden filters the reader must not see.
bool ShowsSql(const GridObject& g) {
  return g.settings.show_sql_in_page || (g.host.page != nullptr && g.host.page->ShowSql());
}

void InvalidFilterMessage(const GridObject& g) {
  WriteToPage("<font color=red>Your filter is invalid!</font><br>" +
              HtmlEncode(g.req.filter_expression) +
              "<br/>Try using <code>Contains</code> or <code>Starts with</code>");
}

std::shared_ptr<Recordset> OpenText(GridObject& g, const std::string& sql, int32_t max_records) {
  g.result.rest.reset();
  // A row limit (MaxRecords, or the TOP it is written as) is left to the
  // recordset, so only unlimited results are read forward.
  if (g.result.stream_rows && CurrentModuleState().max_records <= 0) {
    auto rest = std::make_shared<Cursor>(g.page->connection->OpenCursor(sql));
    // The first batch is read here, so a statement the database refuses,
    // or rows failing at once, are reported like any other.
    auto first = std::make_shared<Recordset>(rest->Next(kStreamBatchRows));
    g.result.rest = std::move(rest);
    return first;
  }
  auto rs = std::make_shared<Recordset>();
  if (max_records > 0) rs->MaxRecords(max_records);
  rs->Open(sql, *g.page->connection, kAdOpenStatic, kAdLockReadOnly, -1);
  return rs;
}

void CreateCommand(GridObject& g) {
  if (!g.page->connection) {
    ShowError(kNoConnectionBuilder);
    return;
  }
  if (g.settings.required_sort_order == "AUTO")
    g.settings.required_sort_order = AutoRequiredOrder(g);
  g.result.built_from_command = true;
  g.req.order_list = ComputeOrderList(g.req.requested_sort, g.req.last_sort, g.req.remove_sort);
  // A command may end with an ORDER BY of its own: it orders the rows
  // until the grid has an order to give (a header click, the required or
  // default order), which then replaces it. Filters, counts and the
  // master columns work on the statement without it.
  const OrderBySplit own_order = SplitTrailingOrderBy(g.page->command);
  const std::string unordered = own_order.found ? own_order.statement : g.page->command;
  g.result.page_command = unordered;
  const bool described = g.page->master_mode && FindMasterColumns(g, unordered);
  g.page->command = unordered;
  g.page->command = OrderedCommand(g, g.req.order_list);
  if (g.page->command == unordered && own_order.found) {
    // Written the grid's way ("ORDER BY" in capitals after one blank, no
    // comment after it), so that a filter goes in before it.
    g.page->command = unordered + " ORDER BY " + own_order.order;
  }
  const std::string& command = g.page->command;
  const int type = g.req.database_type;
  // MaxRecords, or in the print view the printed rows' cap when smaller.
  int32_t max_records = CurrentModuleState().max_records;
  const int32_t print_limit = PrintRowLimit(g);
  if (print_limit > 0 && (max_records <= 0 || print_limit < max_records)) {
    max_records = print_limit;
  }

  std::optional<Error> pending;
  std::string opened_sql = command;
  bool filtered = !TrimBlanks(g.req.filter_expression).empty();
  std::string sql_filter;
  if (filtered && !PrepareFilter(g, unordered, described, sql_filter)) {
    if (ShowsSql(g)) WriteToPage(SqlComment(AddFilterToSql(command, g.req.filter_expression)));
    InvalidFilterMessage(g);
    g.req.filter_expression.clear();
    filtered = false;
  } else if (filtered && sql_filter.empty()) {
    filtered = false;  // the only clause was withdrawn
  }

  // One page from the database when nothing needs every row; the rule
  // and its fallbacks are in grid/query/database_paging.h. The statement
  // the grid names as opened stays the unpaged one: the summary box
  // aggregates over it and binary cells' links read their rows from it by
  // their numbers in the whole result.
  const bool paged = ReadOnePage(g, filtered ? AddFilterToSql(unordered, sql_filter) : unordered,
                                filtered ? AddFilterToSql(command, sql_filter) : command);
  if (paged) {
    opened_sql = g.result.opened_sql;  // with the order's tie-break
    if (filtered) g.result.applied_filter_sql = sql_filter;
  }

  try {
    if (paged) {
      // Read above.
    } else if (!filtered && (type == kDbAccess || type == kDbSqlServer)) {
      std::string sql = command;
      if (max_records > 0) {
        size_t at = AsciiUpper(sql).find("SELECT ");
        if (at != std::string::npos) {
          sql.replace(at, 7, "SELECT TOP " + std::to_string(max_records) + " ");
        }
      }
      opened_sql = sql;
      g.result.recordset = OpenText(g, sql, 0);
    } else {
      const std::string plain = filtered ? AddFilterToSql(command, sql_filter) : command;
      opened_sql =
          AllRowsSql(g, filtered ? AddFilterToSql(unordered, sql_filter) : unordered, plain);
      try {
        try {
          g.result.recordset = OpenText(g, opened_sql, max_records);
        } catch (const FetchError&) {
          throw;
        } catch (const Error&) {
          // The database may refuse the order the grid added (a value it
          // must compute for every row to sort by, failing on one): the
          // command as written decides what is shown.
          if (opened_sql == plain) throw;
          opened_sql = plain;
          g.result.recordset = OpenText(g, opened_sql, max_records);
        }
        if (filtered) g.result.applied_filter_sql = sql_filter;
      } catch (const FetchError&) {
        throw;  // the filter was accepted; its rows failed
      } catch (const Error&) {
        if (!filtered) throw;
        // The database refused the filter: show the page without it.
        if (ShowsSql(g)) WriteToPage(SqlComment(opened_sql));
        InvalidFilterMessage(g);
        g.req.filter_expression.clear();
        opened_sql = command;
        g.result.recordset = OpenText(g, command, max_records);
      }
    }
  } catch (const FetchError& e) {
    // The statement ran: Display reports the failed read where the table
    // would stand.
    g.result.fetch_error = e;
    g.result.recordset.reset();
  } catch (const Error& e) {
    pending = e;
    g.result.recordset.reset();
  }
  if (g.result.recordset) g.result.opened_sql = opened_sql;
  if (CurrentModuleState().display_prepared_sql) {
    WriteToPage(FormatSqlForDisplay(opened_sql));
    WriteToPage(
        "<div style='color:red;font-size:smaller'>Please remember to <b>TURN OFF</b> SQL "
        "display before Production</div>");
  }
  if (pending) {
    if (ShowsSql(g)) WriteToPage(SqlComment(command));
    ShowError(HtmlEncode(DatabaseErrorForPage(pending->description(), command)));
  }
}

void OpenProcedure(GridObject& g) {
  if (!g.page->connection) {
    ShowError(kNoConnectionBuilder);
    return;
  }
  g.req.order_list = ComputeOrderList(g.req.requested_sort, g.req.last_sort, g.req.remove_sort);
  // A procedure's rows are sorted and filtered here, once fetched: every
  // row is read.
  g.result.paged = false;
  g.result.all_rows_reason = WhyAllRows(g);
  std::string name(TrimBlanks(g.settings.procedure_name));
  if (name.size() >= 2 && ((name.front() == '[' && name.back() == ']') ||
                           (name.front() == '`' && name.back() == '`'))) {
    name = name.substr(1, name.size() - 2);
  }
  Connection& connection = *g.page->connection;
  try {
    std::vector<std::pair<std::string, std::string>> params;
    std::string_view rest = g.settings.parameters;
    while (!rest.empty()) {
      size_t end = rest.find("|||");
      std::string_view entry = rest.substr(0, end);
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 3);
      size_t sep = entry.find("|=|");
      if (sep == std::string_view::npos) continue;
      params.emplace_back(std::string(entry.substr(0, sep)), std::string(entry.substr(sep + 3)));
    }
    auto rs = std::make_shared<Recordset>();
    rs->CursorLocation(kAdUseClient);
    if (g.req.database_type == kDbSqlServer) {
      fennick::Command command(connection);
      command.CommandText(name);
      command.CommandType(kAdCmdStoredProc);
      for (const auto& [pname, value] : params) {
        if (pname.empty()) continue;
        command.AppendParameter(
            command.CreateParameter(pname, kAdVarChar, kAdParamInput, 255, Variant(value)));
      }
      rs->Open(command);
    } else if (!params.empty()) {
      fennick::Command command = Catalog(connection).ProcedureCommand(name);
      for (const auto& [pname, value] : params) {
        if (pname.empty()) continue;
        command.Parameters(pname).Value(Variant(value));
      }
      rs->Open(command);
    } else {
      *rs = connection.Execute(name, nullptr, -1);
    }
    g.result.recordset = rs;

    // Sorting and filtering happen on the fetched rows.
    std::string sort;
    for (const auto& item : SplitComma(g.req.order_list)) {
      bool desc = item.size() > 5 && AsciiUpper(item.substr(item.size() - 5)) == " DESC";
      std::string number = desc ? std::string(TrimBlanks(item.substr(0, item.size() - 5))) : item;
      if (!IsNumberText(number)) continue;
      size_t index = std::stoul(number);
      if (index < 1 || index > rs->FieldCount()) continue;
      if (!sort.empty()) sort.push_back(',');
      sort.append("[" + rs->Fields(index - 1).Name() + "]");
      if (desc) sort.append(" desc");
    }
    if (!sort.empty()) rs->Sort(sort);
    if (!TrimBlanks(g.req.filter_expression).empty()) {
      try {
        rs->Filter(g.req.filter_expression);
      } catch (const Error&) {
        InvalidFilterMessage(g);
        g.req.filter_expression.clear();
        rs->Filter("");
      }
    }
    ReadColumns(*rs, name, g.req.database_type, g.result.columns);
  } catch (const FetchError& e) {
    g.result.fetch_error = e;
    g.result.recordset.reset();
  } catch (const Error& e) {
    g.result.recordset.reset();
    ShowError(HtmlEncode(DatabaseErrorForPage(e.description(), name)));
  }
}

}  // namespace

void DataGrid::Connection(std::shared_ptr<fennick::Connection> connection) {
  g_->page->connection = std::move(connection);
  g_->result.owns_connection = false;
  if (g_->page->connection) {
    g_->page->connection_string = g_->page->connection->ConnectionString();
    g_->req.database_type = ConnectionDatabaseType(*g_->page->connection, ForcedType());
  } else {
    g_->page->connection_string.clear();
  }
}

void DataGrid::CreateConnection(std::string_view connection_string) {
  auto connection = std::make_shared<fennick::Connection>();
  if (g_->page->command_timeout > 0) connection->CommandTimeout(g_->page->command_timeout);
  try {
    connection->Open(connection_string, "", "", -1);
  } catch (const Error& e) {
    // The driver's message names the server (host, port, socket): the
    // page gets it without them, the log whole.
    ShowError(HtmlEncode(DatabaseErrorForPage(e.description())));
    return;
  }
  g_->page->connection = std::move(connection);
  g_->result.owns_connection = true;
  g_->page->connection_string = g_->page->connection->ConnectionString();
  g_->req.database_type = ConnectionDatabaseType(*g_->page->connection, ForcedType());
  // An export button's request runs once the page is ready: at Display,
  // or when the page ends without one.
  if (g_->req.export_request.pending) ArmGridExport(*this);
}

void DataGrid::OpenRecordset() {
  GridObject& g = *g_;
  if (g.result.recordset) return;
  // Paging in the database reads as many rows as the page size says.
  BoundRequestedPageSize(*g.page);
  if (!g.page->connection) ShowError(kNoConnectionDisplay, true);
  if (TrimBlanks(g.page->command).empty() && TrimBlanks(g.settings.procedure_name).empty()) {
    ShowError(kNoCommandDisplay, true);
    return;
  }
  if (!TrimBlanks(g.settings.procedure_name).empty()) {
    OpenProcedure(g);
  } else {
    CreateCommand(g);
  }
}

}  // namespace fennick
