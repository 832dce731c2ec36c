// The table of the second-generation exporter, written straight from the
// rows: as the HTML table its rowset-to-table stylesheet makes of a
// persisted rowset, byte for byte (captions from the page's headers, cells
// in column order, null and empty cells as <td/>, markup in data as text,
// dates, numbers and money through the column formats), and as the rows of
// the "dataset" document the built-in table-to-dataset stylesheet makes of
// that table. Excel and Word documents wrap the HTML table; the XML export
// streams the dataset. Neither document is ever built as a tree.
//
// On top of the stylesheet's table, Office cells may carry what a
// spreadsheet needs to read them as the screen shows them: numbers and
// dates their value and number format (office_formats.h), and text that
// would be read as a formula a text format.
//
// A table is immutable once made and cheap to copy (its columns are
// shared), so a streamed download can keep writing rows after the exporter
// is gone. Thread-compatible.
#ifndef FENNICK_EXPORT_EXPORT_TABLE_H_
#define FENNICK_EXPORT_EXPORT_TABLE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export/office_formats.h"
#include "fennick/data.h"

namespace fennick {

struct ExportTableOptions {
  // Attributes of the <table> element and of the header row's <tr>, as
  // written (' border="1"').
  std::string table_attributes;
  std::string header_row_attributes;
  // Captions by field position; fields past the end show their names.
  std::vector<std::string> headers;
  // The fields shown, in order; empty for every field.
  std::vector<size_t> columns;
  // The "format" element of the page's date and number formats ("" for
  // none).
  std::string col_format_xml;
  // Money without a format with "," as the decimal separator.
  bool euro = false;
  // Numbers, money and dates carry value and number format (Excel).
  bool office_values = false;
  // Text that a spreadsheet would read as a formula is marked as text.
  bool office_text = false;
};

class ExportTable {
 public:
  // The columns of `rows` (its fields' names and types); reads no row.
  // Raises fennick::Error when the format element does not parse.
  ExportTable(Recordset& rows, const ExportTableOptions& options);

  // "<table ...><thead>...</thead>": the HTML table before its rows, which
  // follow as kRowsOpen, rows and kRowsClose, or as kNoRows.
  void AppendHead(std::string& out) const;
  static constexpr std::string_view kRowsOpen = "<tbody>";
  static constexpr std::string_view kRowsClose = "</tbody></table>";
  static constexpr std::string_view kNoRows = "<tbody/></table>";
  // One <tr> per row of `rows` from the current one to the end (left at
  // EOF); returns how many.
  int64_t AppendRows(Recordset& rows, std::string& out) const;

  // The dataset document (UTF-8, no declaration, indented by two blanks),
  // before its rows, which follow as kDatasetRowsOpen, rows and
  // kDatasetRowsClose, or as kDatasetNoRows.
  void AppendDatasetHead(std::string& out) const;
  static constexpr std::string_view kDatasetRowsOpen = "  <datarows>\n";
  static constexpr std::string_view kDatasetRowsClose = "  </datarows>\n</dataset>\n";
  static constexpr std::string_view kDatasetNoRows = "  <datarows/>\n</dataset>\n";
  int64_t AppendDatasetRows(Recordset& rows, std::string& out) const;

  // The columns shown, in order: each one's field position in the rows,
  // and its caption escaped for an XML attribute.
  size_t ColumnCount() const;
  size_t FieldOf(size_t column) const;
  const std::string& CaptionAttributeOf(size_t column) const;
  // The shown columns, for the documents that lay cells out themselves
  // (the workbook, the PDF): their count, captions, and whether they hold
  // numbers (money included), which such documents align right.
  const std::string& Caption(size_t column) const;
  bool IsNumberColumn(size_t column) const;
  // The number format of a number or date column's cells (with a time of
  // day: `with_time`); nullptr for text columns. For footers, which add a
  // column's values and show them as its cells are shown.
  const OfficeCellFormat* ColumnOfficeFormat(size_t column, bool with_time) const;
  // A footer value of a number column as its cells show numbers: through
  // the column's number format, money's pattern, or two decimals.
  std::string FormatColumnNumber(size_t column, double value) const;

  // One cell of a typed document. A null is `null`; otherwise `text` is
  // the cell as the screen shows it and, for a number or date, `number`
  // its value (an OLE date for dates) with `office` its number format
  // (whose `excel` may be "" for a plain number).
  struct TypedCell {
    bool null = true;
    std::string_view text;
    const OfficeCellFormat* office = nullptr;
    double number = 0;
  };
  // Reads rows as typed cells. The texts point into the reader, valid
  // until its next Read.
  class TypedRowReader {
   public:
    // `screen_dates`: a date column without a format shows its dates as
    // the grid's page does ("1/2/2023"), for a document that prints text
    // (the PDF), rather than as the ISO text spreadsheets read.
    TypedRowReader(const ExportTable& table, Recordset& rows, bool screen_dates = false);
    // The cells of the current row of the recordset, one per column.
    const std::vector<TypedCell>& Read();

   private:
    const ExportTable& table_;
    bool screen_dates_ = false;
    std::vector<Field> fields_;
    std::vector<Variant> values_;
    std::vector<std::string> base_, shown_;
    std::vector<TypedCell> cells_;
  };

 private:
  struct Column;
  // What one cell holds and how it is written.
  struct Cell;
  // The cell of column `c` holding `value` (not null); `base` and `shown`
  // are scratch space the cell's text may point into.
  Cell MakeCell(const Column& c, const Variant& value, std::string& base, std::string& shown) const;

  std::shared_ptr<const std::vector<Column>> columns_;
  std::string table_attributes_, header_row_attributes_;
  bool euro_ = false;
  bool office_values_ = false;
  bool office_text_ = false;
};

}  // namespace fennick

#endif  // FENNICK_EXPORT_EXPORT_TABLE_H_
