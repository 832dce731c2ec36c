// AddFilterToSql, the formatted SQL display and SQL comments.
#include "grid/query/sql_text.h"

#include "base/ascii.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

// Walks sql and tells `visit` the offset of every character that belongs
// to the statement itself: outside string literals and quoted names, and
// outside parentheses when `top_level_only`. A doubled quote inside a
// literal closes and reopens it, which leaves the walk in the same state.
template <class Visit>
void ForEachStatementChar(std::string_view sql, bool top_level_only, Visit visit) {
  char close = 0;  // the character that ends the quoted text we are in
  int depth = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (close != 0) {
      if (c == close) close = 0;
      continue;
    }
    switch (c) {
      case '\'':
      case '"':
      case '`':
        close = c;
        continue;
      case '[':
        close = ']';
        continue;
      case '(':
        ++depth;
        continue;
      case ')':
        if (depth > 0) --depth;
        continue;
      default:
        break;
    }
    if (!top_level_only || depth == 0) visit(i);
  }
}

// The offset of the first `keyword` (compared in `text`, which is sql or
// its upper-case copy) that belongs to the statement at the top level, or
// npos.
size_t FindStatementKeyword(std::string_view text, std::string_view keyword) {
  size_t found = std::string_view::npos;
  ForEachStatementChar(text, true, [&](size_t i) {
    if (found == std::string_view::npos && text.compare(i, keyword.size(), keyword) == 0) {
      found = i;
    }
  });
  return found;
}

}  // namespace

std::string AddFilterToSql(std::string_view sql, std::string_view filter) {
  const std::string upper = AsciiUpper(sql);
  const size_t where = FindStatementKeyword(upper, " WHERE ");
  size_t at = FindStatementKeyword(upper, " GROUP BY ");
  if (at == std::string::npos || at < 1) {
    at = FindStatementKeyword(sql, " ORDER BY ");
    if (at != std::string::npos && at < 1) at = std::string::npos;
  }
  const size_t end = at == std::string::npos ? sql.size() : at;
  std::string out;
  if (where != std::string::npos && where < end) {
    // "WHERE a OR b" must become "WHERE (a OR b) AND (filter)": pasted
    // after it unbracketed, the filter would bind to b alone.
    const size_t start = where + 7;
    std::string_view condition = sql.substr(start, end - start);
    while (!condition.empty() && condition.back() == ' ') condition.remove_suffix(1);
    out.append(sql.substr(0, start));
    out.append("(").append(condition).append(") AND  (").append(filter).append(")");
    if (at != std::string::npos) out.append(" ").append(sql.substr(at + 1));
    return out;
  }
  if (at == std::string::npos) {
    out.append(sql).append(" WHERE  (").append(filter).append(")");
    return out;
  }
  out.append(sql.substr(0, at + 1));
  out.append(" WHERE  (").append(filter).append(") ");
  out.append(sql.substr(at + 1));
  return out;
}

std::string WithoutTrailingOrderBy(std::string_view sql) {
  const std::string upper = AsciiUpper(sql);
  size_t order = std::string::npos;
  ForEachStatementChar(upper, true, [&](size_t i) {
    if (upper.compare(i, 10, " ORDER BY ") == 0) order = i;
  });
  if (order == std::string::npos) return std::string(sql);
  const std::string_view head = TrimBlanks(std::string_view(upper).substr(0, order));
  if (head.substr(0, 11) == "SELECT TOP " || head.substr(0, 20) == "SELECT DISTINCT TOP ") {
    return std::string(sql);
  }
  bool limited = false;
  ForEachStatementChar(upper, true, [&](size_t i) {
    if (i <= order) return;
    for (std::string_view word : {" LIMIT ", " OFFSET ", " FETCH ", " TOP "}) {
      if (upper.compare(i, word.size(), word) == 0) limited = true;
    }
  });
  if (limited) return std::string(sql);
  std::string_view kept = sql.substr(0, order);
  while (!kept.empty() && kept.back() == ' ') kept.remove_suffix(1);
  return std::string(kept);
}

std::string CollapseCommaBlanks(std::string_view sql) {
  std::string out;
  out.reserve(sql.size());
  size_t done = 0;
  ForEachStatementChar(sql, false, [&](size_t i) {
    if (sql[i] == ',' && i + 1 < sql.size() && sql[i + 1] == ' ') {
      out.append(sql.substr(done, i + 1 - done));
      done = i + 2;  // the blank after the comma is dropped
    }
  });
  out.append(sql.substr(done));
  return out;
}

std::string FormatSqlForDisplay(std::string_view sql) {
  std::string text = HtmlEncode(sql);
  ReplaceAll(text, "SELECT ", "<font color=blue>SELECT</font> ");
  for (const char* keyword : {"FROM", "WHERE", "ORDER BY", "GROUP BY"}) {
    std::string from = std::string(" ") + keyword + " ";
    std::string to = std::string(" <br><font color=blue>") + keyword + "</font> ";
    ReplaceAll(text, from, to);
  }
  ReplaceAll(text, " AS ", " <font color=blue>AS</font> ");
  ReplaceAll(text, " DESC", " <font color=blue>DESC</font>");
  return "<code>" + text + "</code>";
}

std::string SqlComment(std::string_view sql) {
  std::string body(sql);
  ReplaceAll(body, ">", "&gt;");
  return "\r\n<!--\r\n" + body + "\r\n-->";
}

}  // namespace fennick
