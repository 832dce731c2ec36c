// Recordset Sort and Filter: the rows a recordset shows, and their order,
// computed on the fetched rows without asking the database again.
#include <algorithm>
#include <numeric>

#include "fennick/data.h"
#include "base/ascii.h"
#include "fennick/error.h"
#include "platform/data/data_state.h"

namespace fennick {
namespace {

constexpr const char* kSource = "Recordset";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool EndsWithWord(std::string_view text, std::string_view word) {
  if (text.size() <= word.size()) return false;
  std::string_view tail = text.substr(text.size() - word.size());
  char before = text[text.size() - word.size() - 1];
  return (before == ' ' || before == '\t' || before == ']' || before == '"' || before == '`') &&
         EqualsIgnoreCase(tail, word);
}

// Splits "a desc, [b, c] asc" at the commas outside delimiters.
std::vector<std::string_view> SplitSortList(std::string_view text) {
  std::vector<std::string_view> items;
  char close = 0;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (close != 0) {
      if (c == close) close = 0;
    } else if (c == '[') {
      close = ']';
    } else if (c == '"' || c == '`') {
      close = c;
    } else if (c == ',') {
      items.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  items.push_back(text.substr(start));
  return items;
}

std::vector<data::SortKey> ParseSort(std::string_view text, const data::RowSet& rows) {
  std::vector<data::SortKey> keys;
  if (Trim(text).empty()) return keys;
  for (std::string_view item : SplitSortList(text)) {
    item = Trim(item);
    bool descending = false;
    if (EndsWithWord(item, "DESC")) {
      descending = true;
      item = Trim(item.substr(0, item.size() - 4));
    } else if (EndsWithWord(item, "ASC")) {
      item = Trim(item.substr(0, item.size() - 3));
    }
    if (item.size() >= 2 && ((item.front() == '[' && item.back() == ']') ||
                             (item.front() == '"' && item.back() == '"') ||
                             (item.front() == '`' && item.back() == '`'))) {
      item = item.substr(1, item.size() - 2);
    }
    if (item.empty()) {
      throw Error(kErrDataInvalidArgument, "Invalid sort order: \"" + std::string(text) + "\"",
                  kSource);
    }
    size_t found = rows.columns.size();
    for (size_t i = 0; i < rows.columns.size(); ++i) {
      const std::string& name = rows.columns[i].info().name;
      if (EqualsIgnoreCase(name, item)) {
        found = i;
        break;
      }
    }
    if (found == rows.columns.size()) {
      throw Error(kErrDataItemNotFound,
                  "Item cannot be found in the collection corresponding to the requested "
                  "name or ordinal: " +
                      std::string(item),
                  kSource);
    }
    keys.push_back({found, descending});
  }
  return keys;
}

class StoredRow : public data::FilterRow {
 public:
  StoredRow(const data::RowSet& rows, size_t row) : rows_(rows), row_(row) {}
  Variant Value(size_t column) const override { return rows_.columns[column].Value(row_); }

 private:
  const data::RowSet& rows_;
  size_t row_;
};

}  // namespace

namespace data {

void RecordsetState::RebuildView() {
  position = 0;
  chunk_column = SIZE_MAX;
  if (filter_expression.empty() && sort_keys.empty()) {
    has_view = false;
    view = {};
    return;
  }
  view.clear();
  view.reserve(rows->row_count);
  for (size_t row = 0; row < rows->row_count; ++row) {
    if (filter_expression.empty() || filter_expression.Matches(StoredRow(*rows, row))) {
      view.push_back(static_cast<uint32_t>(row));
    }
  }
  if (!sort_keys.empty()) {
    std::stable_sort(view.begin(), view.end(), [this](uint32_t a, uint32_t b) {
      for (const SortKey& key : sort_keys) {
        int c = rows->columns[key.column].Compare(a, b);
        if (c != 0) return key.descending ? c > 0 : c < 0;
      }
      return false;
    });
  }
  view.shrink_to_fit();
  has_view = true;
}

}  // namespace data

const std::string& Recordset::Sort() const { return state_->sort; }

void Recordset::Sort(std::string_view order) {
  data::RecordsetState& s = OpenState();
  s.sort_keys = ParseSort(order, *s.rows);
  s.sort = order;
  s.RebuildView();
}

void Recordset::ReverseRows() {
  data::RecordsetState& s = OpenState();
  for (data::Column& column : s.rows->columns) column = column.Reversed();
  s.sort.clear();
  s.sort_keys.clear();
  s.filter.clear();
  s.filter_expression = data::FilterExpression();
  s.view.clear();
  s.has_view = false;
  s.position = 0;
}

const std::string& Recordset::Filter() const { return state_->filter; }

void Recordset::Filter(std::string_view filter) {
  data::RecordsetState& s = OpenState();
  data::FilterExpression expression;
  data::FilterResult result = expression.Parse(filter);
  if (result.ok()) {
    std::vector<data::FilterColumn> columns;
    columns.reserve(s.rows->columns.size());
    for (const data::Column& column : s.rows->columns) {
      columns.push_back(
          {column.info().name, column.info().base_table, data::ClassOfType(column.info().type)});
    }
    result = expression.Bind(columns);
  }
  if (!result.ok()) {
    throw Error(kErrDataInvalidArgument,
                "The filter is invalid: " + result.description + " (at character " +
                    std::to_string(result.offset + 1) + " of \"" + std::string(filter) + "\")",
                kSource);
  }
  s.filter_expression = std::move(expression);
  s.filter = filter;
  s.RebuildView();
}

}  // namespace fennick
