// What both exporters share: the data source (a recordset, or a command on
// a connection), the delivery of a finished document (a download with its
// headers, a document opened in place, or a file in the site plus a
// redirect), and the delimited-text outputs (CSV, text, custom).
//
// An exporter serves one export of one page: it is not thread-safe, and
// every export call ends the page's response (it never returns normally).
#ifndef FENNICK_EXPORT_EXPORTER_BASE_H_
#define FENNICK_EXPORT_EXPORTER_BASE_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_footers.h"
#include "fennick/data.h"
#include "frame/host.h"

namespace fennick {

// The value of a Content-Disposition header for a download named
// base + "." + extension: CR, LF, double quotes and control characters are
// dropped, and a name with non-ASCII characters also gets a filename*=
// form (RFC 6266) beside an ASCII fallback.
std::string DownloadDisposition(std::string_view base, std::string_view extension,
                                bool attachment);

// A value as delimited text writes it ("provider's own conversion").
std::string ExportValueText(const Variant& value);

// How delimited text is written.
struct DelimitedTextOptions {
  std::string column_separator = "\t";
  std::string row_separator = "\r\n";
  // Text outputs write a null as this; CSV leaves the field empty (nothing
  // between the separators, where an empty text is "").
  std::string null_text = " ";
  bool column_headers = true;
  // The CSV rule: every value between double quotes, quotes inside values
  // doubled.
  bool csv = false;
  // Text values (and field names) that a spreadsheet would read as a
  // formula (starting with "=", "+", "-", "@", a tab or a line break) get a
  // leading apostrophe; numbers are never changed. Without csv, tabs and
  // line breaks inside such values also become spaces, so no value can
  // start a cell of its own.
  bool csv_safe = false;
  // The fields written, in order; empty for every field.
  std::vector<size_t> columns;
};

// Rows a streamed download reads and sends at a time.
inline constexpr size_t kStreamBatchRows = 1000;

// Rows a template may transform at once when the page sets no limit: the
// whole table and the result are held in memory while it runs (about 4 MB
// per 1,000 rows of four columns).
inline constexpr int64_t kDefaultTransformRowLimit = 25000;

// The byte order mark CsvByteOrderMark puts before a CSV document.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Hands `response` the producer of a streamed download: once the page has
// ended, it reads `rest` a batch at a time, sends what `append` writes of
// each batch, then `tail` (when not empty). The producer owns the cursor
// (which keeps the database link) and the copies `append` captured, since
// the exporter and the page are gone by then. A failing row aborts the
// download without its final chunk.
void StreamRemainingRows(Response& response, std::shared_ptr<Cursor> rest,
                         std::function<void(Recordset&, std::string&)> append,
                         std::string tail = {});

// Appends the rows of `recordset` from the current one to the end (and the
// header line first when asked) to `out`.
void AppendDelimitedText(Recordset& recordset, const DelimitedTextOptions& options,
                         std::string& out);

// A document that a library writes to a file of its own, a batch of rows
// at a time (the workbook, the PDF). Not thread-safe.
class BuiltDocument {
 public:
  virtual ~BuiltDocument() = default;
  // Writes the rows of `rows` from the current one to the end.
  virtual void AddRows(Recordset& rows) = 0;
  // Writes what follows the rows and closes the file; raises
  // fennick::Error with the library's reason.
  virtual void Finish() = 0;
};

class ExporterBase {
 public:
  explicit ExporterBase(HostContext host);
  virtual ~ExporterBase();
  ExporterBase(const ExporterBase&) = delete;
  ExporterBase& operator=(const ExporterBase&) = delete;

  void Connection(std::shared_ptr<fennick::Connection> connection) {
    connection_ = std::move(connection);
    owns_connection_ = false;
  }
  void Recordset(std::shared_ptr<fennick::Recordset> recordset) { recordset_ = std::move(recordset); }
  // The rows after those of the recordset: the recordset is then the first
  // batch of `rest`. A download of delimited text streams them (chunked,
  // after the first batch was written, so a command that fails outright
  // still gives the normal error page); delimited text in a file is
  // written a batch at a time, and so are the Excel and Word documents and
  // the built-in XML of both exporters, in a file or a download; an
  // unbuffered response reads them all first. A template's XML reads them
  // into its table, up to the transform row limit.
  void RemainingRows(std::shared_ptr<fennick::Cursor> rest) { rest_ = std::move(rest); }
  void Command(std::string_view command) { command_ = command; }
  void Headers(std::vector<std::string> headers) { headers_ = std::move(headers); }
  const std::string& Title() const { return title_; }
  void Title(std::string_view title) { title_ = title; }
  void ShowColumnHeaders(bool on) { show_column_headers_ = on; }
  void OpenFile(bool on) { open_file_ = on; }
  // Virtual path without extension of the file to write instead of a
  // download; "" downloads.
  void TempFileUrl(std::string_view url) { temp_file_url_ = url; }
  void ExportFileName(std::string_view name) { export_file_name_ = name; }
  void ShowRowNumbers(bool on) { show_row_numbers_ = on; }
  // CSV and text outputs guard formula-like text (DelimitedTextOptions).
  void CsvSafe(bool on) { csv_safe_ = on; }
  // CSV documents start with a UTF-8 byte order mark.
  void CsvByteOrderMark(bool on) { csv_byte_order_mark_ = on; }
  // The fields every output shows, in this order (a grid's visible
  // columns); empty for every field. Headers stay by field position.
  void Columns(std::vector<size_t> fields) { columns_ = std::move(fields); }
  // Rows written after the data rows (a grid's "Total" and "Average"
  // footers) by CSV, text, Excel, Word and the built-in XML; not by a
  // template of the page's, nor when the result has no rows.
  void FooterRows(std::vector<ExportFooterRow> rows) { footer_rows_ = std::move(rows); }
  // The most rows a template transforms (custom XML templates, the print
  // page); an export with more is refused with an error before the
  // transform. Values below 1 mean kDefaultTransformRowLimit.
  void TransformRowLimit(int64_t rows) {
    transform_row_limit_ = rows < 1 ? kDefaultTransformRowLimit : rows;
  }
  // Inline XSL text (it holds "<"), or a path of the site ("\" read as
  // "/"); a path outside the site raises an error. Blank values are
  // ignored.
  void XslExportTemplate(std::string_view value);

  [[noreturn]] void ExportToCSV();
  [[noreturn]] void ExportToText();
  [[noreturn]] void ExportToCustomText(std::string_view column_separator,
                                       std::string_view row_separator,
                                       std::string_view extension);

  // Writes `text` and one line break to `path`, replacing any file there.
  // Raises fennick::Error with the system's reason when the file cannot be
  // written, and leaves no partial file.
  static void CreateFile(std::string_view text, const std::filesystem::path& path);

 protected:
  // The data: `recordset_`, or a new one opened from the command.
  fennick::Recordset& OpenData();
  // Releases the recordset (an export consumes it).
  void ReleaseData();
  // Sends the document and ends the response (see the head comment).
  [[noreturn]] void Deliver(std::string_view document, std::string_view extension,
                            std::string_view content_type, std::string_view charset = "");
  // Delimited text of the data after `prefix`, delivered as Deliver does.
  [[noreturn]] void DeliverText(const DelimitedTextOptions& options, std::string_view extension,
                                std::string_view content_type, std::string_view prefix = "");
  // Writes one later batch of rows of a document (see DeliverInBatches).
  using RowWriter = std::function<void(fennick::Recordset&, std::string&)>;
  // Sends a document whose rows may come in batches, and ends the response
  // (or redirects to the file). `head` is the document up to and with the
  // rows already read (the recordset's); `append` writes the rows of each
  // batch of RemainingRows; `tail` closes the document. The bytes are
  // those of Deliver with head + every batch + tail, however they go out:
  // a file is written a batch at a time (a failure removes it, and the
  // error reaches the page); a buffered download sends head at once and
  // streams the rest (see StreamRemainingRows); an unbuffered response
  // reads every batch first.
  [[noreturn]] void DeliverInBatches(std::string head, RowWriter append, std::string tail,
                                     std::string_view extension, std::string_view content_type,
                                     std::string_view charset);
  // File mode with RemainingRows: writes head, the batches and tail to the
  // file one batch at a time and redirects to it; a failure removes the
  // file.
  [[noreturn]] void WriteBatchFile(std::string_view head, const RowWriter& append,
                                   std::string_view tail, std::string_view extension);
  // Opens the document of a BuiltDocument export at `path`, its columns
  // those of `first` (the first batch of rows, not read yet).
  using DocumentOpener = std::function<std::unique_ptr<BuiltDocument>(
      const std::filesystem::path& path, fennick::Recordset& first)>;
  // Sends a document a library writes to a file, and ends the response
  // (or redirects to the file). File mode writes it where TempFileUrl
  // says; a download writes it to a private file in the system's
  // temporary folder, which is streamed to the browser as it grows (all
  // at once for a format written at its close) and removed when the
  // download ends, however it ends. The first batch is written while the
  // page runs, so a failing command still gives the page's error; the
  // other batches once the page has ended. An unbuffered response reads
  // everything first. A failure removes the file.
  [[noreturn]] void DeliverBuiltDocument(const DocumentOpener& open, std::string_view extension,
                                         std::string_view content_type);
  // The compiled template (inline text or a file of the site); raises
  // fennick::Error with the compiler's reason.
  std::shared_ptr<const class XsltStylesheet> CompileTemplate(std::string_view text_or_path) const;
  // Runs `append` over the data and every batch of RemainingRows, for a
  // document a template transforms whole: raises fennick::Error once more
  // than the transform row limit have come (having read at most one batch
  // more), and at the page's deadline.
  void ReadForTransform(const RowWriter& append, std::string& out);
  // Transforms `input` with `sheet` under the site's read policy, stopping
  // at the page's deadline; raises fennick::Error with the reason.
  std::string TransformWhole(const class XsltStylesheet& sheet, const class XmlDocument& input,
                             std::string_view source) const;
  // Hands memory back to the system after a transform whose table text
  // was `table_bytes` long, once its trees are freed: the allocator would
  // keep a large transform's memory (some thirty times its text) in the
  // worker thread's arena for the life of the process, one arena per
  // thread that ever ran one.
  static void ReturnMemoryAfterTransform(size_t table_bytes);
  // The current local time as an OLE date.
  static double NowOleDate();

  HostContext host_;
  std::shared_ptr<fennick::Connection> connection_;
  bool owns_connection_ = false;
  std::shared_ptr<fennick::Recordset> recordset_;
  std::shared_ptr<fennick::Cursor> rest_;
  std::string command_;
  std::vector<std::string> headers_;
  std::string title_ = "Fennick Reporting Solutions";
  bool show_column_headers_ = true;
  bool open_file_ = false;
  std::string temp_file_url_;
  std::string export_file_name_;
  bool show_row_numbers_ = false;
  bool csv_safe_ = false;
  bool csv_byte_order_mark_ = false;
  std::vector<size_t> columns_;
  std::vector<ExportFooterRow> footer_rows_;
  int64_t transform_row_limit_ = kDefaultTransformRowLimit;
  std::string xsl_template_;
};

// The document properties written into Word documents.
inline constexpr char kExportAuthor[] = "Orrin Vale";
inline constexpr char kExportCompany[] = "Fennick Reporting";

}  // namespace fennick

#endif  // FENNICK_EXPORT_EXPORTER_BASE_H_
