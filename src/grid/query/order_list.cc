// ComputeOrderList, RemoveFromOrderList and the check of posted lists.

#include "grid/query/order_list.h"

#include <vector>

#include "base/ascii.h"
#include "base/split.h"

namespace fennick {
namespace {

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) {
    if (!out.empty()) out.push_back(',');
    out.append(item);
  }
  return out;
}

}  // namespace

std::string ComputeOrderList(std::string_view requested, std::string_view last, bool remove) {
  if (requested.empty()) return std::string();
  const std::string s(requested);
  const std::string s_desc = s + " desc";
  const bool last_is_list = last.find(',') != std::string_view::npos;
  if (remove) {
    if (!last_is_list) {
      if (last == s || last == s_desc) return std::string();
      // The column was not in the order: the order stays as it was drawn.
      return std::string(last);
    }
    std::vector<std::string> kept;
    for (auto& item : SplitText(last, ",")) {
      if (item != s && item != s_desc) kept.push_back(std::move(item));
    }
    return Join(kept);
  }
  if (!last_is_list) {
    if (last.empty()) return s;
    if (last == s) return s_desc;
    if (last == s_desc || s == std::string(last) + " desc") return s;
    return std::string(last) + "," + s;
  }
  std::vector<std::string> items = SplitText(last, ",");
  bool matched = false;
  for (auto& item : items) {
    if (item == s) {
      item = s_desc;
      matched = true;
    } else if (item == s_desc) {
      item = s;
      matched = true;
    }
  }
  if (!matched) items.push_back(s);
  return Join(items);
}

std::string RemoveFromOrderList(std::string_view list, std::string_view item) {
  if (list.find(',') == std::string_view::npos) {
    return list == item ? std::string() : std::string(list);
  }
  const std::string target = AsciiLower(TrimBlanks(item));
  const std::string target_desc = target + " desc";
  std::vector<std::string> kept;
  for (auto& entry : SplitText(list, ",")) {
    std::string lower = AsciiLower(entry);
    if (lower != target && lower != target_desc) kept.push_back(std::move(entry));
  }
  return Join(kept);
}

std::string SanitizeOrderList(std::string_view list) {
  std::vector<std::string> kept;
  for (auto& item : SplitText(list, ",")) {
    std::string_view v = TrimBlanks(item);
    bool desc = false;
    if (v.size() > 5 && AsciiLower(v.substr(v.size() - 5)) == " desc") {
      desc = true;
      v = TrimBlanks(v.substr(0, v.size() - 5));
    }
    if (v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string_view::npos ||
        v[0] == '0') {
      continue;
    }
    kept.push_back(std::string(v) + (desc ? " desc" : ""));
  }
  return Join(kept);
}

}  // namespace fennick
