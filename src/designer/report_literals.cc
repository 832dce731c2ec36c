// Literals, run-time tokens and required parameters of report statements.
#include "designer/report_literals.h"

#include <cstdio>
#include <ctime>

#include "base/ascii.h"
#include "fennick/variant.h"
#include "grid/query/database_type.h"
#include "platform/data/value_text.h"
#include "platform/script/date_literal.h"

namespace fennick::designer {
namespace {

bool IsNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The length of the name starting at `at` (0 when none starts there).
size_t NameLength(std::string_view text, size_t at) {
  if (at >= text.size() || !IsNameStart(text[at])) return 0;
  size_t end = at + 1;
  while (end < text.size() && IsNameChar(text[end])) ++end;
  return end - at;
}

bool UsesIsoDates(int type) { return type == kDbSQLite || type == kDbPostgreSql; }

std::string Two(int n) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02d", n);
  return buffer;
}

// "yyyy-mm-dd" (and " hh:mm:ss" when there is a time).
std::string IsoText(const DateParts& p, bool with_time) {
  std::string out = std::to_string(p.year) + "-" + Two(p.month) + "-" + Two(p.day);
  if (with_time) out += " " + Two(p.hour) + ":" + Two(p.minute) + ":" + Two(p.second);
  return out;
}

std::tm LocalTime(std::time_t now) {
  std::tm parts{};
  localtime_r(&now, &parts);
  return parts;
}

// Where a comment starting at `at` ends (one past it), or npos when none
// starts there: "--" and "/*" everywhere, "#" on MySQL. Comments hold no
// tokens, and a quote inside one opens no literal.
size_t CommentEnd(std::string_view text, size_t at, int database_type) {
  if (text.compare(at, 2, "--") == 0 || (text[at] == '#' && database_type == kDbMySql)) {
    size_t end = text.find('\n', at);
    return end == std::string_view::npos ? text.size() : end;
  }
  if (text.compare(at, 2, "/*") == 0) {
    size_t end = text.find("*/", at + 2);
    return end == std::string_view::npos ? text.size() : end + 2;
  }
  return std::string_view::npos;
}

}  // namespace

bool IsSqlNumber(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  size_t digits = 0;
  bool dot = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.' && !dot) {
      dot = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    size_t exponent = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      ++i;
      ++exponent;
    }
    if (exponent == 0) return false;
  }
  return i == text.size();
}

std::string QuoteLiteral(int database_type, std::string_view value) {
  std::string out = "'";
  for (char c : value) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
    if (c == '\\' && database_type == kDbMySql) out.push_back('\\');
  }
  out.push_back('\'');
  return out;
}

std::optional<std::string> DateLiteralText(int database_type, std::string_view value) {
  value = TrimBlanks(value);
  double ole = 0;
  if (!data::ParseDateText(value, ole) && !script::ParseDateLiteral(value, ole)) {
    return std::nullopt;
  }
  const DateParts p = SplitOleDate(ole);
  const bool with_time = p.hour != 0 || p.minute != 0 || p.second != 0;
  if (UsesIsoDates(database_type)) return IsoText(p, with_time);
  if (database_type == kDbMySql) {
    return std::to_string(p.year) + "-" + std::to_string(p.month) + "-" + std::to_string(p.day);
  }
  std::string out =
      std::to_string(p.month) + "/" + std::to_string(p.day) + "/" + std::to_string(p.year);
  if (with_time) out += " " + Two(p.hour) + ":" + Two(p.minute) + ":" + Two(p.second);
  return out;
}

std::string DelimitDate(int database_type, std::string_view text) {
  if (database_type == kDbAccess) return "#" + std::string(text) + "#";
  if (database_type == kDbFoxPro) return "{" + std::string(text) + "}";
  return QuoteLiteral(database_type, text);
}

bool IsWholeToken(std::string_view value, char marker, std::string* name) {
  if (value.size() < 2 || value[0] != marker) return false;
  if (NameLength(value, 1) != value.size() - 1) return false;
  if (name) *name = std::string(value.substr(1));
  return true;
}

std::optional<std::string> TokenResolver::Parameter(std::string_view name) {
  std::optional<std::string> typed;
  if (values_->parameter) typed = values_->parameter(name);
  if (typed) return typed;
  for (const std::string& known : missing_) {
    if (EqualsIgnoreCase(known, name)) return std::nullopt;
  }
  missing_.emplace_back(name);
  return std::nullopt;
}

// The date and time tokens. For a whole filter value (`for_text` off) dates
// come as ISO text, which the date rules then write for the database; in
// an author's text they go in as the database reads them: ISO on SQLite and
// PostgreSQL, year-month-day without padding elsewhere.
std::optional<std::string> TokenResolver::SystemToken(std::string_view name, bool for_text) const {
  const std::tm t = LocalTime(values_->now);
  const int year = t.tm_year + 1900, month = t.tm_mon + 1, day = t.tm_mday;
  const bool iso = !for_text || UsesIsoDates(options_.database_type);
  const std::string date =
      iso ? std::to_string(year) + "-" + Two(month) + "-" + Two(day)
          : std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day);
  // Minutes are always two digits: "14:7" is no time any database reads.
  const std::string time = (iso ? Two(t.tm_hour) : std::to_string(t.tm_hour)) + ":" + Two(t.tm_min);
  if (EqualsIgnoreCase(name, "DATETIME")) return date + " " + time;
  if (EqualsIgnoreCase(name, "DATE")) return date;
  if (EqualsIgnoreCase(name, "TIME")) return time;
  if (EqualsIgnoreCase(name, "YEAR")) return std::to_string(year);
  if (EqualsIgnoreCase(name, "MONTH")) return std::to_string(month);
  if (EqualsIgnoreCase(name, "DAY")) return std::to_string(day);
  return std::nullopt;
}

std::optional<std::string> TokenResolver::ValueOf(std::string_view value, bool hidden) {
  std::string name;
  if (IsWholeToken(value, '?', &name)) return Parameter(name);
  if (!IsWholeToken(value, '@', &name)) return std::string(value);
  if (std::optional<std::string> system = SystemToken(name, false)) return system;
  std::string session_name = name;
  if (EqualsIgnoreCase(name, "USERNAME")) session_name = "UserName";
  if (EqualsIgnoreCase(name, "USERID")) session_name = "UserId";
  std::string session = values_->session ? values_->session(session_name) : std::string();
  if (!session.empty()) return session;
  if (hidden) {
    // A row-level filter without its session value restricts to nothing:
    // the statement is not run (an empty value would not compare with
    // every column type, and a typed one would be the user's choice).
    Fail("The session has no value for " + std::string(name) + ".");
    return std::nullopt;
  }
  if (session_name != name) return session;
  // A session value that is not there is asked of the user instead, as a
  // required parameter of the same name.
  return Parameter(name);
}

std::string TokenResolver::Fill(std::string_view text, bool hidden) {
  if (!active()) return std::string(text);
  std::string out;
  out.reserve(text.size() + 16);
  char closing = 0;  // the delimiter that ends the quoted part we are in
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (closing == '\'' && c == '\\' && options_.database_type == kDbMySql && i + 1 < text.size()) {
      out.append(text.substr(i, 2));  // MySQL escapes the next character
      ++i;
      continue;
    }
    if (closing == 0) {
      if (size_t end = CommentEnd(text, i, options_.database_type); end != std::string_view::npos) {
        out.append(text.substr(i, end - i));
        i = end - 1;
        continue;
      }
    }
    if (closing != 0) {
      if (c == closing) {
        // A doubled delimiter stays inside the quotes.
        if (i + 1 < text.size() && text[i + 1] == closing && closing != '#') {
          out.push_back(c);
          out.push_back(c);
          ++i;
          continue;
        }
        closing = 0;
        out.push_back(c);
        continue;
      }
      if (closing != '\'' && closing != '#') {
        out.push_back(c);  // inside a delimited name: no tokens
        continue;
      }
    } else {
      switch (c) {
        case '\'':
          closing = '\'';
          out.push_back(c);
          continue;
        case '"':
          closing = '"';
          out.push_back(c);
          continue;
        case '[':
          closing = ']';
          out.push_back(c);
          continue;
        case '`':
          closing = '`';
          out.push_back(c);
          continue;
        case '#':
          if (options_.database_type == kDbAccess) {
            closing = '#';
            out.push_back(c);
            continue;
          }
          break;
        default:
          break;
      }
    }
    const bool word_start = i == 0 || !IsNameChar(text[i - 1]);
    const size_t length = (c == '@' || c == '?') && word_start ? NameLength(text, i + 1) : 0;
    // "@@ROWCOUNT" and the like are the database's own variables.
    if (length == 0 || (i > 0 && text[i - 1] == '@')) {
      out.push_back(c);
      continue;
    }
    const std::string_view name = text.substr(i + 1, length);
    std::optional<std::string> value;
    if (c == '@') value = SystemToken(name, true);
    const bool system = value.has_value();
    if (!system) value = ValueOf(text.substr(i, length + 1), hidden);
    i += length;
    if (!value) continue;  // missing: the statement will not run
    if (closing == '\'') {
      // Inside a quoted literal: doubled quotes keep the value inside.
      std::string quoted = QuoteLiteral(options_.database_type, *value);
      out.append(quoted, 1, quoted.size() - 2);
    } else if (closing == '#') {
      std::optional<std::string> date = DateLiteralText(options_.database_type, *value);
      if (!date) {
        Fail("\"" + *value + "\" is not a valid date.");
        continue;
      }
      out.append(*date);
    } else if (system || IsSqlNumber(*value)) {
      out.append(*value);
    } else {
      Fail("The value of " + std::string(name) + " must be a number.");
    }
  }
  return out;
}

bool IsClosedFragment(std::string_view sql, int database_type) {
  int depth = 0;
  char closing = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (closing != 0) {
      if (c == '\\' && database_type == kDbMySql && (closing == '\'' || closing == '"')) {
        ++i;  // the escaped character stays inside
      } else if (c == closing) {
        closing = 0;  // a doubled delimiter reopens at once
      }
      continue;
    }
    if (c == ';' || CommentEnd(sql, i, database_type) != std::string_view::npos) return false;
    switch (c) {
      case '\'':
      case '"':
      case '`':
        closing = c;
        break;
      case '[':
        closing = ']';
        break;
      case '(':
        ++depth;
        break;
      case ')':
        if (--depth < 0) return false;
        break;
      default:
        break;
    }
  }
  return depth == 0 && closing == 0;
}

std::optional<KeywordSpan> FindTopLevel(std::string_view sql, std::string_view keyword,
                                        size_t from) {
  keyword = TrimBlanks(keyword);
  if (keyword.empty()) return std::nullopt;
  int depth = 0;
  char closing = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (closing != 0) {
      if (c == closing) closing = 0;  // a doubled delimiter reopens at once
      continue;
    }
    // Comments are skipped whatever the database (a "#" is no comment
    // here: the keyword search does not know the database type).
    if (size_t end = CommentEnd(sql, i, kDbUnknown); end != std::string_view::npos) {
      i = end - 1;
      continue;
    }
    switch (c) {
      case '\'':
        closing = '\'';
        continue;
      case '"':
        closing = '"';
        continue;
      case '[':
        closing = ']';
        continue;
      case '`':
        closing = '`';
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
    if (depth != 0 || i < from || (i > 0 && IsNameChar(sql[i - 1]))) continue;
    // The keyword's words, any run of white space between them.
    size_t at = i, k = 0;
    while (k < keyword.size() && at < sql.size()) {
      if (keyword[k] == ' ') {
        if (!IsSpace(sql[at])) break;
        while (at < sql.size() && IsSpace(sql[at])) ++at;
        while (k < keyword.size() && keyword[k] == ' ') ++k;
        continue;
      }
      if (AsciiUpperChar(sql[at]) != AsciiUpperChar(keyword[k])) break;
      ++at;
      ++k;
    }
    if (k == keyword.size() && (at == sql.size() || !IsNameChar(sql[at]))) {
      return KeywordSpan{i, at};
    }
  }
  return std::nullopt;
}

}  // namespace fennick::designer
