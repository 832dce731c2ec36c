// The second-generation exporter.
#include "export/dataset_exporter2.h"

#include "base/ascii.h"
#include "export/export_functions.h"
#include "export/export_stylesheets.h"
#include "export/recordset_xml.h"
#include "fennick/error.h"
#include "platform/intl/format.h"
#include "platform/xml/xslt.h"

namespace fennick {
namespace {

constexpr char kSource[] = "Fennick.DataSetExporter2";

constexpr char kExcelStyle[] = "<thead style='background-color:#cccccc;'/>";
constexpr char kWordStyle[] =
    "<table border='1' cellspacing='0' cellpadding='2' bgcolor='white' bordercolor='black'/>"
    "<thead style='background-color:#cccccc;'/>";
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
  doc += "</body></html>";
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
  doc += "</body></html>";
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

namespace {

// What the rowset-to-table transform of one batch needs: copies, since a
// streamed download transforms its later batches once the exporter is
// gone.
struct RowsetTableSettings {
  std::string style_fragment;
  std::string col_format_xml;
  std::vector<std::string> headers;
  bool euro = false;
};

// The table of the rows of `rs` from the current one (the recordset is
// left at EOF), as the rowset-to-table stylesheet writes it.
std::string RowsetTable(Recordset& rs, const RowsetTableSettings& settings) {
  RegisterExportFunctions();
  XmlDocument data = SaveRecordsetXml(rs);

  // The style, format and headers elements go first, in that order, before
  // s:Schema; all three are built as nodes, so captions and formats are
  // values, never markup.
  XmlNode root = data.Root();
  XmlNode schema = root.FirstElement();
  if (!settings.style_fragment.empty()) {
    XmlParseResult style = XmlDocument::Parse("<style>" + settings.style_fragment + "</style>");
    if (style.ok()) root.AppendCopy(style.document.Root()).MoveBefore(schema);
  }
  if (!TrimBlanks(settings.col_format_xml).empty()) {
    XmlParseResult format = XmlDocument::Parse(settings.col_format_xml);
    if (!format.ok()) {
      throw Error(kErrInvalidCall, "XML Error: the column formats do not parse: " + format.error,
                  kSource);
    }
    root.AppendCopy(format.document.Root()).MoveBefore(schema);
  }
  if (!settings.headers.empty()) {
    XmlNode headers = root.AppendElement("headers");
    for (const std::string& caption : settings.headers) {
      headers.AppendElement("header").SetAttribute("caption", caption);
    }
    headers.MoveBefore(schema);
  }

  XsltCompileResult sheet = XsltCache::Shared().FromText(RowsetToTableStylesheet());
  if (!sheet.ok()) throw Error(kErrInvalidCall, "XML Error: " + sheet.error, kSource);
  std::vector<std::pair<std::string, std::string>> params;
  if (settings.euro) {
    params = {{"decimal_format_name", "euro"}, {"decimal_format_pattern", kEuroDecimalPattern}};
  }
  XsltResult table = sheet.stylesheet->Transform(data, params);
  if (!table.ok()) throw Error(kErrInvalidCall, "XML Error: " + table.error, kSource);
  return std::move(table.text);
}

// Where the rows of a table begin (after "<tbody>") and end (at the last
// "</tbody>"); false for a table without rows ("<tbody/>"). Captions and
// values are escaped by the transform, so neither tag can come from data.
bool FindTableRows(std::string_view table, size_t& begin, size_t& end) {
  constexpr std::string_view kOpen = "<tbody>";
  begin = table.find(kOpen);
  end = table.rfind("</tbody>");
  if (begin == std::string_view::npos || end == std::string_view::npos) return false;
  begin += kOpen.size();
  return begin <= end;
}

}  // namespace

DataSetExporter2::TableInParts DataSetExporter2::BuildTableInParts(
    std::string_view style_fragment) {
  auto settings = std::make_shared<RowsetTableSettings>();
  settings->style_fragment = style_fragment;
  settings->col_format_xml = col_format_xml_;
  settings->headers = headers_;
  settings->euro = euro_;
  TableInParts parts;
  parts.head = RowsetTable(OpenData(), *settings);
  ReleaseData();
  size_t begin = 0, end = 0;
  if (!rest_ || !FindTableRows(parts.head, begin, end)) {
    // Every row is in the head already. A first batch without rows is the
    // whole result: the cursor it came from is at its end.
    parts.append = [](fennick::Recordset& batch, std::string&) {
      if (!batch.Eof()) {
        throw Error(kErrInvalidCall, "The export's rows came after an empty first batch", kSource);
      }
    };
    return parts;
  }
  // Each later batch is transformed on its own and only its rows are kept:
  // the stylesheet writes a row from that row and the columns alone, so the
  // rows of the batches, one after the other, are those of the whole result
  // in one transform.
  parts.tail = parts.head.substr(end);
  auto opening = std::make_shared<const std::string>(parts.head.substr(0, begin));
  parts.head.resize(end);
  parts.append = [settings, opening, tail = parts.tail](fennick::Recordset& batch,
                                                        std::string& out) {
    std::string table = RowsetTable(batch, *settings);
    size_t rows_begin = 0, rows_end = 0;
    if (!FindTableRows(table, rows_begin, rows_end) ||
        std::string_view(table).substr(0, rows_begin) != *opening ||
        std::string_view(table).substr(rows_end) != tail) {
      throw Error(kErrInvalidCall, "The export's table changed between batches of rows", kSource);
    }
    out.append(table, rows_begin, rows_end - rows_begin);
  };
  return parts;
}

std::string DataSetExporter2::BuildHtmlTable(std::string_view style_fragment) {
  TableInParts parts = BuildTableInParts(style_fragment);
  if (rest_) {
    for (;;) {
      fennick::Recordset batch = rest_->Next(kStreamBatchRows);
      if (batch.Eof()) break;
      parts.append(batch, parts.head);
    }
    rest_.reset();
  }
  return parts.head + parts.tail;
}

void DataSetExporter2::DeliverDocument(std::string_view style_fragment,
                                       const std::string& empty_document,
                                       std::string_view extension, std::string_view content_type) {
  TableInParts parts = BuildTableInParts(style_fragment);
  const size_t table_at = empty_document.size() - kDocumentTail.size();
  std::string head = empty_document.substr(0, table_at) + parts.head;
  DeliverInBatches(std::move(head), std::move(parts.append),
                   parts.tail + empty_document.substr(table_at), extension, content_type, "utf-8");
}

std::string DataSetExporter2::WithDeclaration(std::string_view xml) const {
  if (encoding_.empty()) return std::string(xml);
  if (!IsEncodingName(encoding_)) {
    throw Error(kErrInvalidCall, "Unknown encoding '" + encoding_ + "'", kSource);
  }
  std::string declaration = "<?xml version=\"1.0\" encoding=\"" + encoding_ + "\" ?>";
  // Written again in the declared encoding, so the bytes match it.
  XmlParseResult parsed = XmlDocument::Parse(xml);
  if (parsed.ok()) {
    return declaration + parsed.document.Serialize({.encoding = encoding_, .declaration = false});
  }
  return declaration + std::string(xml);
}

void DataSetExporter2::ExportToExcel(std::string_view title) {
  std::string name = title.empty() ? title_ : std::string(title);
  DeliverDocument(kExcelStyle, ExcelDocument(name, ""), "xls", "Application/vnd.excel");
}

void DataSetExporter2::ExportToWord(std::string_view /*title*/) {
  // The document always carries the exporter's Title.
  DeliverDocument(kWordStyle, WordDocument(title_, intl::FormatDateTime(NowOleDate(), 0), ""),
                  "doc", "application/msword");
}

void DataSetExporter2::ExportToXml() { ExportToCustomXml(xsl_template_, "xml"); }

void DataSetExporter2::ExportToCustomXml(std::string_view xsl_template,
                                         std::string_view extension) {
  std::string html = BuildHtmlTable("");
  std::string result;
  if (!xsl_template.empty()) {
    std::shared_ptr<const XsltStylesheet> sheet = CompileTemplate(xsl_template);
    XmlParseResult table = XmlDocument::Parse(html);
    if (!table.ok()) throw Error(kErrInvalidCall, "XML Error: " + table.error, kSource);
    XsltResult out = sheet->Transform(table.document, {}, XsltPolicy{host_.server->SiteRoot()});
    if (!out.ok()) {
      throw Error(kErrInvalidCall, "XML Error: the export template failed: " + out.error, kSource);
    }
    result = std::move(out.text);
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
