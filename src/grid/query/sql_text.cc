// AddFilterToSql, the formatted SQL display and SQL comments.
#include "grid/query/sql_text.h"

#include "base/ascii.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

}  // namespace

std::string AddFilterToSql(std::string_view sql, std::string_view filter) {
  const std::string upper = AsciiUpper(sql);
  const char* joiner = upper.find(" WHERE ") != std::string::npos ? " AND " : " WHERE ";
  size_t at = upper.find(" GROUP BY ");
  if (at == std::string::npos || at < 1) {
    at = std::string_view(sql).find(" ORDER BY ");
    if (at != std::string::npos && at < 1) at = std::string::npos;
  }
  std::string out;
  if (at == std::string::npos) {
    out.append(sql).append(joiner).append(" (").append(filter).append(")");
    return out;
  }
  out.append(sql.substr(0, at + 1));
  out.append(joiner).append(" (").append(filter).append(") ");
  out.append(sql.substr(at + 1));
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
