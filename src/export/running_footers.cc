// Footer rows of the exports that lay out their own cells.
#include "export/running_footers.h"

#include <cmath>

namespace fennick {

ExportFooterTotals::ExportFooterTotals(const ExportTable& table, ExportFooterSettings settings)
    : table_(table), settings_(std::move(settings)) {
  const size_t n = table.ColumnCount();
  settings_.average_columns.resize(n, false);
  settings_.total_columns.resize(n, false);
  sums_.assign(n, 0);
  counts_.assign(n, 0);
}

void ExportFooterTotals::Add(const std::vector<ExportTable::TypedCell>& cells) {
  if (!settings_.any()) return;
  for (size_t i = 0; i < cells.size() && i < sums_.size(); ++i) {
    const ExportTable::TypedCell& cell = cells[i];
    if (cell.null || cell.office == nullptr || !table_.IsNumberColumn(i)) continue;
    sums_[i] += cell.number;
    ++counts_[i];
  }
}

std::vector<RunningFooterRow> ExportFooterTotals::Rows() const {
  std::vector<RunningFooterRow> rows;
  auto make = [&](const char* label, const std::vector<bool>& columns, bool average) {
    RunningFooterRow row;
    row.label = label;
    const size_t n = sums_.size();
    row.cells.resize(n);
    row.texts.resize(n);
    for (size_t i = 0; i < n; ++i) {
      if (!columns[i] || counts_[i] == 0) continue;
      ExportTable::TypedCell& cell = row.cells[i];
      // As the screen's footers: rounded to cents.
      double value = average ? sums_[i] / static_cast<double>(counts_[i]) : sums_[i];
      value = std::nearbyint(value * 100) / 100;
      cell.null = false;
      cell.number = value;
      cell.office = table_.ColumnOfficeFormat(i, false);
      row.texts[i] = table_.FormatColumnNumber(i, value);
    }
    for (size_t i = 0; i < n; ++i) row.cells[i].text = row.texts[i];
    rows.push_back(std::move(row));
  };
  if (settings_.averages) make("Average", settings_.average_columns, true);
  if (settings_.totals) make("Total", settings_.total_columns, false);
  return rows;
}

}  // namespace fennick
