// Aggregate columns: recognising them and finding the column they
// aggregate.

#include "grid/query/aggregate_columns.h"

#include "base/ascii.h"

namespace fennick {
namespace {

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// The position of " AS " + alias in command (any case) where the alias is
// not the start of a longer name, or npos.
size_t FindAliasItem(std::string_view command, std::string_view alias) {
  const size_t length = 4 + alias.size();
  for (size_t at = 0; at + length <= command.size(); ++at) {
    if (!EqualsIgnoreCase(command.substr(at, 4), " AS ") ||
        !EqualsIgnoreCase(command.substr(at + 4, alias.size()), alias)) {
      continue;
    }
    if ((at + length == command.size() || !IsNameChar(command[at + length]))) {
      return at;
    }
  }
  return std::string_view::npos;
}

}  // namespace

bool IsAggregateColumn(std::string_view name) {
  for (std::string_view prefix : {"SUM_", "AVG_", "MIN_", "MAX_", "VAR_", "STDEV_"}) {
    if (StartsWithIgnoreCase(name, prefix)) return true;
  }
  return false;
}

std::string AggregateBaseColumn(std::string_view command, std::string_view alias) {
  const size_t item = FindAliasItem(command, alias);
  if (item == std::string_view::npos || item == 0) return std::string(alias);
  const size_t open = command.rfind('(', item - 1);
  const size_t close = command.rfind(')', item - 1);
  if (open == std::string_view::npos || close == std::string_view::npos || close <= open + 1) {
    return std::string(alias);
  }
  std::string name;
  for (char c : command.substr(open + 1, close - open - 1)) {
    if (c != '[' && c != ']' && c != '`') name.push_back(c);
  }
  size_t first = name.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string(alias);
  size_t last = name.find_last_not_of(" \t");
  return name.substr(first, last - first + 1);
}

}  // namespace fennick
