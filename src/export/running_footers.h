// The footers of an export that lays out its own cells (the workbook, the
// PDF): the grid's "Average" and "Total" rows under the data, made of the
// values of every row as they stream past, so no row is kept for them.
#ifndef FENNICK_EXPORT_RUNNING_FOOTERS_H_
#define FENNICK_EXPORT_RUNNING_FOOTERS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "export/export_table.h"

namespace fennick {

// Which footers an export writes, by shown column (the grid decides: the
// columns its own footers add). Average comes before Total, as on screen.
struct ExportFooterSettings {
  bool averages = false;
  bool totals = false;
  std::vector<bool> average_columns, total_columns;

  bool any() const { return averages || totals; }
};

// One footer row as a document writes it: its label and, per column, a
// cell with a value (typed, with the column's number format) or none.
struct RunningFooterRow {
  std::string label;
  std::vector<ExportTable::TypedCell> cells;
  std::vector<std::string> texts;  // the cells' texts point here
};

// Adds up the typed cells of a table's rows. Not thread-safe.
class ExportFooterTotals {
 public:
  ExportFooterTotals(const ExportTable& table, ExportFooterSettings settings);
  // Counts one row (the cells of TypedRowReader::Read).
  void Add(const std::vector<ExportTable::TypedCell>& cells);
  // The footer rows, Average first; none when the settings ask for none. A column
  // without numbers has no value.
  std::vector<RunningFooterRow> Rows() const;

 private:
  const ExportTable& table_;
  ExportFooterSettings settings_;
  std::vector<double> sums_;
  std::vector<int64_t> counts_;
};

}  // namespace fennick

#endif  // FENNICK_EXPORT_RUNNING_FOOTERS_H_
