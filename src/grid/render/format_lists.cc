// Entries of the column format lists: appending and finding them.

#include "grid/render/format_lists.h"

#include "base/ascii.h"
#include "platform/script/text.h"

namespace fennick {
namespace {

constexpr std::string_view kEntryEnd = "|||";
constexpr std::string_view kKeyEnd = "|=|";

// The value that starts at `from`: up to the next "|||" or the end.
std::string_view ValueAt(std::string_view list, size_t from) {
  size_t end = list.find(kEntryEnd, from);
  return list.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from);
}

// Whether `at` starts an entry: the start of the list or right after "|||".
bool StartsEntry(std::string_view list, size_t at) {
  return at == 0 || (at >= kEntryEnd.size() &&
                     list.substr(at - kEntryEnd.size(), kEntryEnd.size()) == kEntryEnd);
}

bool EqualsAnyCase(std::string_view text, std::string_view upper) {
  if (script::IsAscii(text)) {
    return EqualsIgnoreCase(text, upper);
  }
  return script::ToUpper(text) == upper;
}

}  // namespace

std::string FormatKey(std::string_view text) { return script::ToUpper(text); }

void AppendEntry(std::string& list, std::string_view key, std::string_view value) {
  list.append(key);
  list.append(kKeyEnd);
  list.append(value);
  list.append(kEntryEnd);
}

std::optional<std::string_view> FindEntry(std::string_view list, std::string_view key) {
  // Every occurrence of key + "|=|" that starts an entry; the first wins.
  for (size_t at = list.find(key); at != std::string_view::npos; at = list.find(key, at + 1)) {
    size_t after = at + key.size();
    if (list.substr(after, kKeyEnd.size()) == kKeyEnd && StartsEntry(list, at)) {
      return ValueAt(list, after + kKeyEnd.size());
    }
  }
  return std::nullopt;
}

std::optional<std::string_view> FindEntryAnyCase(std::string_view list,
                                                 std::string_view upper_key) {
  // Keys may change length when upper-cased, so each candidate key (the
  // text from an entry start to the next "|=|") is compared on its own. The
  // entry starts are the start of the list and the end of every "|||",
  // overlapping ones included, in the order a plain search meets them.
  size_t start = 0;
  size_t bar = std::string_view::npos;
  for (;;) {
    size_t key_end = list.find(kKeyEnd, start);
    if (key_end == std::string_view::npos) return std::nullopt;
    if (EqualsAnyCase(list.substr(start, key_end - start), upper_key)) {
      return ValueAt(list, key_end + kKeyEnd.size());
    }
    bar = list.find(kEntryEnd, bar == std::string_view::npos ? 0 : bar + 1);
    if (bar == std::string_view::npos) return std::nullopt;
    start = bar + kEntryEnd.size();
  }
}

bool HasBareEntry(std::string_view list, std::string_view key) {
  for (size_t at = list.find(key); at != std::string_view::npos; at = list.find(key, at + 1)) {
    if (list.substr(at + key.size(), kEntryEnd.size()) == kEntryEnd && StartsEntry(list, at)) {
      return true;
    }
  }
  return false;
}

}  // namespace fennick
