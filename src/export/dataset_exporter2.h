// DataSetExporter2: the second-generation exporter. The recordset is saved
// as a persisted rowset, given the page's headers, styles and column
// formats, and turned into an HTML table by the rowset-to-table
// stylesheet; Excel and Word wrap that table in an Office HTML document,
// XML runs it through the export template (the built-in table-to-dataset
// stylesheet or the page's own). CSV and text come from ExporterBase.
//
// Excel and Word documents are written a batch of rows at a time when the
// rows come with RemainingRows; the XML outputs hold their whole table in
// memory, since a template may look at any part of it. One exporter serves
// one export; not thread-safe.
#ifndef FENNICK_EXPORT_DATASET_EXPORTER2_H_
#define FENNICK_EXPORT_DATASET_EXPORTER2_H_

#include <string>
#include <string_view>

#include "export/exporter_base.h"

namespace fennick {

class DataSetExporter2 : public ExporterBase {
 public:
  explicit DataSetExporter2(HostContext host);

  // The name in the XML declaration of XML outputs, which are then written
  // in that encoding (characters it lacks as character references); "" for
  // no declaration (UTF-8). A name that is not an encoding name raises
  // fennick::Error when an export uses it.
  void Encoding(std::string_view encoding) { encoding_ = encoding; }
  // A "format" element of per-column formats; parsed with the XML library
  // (text that does not parse is an error at export).
  void ColFormatXml(std::string_view xml) { col_format_xml_ = xml; }
  void IsEuroDecimalFormat(bool on) { euro_ = on; }
  void ColsToSum(std::string_view value) { cols_to_sum_ = value; }
  void ColsToAvg(std::string_view value) { cols_to_avg_ = value; }

  // Opens the exporter's own connection; on failure writes the red
  // "COULD NOT OPEN CONNECTION" line and ends the response.
  void CreateConnection(std::string_view connection_string);

  [[noreturn]] void ExportToExcel(std::string_view title);
  [[noreturn]] void ExportToWord(std::string_view title);
  [[noreturn]] void ExportToXml();
  [[noreturn]] void ExportToCustomXml(std::string_view xsl_template, std::string_view extension);

  // The HTML table of the data, as the stylesheet writes it (UTF-8, no
  // declaration); consumes the recordset and the RemainingRows.
  std::string BuildHtmlTable(std::string_view style_fragment);

 private:
  // The table of the data in parts: `head` up to and with the rows of the
  // recordset (consumed), `append` writing the rows of one later batch of
  // RemainingRows (it holds copies of the settings it needs, so it may run
  // after the exporter is gone), `tail` closing the table.
  struct TableInParts {
    std::string head;
    RowWriter append;
    std::string tail;
  };
  TableInParts BuildTableInParts(std::string_view style_fragment);
  // Delivers `empty_document` (an Excel or Word document with an empty
  // table) with the table of the data, styled by `style_fragment`, in its
  // place; see DeliverInBatches.
  [[noreturn]] void DeliverDocument(std::string_view style_fragment,
                                    const std::string& empty_document, std::string_view extension,
                                    std::string_view content_type);
  // The text of an XML result in `encoding_` with its declaration.
  std::string WithDeclaration(std::string_view xml) const;

  std::string encoding_ = "ISO-8859-1";
  std::string col_format_xml_;
  bool euro_ = false;
  std::string cols_to_sum_, cols_to_avg_;
};

// The Office HTML document of Excel around `table`, the worksheet named
// after `title` (escaped).
std::string ExcelDocument(std::string_view title, std::string_view table);
// The Office HTML document of Word around `table`, with `title` and the
// document properties dated `now` (escaped).
std::string WordDocument(std::string_view title, std::string_view now, std::string_view table);

}  // namespace fennick

#endif  // FENNICK_EXPORT_DATASET_EXPORTER2_H_
