// The .xlsx export through libxlsxwriter.
#include "export/xlsx_exporter.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "export/cell_text.h"
#include "export/export_table.h"
#include "fennick/error.h"

// The library frees a workbook that was never closed with this; its
// header declares it only for the library's own tests.
extern "C" void lxw_workbook_free(lxw_workbook* workbook);

namespace fennick {
namespace {

constexpr char kSource[] = "Fennick.XlsxExporter";

// Rows whose texts set the column widths, and the widths' bounds in
// characters.
constexpr int64_t kWidthSampleRows = 1000;
constexpr size_t kMinColumnChars = 6, kMaxColumnChars = 60;

[[noreturn]] void Fail(lxw_error error, std::string_view what) {
  throw Error(kErrInvalidCall,
              "The workbook could not be written (" + std::string(what) + "): " +
                  lxw_strerror(error),
              kSource);
}

void Check(lxw_error error, std::string_view what) {
  if (error != LXW_NO_ERROR) Fail(error, what);
}

size_t CharCount(std::string_view text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

// A workbook being written: one sheet after another, rows in order.
class Workbook : public BuiltDocument {
 public:
  struct Settings {
    std::string title;
    int64_t sheet_rows = kMaxSheetRows;
    ExportFooterSettings footers;
  };

  Workbook(const std::filesystem::path& path, const ExportTable& table, Settings settings)
      : table_(table), settings_(std::move(settings)), totals_(table, settings_.footers) {
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    // Sheets past 4 GB of XML: a million rows of wide text come close.
    options.use_zip64 = LXW_TRUE;
    book_ = workbook_new_opt(path.c_str(), &options);
    if (book_ == nullptr) {
      throw Error(kErrInvalidCall, "The workbook could not be started", kSource);
    }
    std::string title;
    AppendCellText(settings_.title, true, title);
    std::string author = kExportAuthor, company = kExportCompany;
    lxw_doc_properties properties = {};
    properties.title = title.data();
    properties.author = author.data();
    properties.company = company.data();
    Check(workbook_set_properties(book_, &properties), "properties");
    columns_ = static_cast<lxw_col_t>(std::min<size_t>(table.ColumnCount(), LXW_COL_MAX));
    widths_.assign(columns_, kMinColumnChars);
    for (lxw_col_t c = 0; c < columns_; ++c) {
      widths_[c] = std::clamp(CharCount(table.Caption(c)) + 2, kMinColumnChars, kMaxColumnChars);
    }
    header_ = workbook_add_format(book_);
    format_set_bold(header_);
    format_set_bottom(header_, LXW_BORDER_THIN);
    format_set_bg_color(header_, 0xDDDDDD);
    format_set_pattern(header_, LXW_PATTERN_SOLID);
    bold_ = workbook_add_format(book_);
    format_set_bold(bold_);
    StartSheet();
  }

  ~Workbook() override {
    if (book_ != nullptr) lxw_workbook_free(book_);
  }

  void AddRows(Recordset& rows) override {
    ExportTable::TypedRowReader reader(table_, rows);
    for (; !rows.Eof(); rows.MoveNext()) {
      const std::vector<ExportTable::TypedCell>& cells = reader.Read();
      totals_.Add(cells);
      const lxw_row_t row = NextRow();
      for (lxw_col_t c = 0; c < columns_; ++c) WriteCell(row, c, cells[c]);
      ++data_rows_;
    }
    if (!widths_set_) SetWidths();
  }

  void Finish() override {
    if (!widths_set_) SetWidths();
    CloseFilter();
    std::vector<RunningFooterRow> footers = totals_.Rows();
    if (!footers.empty()) NextRow();  // an empty row before the footers
    for (const RunningFooterRow& footer : footers) {
      const lxw_row_t row = NextRow();
      for (lxw_col_t c = 0; c < columns_; ++c) {
        if (!footer.cells[c].null) WriteCell(row, c, footer.cells[c]);
      }
      // The label goes where no value is: the first column, unless that
      // holds one, then the first free column.
      for (lxw_col_t c = 0; c < columns_; ++c) {
        if (footer.cells[c].null) {
          Check(worksheet_write_string(sheet_, row, c, footer.label.c_str(), bold_), "footer");
          break;
        }
      }
    }
    lxw_workbook* book = std::exchange(book_, nullptr);
    Check(workbook_close(book), "close");
  }

 private:
  // The next row to write, on a new sheet when this one is full.
  lxw_row_t NextRow() {
    if (next_row_ >= settings_.sheet_rows) {
      CloseFilter();
      StartSheet();
    }
    return static_cast<lxw_row_t>(next_row_++);
  }

  // A sheet with the caption row (after a note on the sheets that
  // continue the rows of the one before).
  void StartSheet() {
    ++sheet_number_;
    std::string name = WorksheetName(settings_.title);
    if (sheet_number_ > 1) {
      const std::string suffix = " (" + std::to_string(sheet_number_) + ")";
      // Cut by characters so that the name with its number fits.
      std::string cut;
      size_t chars = 0;
      for (size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80 &&
            ++chars > LXW_SHEETNAME_MAX - suffix.size()) {
          break;
        }
        cut.push_back(name[i]);
      }
      name = cut + suffix;
    }
    sheet_ = workbook_add_worksheet(book_, name.c_str());
    if (sheet_ == nullptr) {
      throw Error(kErrInvalidCall, "The workbook could not add the sheet '" + name + "'", kSource);
    }
    next_row_ = 0;
    if (sheet_number_ > 1) {
      const std::string note = "Continued from sheet " + std::to_string(sheet_number_ - 1) +
                               ": rows " + std::to_string(data_rows_ + 1) +
                               " onwards (a sheet holds " +
                               std::to_string(settings_.sheet_rows) + " rows)";
      Check(worksheet_write_string(sheet_, 0, 0, note.c_str(), bold_), "note");
      next_row_ = 1;
    }
    caption_row_ = static_cast<lxw_row_t>(next_row_);
    for (lxw_col_t c = 0; c < columns_; ++c) {
      text_.clear();
      AppendCellText(table_.Caption(c), true, text_);
      CutCellText(text_, kMaxWorkbookCellChars);
      Check(worksheet_write_string(sheet_, caption_row_, c, text_.c_str(), header_), "captions");
    }
    ++next_row_;
    worksheet_freeze_panes(sheet_, static_cast<lxw_row_t>(next_row_), 0);
    // Printed, the sheet is one page wide with the captions on every page.
    worksheet_fit_to_pages(sheet_, 1, 0);
    Check(worksheet_repeat_rows(sheet_, caption_row_, caption_row_), "print titles");
    filter_open_ = true;
    if (widths_set_) ApplyWidths();
  }

  // The autofilter of the current sheet, over its captions and rows.
  void CloseFilter() {
    if (!filter_open_ || columns_ == 0) return;
    filter_open_ = false;
    const lxw_row_t last = static_cast<lxw_row_t>(std::max<int64_t>(next_row_ - 1, caption_row_));
    Check(worksheet_autofilter(sheet_, caption_row_, 0, last, columns_ - 1), "autofilter");
  }

  void WriteCell(lxw_row_t row, lxw_col_t c, const ExportTable::TypedCell& cell) {
    if (cell.null) return;
    if (cell.office != nullptr) {
      Check(worksheet_write_number(sheet_, row, c, cell.number, FormatOf(cell.office->excel)),
            "number");
      if (!widths_set_) Widen(c, cell.text);
      return;
    }
    text_.clear();
    AppendCellText(cell.text, false, text_);
    CutCellText(text_, kMaxWorkbookCellChars);
    if (text_.empty()) return;
    // Always a string: a text starting with "=" stays text.
    Check(worksheet_write_string(sheet_, row, c, text_.c_str(), nullptr), "text");
    if (!widths_set_) Widen(c, text_);
  }

  void Widen(lxw_col_t c, std::string_view text) {
    if (data_rows_ >= kWidthSampleRows) return;
    const size_t chars = std::min(CharCount(text) + 2, kMaxColumnChars);
    widths_[c] = std::max(widths_[c], chars);
  }

  void SetWidths() {
    widths_set_ = true;
    ApplyWidths();
  }

  void ApplyWidths() {
    for (lxw_col_t c = 0; c < columns_; ++c) {
      Check(worksheet_set_column(sheet_, c, c, static_cast<double>(widths_[c]), nullptr),
            "widths");
    }
  }

  // One format per number format code, made once.
  lxw_format* FormatOf(const std::string& code) {
    if (code.empty()) return nullptr;
    auto found = formats_.find(code);
    if (found != formats_.end()) return found->second;
    lxw_format* format = workbook_add_format(book_);
    format_set_num_format(format, code.c_str());
    formats_.emplace(code, format);
    return format;
  }

  const ExportTable& table_;
  Settings settings_;
  ExportFooterTotals totals_;
  lxw_workbook* book_ = nullptr;
  lxw_worksheet* sheet_ = nullptr;
  lxw_format* header_ = nullptr;
  lxw_format* bold_ = nullptr;
  std::map<std::string, lxw_format*> formats_;
  lxw_col_t columns_ = 0;
  std::vector<size_t> widths_;
  bool widths_set_ = false;
  int sheet_number_ = 0;
  int64_t next_row_ = 0;
  lxw_row_t caption_row_ = 0;
  bool filter_open_ = false;
  int64_t data_rows_ = 0;
  std::string text_;  // scratch for one cell's text
};

// The workbook with the table it reads its rows through.
class TableWorkbook : public BuiltDocument {
 public:
  TableWorkbook(const std::filesystem::path& path, Recordset& first,
                const ExportTableOptions& options, Workbook::Settings settings)
      : table_(first, options), book_(path, table_, std::move(settings)) {}
  void AddRows(Recordset& rows) override { book_.AddRows(rows); }
  void Finish() override { book_.Finish(); }

 private:
  ExportTable table_;
  Workbook book_;
};

}  // namespace

std::string WorksheetName(std::string_view title) {
  std::string clean;
  AppendCellText(title, true, clean);
  std::string name;
  size_t chars = 0;
  for (size_t i = 0; i < clean.size(); ++i) {
    const char c = clean[i];
    if (std::string_view("[]:*?/\\").find(c) != std::string_view::npos) continue;
    const bool starts_char = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (starts_char && ++chars > LXW_SHEETNAME_MAX) break;
    name.push_back(c);
  }
  // Apostrophes quote sheet names in formulas, so none may open or close
  // one.
  const size_t first = name.find_first_not_of("' ");
  if (first == std::string::npos) return "Sheet1";
  const size_t last = name.find_last_not_of("' ");
  return name.substr(first, last - first + 1);
}

XlsxExporter::XlsxExporter(HostContext host) : ExporterBase(std::move(host)) {
  export_file_name_ = "Fennick_Report";
}

void XlsxExporter::ExportToXlsx(std::string_view title) {
  ExportTableOptions options;
  options.headers = headers_;
  options.columns = columns_;
  options.col_format_xml = col_format_xml_;
  options.euro = euro_;
  options.office_values = true;
  Workbook::Settings settings;
  settings.title = title.empty() ? title_ : std::string(title);
  settings.sheet_rows = sheet_rows_;
  settings.footers = footers_;
  DeliverBuiltDocument(
      [&](const std::filesystem::path& path, fennick::Recordset& first) -> std::unique_ptr<BuiltDocument> {
        return std::make_unique<TableWorkbook>(path, first, options, settings);
      },
      "xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");
}

}  // namespace fennick
