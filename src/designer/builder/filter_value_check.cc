// The values of filter entries, checked for their condition and written as
// the report stores them (SqlChecker::FilterValue, builder/sql_check.h).
#include <cctype>

#include "base/ascii.h"
#include "base/split.h"
#include "designer/builder/sql_check.h"
#include "designer/builder/sql_tokens.h"
#include "grid/query/database_type.h"

namespace fennick::designer {

SqlCheck SqlChecker::FilterValue(std::string_view field, int code, std::string_view value,
                                 bool allow_all) const {
  SqlCheck out;
  int category = 200;
  std::string why;
  if (FindColumn(field, &why, &category).empty()) {
    out.error = why;
    return out;
  }
  if (code < 1 || code > 19) {
    out.error = "the condition " + std::to_string(code) + " is unknown";
    return out;
  }
  if (value.find("__") != std::string_view::npos) {
    out.error = "a value may not hold \"__\"";
    return out;
  }
  auto plain_name = [](std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    return true;
  };
  if (!value.empty() && value[0] == '!') {
    std::string column = FindColumn(value.substr(1), &why);
    if (column.empty()) {
      out.error = why;
      return out;
    }
    out.sql = "!" + column;
    return out;
  }
  if (!value.empty() && (value[0] == '?' || value[0] == '@')) {
    if (!plain_name(value.substr(1))) {
      out.error = "a parameter or token is a plain name of letters, digits and \"_\"";
      return out;
    }
    out.sql = std::string(value);
    return out;
  }
  // Conditions that compare nothing keep no value.
  if (code >= 10 && code <= 15) return out;
  if (code == 18 || code == 19) return out;
  if (code == 17) {
    std::string list;
    for (std::string_view item : SplitView(value, "|")) {
      std::string_view text = TrimBlanks(item);
      std::string literal;
      if (IsSqlNumberText(text) && category != 200) {
        literal = std::string(text);
      } else {
        std::string_view inner = text;
        if (inner.size() >= 2 && inner.front() == '\'' && inner.back() == '\'') {
          inner = inner.substr(1, inner.size() - 2);
        }
        literal = "'";
        for (size_t i = 0; i < inner.size(); ++i) {
          // A doubled quote typed inside stands for one.
          if (inner[i] == '\'' && i + 1 < inner.size() && inner[i + 1] == '\'') ++i;
          if (inner[i] == '\\' && database_type_ == kDbMySql && i + 1 < inner.size() &&
              inner[i + 1] == '\\') {
            ++i;  // written doubled: one backslash
          }
          if (inner[i] == '\'') literal.push_back('\'');
          if (inner[i] == '\\' && database_type_ == kDbMySql) literal.push_back('\\');
          literal.push_back(inner[i]);
        }
        literal.push_back('\'');
      }
      if (text.empty()) {
        out.error = "an IS IN list has an empty item";
        return out;
      }
      if (!list.empty()) list.push_back('|');
      list += literal;
    }
    if (list.empty()) out.error = "an IS IN list needs at least one value";
    out.sql = list;
    return out;
  }
  if (value.empty() && (code <= 9 || code == 16)) {
    out.error = "the condition needs a value";
    return out;
  }
  const bool ordering = code == 3 || code == 4 || code == 8 || code == 9;
  if (ordering && !allow_all) {
    int y, m, d, hh, mm, ss;
    std::string_view text = TrimBlanks(value);
    if (!IsSqlNumberText(text) && !ParseSqlDate(text, &y, &m, &d, &hh, &mm, &ss)) {
      out.error = "Invalid search condition";
      return out;
    }
  }
  out.sql = std::string(value);
  return out;
}

}  // namespace fennick::designer
