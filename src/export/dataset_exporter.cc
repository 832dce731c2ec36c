// The first-generation exporter.
#include "export/dataset_exporter.h"

#include <cmath>
#include <vector>

#include "base/ascii.h"
#include "export/dataset_exporter2.h"
#include "export/export_functions.h"
#include "export/export_stylesheets.h"
#include "export/office_formats.h"
#include "export/xml_text.h"
#include "fennick/page.h"
#include "fennick/error.h"
#include "platform/intl/format.h"
#include "platform/xml/xml_chars.h"
#include "platform/xml/xslt.h"

namespace fennick {
namespace {

constexpr char kSource[] = "Fennick.DataSetExporter";

// Escapes a value for element content. Line ends stay as they are (the
// table's parser reads them as the dataset writes them); characters XML
// cannot hold become U+FFFD, as in every XML document (xml_chars.h).
void AppendEscaped(std::string_view text, std::string& out) {
  std::string safe;
  if (!IsXmlSafeText(text)) {
    safe = XmlSafeText(text);  // rare: no allocation for a clean value
    text = safe;
  }
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

// The fields shown, in order: `columns` or every field.
std::vector<size_t> ShownFields(Recordset& rs, const std::vector<size_t>& columns) {
  std::vector<size_t> shown;
  for (size_t i : columns) {
    if (i < rs.FieldCount()) shown.push_back(i);
  }
  if (columns.empty()) {
    for (size_t i = 0; i < rs.FieldCount(); ++i) shown.push_back(i);
  }
  return shown;
}

// The header cells: one per shown field, its caption from `headers` by
// field position (the field's name past its end); with every field shown,
// captions past the fields get cells too, without size and type.
struct HeaderCell {
  std::string caption;
  std::string size, type;  // "" for a caption past the fields
};

std::vector<HeaderCell> HeaderCells(Recordset& rs, const std::vector<size_t>& columns,
                                    const std::vector<std::string>& headers) {
  std::vector<HeaderCell> cells;
  for (size_t i : ShownFields(rs, columns)) {
    Field field = rs.Fields(i);
    cells.push_back({i < headers.size() ? headers[i] : field.Name(),
                     std::to_string(field.DefinedSize()), std::to_string(field.Type())});
  }
  if (columns.empty()) {
    for (size_t i = rs.FieldCount(); i < headers.size(); ++i) cells.push_back({headers[i], "", ""});
  }
  return cells;
}

// The table's opening, up to and with "<tbody>".
std::string TableHead(Recordset& rs, TableLayout layout, bool show_column_headers,
                      const std::vector<std::string>& headers,
                      const std::vector<size_t>& columns) {
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
    for (const HeaderCell& cell : HeaderCells(rs, columns, headers)) {
      out += "<th";
      if (!cell.type.empty()) {
        out += " size=\"" + cell.size + "\"  type=\"" + cell.type + "\"";
      }
      out += ">";
      AppendEscaped(cell.caption, out);
      out += "</th>";
    }
    out += "</tr>";
  }
  out += xml ? "</theader><tbody>" : "</thead><tbody>";
  return out;
}

bool IsDateType(int32_t ado_type) {
  return ado_type == kAdDate || ado_type == kAdDBDate || ado_type == kAdDBTimeStamp;
}

// Appends one table row per row of `rs` from the current one to the end.
// In Excel documents a date (a date value, or the text of one in a date
// column) carries its value and a date format; in Excel and Word documents
// text that a spreadsheet would read as a formula is marked as text.
void AppendTableRows(Recordset& rs, TableLayout layout, const std::vector<size_t>& columns,
                     std::string& out) {
  const char* null_text = layout == TableLayout::kXml ? "&#160;" : "&nbsp;";
  const bool office = layout != TableLayout::kXml;
  const bool excel = layout == TableLayout::kExcel;
  std::vector<Field> fields;
  std::vector<bool> date_columns;
  for (size_t i : ShownFields(rs, columns)) {
    fields.push_back(rs.Fields(i));
    date_columns.push_back(IsDateType(fields.back().Type()));
  }
  static const OfficeCellFormat kInvariant[] = {OfficeInvariantDateFormat(false),
                                                OfficeInvariantDateFormat(true)};
  static const OfficeCellFormat kIso[] = {OfficeIsoDateFormat(false), OfficeIsoDateFormat(true)};
  std::string text;
  while (!rs.Eof()) {
    out += "<tr>";
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].IsNull()) {
        out += "<td>";
        out += null_text;
        out += "</td>";
        continue;
      }
      const Variant value = fields[i].Value();
      text = ExportValueText(value);
      out += "<td";
      double date = 0;
      if (excel && value.type() == VarType::kDate) {
        date = value.AsDate();
        out += kInvariant[date != std::floor(date)].attributes;
        AppendOfficeValue(date, out);
      } else if (excel && date_columns[i] && value.IsString() && ParseExportDate(text, date)) {
        out += kIso[TrimBlanks(text).size() > 10].attributes;
        AppendOfficeValue(date, out);
      } else if (office && !value.IsNumber() && value.type() != VarType::kDate &&
                 LooksLikeFormula(text)) {
        out += kOfficeTextCell;
      }
      out += ">";
      AppendEscaped(text, out);
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

std::string DataSetExporter::BuildXmlTable() {
  std::string out =
      TableHead(OpenData(), TableLayout::kXml, show_column_headers_, headers_, columns_);
  ReadForTransform(
      [columns = columns_](fennick::Recordset& batch, std::string& rows) {
        AppendTableRows(batch, TableLayout::kXml, columns, rows);
      },
      out);
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
  head += TableHead(rs, layout, show_column_headers_, headers_, columns_);
  // The footer rows end the table's rows; a result without rows has none.
  std::string tail;
  if (!rs.Eof()) {
    AppendTableFooters(footer_rows_, ShownFields(rs, columns_), layout == TableLayout::kExcel,
                       tail);
  }
  tail += kTableTail;
  tail += kDocumentTail;
  AppendTableRows(rs, layout, columns_, head);
  ReleaseData();
  DeliverInBatches(
      std::move(head),
      [layout, columns = columns_](fennick::Recordset& batch, std::string& out) {
        AppendTableRows(batch, layout, columns, out);
      },
      std::move(tail), extension, content_type, "utf-8");
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
  if (xsl_template == FirstGenerationDatasetStylesheet()) DeliverDataset(extension);
  std::shared_ptr<const XsltStylesheet> sheet = CompileTemplate(xsl_template);
  std::string document;
  size_t table_bytes = 0;
  {
    std::string text = BuildXmlTable();
    table_bytes = text.size();
    XmlParseResult table = XmlDocument::Parse(text);
    if (!table.ok()) throw Error(kErrInvalidCall, "XML Error: " + table.error, kSource);
    text = std::string();
    document = TransformWhole(*sheet, table.document, kSource);
  }
  ReturnMemoryAfterTransform(table_bytes);
  // An XML result is written in ISO-8859-1 and declared so; other results
  // (the print page's HTML) are already in their stylesheet's encoding.
  if (document.rfind("<?xml", 0) == 0) {
    XmlParseResult parsed = XmlDocument::Parse(document);
    if (parsed.ok()) document = parsed.document.Serialize({.encoding = "ISO-8859-1"});
  }
  Deliver(document, extension, "text/" + std::string(extension));
}

namespace {

// A cell's text as the built-in template finds it in the parsed table:
// line ends read as the XML parser reads them (CR LF and CR as LF).
void AppendDatasetText(std::string_view text, bool attribute, std::string& out,
                       std::string& scratch) {
  if (text.find('\r') != std::string_view::npos) {
    scratch.assign(text);
    ReplaceAll(scratch, "\r\n", "\n");
    for (char& c : scratch) {
      if (c == '\r') c = '\n';
    }
    text = scratch;
  }
  attribute ? AppendXmlAttribute(text, out) : AppendXmlContent(text, out);
}

}  // namespace

void DataSetExporter::DeliverDataset(std::string_view extension) {
  fennick::Recordset& first = OpenData();
  // The datacolumn names, escaped once; none without a header row.
  auto names = std::make_shared<std::vector<std::string>>();
  std::string utf8 = "<dataset>";
  std::string scratch;
  if (show_column_headers_) {
    std::vector<HeaderCell> cells = HeaderCells(first, columns_, headers_);
    if (!cells.empty()) utf8 += "<datacolumns>";
    for (const HeaderCell& cell : cells) {
      std::string name;
      AppendDatasetText(cell.caption, true, name, scratch);
      utf8 += "<datacolumn name=\"" + name + "\" type=\"" + cell.type + "\" size=\"" +
              cell.size + "\"/>";
      names->push_back(std::move(name));
    }
    if (!cells.empty()) utf8 += "</datacolumns>";
  }
  auto append = [names, columns = columns_](fennick::Recordset& batch, std::string& out) {
    std::vector<Field> fields;
    for (size_t i : ShownFields(batch, columns)) fields.push_back(batch.Fields(i));
    std::string utf8, text, scratch;
    for (; !batch.Eof(); batch.MoveNext()) {
      utf8 += fields.empty() ? "<datarow/>" : "<datarow>";
      for (size_t i = 0; i < fields.size(); ++i) {
        utf8 += "<datacolumn";
        if (!names->empty()) {
          // A cell past the header cells gets an empty name, as the
          // template's $heads[$p] gives.
          utf8 += " name=\"";
          if (i < names->size()) utf8 += (*names)[i];
          utf8 += "\"";
        }
        // A null is the table's non-breaking space.
        text = fields[i].IsNull() ? "\xC2\xA0" : ExportValueText(fields[i].Value());
        if (text.empty()) {
          utf8 += "/>";
          continue;
        }
        utf8 += ">";
        AppendDatasetText(text, false, utf8, scratch);
        utf8 += "</datacolumn>";
      }
      if (!fields.empty()) utf8 += "</datarow>";
    }
    AppendEncoded(utf8, XmlOutputEncoding::kLatin1, out);
  };
  std::string head = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
  std::string tail;
  if (first.Eof()) {
    utf8 += "<datarows/></dataset>\n";
    rest_.reset();
  } else {
    utf8 += "<datarows>";
    tail = "</datarows></dataset>\n";
  }
  AppendEncoded(utf8, XmlOutputEncoding::kLatin1, head);
  if (!first.Eof()) append(first, head);
  ReleaseData();
  DeliverInBatches(std::move(head), std::move(append), std::move(tail), extension,
                   "text/" + std::string(extension), "");
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
