// Finding a result column by name.

#include "grid/render/field_index.h"

#include <string>

#include "base/ascii.h"
#include "base/split.h"
#include "platform/script/text.h"

namespace fennick {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string AfterFirstDot(std::string text) {
  size_t dot = text.find('.');
  return dot == std::string::npos ? text : text.substr(dot + 1);
}

}  // namespace

int FieldIndex(const std::vector<GridColumn>& columns, std::string_view name) {
  const std::string wanted = AfterFirstDot(script::ToUpper(Trim(name)));
  for (size_t i = 0; i < columns.size(); ++i) {
    std::string candidate;
    for (char c : Trim(columns[i].name)) {
      if (c != '[' && c != ']' && c != '`') candidate.push_back(c);
    }
    if (AfterFirstDot(script::ToUpper(candidate)) == wanted) return static_cast<int>(i);
  }
  return -1;
}

bool FieldListNames(std::string_view list, const GridColumn& column) {
  const std::string name = AsciiLower(column.name);
  const std::string dot_name = "." + name;
  const std::string qualified = AsciiLower(column.table) + dot_name;
  for (std::string_view item : SplitTrimmed(list, ",")) {
    const std::string wanted = AsciiLower(item);
    if (wanted == name || (!column.table.empty() && wanted == qualified)) return true;
    const bool any_table =
        wanted.size() > dot_name.size() &&
        wanted.compare(wanted.size() - dot_name.size(), dot_name.size(), dot_name) == 0;
    if (column.table.empty() && any_table) return true;
  }
  return false;
}

}  // namespace fennick
