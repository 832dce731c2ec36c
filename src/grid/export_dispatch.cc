// The grid's export routine, when it runs, and the temporary folder.
#include "grid/export_dispatch.h"

#include <algorithm>
#include <functional>

#include "base/ascii.h"
#include "export/column_format_xml.h"
#include "export/dataset_exporter.h"
#include "export/dataset_exporter2.h"
#include "export/export_files.h"
#include "export/pdf_exporter.h"
#include "export/xlsx_exporter.h"
#include "fennick/data_grid.h"
#include "frame/host.h"
#include "frame/module_state.h"
#include "frame/temp_folder.h"
#include "grid/grid_object.h"
#include "grid/query/column_expressions.h"
#include "grid/render/cell_writer.h"
#include "grid/render/display.h"
#include "grid/render/export_buttons.h"
#include "grid/render/field_index.h"
#include "grid/render/grid_summary.h"
#include "grid/state/export_argument.h"

namespace fennick {
namespace {

constexpr char kNoConnection[] =
    "Your Database Connection must be set before calling .Display() method";
constexpr char kNoCommand[] = "Your SQL Command must be set before calling .Display() method";

template <typename Exporter>
void Dispatch(Exporter& exporter, const std::string& format, const std::string& title) {
  if (format == "xml") exporter.ExportToXml();
  if (format == "csv") exporter.ExportToCSV();
  if (format == "text") exporter.ExportToText();
  if (format == "doc") exporter.ExportToWord(title);
  if (format == "excel") exporter.ExportToExcel(title);
  // Any other format exports nothing.
}

// The fields of the result the grid shows, in its order: not hidden by
// HiddenColumn, and among a report's shown fields.
std::vector<size_t> VisibleColumns(GridObject& g) {
  // A result the grid has not described yet is described now, with the
  // table qualifiers its keys may use.
  if (g.result.columns.empty() && g.result.recordset) {
    ReadColumns(*g.result.recordset, g.page->command, g.req.database_type, g.result.columns);
  }
  std::vector<size_t> shown;
  for (size_t i = 0; i < g.result.columns.size(); ++i) {
    const GridColumn& c = g.result.columns[i];
    if (!IsHiddenColumn(*g.page, c) && IsShownField(*g.page, c)) shown.push_back(i);
  }
  return shown;
}

void Configure(GridObject& g, ExporterBase& exporter) {
  GridPageState& p = *g.page;
  if (!TrimBlanks(p.xsl_export_template).empty()) exporter.XslExportTemplate(p.xsl_export_template);
  exporter.Title(g.settings.title);
  exporter.Connection(p.connection);
  exporter.Recordset(g.result.recordset);
  if (g.result.rest) exporter.RemainingRows(std::move(g.result.rest));
  exporter.ShowRowNumbers(true);
  exporter.Headers(DecodeCaptionList(g.req.export_request.captions));
  if (!g.settings.export_file_name.empty()) exporter.ExportFileName(g.settings.export_file_name);
  exporter.CsvSafe(g.settings.csv_safe);
  exporter.CsvByteOrderMark(g.settings.csv_byte_order_mark);
  exporter.TransformRowLimit(g.settings.xsl_export_row_limit);
  std::vector<size_t> shown = VisibleColumns(g);
  // The footer rows of the grid, over the whole result exported.
  exporter.FooterRows(GridExportFooters(g));
  // With every column hidden the grid shows none, and neither does the
  // export: an index past the fields, which every output skips.
  if (shown.size() < g.result.columns.size()) {
    if (shown.empty()) shown.push_back(g.result.columns.size());
    exporter.Columns(std::move(shown));
  }
  if (p.create_export_file) {
    PrepareExportFolder(std::chrono::minutes(g.settings.export_file_lifetime_minutes));
    exporter.TempFileUrl(CurrentModuleState().temp_folder_url + NewExportFileBase());
  } else {
    exporter.TempFileUrl("");
  }
}

// The grid's footers as an export writes them, by shown column: the
// number and money columns after the result's first, narrowed by the
// per-field lists. Master-details reports keep their footers on screen.
ExportFooterSettings FooterSettings(GridObject& g, const std::vector<size_t>& shown) {
  const SummarySettings& s = g.Summary();
  ExportFooterSettings settings;
  if (!g.page->master_table.empty()) return settings;
  settings.averages = s.column_averages || !s.average_fields.empty();
  settings.totals = s.column_totals || !s.total_fields.empty();
  for (size_t field : shown) {
    bool number = false;
    if (field >= 1 && field < g.result.columns.size()) {
      const GridColumn& c = g.result.columns[field];
      number = c.type_class == TypeClass::kNumber || c.type_class == TypeClass::kMoney;
    }
    auto listed = [&](const std::string& list) {
      return number && (list.empty() || FieldListNames(list, g.result.columns[field]));
    };
    settings.average_columns.push_back(listed(s.average_fields));
    settings.total_columns.push_back(listed(s.total_fields));
  }
  return settings;
}

// The filter the rows went through, in words: the designer's description
// of it, or the filter label and the filter; "" when none.
std::string FilterInWords(GridObject& g) {
  if (g.designer.filter_text_summary && !g.designer.designer_filter_text.empty()) {
    return StripTags(g.designer.designer_filter_text);
  }
  if (g.req.filter_expression.empty()) return "";
  return StripTags(g.settings.Text("filterslabeltext")) + " " + g.req.filter_expression;
}

// The workbook and the PDF, each only when the page offers its button.
bool RunOfficeExport(GridObject& g, const std::string& format) {
  const bool xlsx = format == "xlsx" && g.settings.export_xlsx;
  const bool pdf = format == "pdf" && g.settings.export_pdf;
  if (!xlsx && !pdf) return format == "xlsx" || format == "pdf";
  GridPageState& p = *g.page;
  // What both documents take from the grid: columns, formats, footers.
  auto prepare = [&](auto& exporter) {
    Configure(g, exporter);
    exporter.ColFormatXml(BuildColumnFormatXml(p.date_list + p.date_format_list,
                                               p.number_list + p.number_format_list));
    exporter.IsEuroDecimalFormat(p.is_euro_decimal_format);
    exporter.Footers(FooterSettings(g, VisibleColumns(g)));
  };
  if (xlsx) {
    XlsxExporter exporter(g.host);
    prepare(exporter);
    exporter.ExportToXlsx(g.settings.title);
  } else {
    PdfExporter exporter(g.host);
    prepare(exporter);
    exporter.PaperSize(g.settings.pdf_paper_size);
    exporter.FilterText(FilterInWords(g));
    exporter.ExportToPdf(g.settings.title);
  }
  return format == "xlsx" || format == "pdf";
}

}  // namespace

void PrepareExportFolder(std::chrono::seconds lifetime) {
  try {
    EnsureTempFolder();
    const std::string& url = CurrentModuleState().temp_folder_url;
    HostContext host = BindHostContext("DataGrid");
    RemoveOldExportFiles(host.server->MapPath(url), lifetime);
  } catch (const Error&) {
    // Ignoring errors on purpose: a folder that cannot be prepared shows
    // up as the export file's own write error.
  }
}

// An armed export: run once, by the grid's Display or at the end of the
// page; `internals` hold what a grid that went before left for it.
struct ArmedExport {
  DataGrid* grid = nullptr;
  std::unique_ptr<GridObject> internals;
  bool done = false;

  void Run() {
    if (done) return;
    done = true;
    if (grid != nullptr) {
      RunGridExport(*grid);
    } else if (internals) {
      DataGrid left = GridAccess::Adopt(std::move(internals));
      RunGridExport(left);
    }
  }
};

void ArmGridExport(DataGrid& grid) {
  GridObject& g = GridInternals(grid);
  if (g.req.export_request.armed) return;
  auto armed = std::make_shared<ArmedExport>();
  armed->grid = &grid;
  g.req.export_request.armed = armed;
  g.host.page->AtEnd([armed] { armed->Run(); });
}

void RunArmedGridExport(DataGrid& grid) {
  GridObject& g = GridInternals(grid);
  if (!g.req.export_request.armed) return;
  // Disarmed first: the export may end the page, or fail.
  std::shared_ptr<ArmedExport> armed = std::move(g.req.export_request.armed);
  armed->Run();
}

std::unique_ptr<GridObject> HandOverArmedExport(std::unique_ptr<GridObject> internals) {
  std::shared_ptr<ArmedExport> armed = std::move(internals->req.export_request.armed);
  if (!armed || armed->done) return internals;
  armed->grid = nullptr;
  armed->internals = std::move(internals);
  return nullptr;
}

void RunGridExport(DataGrid& grid) {
  GridObject& g = GridInternals(grid);
  GridPageState& p = *g.page;
  // The request is consumed: a second CreateConnection does not export
  // again.
  g.req.export_request.pending = false;
  // The lists in the form the column lookups read.
  NormaliseFormatLists(p);
  if (!p.connection) {
    ShowError(kNoConnection);
    return;
  }
  if (!g.result.recordset) {
    if (TrimBlanks(p.command).empty() && TrimBlanks(g.settings.procedure_name).empty()) {
      ShowError(kNoCommand);
      return;
    }
    // Every format reads a result the database gives exactly (the
    // command's SQL, no procedure) forward only, a batch at a time: CSV,
    // text, Excel, Word and the built-in XML hold one batch in a download
    // or a file; a template's XML (and print) stops reading past its row
    // limit.
    g.result.stream_rows = p.create_export_file || g.host.response->Buffer();
    g.result.all_rows_needed = true;
    grid.OpenRecordset();
    g.result.stream_rows = false;
    if (!g.result.recordset) {
      g.result.rest.reset();
      return;  // the reason is on the page
    }
  }
  const std::string format = g.req.export_request.format;
  if (RunOfficeExport(g, format)) {
    // A format the page did not offer: an empty response, below.
  } else if (format == "print" && g.designer.print_export) {
    // Only the first-generation exporter writes the printable page.
    DataSetExporter exporter(g.host);
    Configure(g, exporter);
    exporter.ExportToHtmlForPrint(static_cast<int>(std::clamp<int64_t>(p.page_size, 1, 32767)),
                                  g.settings.title);
  } else if (p.use_fast_export) {
    DataSetExporter exporter(g.host);
    Configure(g, exporter);
    Dispatch(exporter, format, g.settings.title);
  } else {
    DataSetExporter2 exporter(g.host);
    Configure(g, exporter);
    // The page's own formats come first (the export runs once the page set
    // them); those the button carried from the page before follow.
    exporter.ColFormatXml(BuildColumnFormatXml(p.date_list + p.date_format_list,
                                               p.number_list + p.number_format_list));
    exporter.IsEuroDecimalFormat(p.is_euro_decimal_format);
    exporter.Encoding(p.encoding);
    Dispatch(exporter, format, g.settings.title);
  }
  // An unknown format: an empty response.
  if (g.host.response->Buffer()) g.host.response->Clear();
  g.host.response->End();
}

}  // namespace fennick
