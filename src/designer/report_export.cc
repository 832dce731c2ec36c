// ExportStoredReport: a stored report exported to a file with no browser,
// for delivery by mail.
//
// It is a report page without the page: the same reports file, the same
// definition check, the same statement with the hidden filters and tokens,
// the same report grid and export route. What a report page takes from
// the browser comes from the page context the caller made: the session's
// values for the tokens, and the export button's argument in the request.
// The export runs with CreateExportFile, so it ends in a file and a
// redirect to it; the redirect (the page's end) is caught here and the
// file's place read from it.
#include "base/ascii.h"
#include "designer/definition_check.h"
#include "designer/quillon2.h"
#include "designer/report_id.h"
#include "designer/report_query.h"
#include "designer/reports_file.h"
#include "fennick/data.h"
#include "frame/module_state.h"
#include "grid/report_grid.h"

namespace fennick::designer {

Quillon2::StoredReportExport Quillon2::ExportStoredReport(
    std::string_view report_id, const std::vector<std::pair<std::string, std::string>>& params,
    bool only_with_rows) {
  StoredReportExport out;
  const std::string id = NormalizeId(report_id);
  LoadedReports loaded = designer::ReportsFile(settings_.reports_file).Read();
  if (!loaded.ok()) {
    out.error = "The reports file cannot be read.";
    return out;
  }
  const StoredReport* stored = loaded.reports->FindNormalized(id);
  if (stored == nullptr) {
    out.report_missing = true;
    out.error = "The report " + id + " no longer exists.";
    return out;
  }
  std::shared_ptr<Connection> connection = DesignerConnection();
  if (!connection) {
    out.error = "The database cannot be opened.";
    return out;
  }
  DefinitionCheck checked = CheckStoredDefinition(
      stored->args, *connection, settings_.connection_string, ListSettings(), Rules());
  if (!checked.ok()) {
    out.error = "The report cannot run: " + checked.reason;
    return out;
  }
  report_ = std::move(checked.report);
  CurrentModuleState().field_schema = report_.schema;
  out.title = report_.rtitle;

  const ReportRunValues values = GivenValues(params);
  const ReportStatement statement = PrepareReportStatement(report_, QueryOptions(), values);
  if (!statement.missing_parameters.empty()) {
    out.error = "Required parameter(s) missing:";
    for (const std::string& name : statement.missing_parameters) out.error += " " + name;
    return out;
  }
  if (!statement.error.empty()) {
    out.error = statement.error;
    return out;
  }
  try {
    // A procedure's call cannot be wrapped: its rows are not counted.
    if (report_.isproc != 1) {
      Recordset count = connection->Execute("SELECT COUNT(*) FROM (" + statement.sql + ") fnk_c");
      out.rows = count.Fields(size_t{0}).Value().AsInt64();
      if (display_.max_records > 0) out.rows = std::min<int64_t>(out.rows, display_.max_records);
    }
  } catch (const Error& e) {
    out.error = "The report's statement failed: " + e.description();
    return out;
  }
  if (only_with_rows && out.rows == 0) return out;

  ReportGrid grid;
  LoadLocale(&grid.grid());
  display_.create_export_file = true;
  ConfigureGrid(grid, id);
  SetStatement(grid.grid(), statement.sql);
  if (!grid.ExportPending()) {
    out.error = "No export was asked for.";
    return out;
  }
  Response& response = *host_.response;
  try {
    RunReportExport(grid, statement.sql);
  } catch (const PageEnd&) {
    // The export's redirect to its file: the expected way out.
  } catch (const Error& e) {
    out.error = "The export failed: " + e.description();
    return out;
  }
  for (const auto& [name, value] : response.Headers()) {
    if (EqualsIgnoreCase(name, "Location")) out.file = host_.server->MapPath(value);
  }
  // An export format this server lacks writes nothing and ends the page.
  if (out.file.empty()) out.error = "The export made no file.";
  return out;
}

}  // namespace fennick::designer
