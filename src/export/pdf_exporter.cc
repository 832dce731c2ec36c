// The PDF export.
#include "export/pdf_exporter.h"

#include <memory>

#include "export/export_table.h"
#include "export/pdf_layout.h"

namespace fennick {
namespace {

// The report with the table it reads its rows through and the footers it
// adds up.
class TableReport : public BuiltDocument {
 public:
  TableReport(const std::filesystem::path& path, Recordset& first,
              const ExportTableOptions& options, PdfReportSettings settings,
              ExportFooterSettings footers)
      : table_(first, options),
        totals_(table_, std::move(footers)),
        report_(path, table_, std::move(settings)) {}

  void AddRows(Recordset& rows) override {
    ExportTable::TypedRowReader reader(table_, rows, /*screen_dates=*/true);
    for (; !rows.Eof(); rows.MoveNext()) {
      const std::vector<ExportTable::TypedCell>& cells = reader.Read();
      totals_.Add(cells);
      report_.AddRow(cells);
    }
    // The first batch sets the columns; later ones draw at once.
    report_.Layout();
  }
  void Finish() override { report_.Finish(totals_.Rows()); }

 private:
  ExportTable table_;
  ExportFooterTotals totals_;
  PdfReport report_;
};

}  // namespace

PdfExporter::PdfExporter(HostContext host) : ExporterBase(std::move(host)) {
  export_file_name_ = "Fennick_Report";
}

void PdfExporter::ExportToPdf(std::string_view title) {
  ExportTableOptions options;
  options.headers = headers_;
  options.columns = columns_;
  options.col_format_xml = col_format_xml_;
  options.euro = euro_;
  options.office_values = true;
  PdfReportSettings settings;
  settings.title = title.empty() ? title_ : std::string(title);
  settings.filter = filter_;
  settings.paper = paper_;
  DeliverBuiltDocument(
      [&](const std::filesystem::path& path,
          fennick::Recordset& first) -> std::unique_ptr<BuiltDocument> {
        return std::make_unique<TableReport>(path, first, options, settings, footers_);
      },
      "pdf", "application/pdf");
}

}  // namespace fennick
