// AddFilterToSql, the formatted SQL display and SQL comments.
#include "grid/query/sql_text.h"

#include <algorithm>
#include <vector>

#include "base/ascii.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

// Walks sql and tells `visit` the offset of every character that belongs
// to the statement itself: outside string literals, quoted names and
// comments ("-- " to the end of the line, "/* */"), and outside
// parentheses when `top_level_only`. A doubled quote inside a literal
// closes and reopens it, which leaves the walk in the same state.
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
    const char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
    if (c == '-' && next == '-') {
      const size_t line_end = sql.find('\n', i);
      if (line_end == std::string_view::npos) return;
      i = line_end - 1;  // the line break itself belongs to the statement
      continue;
    }
    if (c == '/' && next == '*') {
      const size_t comment_end = sql.find("*/", i + 2);
      if (comment_end == std::string_view::npos) return;
      i = comment_end + 1;
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

// One past the statement's last character that is neither a blank nor
// part of a comment (literals, quoted names and parentheses count).
size_t StatementEnd(std::string_view sql) {
  size_t end = 0;
  char close = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (close != 0) {
      if (c == close) close = 0;
      end = i + 1;
      continue;
    }
    const char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
    if (c == '-' && next == '-') {
      const size_t line_end = sql.find('\n', i);
      if (line_end == std::string_view::npos) break;
      i = line_end;
      continue;
    }
    if (c == '/' && next == '*') {
      const size_t comment_end = sql.find("*/", i + 2);
      if (comment_end == std::string_view::npos) break;
      i = comment_end + 1;
      continue;
    }
    if (c == '\'' || c == '"' || c == '`') close = c;
    if (c == '[') close = ']';
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') end = i + 1;
  }
  return end;
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

OrderBySplit SplitTrailingOrderBy(std::string_view sql) {
  // The statement's own tokens at the top level: words (letters, digits,
  // "_", "$") and single other characters, blanks left out.
  struct Token {
    size_t begin, end;
  };
  std::vector<Token> tokens;
  auto is_word = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '$' || static_cast<unsigned char>(c) >= 0x80;
  };
  // A word goes on only while its characters follow each other: the walk
  // passes over parentheses, quotes and comments, which end a word.
  ForEachStatementChar(sql, true, [&](size_t i) {
    const char c = sql[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return;
    if (is_word(c) && !tokens.empty() && tokens.back().end == i && is_word(sql[i - 1])) {
      tokens.back().end = i + 1;
    } else {
      tokens.push_back({i, i + 1});
    }
  });
  auto word = [&](size_t k) {
    return AsciiUpper(sql.substr(tokens[k].begin, tokens[k].end - tokens[k].begin));
  };
  size_t order = std::string_view::npos;
  for (size_t k = 0; k + 1 < tokens.size(); ++k) {
    if (word(k) == "ORDER" && word(k + 1) == "BY") order = k;
  }
  OrderBySplit split;
  if (order == std::string_view::npos) return split;
  // An ORDER BY that chooses rows (a row limit after it, TOP before it)
  // belongs to the statement.
  for (size_t k = order + 2; k < tokens.size(); ++k) {
    const std::string w = word(k);
    if (w == "LIMIT" || w == "OFFSET" || w == "FETCH" || w == "FOR" || w == "TOP") return split;
  }
  for (size_t k = 1; k < order && k < 3; ++k) {
    if (word(0) == "SELECT" && word(k) == "TOP") return split;
  }
  const size_t items_begin = tokens[order + 1].end;
  size_t items_end = std::max(StatementEnd(sql), items_begin);
  if (items_end > items_begin && sql[items_end - 1] == ';') --items_end;
  std::string_view items = sql.substr(items_begin, items_end - items_begin);
  while (!items.empty() && (items.front() == ' ' || items.front() == '\t' ||
                            items.front() == '\r' || items.front() == '\n')) {
    items.remove_prefix(1);
  }
  while (!items.empty() && (items.back() == ' ' || items.back() == '\t' ||
                            items.back() == '\r' || items.back() == '\n')) {
    items.remove_suffix(1);
  }
  if (items.empty()) return split;
  std::string_view statement = sql.substr(0, tokens[order].begin);
  while (!statement.empty() && (statement.back() == ' ' || statement.back() == '\t' ||
                                statement.back() == '\r' || statement.back() == '\n')) {
    statement.remove_suffix(1);
  }
  split.found = true;
  split.statement.assign(statement);
  split.order.assign(items);
  return split;
}

std::string WithoutTrailingOrderBy(std::string_view sql) {
  OrderBySplit split = SplitTrailingOrderBy(sql);
  return split.found ? std::move(split.statement) : std::string(sql);
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
