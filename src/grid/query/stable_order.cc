// The stable order of a grid's page: reading ORDER BY lists, the one
// table of a plain SELECT, the tie-break from the catalogue and the order
// turned around.
#include "grid/query/stable_order.h"

#include <cctype>
#include <mutex>
#include <unordered_map>

#include "base/ascii.h"
#include "grid/query/database_type.h"
#include "grid/query/sql_text.h"

namespace fennick {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The end of the quoted part that starts at `i` ('...', "...", `...`,
// [...]; a doubled closing character stays inside), or `i` itself when
// nothing is quoted there.
size_t QuotedEnd(std::string_view sql, size_t i) {
  char close = 0;
  switch (sql[i]) {
    case '\'': close = '\''; break;
    case '"': close = '"'; break;
    case '`': close = '`'; break;
    case '[': close = ']'; break;
    default: return i;
  }
  for (size_t j = i + 1; j < sql.size(); ++j) {
    if (sql[j] != close) continue;
    if (close != ']' && j + 1 < sql.size() && sql[j + 1] == close) {
      ++j;
      continue;
    }
    return j + 1;
  }
  return sql.size();
}

// The statement's words at the top level, in order: a bracketed part
// "(...)" is one word, as is a literal, and "," and ";" stand alone; a
// name with quoted parts ("sales.\"Orders\"") is one word.
std::vector<std::string_view> TopLevelWords(std::string_view sql) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < sql.size()) {
    if (IsBlank(sql[i])) {
      ++i;
      continue;
    }
    const size_t start = i;
    if (sql[i] == ',' || sql[i] == ';') {
      words.push_back(sql.substr(i++, 1));
      continue;
    }
    if (sql[i] == '(') {
      int depth = 0;
      while (i < sql.size()) {
        const size_t quoted = QuotedEnd(sql, i);
        if (quoted != i) {
          i = quoted;
          continue;
        }
        if (sql[i] == '(') ++depth;
        if (sql[i] == ')' && --depth == 0) {
          ++i;
          break;
        }
        ++i;
      }
    } else {
      while (i < sql.size() && !IsBlank(sql[i]) && sql[i] != ',' && sql[i] != ';' &&
             sql[i] != '(') {
        const size_t quoted = QuotedEnd(sql, i);
        i = quoted != i ? quoted : i + 1;
      }
    }
    words.push_back(sql.substr(start, i - start));
  }
  return words;
}

bool Is(std::string_view word, std::string_view keyword) { return EqualsIgnoreCase(word, keyword); }

bool IsAnyOf(std::string_view word, std::initializer_list<std::string_view> keywords) {
  for (std::string_view k : keywords) {
    if (Is(word, k)) return true;
  }
  return false;
}

// A name as it may stand after FROM: letters, digits, "_", "$", "." and
// quoted parts; never a literal or a bracketed part.
bool IsName(std::string_view word) {
  if (word.empty() || word[0] == '\'' || word[0] == '(') return false;
  for (size_t i = 0; i < word.size();) {
    const size_t quoted = QuotedEnd(word, i);
    if (quoted != i) {
      if (word[i] == '\'') return false;
      i = quoted;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(word[i]);
    if (!std::isalnum(c) && c != '_' && c != '$' && c != '.' && c < 0x80) return false;
    ++i;
  }
  return true;
}

std::string QuoteColumn(int database_type, std::string_view name) {
  const char quote = database_type == kDbMySql ? '`' : '"';
  std::string out(1, quote);
  for (char c : name) {
    out.push_back(c);
    if (c == quote) out.push_back(quote);
  }
  out.push_back(quote);
  return out;
}

// Primary keys by connection string and table name, for the process.
class KeyCache {
 public:
  std::optional<TableKey> Find(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = keys_.find(key);
    if (it == keys_.end()) return std::nullopt;
    return it->second;
  }
  void Keep(std::string key, TableKey value) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Bounded: a site names few tables, so starting over when full costs
    // one catalogue query per table and never grows without limit.
    if (keys_.size() >= kMaxEntries) keys_.clear();
    keys_.insert_or_assign(std::move(key), std::move(value));
  }

 private:
  static constexpr size_t kMaxEntries = 1024;
  std::mutex mutex_;
  std::unordered_map<std::string, TableKey> keys_;  // GUARDED_BY(mutex_)
};

KeyCache& Keys() {
  static KeyCache cache;
  return cache;
}

// The table's primary key, from the cache or the catalogue. A catalogue
// that fails is asked again next time, and the page goes without a key.
TableKey PrimaryKeyOf(Connection& connection, std::string_view connection_string,
                      const std::string& table) {
  std::string key(connection_string);
  key.push_back('\x1f');
  key.append(table);
  if (std::optional<TableKey> kept = Keys().Find(key)) return *kept;
  TableKey found;
  try {
    found = Catalog(connection).PrimaryKey(table);
  } catch (const Error&) {
    return {};
  }
  Keys().Keep(std::move(key), found);
  return found;
}

// "1,2,4": every column of the result by position but the binary ones (an
// engine may refuse to order by them, and ordering by whole documents
// costs more than it gains). Empty when no column is left.
std::string EveryColumn(Connection& connection, const std::string& counted_sql) {
  Recordset columns;
  columns.Open("SELECT * FROM (" + counted_sql + ") fennick_columns WHERE 1=0", connection,
               kAdOpenStatic, kAdLockReadOnly, -1);
  std::string list;
  for (size_t c = 0; c < columns.FieldCount(); ++c) {
    const int32_t type = columns.Fields(c).Type();
    if (type == kAdBinary || type == kAdVarBinary || type == kAdLongVarBinary) continue;
    if (!list.empty()) list.push_back(',');
    list.append(std::to_string(c + 1));
  }
  return list;
}

}  // namespace

std::optional<std::vector<OrderItem>> ParseOrderItems(std::string_view list) {
  std::vector<OrderItem> items;
  std::vector<std::string_view> words = TopLevelWords(list);
  words.push_back(",");
  size_t first = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] != ",") continue;
    size_t end = i;
    OrderItem item;
    if (end - first >= 3 && Is(words[end - 2], "NULLS") &&
        IsAnyOf(words[end - 1], {"FIRST", "LAST"})) {
      item.nulls_first = Is(words[end - 1], "FIRST");
      end -= 2;
    }
    if (end - first >= 2 && IsAnyOf(words[end - 1], {"ASC", "DESC"})) {
      item.descending = Is(words[end - 1], "DESC");
      --end;
    }
    if (end == first) return std::nullopt;
    const char* from = words[first].data();
    const char* to = words[end - 1].data() + words[end - 1].size();
    item.expression.assign(from, to);
    items.push_back(std::move(item));
    first = i + 1;
  }
  return items;
}

std::string ReversedOrderList(const std::vector<OrderItem>& items, int database_type) {
  const bool nulls_largest = database_type == kDbPostgreSql;
  std::string out;
  for (const OrderItem& item : items) {
    if (!out.empty()) out.push_back(',');
    out.append(item.expression);
    out.append(item.descending ? " ASC" : " DESC");
    // Where the nulls went forward; backward they go to the other end.
    const bool nulls_first = item.nulls_first.value_or(item.descending == nulls_largest);
    if (item.nulls_first || database_type == kDbPostgreSql) {
      out.append(nulls_first ? " NULLS LAST" : " NULLS FIRST");
    }
  }
  return out;
}

std::optional<SingleTable> SingleTableOf(std::string_view sql) {
  const std::vector<std::string_view> words = TopLevelWords(sql);
  if (words.size() < 4 || !Is(words[0], "SELECT")) return std::nullopt;
  if (IsAnyOf(words[1], {"DISTINCT", "DISTINCTROW", "TOP"})) return std::nullopt;
  size_t from = 0;
  for (size_t i = 1; i < words.size() && from == 0; ++i) {
    if (Is(words[i], "FROM")) from = i;
  }
  if (from == 0 || from + 1 >= words.size() || !IsName(words[from + 1])) return std::nullopt;
  SingleTable table{std::string(words[from + 1]), std::string(words[from + 1])};
  static const std::initializer_list<std::string_view> kClauseAfter = {
      "WHERE", "ORDER", "LIMIT", "OFFSET", "FETCH", "FOR"};
  static const std::initializer_list<std::string_view> kNotAlias = {
      "WHERE",   "ORDER",   "LIMIT", "OFFSET", "FETCH", "FOR",   "GROUP", "HAVING",
      "UNION",   "EXCEPT",  "JOIN",  "INNER",  "LEFT",  "RIGHT", "FULL",  "CROSS",
      "NATURAL", "OUTER",   "ON",    "USING",  "WINDOW", "INTERSECT", "STRAIGHT_JOIN"};
  size_t next = from + 2;
  if (next < words.size() && Is(words[next], "AS")) ++next;
  if (next < words.size() && IsName(words[next]) && !IsAnyOf(words[next], kNotAlias)) {
    table.qualifier = std::string(words[next]);
    ++next;
  } else if (next > from + 2) {
    return std::nullopt;  // AS without an alias
  }
  if (next < words.size() && !IsAnyOf(words[next], kClauseAfter)) return std::nullopt;
  for (size_t i = next; i < words.size(); ++i) {
    if (IsAnyOf(words[i], {"GROUP", "HAVING", "UNION", "EXCEPT", "INTERSECT", "JOIN", "WINDOW"}) ||
        words[i].substr(0, 2) == "--" || words[i].substr(0, 2) == "/*" || words[i] == ";") {
      return std::nullopt;
    }
  }
  return table;
}

std::optional<PageOrder> StableOrder(Connection& connection, std::string_view connection_string,
                                     int database_type, const std::string& ordered_sql,
                                     const std::string& counted_sql) {
  // A row limit of the command's own chooses its rows by the command's
  // order: nothing can follow it, and the grid cannot make it stable.
  for (std::string_view word : TopLevelWords(ordered_sql)) {
    if (IsAnyOf(word, {"LIMIT", "OFFSET", "FETCH", "TOP"})) {
      if (database_type != kDbSQLite) return std::nullopt;
      return PageOrder{ordered_sql, "", false};
    }
  }
  const std::string base = WithoutTrailingOrderBy(ordered_sql);
  std::optional<std::vector<OrderItem>> items;
  if (base.size() < ordered_sql.size()) {
    std::string_view list = TrimBlanks(std::string_view(ordered_sql).substr(base.size()));
    list.remove_prefix(8);  // "ORDER BY"
    items = ParseOrderItems(list);
  } else {
    items.emplace();
  }
  const bool sorted = !items || !items->empty();
  const bool sqlite = database_type == kDbSQLite;

  // The tie-break: the key of the command's one table, else (except on
  // SQLite, whose order is its own rowid order already) every column.
  std::vector<OrderItem> ties;
  if (std::optional<SingleTable> table = SingleTableOf(base)) {
    TableKey key = PrimaryKeyOf(connection, connection_string, table->name);
    if (!sqlite || key.is_rowid) {
      for (const std::string& column : key.columns) {
        OrderItem tie;
        tie.expression = table->qualifier + "." + QuoteColumn(database_type, column);
        ties.push_back(std::move(tie));
      }
    }
  }
  if (ties.empty() && !sqlite) {
    const std::string every = EveryColumn(connection, counted_sql);
    if (!every.empty()) ties = *ParseOrderItems(every);
  }
  PageOrder order;
  if (ties.empty()) {
    if (!sorted && !sqlite) return std::nullopt;
    order.forward = ordered_sql;  // SQLite's own order, or a sort as given
    return order;
  }
  std::string tie_list;
  for (const OrderItem& tie : ties) {
    if (items) {
      bool named = false;
      for (const OrderItem& item : *items) {
        named |= EqualsIgnoreCase(item.expression, tie.expression);
      }
      if (named) continue;
      items->push_back(tie);
    }
    if (!tie_list.empty()) tie_list.push_back(',');
    tie_list.append(tie.expression);
  }
  if (!sorted && sqlite) {
    order.forward = ordered_sql;
    order.needs_rowid_scan = true;
  } else if (tie_list.empty()) {
    order.forward = ordered_sql;  // the sort names the whole key already
  } else {
    order.forward = ordered_sql + (sorted ? "," : " ORDER BY ") + tie_list;
  }
  if (items) order.reversed = base + " ORDER BY " + ReversedOrderList(*items, database_type);
  return order;
}

}  // namespace fennick
