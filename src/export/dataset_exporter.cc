// The first-generation exporter.
#include "export/dataset_exporter.h"

#include "export/dataset_exporter2.h"
#include "export/export_stylesheets.h"
#include "fennick/error.h"
#include "platform/intl/format.h"
#include "platform/xml/xslt.h"

namespace fennick {
namespace {

constexpr char kSource[] = "Fennick.DataSetExporter";

// Escapes a value for element content.
void AppendEscaped(std::string_view text, std::string& out) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
}

}  // namespace

DataSetExporter::DataSetExporter(HostContext host) : ExporterBase(std::move(host)) {
  export_file_name_ = "Report";
  xsl_template_ = std::string(FirstGenerationDatasetStylesheet());
}

void DataSetExporter::CreateConnection(std::string_view connection_string) {
  try {
    auto connection = std::make_shared<fennick::Connection>();
    connection->Open(connection_string);
    connection_ = std::move(connection);
    owns_connection_ = true;
  } catch (const Error&) {
    // Ignoring errors on purpose, as this exporter always has: the export's
    // first read reports the missing connection.
  }
}

std::string DataSetExporter::BuildTable(TableLayout layout) {
  fennick::Recordset& rs = OpenData();
  const size_t count = rs.FieldCount();
  std::string out;
  switch (layout) {
    case TableLayout::kExcel: out = "<table><thead>"; break;
    case TableLayout::kWord:
      out = "<table border=1 cellspacing=0 cellpadding=2 bgcolor=white bordercolor=black><thead>";
      break;
    case TableLayout::kXml: out = "<table><theader>"; break;
  }
  const bool xml = layout == TableLayout::kXml;
  if (show_column_headers_) {
    out += xml ? "<tr bgcolor=\"lightgrey\">" : "<tr bgcolor='lightgrey'>";
    const size_t cells = headers_.empty() ? count : headers_.size();
    for (size_t i = 0; i < cells; ++i) {
      // Captions past the columns have no field to describe: size and type
      // are left out.
      out += "<th";
      if (i < count) {
        Field field = rs.Fields(i);
        out += " size=\"" + std::to_string(field.DefinedSize()) + "\"  type=\"" +
               std::to_string(field.Type()) + "\"";
      }
      out += ">";
      AppendEscaped(headers_.empty() ? rs.Fields(i).Name() : headers_[i], out);
      out += "</th>";
    }
    out += "</tr>";
  }
  out += xml ? "</theader><tbody>" : "</thead><tbody>";
  const char* null_text = xml ? "&#160;" : "&nbsp;";
  std::vector<Field> fields;
  for (size_t i = 0; i < count; ++i) fields.push_back(rs.Fields(i));
  while (!rs.Eof()) {
    out += "<tr>";
    for (size_t i = 0; i < count; ++i) {
      out += "<td>";
      if (fields[i].IsNull()) {
        out += null_text;
      } else {
        AppendEscaped(ExportValueText(fields[i].Value()), out);
      }
      out += "</td>";
    }
    out += "</tr>";
    rs.MoveNext();
  }
  out += "</tbody></table>";
  ReleaseData();
  return out;
}

void DataSetExporter::ExportToExcel(std::string_view title) {
  std::string name = title.empty() ? title_ : std::string(title);
  std::string table = BuildTable(TableLayout::kExcel);
  Deliver(ExcelDocument(name, table), "xls", "Application/vnd.excel", "utf-8");
}

void DataSetExporter::ExportToWord(std::string_view /*title*/) {
  std::string table = BuildTable(TableLayout::kWord);
  Deliver(WordDocument(title_, intl::FormatDateTime(NowOleDate(), 0), table), "doc",
          "application/msword", "utf-8");
}

void DataSetExporter::ExportToXml() { ExportToCustomXml(xsl_template_, "xml"); }

void DataSetExporter::ExportToCustomXml(std::string_view xsl_template,
                                        std::string_view extension) {
  std::string table_text = BuildTable(TableLayout::kXml);
  XmlParseResult table = XmlDocument::Parse(table_text);
  if (!table.ok()) throw Error(kErrInvalidCall, "XML Error: " + table.error, kSource);
  std::shared_ptr<const XsltStylesheet> sheet = CompileTemplate(xsl_template);
  XsltResult out = sheet->Transform(table.document, {}, XsltPolicy{host_.server->SiteRoot()});
  if (!out.ok()) {
    throw Error(kErrInvalidCall, "XML Error: the export template failed: " + out.error, kSource);
  }
  // An XML result is written in ISO-8859-1 and declared so; other results
  // (the print page's HTML) are already in their stylesheet's encoding.
  std::string document = std::move(out.text);
  if (document.rfind("<?xml", 0) == 0) {
    XmlParseResult parsed = XmlDocument::Parse(document);
    if (parsed.ok()) document = parsed.document.Serialize({.encoding = "ISO-8859-1"});
  }
  Deliver(document, extension, "text/" + std::string(extension));
}

void DataSetExporter::ExportToHtmlForPrint(int rows_per_page, std::string_view title) {
  std::string page_title = title.empty() ? title_ : std::string(title);
  std::string sheet =
      BuildPrintStylesheet(rows_per_page, show_row_numbers_ ? "1" : "", page_title, title);
  // Opened in the browser unless the page chose otherwise.
  const bool set_before = open_file_set_;
  if (!set_before) open_file_ = true;
  ExportToCustomXml(sheet, "html");
}

}  // namespace fennick
