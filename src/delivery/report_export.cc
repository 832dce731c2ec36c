// Running a schedule's report on a page made for it.
#include "delivery/report_export.h"

#include <fstream>
#include <sstream>

#include "designer/quillon2.h"
#include "fennick/error.h"
#include "fennick/page.h"
#include "frame/argument_codec.h"

namespace fennick::delivery {
namespace {

// The page's address: the site root's folder, so that relative paths
// resolve there.
constexpr char kPageUrl[] = "/fennick-delivery";

struct FormatInfo {
  const char* name;
  const char* extension;
  const char* content_type;
};

constexpr FormatInfo kFormats[] = {
    {"csv", ".csv", "text/csv; charset=UTF-8"},
    {"xlsx", ".xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    {"pdf", ".pdf", "application/pdf"},
};

}  // namespace

ReportExport ExportScheduledReport(const Schedule& schedule, const DeliverySite& site) {
  ReportExport out;
  const FormatInfo* format = nullptr;
  for (const FormatInfo& f : kFormats) {
    if (schedule.format == f.name) format = &f;
  }
  if (format == nullptr) {
    out.error = "Unknown format: " + schedule.format;
    return out;
  }
  Request request;
  request.SetVariable("URL", kPageUrl);
  request.SetMethod("POST");
  request.MutableForm().Add("__FARGS", EncodeArgument("4fmt:" + schedule.format + ";"));
  Application application;
  PageContext page(std::move(request), Session(MakeMemorySessionStore(), "delivery"), application,
                   Server(site.root, kPageUrl, nullptr, site.locale));
  for (const auto& [name, value] : schedule.session_values) page.session().Set(name, value);
  PageBinding binding(page);
  designer::Quillon2::StoredReportExport made;
  try {
    designer::Quillon2 q;
    q.ReportsFile(site.reports_url);
    q.TempFolderUrl(site.outbox_url);
    const ReportContext& c = schedule.context;
    if (c.database_type >= 0) q.DatabaseType(static_cast<int16_t>(c.database_type));
    q.DbOwner(c.db_owner);
    q.SqlNamePrefix(c.sql_name_prefix);
    q.SqlNameSuffix(c.sql_name_suffix);
    q.MaxRecords(c.max_records);
    designer::DisplaySettings& d = q.display();
    d.hidden_sql_filter = c.hidden_sql_filter;
    d.hidden_filter_list = c.hidden_filter_list;
    d.hidden_fields = c.hidden_fields;
    d.use_fields = c.use_fields;
    d.use_tables = c.use_tables;
    d.hidden_tables = c.hidden_tables;
    d.use_procedures = c.use_procedures;
    d.csv_safe = c.csv_safe;
    // The schedule names its format: the workbook and the PDF need not be
    // offered on the report's page to be sent.
    d.export_xlsx = schedule.format == "xlsx";
    d.export_pdf = schedule.format == "pdf";
    q.Init(c.connection_string);
    made = q.ExportStoredReport(schedule.report_id, schedule.parameters,
                                schedule.only_with_rows);
  } catch (const PageEnd&) {
    made.error = "The report's page ended early.";
  } catch (const Error& e) {
    made.error = e.description();
  }
  out.report_missing = made.report_missing;
  out.title = made.title;
  out.rows = made.rows;
  if (!made.ok()) {
    out.error = made.error == "The export made no file."
                    ? "The " + schedule.format + " format is not available on this server."
                    : made.error;
    return out;
  }
  if (made.file.empty()) {
    out.skipped = true;
    return out;
  }
  {
    std::ifstream in(made.file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in) out.error = "The export file cannot be read.";
    out.content = std::move(bytes).str();
  }
  std::error_code ec;
  std::filesystem::remove(made.file, ec);  // Ignoring errors on purpose: old files expire.
  out.file_name = (out.title.empty() ? schedule.report_id : out.title) + format->extension;
  out.content_type = format->content_type;
  return out;
}

}  // namespace fennick::delivery
