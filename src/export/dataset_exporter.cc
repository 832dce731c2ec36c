// The first-generation exporter.
#include "export/dataset_exporter.h"

#include <vector>

#include "export/dataset_exporter2.h"
#include "export/export_stylesheets.h"
#include "fennick/page.h"
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

namespace {

// The table's opening, up to and with "<tbody>".
std::string TableHead(Recordset& rs, TableLayout layout, bool show_column_headers,
                      const std::vector<std::string>& headers) {
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
  if (show_column_headers) {
    out += xml ? "<tr bgcolor=\"lightgrey\">" : "<tr bgcolor='lightgrey'>";
    const size_t cells = headers.empty() ? count : headers.size();
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
      AppendEscaped(headers.empty() ? rs.Fields(i).Name() : headers[i], out);
      out += "</th>";
    }
    out += "</tr>";
  }
  out += xml ? "</theader><tbody>" : "</thead><tbody>";
  return out;
}

// Appends one table row per row of `rs` from the current one to the end.
void AppendTableRows(Recordset& rs, TableLayout layout, std::string& out) {
  const size_t count = rs.FieldCount();
  const char* null_text = layout == TableLayout::kXml ? "&#160;" : "&nbsp;";
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
}

constexpr char kTableTail[] = "</tbody></table>";
// How every Excel and Word document ends, after its table.
constexpr std::string_view kDocumentTail = "</body></html>";

}  // namespace

std::string DataSetExporter::BuildTable(TableLayout layout) {
  fennick::Recordset& rs = OpenData();
  std::string out = TableHead(rs, layout, show_column_headers_, headers_);
  AppendTableRows(rs, layout, out);
  ReleaseData();
  if (rest_) {
    for (;;) {
      fennick::Recordset batch = rest_->Next(kStreamBatchRows);
      if (batch.Eof()) break;
      AppendTableRows(batch, layout, out);
    }
    rest_.reset();
  }
  out += kTableTail;
  return out;
}

void DataSetExporter::DeliverDocument(TableLayout layout, const std::string& empty_document,
                                      std::string_view extension,
                                      std::string_view content_type) {
  // The document up to the rows of the first batch is made now, so a
  // failure in it gives the normal error page; the other batches follow
  // it into the file or the download. The header cells describe the
  // columns as that batch does: for an SQLite expression column (no
  // declared type) the size is that of the batch's longest value, and the
  // type that of its first value, not the whole result's.
  std::string head(empty_document, 0, empty_document.size() - kDocumentTail.size());
  fennick::Recordset& rs = OpenData();
  head += TableHead(rs, layout, show_column_headers_, headers_);
  AppendTableRows(rs, layout, head);
  ReleaseData();
  DeliverInBatches(
      std::move(head),
      [layout](fennick::Recordset& batch, std::string& out) {
        AppendTableRows(batch, layout, out);
      },
      std::string(kTableTail) + std::string(kDocumentTail), extension, content_type, "utf-8");
}

void DataSetExporter::ExportToExcel(std::string_view title) {
  std::string name = title.empty() ? title_ : std::string(title);
  DeliverDocument(TableLayout::kExcel, ExcelDocument(name, ""), "xls", "Application/vnd.excel");
}

void DataSetExporter::ExportToWord(std::string_view /*title*/) {
  DeliverDocument(TableLayout::kWord,
                  WordDocument(title_, intl::FormatDateTime(NowOleDate(), 0), ""), "doc",
                  "application/msword");
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
