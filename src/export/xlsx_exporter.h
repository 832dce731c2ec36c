// The .xlsx export: a real Office Open XML workbook, written by
// libxlsxwriter in its constant-memory mode a batch of rows at a time.
//
// The sheet is named after the title (at most 31 characters, none of
// "[]:*?/\", no apostrophe at either end). Row 1 holds the captions, bold,
// frozen and under an autofilter; the rows follow with the cells the
// grid's column formats make of them: numbers, money, percentages and
// dates are numbers with the Excel number format of their column (the same
// translation the Office HTML export uses), text is always text (a value
// starting with "=" is never a formula), a null is an empty cell. Column
// widths fit the captions and the first batch of rows. A text longer than
// a cell holds is cut with a note giving its length. Rows past a sheet's
// 1,048,576 go on to a further sheet whose first row says where it
// continues from. The grid's footers (Average, then Total) follow the
// rows after an empty one. Printed, a sheet is one page wide with its
// caption row on every page.
//
// One exporter serves one export; not thread-safe.
#ifndef FENNICK_EXPORT_XLSX_EXPORTER_H_
#define FENNICK_EXPORT_XLSX_EXPORTER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "export/running_footers.h"
#include "export/exporter_base.h"

namespace fennick {

// The rows of one worksheet, the caption row included.
inline constexpr int64_t kMaxSheetRows = 1048576;

// The worksheet name of `title`: its first 31 characters without
// "[]:*?/\" and control characters, apostrophes and blanks trimmed at both
// ends; "Sheet1" when nothing is left.
std::string WorksheetName(std::string_view title);

class XlsxExporter : public ExporterBase {
 public:
  explicit XlsxExporter(HostContext host);

  // As the second-generation exporter takes them (export_table.h).
  void ColFormatXml(std::string_view xml) { col_format_xml_ = xml; }
  void IsEuroDecimalFormat(bool on) { euro_ = on; }
  void Footers(ExportFooterSettings footers) { footers_ = std::move(footers); }
  // Rows a sheet holds before the next one starts; values below 3 or above
  // kMaxSheetRows mean kMaxSheetRows (a smaller value lets a test see the
  // overflow without a million rows).
  void SheetRowLimit(int64_t rows) {
    sheet_rows_ = rows < 3 || rows > kMaxSheetRows ? kMaxSheetRows : rows;
  }

  // Writes the workbook, sheet named after `title` ("" for Title), and
  // delivers it as "xlsx" (see DeliverBuiltDocument).
  [[noreturn]] void ExportToXlsx(std::string_view title);

 private:
  std::string col_format_xml_;
  bool euro_ = false;
  ExportFooterSettings footers_;
  int64_t sheet_rows_ = kMaxSheetRows;
};

}  // namespace fennick

#endif  // FENNICK_EXPORT_XLSX_EXPORTER_H_
