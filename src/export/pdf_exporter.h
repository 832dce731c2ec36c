// The PDF export: the rows as a paginated report (pdf_layout.h), drawn as
// they arrive and streamed to the browser as its pages are written.
// One exporter serves one export; not thread-safe.
#ifndef FENNICK_EXPORT_PDF_EXPORTER_H_
#define FENNICK_EXPORT_PDF_EXPORTER_H_

#include <string>
#include <string_view>

#include "export/running_footers.h"
#include "export/exporter_base.h"

namespace fennick {

class PdfExporter : public ExporterBase {
 public:
  explicit PdfExporter(HostContext host);

  // As the second-generation exporter takes them (export_table.h).
  void ColFormatXml(std::string_view xml) { col_format_xml_ = xml; }
  void IsEuroDecimalFormat(bool on) { euro_ = on; }
  void Footers(ExportFooterSettings footers) { footers_ = std::move(footers); }
  // "A4" or "Letter".
  void PaperSize(std::string_view paper) { paper_ = paper; }
  // The filter the rows went through, in words, under the title.
  void FilterText(std::string_view text) { filter_ = text; }

  // Writes the report, titled `title` ("" for Title), and delivers it as
  // "pdf" (see DeliverBuiltDocument).
  [[noreturn]] void ExportToPdf(std::string_view title);

 private:
  std::string col_format_xml_;
  bool euro_ = false;
  ExportFooterSettings footers_;
  std::string paper_ = "A4";
  std::string filter_;
};

}  // namespace fennick

#endif  // FENNICK_EXPORT_PDF_EXPORTER_H_
