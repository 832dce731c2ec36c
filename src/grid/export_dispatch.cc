// The grid's export routine and the temporary folder.
#include "grid/export_dispatch.h"

#include <algorithm>

#include "base/ascii.h"
#include "export/column_format_xml.h"
#include "export/dataset_exporter.h"
#include "export/dataset_exporter2.h"
#include "export/export_files.h"
#include "fennick/data_grid.h"
#include "frame/host.h"
#include "frame/module_state.h"
#include "frame/temp_folder.h"
#include "grid/grid_object.h"
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
  if (p.create_export_file) {
    PrepareExportFolder(std::chrono::minutes(g.settings.export_file_lifetime_minutes));
    exporter.TempFileUrl(CurrentModuleState().temp_folder_url + NewExportFileBase());
  } else {
    exporter.TempFileUrl("");
  }
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

void RunGridExport(DataGrid& grid) {
  GridObject& g = GridInternals(grid);
  GridPageState& p = *g.page;
  // The request is consumed: a second CreateConnection does not export
  // again.
  g.req.export_request.pending = false;
  if (!p.connection) {
    ShowError(kNoConnection);
    return;
  }
  if (!g.result.recordset) {
    if (TrimBlanks(p.command).empty() && TrimBlanks(g.settings.procedure_name).empty()) {
      ShowError(kNoCommand);
      return;
    }
    // CSV and text exports, and the Excel and Word documents of both
    // exporters, stream the rows of a result the database gives exactly
    // (the command's SQL, no procedure): only one batch of it is held at a
    // time, in a download or a file. The XML outputs (and print) read it
    // whole, since their template may look at any part of the table.
    const std::string& format = g.req.export_request.format;
    const bool streams =
        format == "csv" || format == "text" || format == "excel" || format == "doc";
    g.result.stream_rows = streams && (p.create_export_file || g.host.response->Buffer());
    grid.OpenRecordset();
    g.result.stream_rows = false;
    if (!g.result.recordset) {
      g.result.rest.reset();
      return;  // the reason is on the page
    }
  }
  const std::string format = g.req.export_request.format;
  if (p.use_fast_export || g.designer.first_generation_export) {
    DataSetExporter exporter(g.host);
    Configure(g, exporter);
    if (format == "print" && g.designer.first_generation_export) {
      exporter.ExportToHtmlForPrint(static_cast<int>(std::clamp<int64_t>(p.page_size, 1, 32767)),
                                    g.settings.title);
    }
    Dispatch(exporter, format, g.settings.title);
  } else {
    DataSetExporter2 exporter(g.host);
    Configure(g, exporter);
    exporter.ColFormatXml(BuildColumnFormatXml(p.date_format_list, p.number_format_list));
    exporter.IsEuroDecimalFormat(p.is_euro_decimal_format);
    exporter.Encoding(p.encoding);
    Dispatch(exporter, format, g.settings.title);
  }
  // An unknown format: an empty response.
  if (g.host.response->Buffer()) g.host.response->Clear();
  g.host.response->End();
}

}  // namespace fennick
