// DataSetExporter: the first-generation exporter, the faster route. Its
// tables are written straight from the recordset (no persisted rowset, no
// stylesheet), every value escaped, so data can never split or add a cell;
// in Excel documents date values carry their value and a date format, and
// in Excel and Word documents text that looks like a formula is marked as
// text. Its XML export writes the dataset of the built-in template as the
// rows come; a page's own template and the printable page transform the
// whole table, up to the transform row limit.
// One exporter serves one export; not thread-safe.
#ifndef FENNICK_EXPORT_DATASET_EXPORTER_H_
#define FENNICK_EXPORT_DATASET_EXPORTER_H_

#include <string>
#include <string_view>

#include "export/exporter_base.h"

namespace fennick {

// The table layouts of the first-generation outputs.
enum class TableLayout { kExcel, kWord, kXml };

class DataSetExporter : public ExporterBase {
 public:
  explicit DataSetExporter(HostContext host);

  // Also records that OpenFile was set (a print then honours it).
  void OpenFile(bool on) {
    ExporterBase::OpenFile(on);
    open_file_set_ = true;
  }

  // Opens the exporter's own connection; errors are ignored (the export
  // then fails on its first read).
  void CreateConnection(std::string_view connection_string);

  [[noreturn]] void ExportToExcel(std::string_view title);
  [[noreturn]] void ExportToWord(std::string_view title);
  [[noreturn]] void ExportToXml();
  [[noreturn]] void ExportToCustomXml(std::string_view xsl_template, std::string_view extension);
  [[noreturn]] void ExportToHtmlForPrint(int rows_per_page, std::string_view title);

 private:
  // The table of the data in the XML layout (UTF-8, no declaration), for a
  // template; consumes the recordset and RemainingRows, up to the
  // transform row limit.
  std::string BuildXmlTable();
  // The dataset document of the built-in template, written as it reads
  // the rows.
  [[noreturn]] void DeliverDataset(std::string_view extension);
  // Delivers `empty_document` (an Excel or Word document whose table is
  // empty) with the table of the data in `layout` at its place. The rows
  // of RemainingRows go into the file or download a batch at a time (see
  // DeliverInBatches).
  [[noreturn]] void DeliverDocument(TableLayout layout, const std::string& empty_document,
                                    std::string_view extension, std::string_view content_type);

  bool open_file_set_ = false;
};

}  // namespace fennick

#endif  // FENNICK_EXPORT_DATASET_EXPORTER_H_
