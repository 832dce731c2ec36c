// The report builder: the pop-up pages in which a user builds or edits one
// report step by step, and Finish, which saves it into the reports file.
//
// Table reports run through the pages 1 (fields and relations), 2 (captions
// and formats), 3 (filters), 4 (title and options), 5 (summaries), 13
// (aggregate captions, summary reports), the graph fields and chart options
// (reports with a graph) and 6 (field order); procedure reports through -9
// (parameter values), -8 (fields), -7 (captions and formats) and -6 (title
// and options). Index 0 is Finish. Every page posts the whole report state
// back in hidden fields; the builder keeps nothing between requests.
//
// Nothing the browser posts is trusted. Each post must carry the window's
// ticket (sealed for this session, naming the report being edited), and the
// user's permission to add or edit reports is checked at every page.
// Objects must be offered by the page, fields must be columns of them,
// typed SQL (relations, [sql] formats, filter values) is parsed and written
// again (designer/builder/sql_check.h) when posted and again at Finish,
// captions are read each from its own posted value, and every value written
// into a page is encoded for its place.
#ifndef FENNICK_DESIGNER_BUILDER_REPORT_BUILDER_H_
#define FENNICK_DESIGNER_BUILDER_REPORT_BUILDER_H_

#include <cstdint>
#include <filesystem>
#include <string>

#include "designer/permissions.h"
#include "designer/report_query.h"
#include "designer/schema_discovery.h"
#include "frame/host.h"

namespace fennick::designer {

// The designer's settings the builder works with.
struct BuilderContext {
  std::filesystem::path reports_file;
  std::string connection_string;
  int forced_database_type = -1;  // DatabaseType; -1 when not set
  SchemaListSettings schema;      // what the page offers
  Permissions permissions;
  bool allow_all_filters = false;
  int16_t default_page_size = 10;
  std::string preserved_query;  // carried in the builder's own address
  std::string style_sheet;
  // UseFields: when set, the only fields offered ("Table.Field" or
  // "Field", comma-separated, ignoring case).
  std::string use_fields;
  // HiddenFields: columns no [sql] expression may read.
  std::string hidden_fields;
  // Names, hidden filters and the session values of their tokens: the
  // distinct values a filter offers are read as report pages read rows.
  ReportQueryOptions query;
};

// Runs the builder for the running page: the first call (query "t", "et",
// "sp" or "erid") or a posted step. Writes a complete page; the caller
// ends the response.
void RunReportBuilder(const HostContext& host, const BuilderContext& context);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_BUILDER_REPORT_BUILDER_H_
