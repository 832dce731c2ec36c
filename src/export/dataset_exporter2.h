// DataSetExporter2: the second-generation exporter. Its table is the one
// the rowset-to-table stylesheet makes of the persisted rowset (captions,
// column formats, money pattern), written straight from the rows by
// ExportTable; Excel and Word wrap it in an Office HTML document, and the
// XML export writes the dataset document the built-in table-to-dataset
// stylesheet makes of it. Only a page's own XslExportTemplate runs through
// the stylesheet processor, over the whole table. CSV and text come from
// ExporterBase.
//
// Excel and Word documents, and the XML export without a template of the
// page's, are written a batch of rows at a time when the rows come with
// RemainingRows (a download streams them, a file is written a batch at a
// time); a template holds its whole table, up to the transform row limit.
// One exporter serves one export; not thread-safe.
#ifndef FENNICK_EXPORT_DATASET_EXPORTER2_H_
#define FENNICK_EXPORT_DATASET_EXPORTER2_H_

#include <string>
#include <string_view>

#include "export/export_table.h"
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

 private:
  enum class Layout { kExcel, kWord, kXml };
  ExportTableOptions TableOptions(Layout layout) const;
  // Delivers `empty_document` (an Excel or Word document with an empty
  // table) with the table of the data in its place; see DeliverInBatches.
  [[noreturn]] void DeliverDocument(Layout layout, const std::string& empty_document,
                                    std::string_view extension, std::string_view content_type);
  // The dataset document of the built-in template, written as it reads
  // the rows.
  [[noreturn]] void DeliverDataset(std::string_view extension);
  // The XML declaration of `encoding_` ("" for none); raises for a name
  // that is not an encoding name.
  std::string Declaration() const;
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
