// The footer rows an export writes after its rows: a label ("Total",
// "Average") and, by field position, the values under the fields that
// carry one. The grid computes them over the result it exports; every
// format writes them its own way (delimited text as one more line, the
// Office tables as last rows, the XML dataset as datafooter elements).
#ifndef FENNICK_EXPORT_EXPORT_FOOTERS_H_
#define FENNICK_EXPORT_EXPORT_FOOTERS_H_

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace fennick {

struct ExportFooterValue {
  double number = 0;
  // The value as the grid's footer shows it (the column's number format).
  std::string text;
};

struct ExportFooterRow {
  std::string label;
  // By field position of the recordset; nullopt (or past the end): the
  // field's cell stays empty.
  std::vector<std::optional<ExportFooterValue>> values;

  const ExportFooterValue* At(size_t field) const {
    return field < values.size() && values[field] ? &*values[field] : nullptr;
  }
};

struct DelimitedTextOptions;
class ExportTable;

// One line per footer row in the delimited text of `options` (CSV or text)
// over a result of `field_count` fields: the label in the first field
// shown, unless that field carries a value; values as the numbers' plain
// text (quoted in CSV, like every value of the rows); empty fields as the
// rows' nulls.
void AppendDelimitedFooters(const std::vector<ExportFooterRow>& rows,
                            const DelimitedTextOptions& options, size_t field_count,
                            std::string& out);

// One <tr> per footer row under the table's columns, showing the fields at
// `fields` in order, to end its rows: the label in the first column unless
// it carries a value; values as their text, with their number for a
// spreadsheet when `office_values`.
void AppendTableFooters(const std::vector<ExportFooterRow>& rows,
                        const std::vector<size_t>& fields, bool office_values, std::string& out);

// The dataset document's footer rows, after its rows:
//   <datafooters><datafooter label="Total"><datacolumn name="Price">..
// (nothing without rows).
void AppendDatasetFooters(const std::vector<ExportFooterRow>& rows, const ExportTable& table,
                          std::string& out);

}  // namespace fennick

#endif  // FENNICK_EXPORT_EXPORT_FOOTERS_H_
