// The PDF report: a paginated table drawn with cairo and laid out with
// pango, row by row as the rows arrive.
//
// Page one opens with the title and the filter in words; every page has
// the caption row at its top and "Page N" at its foot. Cells show the
// text the screen shows, on one line, numbers right-aligned, text in its
// own direction (right-to-left text, combining marks and any script the
// fonts have), cut with an ellipsis when it does not fit its column; rows
// are shaded alternately; the grid's footers close the table. The column
// widths come from the captions and the first rows (up to a batch),
// which are held until the widths are known; the paper turns to
// landscape when the columns need more than its portrait width. After
// that, memory does not grow with the rows: each page goes to the file
// when it is full.
//
// Not thread-safe; one report, one file.
#ifndef FENNICK_EXPORT_PDF_LAYOUT_H_
#define FENNICK_EXPORT_PDF_LAYOUT_H_

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "export/running_footers.h"
#include "export/export_table.h"

namespace fennick {

struct PdfReportSettings {
  std::string title;
  // The filter in words ("" for none).
  std::string filter;
  // "A4" or "Letter".
  std::string paper = "A4";
};

class PdfReport {
 public:
  // Starts the report of `table`'s columns, to be written at `path`.
  PdfReport(const std::filesystem::path& path, const ExportTable& table,
            PdfReportSettings settings);
  ~PdfReport();
  PdfReport(const PdfReport&) = delete;
  PdfReport& operator=(const PdfReport&) = delete;

  // One row of the table (TypedRowReader::Read).
  void AddRow(const std::vector<ExportTable::TypedCell>& cells);
  // Fixes the column widths and the paper from the rows held so far, if
  // not done yet: the first call of AddRow after this draws at once.
  void Layout();
  // The footer rows, the last page, and the file's close; raises
  // fennick::Error with cairo's reason when the file could not be
  // written.
  void Finish(const std::vector<RunningFooterRow>& footers);
  // Pages finished so far.
  int pages() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fennick

#endif  // FENNICK_EXPORT_PDF_LAYOUT_H_
