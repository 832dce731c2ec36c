// Quillon2, the report designer: its page settings, permissions and locale,
// the administrative actions of Init, and DisplayReports.
//
// A page creates the designer, sets its properties, calls Init (which
// carries out an action named by the query key "a" and ends the page) and
// then DisplayReports (the catalogue of the reports file). Every action that
// changes the reports file is checked against the permissions and a sealed
// per-session token here on the server. A Quillon2 belongs to one page on
// one thread; it keeps nothing between requests.
#ifndef FENNICK_DESIGNER_QUILLON2_H_
#define FENNICK_DESIGNER_QUILLON2_H_

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "designer/definition_check.h"
#include "designer/permissions.h"
#include "designer/report_definition.h"
#include "designer/report_query.h"
#include "designer/schema_discovery.h"
#include "fennick/data_grid.h"
#include "frame/host.h"

namespace fennick {
class ReportGrid;
}

namespace fennick::designer {

// The page settings of a designer, with the defaults a new one has.
struct DesignerSettings {
  std::string title = "Quillon";
  std::string reports_title = "Reports";
  std::filesystem::path reports_file;  // physical path, inside the site
  std::string home_url;
  std::string images_url = "images/";
  std::string style_sheet = "styles.css";
  std::string width;
  int16_t dialog_width = 500;
  int16_t dialog_height = 300;
  std::string report_link_target;
  // The four report lists: trimmed, upper case, ", " made ",", and a ","
  // at both ends (",HR,MKTG,"); "" when not set.
  std::string hidden_reports, use_reports, hide_report_ids, use_report_ids;
  std::filesystem::path locale_file;  // "" for none
  std::filesystem::path locale_folder;
  bool auto_detect_locale = false;
  bool locale_from_request = false;  // the locale file was named by the request
  std::string default_date_format, short_date_format, long_date_format;
  // grid, header, header_link, item, alt_item, footer, paging_link, item_link
  std::array<std::string, 8> css_classes = {"grid", "header",      "header_link", "item",
                                            "alt_item", "footer",  "paging_link", "item_link"};
  std::string connection_string;
};

// The settings of report pages, report statements and the database-object
// list, with the defaults a new designer has.
struct DisplaySettings {
  // Schema discovery and statements.
  int database_type = -1;  // -1: from the connection string
  std::string db_owner;
  std::string sql_name_prefix = "$", sql_name_suffix = "$";
  std::string use_tables, use_procedures, hidden_tables, hidden_fields, use_fields;
  bool hide_tables = false, hide_views = false, hide_procedures = false;
  std::string tables_query, views_query, procedures_query;
  bool turn_off_table_links = false;
  std::string turn_off_table_links_for, turn_on_table_links_for;
  std::string hidden_sql_filter;
  // AddHiddenSqlFilter: table "|=|" filter "|||" per call.
  std::string hidden_filter_list;
  // Report grids.
  bool allow_all_filters = false;
  int16_t default_filter_field_index = -1, default_filter_condition_index = -1;
  int32_t max_records = 0, command_timeout = 0;
  int16_t default_page_size = 10;
  // A page size every report uses; below 0 (true is -1) each report keeps
  // its own.
  int32_t override_page_size = -1;
  bool use_popup_filters = false, add_top_navigation_bar = false, show_inactive_buttons = false;
  std::string print_header, print_footer;
  bool display_prepared_sql = false, display_report_parameters = false;
  bool page_break_before = false, page_break_after = false;
  // Exports.
  bool use_fast_export = false, create_export_file = false, is_euro_decimal_format = false;
  // CSV and text exports of report grids guard formula-like text (the
  // grid's CsvSafe).
  bool csv_safe = false;
  // The report pages' ".xlsx" and "PDF" export buttons (the grid's
  // ExportXlsx, ExportPdf) and the PDF's paper (PdfPaperSize).
  bool export_xlsx = false, export_pdf = false;
  std::string pdf_paper_size;
  std::string temp_folder_url, xsl_export_template, encoding;
};

// The designer's six button texts, from the locale file.
struct ButtonTexts {
  std::string close_text = "Close", home_text = "Home", build_text = "Build Report";
  std::string close_title = "Close window", build_title = "Edit report properties",
              home_title = "Return home";
};

class Quillon2 {
 public:
  // Binds the running page; raises an error when no page is running.
  Quillon2();

  // --- Page properties. Paths written with "\" are read with "/"; every
  // path is mapped inside the site (an error for one that leaves it).
  void Title(std::string_view value) { settings_.title = value; }
  void ReportsTitle(std::string_view value) { settings_.reports_title = value; }
  void ReportsFile(std::string_view value);
  void HomeUrl(std::string_view value) { settings_.home_url = value; }
  // A "/" is added when missing.
  void ImagesUrl(std::string_view value);
  // See StyleSheetHtml.
  void StyleSheet(std::string_view value) { settings_.style_sheet = value; }
  void Width(std::string_view value) { settings_.width = value; }
  void DialogWidth(int16_t value) { settings_.dialog_width = value; }
  void DialogHeight(int16_t value) { settings_.dialog_height = value; }
  void ReportLinkTarget(std::string_view value) { settings_.report_link_target = value; }
  void HiddenReports(std::string_view value);
  void UseReports(std::string_view value);
  void HideReportsWithIDs(std::string_view value);
  void UseReportsWithIDs(std::string_view value);
  void SetCSSClassNames(const std::array<std::string, 8>& names) {
    settings_.css_classes = names;
  }

  // --- Locale.
  void LocaleFile(std::string_view value);
  // Also turns automatic detection on.
  void LocaleFolder(std::string_view value);
  void AutoDetectLocale(bool value) { settings_.auto_detect_locale = value; }
  // Set the page's response at once.
  void CodePage(int16_t value);
  void LCID(int16_t value);
  void DefaultDateFormat(std::string_view value) { settings_.default_date_format = value; }
  void ShortDateFormat(std::string_view value) { settings_.short_date_format = value; }
  void LongDateFormat(std::string_view value) { settings_.long_date_format = value; }

  // --- Permissions.
  Permissions& permissions() { return permissions_; }

  // --- Report pages, statements and the database-object list. The
  // setters that grids read too (names, database type, row limit, shown
  // SQL, exports) also set the page's shared values.
  DisplaySettings& display() { return display_; }
  void DatabaseType(int16_t value);
  void DbOwner(std::string_view value);
  void SqlNamePrefix(std::string_view value);
  void SqlNameSuffix(std::string_view value);
  void MaxRecords(int32_t value);
  void DisplayPreparedSqlCommand(bool value);
  void TempFolderUrl(std::string_view value);
  // Appends table "|=|" filter "|||" to the hidden-filter list.
  void AddHiddenSqlFilter(std::string_view table, std::string_view filter);

  // --- Reports.
  // Writes report `report_id`'s page: the password prompt, the parameters
  // form, or the report in its grid.
  void DisplayReport(std::string_view report_id);
  // Writes a report of a whole table, view, or (a name starting with "-")
  // procedure, when this page offers the object; otherwise answers 403.
  void DisplayTable(std::string_view name);
  // The report as HTML, written nowhere. `params` gives the values of the
  // report's required parameters by name (typed values: they are put in
  // as literals). No password is asked: the page calling it decides.
  std::string GetReport(std::string_view report_id,
                        const std::vector<std::pair<std::string, std::string>>& params);
  // The WHERE condition of the current report's filters ("" for none).
  std::string GetFilters();

  // A stored report exported to a file for delivery, with no browser: the
  // report is read from the reports file and checked as a report page
  // checks it, its statement is built with `params` for its required
  // parameters and the page's session values for its tokens, and the
  // export the page's request asks for (an export button's "__FARGS")
  // runs through the grid's export route into an export file
  // (CreateExportFile). See designer/report_export.cc.
  struct StoredReportExport {
    std::string error;            // why no file was made ("" when ok)
    bool report_missing = false;  // the report is not in the reports file
    std::string title;
    int64_t rows = -1;            // the result's rows; -1 for a procedure's
    std::filesystem::path file;   // "" when skipped for having no rows
    bool ok() const { return error.empty(); }
  };
  StoredReportExport ExportStoredReport(
      std::string_view report_id, const std::vector<std::pair<std::string, std::string>>& params,
      bool only_with_rows);

  // Stores the connection string, chooses the locale file and carries out
  // the action in the query key "a"; any non-empty action ends the page.
  // A posted builder step, and an export button's post of a report page
  // (run from the page's sealed statement, or refused with 400 when its
  // seals do not open for this session), also end it.
  void Init(std::string_view connection_string);
  // The catalogue, or the page the request asks for.
  void DisplayReports();
  // The import form; a posted file is merged into the reports file.
  void ImportReportsFiles();
  // The text of key `name` in the locale file, or `fallback` (the key is
  // then added to the file).
  std::string ReadLocale(std::string_view name, std::string_view fallback);
  // Reads the whole locale file: the six button texts into the designer,
  // every other key into `grid`'s display texts (when a grid is given). A
  // missing default locale file is written out first; a broken one shows
  // "Invalid XML Document" and leaves every text as it was.
  void LoadLocale(DataGrid* grid);
  // One option element per report group for the builder's group list,
  // the group `selected` marked; ids and titles encoded.
  std::string GroupOptions(std::string_view selected) const;

  // The current report's schema (public schema routines).
  ReportDefinition& report() { return report_; }

  const DesignerSettings& settings() const { return settings_; }
  const ButtonTexts& buttons() const { return buttons_; }

  // The page URL followed by "?" and the preserved query string, when
  // there is one.
  std::string ReturnAddress() const;
  // The style sheet of the designer's pages, once per page ("" after the
  // first call): a link to StyleSheet; the built-in sheet itself when
  // StyleSheet names a file of the site that does not exist (the default
  // styles.css on a site without one); nothing when StyleSheet is empty.
  // Addresses with a scheme or host are linked as they are.
  std::string StyleSheetHtml();
  // The request's query string without the designer's own keys, URL-encoded
  // again ("" when nothing is left).
  std::string PreservedQuery() const;

 private:
  std::filesystem::path MapSitePath(std::string_view value) const;
  void DetectLocale();
  void RunAction(std::string_view action);
  // Ends the page with "Access Denied" unless the action is allowed and
  // carries a valid token.
  void RequireAllowed(std::string_view action, bool group_exists);
  void DeleteAction(bool is_group);
  void SaveGroupAction();
  void CreateFileAction();
  void WriteGroupEntryPage();
  // Reads an uploaded reports file, checks each report's definition and
  // merges what passes; writes the outcome.
  void ImportUpload(std::string_view text);
  void WriteCatalogue();
  // The catalogue's first column: the database objects this page offers.
  std::string DatabaseObjectsColumn();
  void NotBuiltYet(std::string_view what);
  // The report builder (action "p"), with this designer's settings.
  void RunBuilder();
  void ScheduleAction();

  // Report pages (report_display.cc).
  ReportQueryOptions QueryOptions();
  SchemaListSettings ListSettings();
  // Session values and the request's typed parameters for a statement.
  ReportRunValues RequestValues();
  // The values of a report run outside the request's own fields (GetReport,
  // ExportStoredReport): the page's session, `params` by name (any case)
  // and the time now. `params` must outlive the values.
  ReportRunValues GivenValues(const std::vector<std::pair<std::string, std::string>>& params);
  // The designer's connection, opened on first use; null (with the error
  // box written) when it cannot be opened.
  std::shared_ptr<Connection> DesignerConnection();
  // The definition of report `id` (trimmed, upper case), or nullopt after
  // writing the message page (or, with `message`, into *message).
  std::optional<std::string> FindReport(std::string_view id, std::string* message);
  // The rules stored definitions are checked by on this page.
  DefinitionRules Rules();
  // Checks the stored definition `args` (designer/definition_check.h) and
  // makes the checked one the current report. A refused one runs nothing:
  // the refusal (which entry, why) is written as a message page with 403,
  // or, with `message`, into *message; false then.
  bool UseCheckedReport(const std::string& args, std::string* message);
  bool PasswordAccepted(std::string_view id);
  void WritePasswordPrompt(std::string_view id);
  void WriteParametersForm(const std::vector<std::string>& missing);
  void PasswordCheck();
  void TablePostBack();
  // Sets the report grid up from the current (checked) report; a field
  // format it does not know is said in red inside the report's text.
  void ConfigureGrid(ReportGrid& grid, const std::string& id);
  // Runs the export the request asks `grid` for, of the report's statement
  // `sql`, and ends the page: the columns the page hides stay out of the
  // document as they stay out of the grid.
  [[noreturn]] void RunReportExport(ReportGrid& grid, const std::string& sql);
  // The report's statement on the grid: a command, or a procedure report's
  // call read back into the procedure and its parameters.
  void SetStatement(DataGrid& grid, const std::string& sql);
  void RenderReportPage(const std::string& reference, const std::string& sql,
                        const std::string& id);
  // The page script of report pages: the builder windows it opens.
  void WritePageScript();
  void RefuseTampered();

  HostContext host_;
  DesignerSettings settings_;
  Permissions permissions_;
  ButtonTexts buttons_;
  ReportDefinition report_;
  DisplaySettings display_;
  std::shared_ptr<Connection> connection_;
  bool connection_tried_ = false;
  bool style_written_ = false;
};

// Writes the designer's message box: the title, the text (both written as
// given: callers encode what came from the request) in `colour`, a link back
// to `return_url`, and a "Try Again" link when the text is exactly "Could
// not save report".
// The page of a stored report's delivery schedules (the action "s" with
// the report's id in "rid"): the delivery layer above supplies it, since
// the designer knows nothing of delivery. Installed once, at start, by
// the component; Init calls it, after checking CanScheduleReports, with
// the page's designer, and ends the page after it.
using SchedulePageHandler = void (*)(Quillon2& designer);
void InstallSchedulePage(SchedulePageHandler handler);

void ShowMessagePage(std::string_view title, std::string_view text, std::string_view colour,
                     std::string_view return_url);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_QUILLON2_H_
