// Splitting delimited lists.
#include "base/split.h"

#include "base/ascii.h"

namespace fennick {

std::vector<std::string_view> SplitView(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> items;
  if (text.empty()) return items;
  if (separator.empty()) {
    items.push_back(text);
    return items;
  }
  size_t start = 0;
  for (;;) {
    size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      items.push_back(text.substr(start));
      return items;
    }
    items.push_back(text.substr(start, at - start));
    start = at + separator.size();
  }
}

std::vector<std::string> SplitText(std::string_view text, std::string_view separator) {
  std::vector<std::string> items;
  for (std::string_view item : SplitView(text, separator)) items.emplace_back(item);
  return items;
}

std::vector<std::string_view> SplitTrimmed(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> items;
  for (std::string_view item : SplitView(text, separator)) {
    item = TrimBlanks(item);
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

}  // namespace fennick
