// The second-generation exporter.
#include "export/dataset_exporter2.h"

#include "base/ascii.h"
#include "export/export_stylesheets.h"
#include "export/xml_text.h"
#include "fennick/error.h"
#include "platform/intl/format.h"
#include "platform/xml/xslt.h"

namespace fennick {
namespace {

constexpr char kSource[] = "Fennick.DataSetExporter2";

// The attributes the stylesheet's style element put on the table and its
// header row: a grey header row in both documents, borders in Word's.
constexpr char kHeaderRowAttributes[] = " style=\"background-color:#cccccc;\"";
constexpr char kWordTableAttributes[] =
    " border=\"1\" cellspacing=\"0\" cellpadding=\"2\" bgcolor=\"white\" bordercolor=\"black\"";
// How every Excel and Word document ends, after its table.
constexpr std::string_view kDocumentTail = "</body></html>";

bool IsEncodingName(std::string_view name) {
  if (name.empty() || name.size() > 40) return false;
  for (char c : name) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
          c == '-' || c == '_' || c == '.' || c == ':'))
      return false;
  }
  return true;
}

}  // namespace

std::string ExcelDocument(std::string_view title, std::string_view table) {
  std::string doc =
      "<html xmlns:x=\"urn:schemas-microsoft-com:office:excel\">"
      "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
      "<!--[if gte mso 9]><xml>"
      "<x:ExcelWorkbook><x:ExcelWorksheets><x:ExcelWorksheet><x:Name>";
  doc += XmlEscape(title);
  doc += "</x:Name><x:WorksheetOptions><x:Print><x:ValidPrinterInfo/></x:Print>"
         "</x:WorksheetOptions></x:ExcelWorksheet></x:ExcelWorksheets></x:ExcelWorkbook>"
         "</xml><![endif]--></head><body>";
  doc += table;
  doc += kDocumentTail;
  return doc;
}

std::string WordDocument(std::string_view title, std::string_view now, std::string_view table) {
  std::string doc =
      "<html xmlns:o='urn:schemas-microsoft-com:office:office' "
      "xmlns:w='urn:schemas-microsoft-com:office:word' xmlns='http://www.w3.org/TR/REC-html40'>"
      "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"><title>";
  doc += XmlEscape(title);
  doc += "</title><!--[if gte mso 9]><xml><o:DocumentProperties><o:Author>";
  doc += kExportAuthor;
  doc += "</o:Author><o:LastAuthor>Quillon</o:LastAuthor><o:Created>";
  doc += XmlEscape(now);
  doc += "</o:Created><o:LastSaved>";
  doc += XmlEscape(now);
  doc += "</o:LastSaved><o:Company>";
  doc += kExportCompany;
  doc += "</o:Company></o:DocumentProperties></xml><![endif]--><!--[if gte mso 9]><xml>"
         "<w:WordDocument><w:View>Print</w:View></w:WordDocument></xml><![endif]-->"
         "</head><body>";
  doc += table;
  doc += kDocumentTail;
  return doc;
}

DataSetExporter2::DataSetExporter2(HostContext host) : ExporterBase(std::move(host)) {
  export_file_name_ = "Fennick_Report";
  xsl_template_ = std::string(TableToDatasetStylesheet());
}

void DataSetExporter2::CreateConnection(std::string_view connection_string) {
  try {
    auto connection = std::make_shared<fennick::Connection>();
    connection->Open(connection_string, "", "", -1);
    connection_ = std::move(connection);
    owns_connection_ = true;
  } catch (const Error&) {
    host_.response->Write("<font color=red>COULD NOT OPEN CONNECTION</font>");
    host_.response->End();
  }
}

ExportTableOptions DataSetExporter2::TableOptions(Layout layout) const {
  ExportTableOptions options;
  if (layout != Layout::kXml) options.header_row_attributes = kHeaderRowAttributes;
  if (layout == Layout::kWord) options.table_attributes = kWordTableAttributes;
  options.headers = headers_;
  options.columns = columns_;
  options.col_format_xml = col_format_xml_;
  options.euro = euro_;
  // A spreadsheet reads Excel's cells as values; Word's are shown as they
  // are, but text in either that looks like a formula is marked as text.
  options.office_values = layout == Layout::kExcel;
  options.office_text = layout != Layout::kXml;
  return options;
}

void DataSetExporter2::DeliverDocument(Layout layout, const std::string& empty_document,
                                       std::string_view extension,
                                       std::string_view content_type) {
  // The document up to the rows of the first batch is made now, so a
  // failure in it gives the normal error page; the other batches follow
  // it into the file or the download.
  ExportTable table(OpenData(), TableOptions(layout));
  const size_t table_at = empty_document.size() - kDocumentTail.size();
  std::string head = empty_document.substr(0, table_at);
  table.AppendHead(head);
  std::string tail(kDocumentTail);
  if (OpenData().Eof()) {
    // A first batch without rows is the whole result: the cursor it came
    // from is at its end.
    head += ExportTable::kNoRows;
    rest_.reset();
  } else {
    head += ExportTable::kRowsOpen;
    table.AppendRows(OpenData(), head);
    tail.insert(0, ExportTable::kRowsClose);
    std::string footers;
    std::vector<size_t> fields;
    for (size_t k = 0; k < table.ColumnCount(); ++k) fields.push_back(table.FieldOf(k));
    AppendTableFooters(footer_rows_, fields, layout == Layout::kExcel, footers);
    tail.insert(0, footers);
  }
  ReleaseData();
  DeliverInBatches(
      std::move(head),
      [table](fennick::Recordset& batch, std::string& out) { table.AppendRows(batch, out); },
      std::move(tail), extension, content_type, "utf-8");
}

std::string DataSetExporter2::Declaration() const {
  if (encoding_.empty()) return "";
  if (!IsEncodingName(encoding_)) {
    throw Error(kErrInvalidCall, "Unknown encoding '" + encoding_ + "'", kSource);
  }
  return "<?xml version=\"1.0\" encoding=\"" + encoding_ + "\" ?>";
}

std::string DataSetExporter2::WithDeclaration(std::string_view xml) const {
  const std::string declaration = Declaration();
  if (declaration.empty()) return std::string(xml);
  // Written again in the declared encoding, so the bytes match it.
  XmlParseResult parsed = XmlDocument::Parse(xml);
  if (parsed.ok()) {
    return declaration + parsed.document.Serialize({.encoding = encoding_, .declaration = false});
  }
  return declaration + std::string(xml);
}

void DataSetExporter2::DeliverDataset(std::string_view extension) {
  const std::string declaration = Declaration();
  const XmlOutputEncoding encoding = XmlOutputEncodingOf(encoding_);
  ExportTable table(OpenData(), TableOptions(Layout::kXml));
  std::string utf8;
  table.AppendDatasetHead(utf8);
  std::string tail;
  if (OpenData().Eof()) {
    utf8 += ExportTable::kDatasetNoRows;
    rest_.reset();
  } else {
    utf8 += ExportTable::kDatasetRowsOpen;
    table.AppendDatasetRows(OpenData(), utf8);
    // The footers stand between the rows and the end of the dataset.
    std::string close(ExportTable::kDatasetRowsClose);
    std::string footers;
    AppendDatasetFooters(footer_rows_, table, footers);
    close.insert(close.find("</dataset>"), footers);
    AppendEncoded(close, encoding, tail);
  }
  ReleaseData();
  std::string head = declaration;
  AppendEncoded(utf8, encoding, head);
  DeliverInBatches(
      std::move(head),
      [table, encoding, utf8 = std::string()](fennick::Recordset& batch,
                                               std::string& out) mutable {
        if (encoding == XmlOutputEncoding::kUtf8) {
          table.AppendDatasetRows(batch, out);
          return;
        }
        utf8.clear();
        table.AppendDatasetRows(batch, utf8);
        AppendEncoded(utf8, encoding, out);
      },
      std::move(tail), extension, "text/" + std::string(extension), "");
}

void DataSetExporter2::ExportToExcel(std::string_view title) {
  std::string name = title.empty() ? title_ : std::string(title);
  DeliverDocument(Layout::kExcel, ExcelDocument(name, ""), "xls", "Application/vnd.excel");
}

void DataSetExporter2::ExportToWord(std::string_view /*title*/) {
  // The document always carries the exporter's Title.
  DeliverDocument(Layout::kWord, WordDocument(title_, intl::FormatDateTime(NowOleDate(), 0), ""),
                  "doc", "application/msword");
}

void DataSetExporter2::ExportToXml() { ExportToCustomXml(xsl_template_, "xml"); }

void DataSetExporter2::ExportToCustomXml(std::string_view xsl_template,
                                         std::string_view extension) {
  // The built-in template needs no tree: its document is written as the
  // rows come, in the encodings written here directly.
  if (xsl_template == TableToDatasetStylesheet() &&
      XmlOutputEncodingOf(encoding_) != XmlOutputEncoding::kOther) {
    DeliverDataset(extension);
  }
  ExportTable table(OpenData(), TableOptions(Layout::kXml));
  std::string html;
  table.AppendHead(html);
  std::string rows;
  ReadForTransform(
      [&table](fennick::Recordset& batch, std::string& out) { table.AppendRows(batch, out); },
      rows);
  html += rows.empty() ? ExportTable::kNoRows : ExportTable::kRowsOpen;
  if (!rows.empty()) {
    html += rows;
    html += ExportTable::kRowsClose;
  }
  rows = std::string();
  std::string result;
  if (!xsl_template.empty()) {
    std::shared_ptr<const XsltStylesheet> sheet = CompileTemplate(xsl_template);
    const size_t table_bytes = html.size();
    {
      XmlParseResult parsed = XmlDocument::Parse(html);
      if (!parsed.ok()) throw Error(kErrInvalidCall, "XML Error: " + parsed.error, kSource);
      html = std::string();
      result = TransformWhole(*sheet, parsed.document, kSource);
    }
    ReturnMemoryAfterTransform(table_bytes);
    if (!encoding_.empty() && result.rfind("<?xml", 0) == 0) {
      size_t end = result.find("?>");
      if (end != std::string::npos) result.erase(0, end + 2);
    }
  } else {
    result = std::move(html);
  }
  Deliver(WithDeclaration(result), extension, "text/" + std::string(extension));
}

}  // namespace fennick
