// Resolving a column's formats from the page's lists.

#include "grid/render/cell_formats.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/ascii.h"
#include "fennick/error.h"
#include "frame/text_routines.h"
#include "grid/query/aggregate_columns.h"
#include "grid/render/format_lists.h"
#include "platform/script/text.h"

namespace fennick {
namespace {

std::array<size_t, 8> StampOf(const GridObject& g) {
  const GridPageState& p = *g.page;
  return {p.template_list.size(),     p.date_list.size(),     p.number_list.size(),
          p.boolean_list.size(),      p.regex_list.size(),    p.cell_style_list.size(),
          p.column_style_list.size(), g.result.columns.size()};
}

// The entries of the cell-style list in order ("|||TEXT|=|style|||...").
std::vector<std::pair<std::string, std::string>> ParseCellStyles(std::string_view list) {
  std::vector<std::pair<std::string, std::string>> styles;
  size_t at = 0;
  while (list.substr(at, 3) == "|||") at += 3;
  while (at < list.size()) {
    const size_t key_end = list.find("|=|", at);
    if (key_end == std::string_view::npos) break;
    const size_t end = list.find("|||", key_end + 3);
    styles.emplace_back(std::string(list.substr(at, key_end - at)),
                        std::string(list.substr(key_end + 3, end == std::string_view::npos
                                                                 ? std::string_view::npos
                                                                 : end - key_end - 3)));
    if (end == std::string_view::npos) break;
    at = end + 3;
  }
  return styles;
}

void ResolveDate(ColumnFormat& f) {
  double number = 0;
  if (ParseNumber(f.entry, number)) {
    // Out-of-range numbers are passed on as such, so the formatter refuses
    // them rather than a clamped value being accepted.
    const double rounded = std::nearbyint(number);
    f.named_date = (rounded >= 0 && rounded <= 4) ? static_cast<int>(rounded) : -1;
  } else {
    f.date_tokens = f.entry.find('%') != std::string::npos;
  }
}

void ResolveNumber(ColumnFormat& f) {
  f.number_kind = f.entry.empty() ? '1' : f.entry[0];
  double decimals = -1;
  if (f.entry.size() > 1 && ParseNumber(std::string_view(f.entry).substr(1), decimals)) {
    f.decimals = static_cast<int>(std::clamp(decimals, -1000.0, 1000.0));
  }
}

void ResolveRegex(ColumnFormat& f) {
  std::string_view entry = f.entry;
  if (entry.substr(0, 2) == "~d") {
    f.digits_first = true;
    entry.remove_prefix(2);
  }
  f.regex.Pattern(StringBefore(entry, "~`"));
  f.regex.IgnoreCase(false);
  f.regex.Global(false);
  f.replacement = StringAfter(entry, "~`");
}

}  // namespace

ColumnKeys OwnKeysOf(const GridColumn& column) {
  ColumnKeys keys;
  if (!column.table.empty()) keys.qualified = FormatKey(column.table + "." + column.name);
  keys.bare = FormatKey(column.name);
  return keys;
}

ColumnKeys KeysOf(const GridPageState& page, const GridColumn& column) {
  return KeysOf(page.command, column);
}

ColumnKeys KeysOf(std::string_view command, const GridColumn& column) {
  if (!IsAggregateColumn(column.name)) return OwnKeysOf(column);
  ColumnKeys keys;
  const std::string base = AggregateBaseColumn(command, column.name);
  const size_t dot = base.rfind('.');
  if (dot != std::string::npos) {
    keys.qualified = FormatKey(base);
    keys.bare = FormatKey(std::string_view(base).substr(dot + 1));
  } else {
    keys.bare = FormatKey(base);
  }
  return keys;
}

std::optional<std::string_view> FindColumnEntry(std::string_view list, const ColumnKeys& keys) {
  if (list.empty()) return std::nullopt;
  if (!keys.qualified.empty()) {
    if (auto entry = FindEntry(list, keys.qualified)) return entry;
  }
  return FindEntry(list, keys.bare);
}

CellWriterCache& CellCacheFor(GridObject& g) {
  if (!g.result.cell_writer_cache) {
    g.result.cell_writer_cache = std::make_shared<CellWriterCache>();
    g.result.cell_writer_cache->stamp.fill(std::numeric_limits<size_t>::max());
  }
  CellWriterCache& cache = *g.result.cell_writer_cache;
  const auto stamp = StampOf(g);
  if (stamp != cache.stamp) {
    cache.stamp = stamp;
    cache.columns.assign(g.result.columns.size(), ColumnFormat{});
    cache.cell_styles = ParseCellStyles(g.page->cell_style_list);
  }
  return cache;
}

const ColumnFormat& FormatOf(GridObject& g, CellWriterCache& cache, size_t column) {
  if (column >= g.result.columns.size() || column >= cache.columns.size()) {
    throw Error(9, "Subscript out of range", "Fennick");
  }
  const GridPageState& page = *g.page;
  const GridColumn& col = g.result.columns[column];
  ColumnFormat& f = cache.columns[column];
  if (f.resolved && f.name == col.name && f.table == col.table &&
      (!f.aggregate || f.command_of == page.command)) {
    return f;
  }

  f = ColumnFormat{};
  f.resolved = true;
  f.name = col.name;
  f.table = col.table;
  f.aggregate = IsAggregateColumn(col.name);
  if (f.aggregate) f.command_of = page.command;
  const ColumnKeys keys = KeysOf(page, col);

  // The first list with an entry for the column decides its text.
  if (auto entry = FindColumnEntry(page.date_list, keys)) {
    f.kind = CellFormatKind::kDate;
    f.entry = *entry;
    ResolveDate(f);
  } else if (auto entry = FindColumnEntry(page.number_list, keys)) {
    f.kind = CellFormatKind::kNumber;
    f.entry = *entry;
    ResolveNumber(f);
  } else if (auto entry = FindColumnEntry(page.template_list, keys)) {
    f.kind = CellFormatKind::kTemplate;
    f.entry = *entry;
    f.tmpl = CompileTemplate(f.entry, g.result.columns);
  } else if (auto entry = FindColumnEntry(page.boolean_list, keys)) {
    f.kind = CellFormatKind::kBoolean;
    f.entry = *entry;
    f.true_text = StringBefore(f.entry, "~`");
    f.false_text = StringAfter(f.entry, "~`");
  } else if (auto entry = FindColumnEntry(page.regex_list, keys)) {
    f.kind = CellFormatKind::kRegex;
    f.entry = *entry;
    ResolveRegex(f);
  }
  if (auto style = FindColumnEntry(page.column_style_list, keys)) f.column_style = *style;
  return f;
}

const std::string* CellStyleFor(CellWriterCache& cache, std::string_view text) {
  if (cache.cell_styles.empty()) return nullptr;
  std::string& upper = cache.upper_text;
  if (script::IsAscii(text)) {
    upper.assign(text);
    AsciiUpperInPlace(upper);
  } else {
    upper = script::ToUpper(text);
  }
  for (const auto& [key, style] : cache.cell_styles) {
    if (key == upper) return &style;
  }
  return nullptr;
}

}  // namespace fennick
