// Data source, delivery and delimited text shared by the exporters.
#include "export/exporter_base.h"

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "base/ascii.h"
#include "export/export_files.h"
#include "export/office_formats.h"
#include "fennick/error.h"
#include "fennick/page.h"
#include "fennick/variant.h"
#include "platform/xml/xslt.h"

namespace fennick {
namespace {

constexpr char kSource[] = "Fennick.Export";

std::string PercentEncodeUtf8(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
        c == '-' || c == '.' || c == '_' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

// Whether a path resolved inside the site stays there (symbolic links
// included).
bool InsideSite(const std::filesystem::path& root, const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path base = std::filesystem::weakly_canonical(root, error);
  if (error) return false;
  std::filesystem::path target = std::filesystem::weakly_canonical(path, error);
  if (error) return false;
  auto [base_end, target_end] =
      std::mismatch(base.begin(), base.end(), target.begin(), target.end());
  return base_end == base.end() || (base_end->empty() && std::next(base_end) == base.end());
}

// A BuiltDocument export's file with what still writes into it: the
// document goes first, then the file unless it is kept (file mode).
struct BuiltFile {
  std::filesystem::path path;
  std::unique_ptr<BuiltDocument> document;
  std::shared_ptr<Cursor> rest;
  bool keep = false;

  BuiltFile() = default;
  BuiltFile(const BuiltFile&) = delete;
  BuiltFile& operator=(const BuiltFile&) = delete;
  ~BuiltFile() {
    document.reset();
    std::error_code error;
    // Ignoring errors on purpose: a file never made needs no removal.
    if (!keep) std::filesystem::remove(path, error);
  }
};

// Reads what has been written to a file so far, piece by piece, as it
// grows. A file not made yet reads as empty.
class FileTail {
 public:
  explicit FileTail(std::filesystem::path path) : path_(std::move(path)) {}
  ~FileTail() {
    if (file_ != nullptr) std::fclose(file_);
  }
  FileTail(const FileTail&) = delete;
  FileTail& operator=(const FileTail&) = delete;

  // Hands `sink` what came since the last call; false when the sink
  // refused a piece.
  bool Pump(const Response::BodySink& sink) {
    if (file_ == nullptr) {
      file_ = std::fopen(path_.c_str(), "rb");
      if (file_ == nullptr) return true;
    }
    std::string piece(size_t{1} << 16, '\0');
    for (;;) {
      const size_t n = std::fread(piece.data(), 1, piece.size(), file_);
      if (n > 0 && !sink(std::string_view(piece.data(), n))) return false;
      if (n < piece.size()) break;
    }
    // At the end for now: the writer may add more.
    std::clearerr(file_);
    return true;
  }

 private:
  std::filesystem::path path_;
  std::FILE* file_ = nullptr;
};

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::string text;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    throw Error(kErrInvalidCall, "The export file could not be read", kSource);
  }
  char buffer[1 << 16];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  std::fclose(file);
  return text;
}

}  // namespace

std::string DownloadDisposition(std::string_view base, std::string_view extension,
                                bool attachment) {
  std::string name;
  bool ascii = true;
  for (char c : std::string(base) + "." + std::string(extension)) {
    unsigned char u = static_cast<unsigned char>(c);
    // CR and LF would end the header; quotes would end the name.
    if (u < 0x20 || u == 0x7f || c == '"' || c == '\\') continue;
    if (u >= 0x80) ascii = false;
    name.push_back(c);
  }
  std::string value = attachment ? "attachment; filename=" : "inline; filename=";
  if (ascii) {
    value += "\"" + name + "\"";
    return value;
  }
  std::string fallback;
  for (char c : name) fallback.push_back(static_cast<unsigned char>(c) >= 0x80 ? '_' : c);
  value += "\"" + fallback + "\"; filename*=UTF-8''" + PercentEncodeUtf8(name);
  return value;
}

std::string ExportValueText(const Variant& value) {
  if (value.IsBinary()) return "";  // bytes have no text form in a document
  return value.AsString();
}

void AppendDelimitedText(Recordset& recordset, const DelimitedTextOptions& options,
                         std::string& out) {
  std::vector<size_t> shown = options.columns;
  if (shown.empty()) {
    for (size_t i = 0; i < recordset.FieldCount(); ++i) shown.push_back(i);
  }
  // `guard`: the value is text a spreadsheet could run (never a number).
  auto append_value = [&](std::string_view text, bool guard) {
    const bool mark = guard && options.csv_safe && LooksLikeFormula(text);
    if (!options.csv) {
      if (mark) out.push_back('\'');
      if (!guard || !options.csv_safe) {
        out.append(text);
        return;
      }
      // A tab or line break inside a value would start a new cell (or
      // row) whose text is never checked: it becomes a space.
      for (char c : text) out.push_back(c == '\t' || c == '\r' || c == '\n' ? ' ' : c);
      return;
    }
    out.push_back('"');
    if (mark) out.push_back('\'');
    // A quote inside a value is doubled, so it cannot end the value and
    // break the row.
    for (char c : text) {
      if (c == '"') out.push_back('"');
      out.push_back(c);
    }
    out.push_back('"');
  };
  std::vector<Field> fields;
  for (size_t i : shown) {
    if (i < recordset.FieldCount()) fields.push_back(recordset.Fields(i));
  }
  if (options.column_headers) {
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) out.append(options.column_separator);
      append_value(fields[i].Name(), true);
    }
    out.append(options.row_separator);
  }
  while (!recordset.Eof()) {
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) out.append(options.column_separator);
      if (fields[i].IsNull()) {
        // CSV leaves the field empty (where "" is an empty text).
        if (!options.csv) out.append(options.null_text);
        continue;
      }
      const Variant value = fields[i].Value();
      append_value(ExportValueText(value), !value.IsNumber());
    }
    out.append(options.row_separator);
    recordset.MoveNext();
  }
}

ExporterBase::ExporterBase(HostContext host) : host_(std::move(host)) {
  connection_ = std::make_shared<fennick::Connection>();
}

ExporterBase::~ExporterBase() {
  if (owns_connection_ && connection_) {
    try {
      connection_->Close();
    } catch (...) {
      // Ignoring errors on purpose: the export has ended the page already.
    }
  }
}

void ExporterBase::XslExportTemplate(std::string_view value) {
  std::string_view trimmed = TrimBlanks(value);
  if (trimmed.empty()) return;
  if (trimmed.find('<') != std::string_view::npos) {
    xsl_template_ = std::string(value);
    return;
  }
  std::string path(trimmed);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  const std::filesystem::path& root = host_.server->SiteRoot();
  std::filesystem::path physical(path);
  // A physical path inside the site is taken as it is; anything else is a
  // virtual path, which MapPath keeps inside the site (or refuses).
  if (!(physical.is_absolute() && InsideSite(root, physical))) {
    physical = host_.server->MapPath(path);
  }
  if (!InsideSite(root, physical)) {
    throw Error(kErrInvalidCall, "The export template '" + path + "' is outside the site",
                kSource);
  }
  xsl_template_ = physical.string();
}

std::shared_ptr<const XsltStylesheet> ExporterBase::CompileTemplate(
    std::string_view text_or_path) const {
  XsltPolicy policy{host_.server->SiteRoot()};
  XsltCompileResult compiled = text_or_path.find('<') != std::string_view::npos
                                   ? XsltCache::Shared().FromText(text_or_path, policy)
                                   : XsltCache::Shared().FromFile(std::string(text_or_path), policy);
  if (!compiled.ok()) {
    throw Error(kErrInvalidCall, "XML Error: the export template could not be read: " +
                                     compiled.error, kSource);
  }
  return compiled.stylesheet;
}

void ExporterBase::ReadForTransform(const RowWriter& append, std::string& out) {
  int64_t rows = 0;
  auto take = [&](fennick::Recordset& batch) {
    rows += batch.RecordCount();
    if (rows > transform_row_limit_) {
      throw Error(kErrInvalidCall,
                  "The export holds more than " + std::to_string(transform_row_limit_) +
                      " rows, more than an export template transforms at once "
                      "(XslExportRowLimit); export it as CSV, Excel or Word, which have no "
                      "such limit, or narrow the data with a filter",
                  kSource);
    }
    CheckPageDeadline(kSource);
    append(batch, out);
  };
  take(OpenData());
  ReleaseData();
  if (!rest_) return;
  for (;;) {
    fennick::Recordset batch = rest_->Next(kStreamBatchRows);
    if (batch.Eof()) break;
    take(batch);
  }
  rest_.reset();
}

std::string ExporterBase::TransformWhole(const XsltStylesheet& sheet, const XmlDocument& input,
                                         std::string_view source) const {
  XsltPolicy policy{host_.server->SiteRoot(), CurrentDeadline()};
  XsltResult out = sheet.Transform(input, {}, policy);
  if (!out.ok()) {
    if (std::chrono::steady_clock::now() >= policy.deadline) {
      throw Error(kErrPageTimeLimit, "The page reached its time limit and was stopped",
                  std::string(source));
    }
    throw Error(kErrInvalidCall, "XML Error: the export template failed: " + out.error,
                std::string(source));
  }
  return std::move(out.text);
}

void ExporterBase::ReturnMemoryAfterTransform(size_t table_bytes) {
  // A table of 256 KB of text (some 2,500 rows of four columns) makes a
  // transform hold about 8 MB; below that the memory is worth keeping for
  // the next export.
  constexpr size_t kTrimAfterTableBytes = size_t{256} << 10;
  if (table_bytes > kTrimAfterTableBytes) malloc_trim(0);
}

fennick::Recordset& ExporterBase::OpenData() {
  if (!recordset_) {
    if (!connection_) throw Error(kErrInvalidCall, "The export has no connection", kSource);
    auto rs = std::make_shared<fennick::Recordset>();
    rs->Open(command_, *connection_, -1, -1, -1);
    recordset_ = std::move(rs);
  }
  return *recordset_;
}

void ExporterBase::ReleaseData() {
  if (!recordset_) return;
  try {
    recordset_->Close();
  } catch (const Error&) {
    // Ignoring errors on purpose: the rows are read; closing frees them.
  }
  recordset_.reset();
}

void ExporterBase::CreateFile(std::string_view text, const std::filesystem::path& path) {
  ExportFileWriter file(path);
  file.Write(text);
  file.Write("\r\n");
  file.Commit();
}

void ExporterBase::Deliver(std::string_view document, std::string_view extension,
                           std::string_view content_type, std::string_view charset) {
  Response& response = *host_.response;
  if (!temp_file_url_.empty()) {
    std::string url = temp_file_url_ + "." + std::string(extension);
    for (char& c : url) {
      if (c == '\\') c = '/';
    }
    // MapPath refuses a path that leaves the site.
    CreateFile(document, host_.server->MapPath(url));
    response.Redirect(url);
  }
  // What the page wrote before the export is not part of the document.
  if (response.Buffer()) response.Clear();
  response.ContentType(content_type);
  response.Charset(charset);
  if (!open_file_) {
    response.AddHeader("Content-Disposition",
                       DownloadDisposition(export_file_name_, extension, true));
  }
  response.Write(document);
  response.End();
}

void ExporterBase::WriteBatchFile(std::string_view head, const RowWriter& append,
                                  std::string_view tail, std::string_view extension) {
  std::string url = temp_file_url_ + "." + std::string(extension);
  for (char& c : url) {
    if (c == '\\') c = '/';
  }
  // MapPath refuses a path that leaves the site. The file holds one batch
  // of rows at a time in memory; should a row fail (or the disk fill)
  // half-way, the partial file is removed, so no short export is ever left
  // for the redirect to find.
  ExportFileWriter file(host_.server->MapPath(url));
  file.Write(head);
  std::string piece;
  for (;;) {
    fennick::Recordset batch = rest_->Next(kStreamBatchRows);
    if (batch.Eof()) break;
    piece.clear();
    append(batch, piece);
    file.Write(piece);
  }
  rest_.reset();
  file.Write(tail);
  // As CreateFile ends every export file.
  file.Write("\r\n");
  file.Commit();
  host_.response->Redirect(url);
}

void ExporterBase::DeliverInBatches(std::string head, RowWriter append, std::string tail,
                                    std::string_view extension, std::string_view content_type,
                                    std::string_view charset) {
  Response& response = *host_.response;
  if (rest_ && !temp_file_url_.empty()) WriteBatchFile(head, append, tail, extension);
  if (!rest_ || !temp_file_url_.empty() || !response.Buffer()) {
    if (rest_) {
      for (;;) {
        fennick::Recordset batch = rest_->Next(kStreamBatchRows);
        if (batch.Eof()) break;
        append(batch, head);
      }
      rest_.reset();
    }
    head += tail;
    Deliver(head, extension, content_type, charset);
  }
  // A download: head goes out as the page's body; the other batches and
  // tail once the page has ended. A row failing then aborts the download
  // before tail and the final chunk, so the browser keeps no document that
  // looks complete.
  response.Clear();
  response.MutableBody() = std::move(head);
  StreamRemainingRows(response, std::move(rest_), std::move(append), std::move(tail));
  response.ContentType(content_type);
  response.Charset(charset);
  if (!open_file_) {
    response.AddHeader("Content-Disposition",
                       DownloadDisposition(export_file_name_, extension, true));
  }
  response.End();
}

void ExporterBase::DeliverBuiltDocument(const DocumentOpener& open, std::string_view extension,
                                        std::string_view content_type) {
  Response& response = *host_.response;
  auto file = std::make_shared<BuiltFile>();
  std::string url;
  if (!temp_file_url_.empty()) {
    url = temp_file_url_ + "." + std::string(extension);
    for (char& c : url) {
      if (c == '\\') c = '/';
    }
    // MapPath refuses a path that leaves the site.
    file->path = host_.server->MapPath(url);
  } else {
    // A name no one can guess, in a folder the browser never sees.
    file->path = std::filesystem::temp_directory_path() /
                 (NewExportFileBase() + "." + std::string(extension));
  }
  fennick::Recordset& first = OpenData();
  file->document = open(file->path, first);
  file->document->AddRows(first);
  ReleaseData();
  file->rest = std::move(rest_);
  auto add_rest = [](BuiltFile& f, const std::function<bool()>& after_batch) {
    if (f.rest) {
      for (;;) {
        fennick::Recordset batch = f.rest->Next(kStreamBatchRows);
        if (batch.Eof()) break;
        f.document->AddRows(batch);
        if (!after_batch()) return false;
      }
      f.rest.reset();
    }
    f.document->Finish();
    return true;
  };
  if (!temp_file_url_.empty() || !response.Buffer()) {
    add_rest(*file, [] { return true; });
    if (!temp_file_url_.empty()) {
      file->keep = true;
      file.reset();
      response.Redirect(url);
    }
    std::string document = ReadWholeFile(file->path);
    file.reset();
    Deliver(document, extension, content_type);
  }
  // What the page wrote before the export is not part of the document.
  response.Clear();
  response.StreamBody([file = std::move(file), add_rest](const Response::BodySink& sink) {
    FileTail tail(file->path);
    bool open = true;
    if (!add_rest(*file, [&] { return open = tail.Pump(sink); })) return;
    if (open) tail.Pump(sink);
  });
  response.ContentType(content_type);
  // A binary document has no character set.
  response.Charset("");
  if (!open_file_) {
    response.AddHeader("Content-Disposition",
                       DownloadDisposition(export_file_name_, extension, true));
  }
  response.End();
}

void ExporterBase::DeliverText(const DelimitedTextOptions& options, std::string_view extension,
                               std::string_view content_type, std::string_view prefix) {
  Response& response = *host_.response;
  DelimitedTextOptions rest_options = options;
  rest_options.column_headers = false;
  // The footer lines close the text; a result without rows has none.
  std::string footers;
  if (!footer_rows_.empty() && !OpenData().Eof()) {
    AppendDelimitedFooters(footer_rows_, options, OpenData().FieldCount(), footers);
  }
  if (!temp_file_url_.empty() && rest_) {
    std::string head(prefix);
    AppendDelimitedText(OpenData(), options, head);
    ReleaseData();
    WriteBatchFile(
        head,
        [&rest_options](fennick::Recordset& batch, std::string& out) {
          AppendDelimitedText(batch, rest_options, out);
        },
        footers, extension);
  }
  if (!temp_file_url_.empty() || !response.Buffer()) {
    std::string text(prefix);
    AppendDelimitedText(OpenData(), options, text);
    ReleaseData();
    if (rest_) {
      for (;;) {
        fennick::Recordset batch = rest_->Next(kStreamBatchRows);
        if (batch.Eof()) break;
        AppendDelimitedText(batch, rest_options, text);
      }
      rest_.reset();
    }
    text += footers;
    Deliver(text, extension, content_type, "utf-8");
  }
  // A download is written straight into the response, so the rows are not
  // held twice. Should the rows fail half-way, the partial text is dropped
  // and the error page goes out without the download's headers.
  response.Clear();
  try {
    response.MutableBody().append(prefix);
    AppendDelimitedText(OpenData(), options, response.MutableBody());
  } catch (...) {
    response.Clear();
    throw;
  }
  ReleaseData();
  if (rest_) {
    // The remaining rows go out as they are read, once the page has ended.
    StreamRemainingRows(
        response, std::move(rest_),
        [rest_options](fennick::Recordset& batch, std::string& out) {
          AppendDelimitedText(batch, rest_options, out);
        },
        std::move(footers));
  } else {
    response.MutableBody().append(footers);
  }
  response.ContentType(content_type);
  response.Charset("utf-8");
  if (!open_file_) {
    response.AddHeader("Content-Disposition",
                       DownloadDisposition(export_file_name_, extension, true));
  }
  response.End();
}

void ExporterBase::ExportToCSV() {
  DelimitedTextOptions options;
  options.csv = true;
  options.csv_safe = csv_safe_;
  options.column_separator = ",";
  options.column_headers = show_column_headers_;
  options.columns = columns_;
  DeliverText(options, "csv", "text/csv", csv_byte_order_mark_ ? kUtf8ByteOrderMark : "");
}

void ExporterBase::ExportToText() { ExportToCustomText("\t", "\r\n", "txt"); }

void ExporterBase::ExportToCustomText(std::string_view column_separator,
                                      std::string_view row_separator,
                                      std::string_view extension) {
  DelimitedTextOptions options;
  options.column_separator = column_separator;
  options.row_separator = row_separator;
  options.csv_safe = csv_safe_;
  options.column_headers = show_column_headers_;
  options.columns = columns_;
  DeliverText(options, extension, "text/" + std::string(extension));
}

double ExporterBase::NowOleDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  DateParts parts;
  parts.year = local.tm_year + 1900;
  parts.month = local.tm_mon + 1;
  parts.day = local.tm_mday;
  parts.hour = local.tm_hour;
  parts.minute = local.tm_min;
  parts.second = local.tm_sec;
  return MakeOleDate(parts);
}

void StreamRemainingRows(Response& response, std::shared_ptr<Cursor> rest,
                         std::function<void(Recordset&, std::string&)> append,
                         std::string tail) {
  response.StreamBody([rest = std::move(rest), append = std::move(append),
                       tail = std::move(tail)](const Response::BodySink& sink) {
    std::string piece;
    for (;;) {
      Recordset batch = rest->Next(kStreamBatchRows);
      if (batch.Eof()) break;
      piece.clear();
      append(batch, piece);
      if (!sink(piece)) return;  // the browser is gone
    }
    if (!tail.empty()) sink(tail);
  });
}

}  // namespace fennick
