// Splitting typed SQL into tokens.
#include "designer/builder/sql_tokens.h"

#include <cctype>
#include <cstdio>

#include "base/ascii.h"
#include "grid/query/database_type.h"

namespace fennick::designer {
namespace {

SqlTokens Fail(SqlTokens& out, size_t offset, std::string_view reason) {
  out.error = std::string(reason);
  out.error_offset = offset;
  out.tokens.clear();
  return out;
}

}  // namespace

// Dates as #..#: yyyy-mm-dd or m/d/yyyy, with an optional hh:mm[:ss].
bool ParseSqlDate(std::string_view text, int* y, int* m, int* d, int* hh, int* mm, int* ss) {
  const std::string t(TrimBlanks(text));
  *hh = *mm = *ss = -1;
  int n = 0;
  if (std::sscanf(t.c_str(), "%4d-%2d-%2d%n", y, m, d, &n) != 3 &&
      std::sscanf(t.c_str(), "%2d/%2d/%4d%n", m, d, y, &n) != 3) {
    return false;
  }
  const std::string tail(TrimBlanks(std::string_view(t).substr(n)));
  if (!tail.empty()) {
    int k = 0;
    *ss = 0;
    const bool with_seconds = std::sscanf(tail.c_str(), "%2d:%2d:%2d%n", hh, mm, ss, &k) == 3 &&
                              static_cast<size_t>(k) == tail.size();
    if (!with_seconds) {
      *ss = 0;
      k = 0;
      if (std::sscanf(tail.c_str(), "%2d:%2d%n", hh, mm, &k) != 2 ||
          static_cast<size_t>(k) != tail.size()) {
        return false;
      }
    }
    if (*hh < 0 || *hh > 23 || *mm < 0 || *mm > 59 || *ss < 0 || *ss > 59) return false;
  }
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (*y < 1 || *y > 9999 || *m < 1 || *m > 12 || *d < 1 || *d > kDays[*m - 1]) return false;
  if (*m == 2 && *d == 29 && !((*y % 4 == 0 && *y % 100 != 0) || *y % 400 == 0)) return false;
  return true;
}

std::string SqlDateText(int y, int m, int d, int hh, int mm, int ss) {
  char text[32];
  if (hh < 0) {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
  } else {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, hh, mm, ss);
  }
  return text;
}

bool IsSqlNumberText(std::string_view text) {
  if (text.empty()) return false;
  size_t i = 0;
  if (text[0] == '-' || text[0] == '+') i = 1;
  bool digits = false, dot = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' && !dot) {
      dot = true;
    } else {
      return false;
    }
  }
  return digits;
}

SqlTokens TokenizeSql(std::string_view text, int database_type) {
  SqlTokens out;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    SqlToken t;
    t.offset = i;
    const bool fox_date = c == '{' && database_type == kDbFoxPro && i + 1 < n && text[i + 1] == '^';
    if (c == ';') return Fail(out, i, "a second statement is not allowed");
    if ((c == '-' && i + 1 < n && text[i + 1] == '-') ||
        (c == '/' && i + 1 < n && text[i + 1] == '*') || ((c == '{' || c == '}') && !fox_date)) {
      return Fail(out, i, "comments and escapes are not allowed");
    }
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
      size_t j = i;
      bool dot = false;
      while (j < n &&
             (std::isdigit(static_cast<unsigned char>(text[j])) || (text[j] == '.' && !dot))) {
        if (text[j] == '.') dot = true;
        ++j;
      }
      if (j < n && (text[j] == 'e' || text[j] == 'E')) {
        size_t k = j + 1;
        if (k < n && (text[k] == '+' || text[k] == '-')) ++k;
        if (k < n && std::isdigit(static_cast<unsigned char>(text[k]))) {
          while (k < n && std::isdigit(static_cast<unsigned char>(text[k]))) ++k;
          j = k;
        }
      }
      if (j < n && (std::isalpha(static_cast<unsigned char>(text[j])) || text[j] == '_')) {
        return Fail(out, i, "this is not a number");
      }
      t.kind = SqlTok::kNumber;
      t.text = std::string(text.substr(i, j - i));
      if (t.text[0] == '.') t.text.insert(t.text.begin(), '0');
      i = j;
    } else if (c == '\'') {
      std::string value;
      size_t j = i + 1;
      bool closed = false;
      while (j < n) {
        // MySQL reads "\\" as one backslash; the writer doubles it again,
        // so text written by this checker reads back to itself.
        if (text[j] == '\\' && database_type == kDbMySql && j + 1 < n && text[j + 1] == '\\') {
          value.push_back('\\');
          j += 2;
          continue;
        }
        if (text[j] == '\'') {
          if (j + 1 < n && text[j + 1] == '\'') {
            value.push_back('\'');
            j += 2;
            continue;
          }
          closed = true;
          ++j;
          break;
        }
        value.push_back(text[j++]);
      }
      if (!closed) {
        return Fail(out, i, "a text has no closing quote");
      }
      t.kind = SqlTok::kString;
      t.text = std::move(value);
      i = j;
    } else if (fox_date) {
      // FoxPro's own date literal, as the checker writes dates for it.
      size_t end = text.find('}', i + 2);
      if (end == std::string_view::npos) return Fail(out, i, "a date has no closing }");
      t.kind = SqlTok::kDate;
      t.text = std::string(text.substr(i + 2, end - i - 2));
      i = end + 1;
    } else if (c == '#') {
      if (StartsWithIgnoreCase(text.substr(i), "#TEMP#")) {
        t.kind = SqlTok::kTemp;
        t.text = "#TEMP#";
        i += 6;
      } else {
        size_t end = text.find('#', i + 1);
        if (end == std::string_view::npos) {
          return Fail(out, i, "a date has no closing #");
        }
        t.kind = SqlTok::kDate;
        t.text = std::string(text.substr(i + 1, end - i - 1));
        i = end + 1;
      }
    } else if (c == '[' || c == '"' || c == '`') {
      const char close = c == '[' ? ']' : c;
      size_t end = text.find(close, i + 1);
      if (end == std::string_view::npos || end == i + 1) {
        return Fail(out, i, "a name has no closing delimiter");
      }
      t.kind = SqlTok::kQuotedName;
      t.text = std::string(text.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
               static_cast<unsigned char>(c) >= 0x80) {
      size_t j = i;
      while (j < n && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_' ||
                       text[j] == '$' || static_cast<unsigned char>(text[j]) >= 0x80)) {
        ++j;
      }
      t.kind = SqlTok::kName;
      t.text = std::string(text.substr(i, j - i));
      i = j;
    } else {
      static const char* const kSymbols[] = {"<>", "!=", "<=", ">=", "||", "=", "<", ">", "+",
                                             "-",  "*",  "/",  "%",  "(",  ")", ",", "."};
      bool found = false;
      for (const char* s : kSymbols) {
        std::string_view sym(s);
        if (text.substr(i, sym.size()) == sym) {
          t.kind = SqlTok::kSymbol;
          t.text = std::string(sym);
          i += sym.size();
          found = true;
          break;
        }
      }
      if (!found) {
        return Fail(out, i, "this character is not allowed");
      }
    }
    out.tokens.push_back(std::move(t));
  }
  SqlToken end;
  end.offset = n;
  out.tokens.push_back(end);
  return out;
}

}  // namespace fennick::designer
