// Report pages: DisplayReport, DisplayTable, GetReport, the password check
// and the posts of a report page.
//
// The browser never carries anything the server runs or believes as it
// is. A report page carries its statement ("__SQL") and the report or table
// it shows ("__ARGS") sealed for this session with an expiry; a post whose
// seals do not open, or do not belong together, is refused with 400 before
// anything runs. An accepted password becomes a sealed proof ("erid") for
// one report, one session and a few hours; wrong passwords are throttled
// (designer/password_throttle.h). "t" opens only objects the page's
// database-object list offers, and always by their quoted name. A stored
// definition is no more trusted than a post: it is checked again
// (designer/definition_check.h) each time it runs, and what runs is the
// checked definition, never the record's stored statement.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "base/ascii.h"
#include "designer/definition_check.h"
#include "designer/password_throttle.h"
#include "designer/quillon2.h"
#include "designer/report_id.h"
#include "designer/report_password.h"
#include "designer/report_query.h"
#include "designer/reports_file.h"
#include "designer/schema_discovery.h"
#include "fennick/data.h"
#include "frame/argument_codec.h"
#include "frame/error_reference.h"
#include "frame/module_state.h"
#include "frame/refuse_request.h"
#include "grid/query/database_type.h"
#include "grid/report_grid.h"
#include "platform/crypto/seal.h"
#include "platform/web/http_text.h"

namespace fennick::designer {
namespace {

// How long a report page's seals and a password proof stay good.
constexpr int64_t kSealLifetimeSeconds = kSessionSealLifetimeSeconds;

std::string Html(std::string_view text) { return Server::HTMLEncode(text); }
std::string Url(std::string_view text) { return Server::URLEncode(text); }

int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string Expiry() { return std::to_string(NowSeconds() + kSealLifetimeSeconds); }

bool StillGood(const std::string& expiry) {
  try {
    return std::stoll(expiry) >= NowSeconds();
  } catch (const std::exception&) {
    return false;  // not a number: never good
  }
}

// Opens a seal of `count` parts whose second part is the session and third
// the expiry; nullopt when it does not open, belongs to another session or
// has expired. Never raises: without a server secret nothing opens.
std::optional<std::vector<std::string>> OpenForSession(SealPurpose purpose, std::string_view token,
                                                       size_t count, const std::string& session) {
  if (token.empty() || session.empty()) return std::nullopt;
  try {
    auto parts = OpenSealedParts(purpose, token, count);
    if (!parts || (*parts)[1] != session || !StillGood((*parts)[2])) return std::nullopt;
    return parts;
  } catch (const Error&) {
    return std::nullopt;
  }
}

// A column of a result named as one identifier, delimited for the
// database: an [sql] column's name ("Orders.Total") holds a "." that is no
// table's.
std::string ResultColumnName(int database_type, std::string_view name) {
  char open = '"', close = '"';
  if (database_type == kDbMySql) {
    open = close = '`';
  } else if (database_type == kDbAccess || database_type == kDbSqlServer ||
             database_type == kDbSybase || database_type == kDbSqlNativeClient) {
    open = '[';
    close = ']';
  }
  std::string out(1, open);
  for (char c : name) {
    out.push_back(c);
    if (c == close) out.push_back(c);
  }
  out.push_back(close);
  return out;
}

// A report page shows a stored report ("R" + id), a table or view
// ("T" + name) or a procedure ("P" + name).
std::string ReportReference(std::string_view id) { return "R" + std::string(id); }

std::vector<std::string> CommaItems(std::string_view list) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    std::string item(TrimBlanks(list.substr(start, comma - start)));
    if (!item.empty()) items.push_back(item);
    start = comma + 1;
  }
  return items;
}

}  // namespace

// --- Settings --------------------------------------------------------------

void Quillon2::DatabaseType(int16_t value) {
  display_.database_type = value;
  CurrentModuleState().database_type = value;
}
void Quillon2::DbOwner(std::string_view value) {
  display_.db_owner = value;
  CurrentModuleState().db_owner = value;
}
void Quillon2::SqlNamePrefix(std::string_view value) {
  display_.sql_name_prefix = value;
  CurrentModuleState().sql_name_prefix = value;
}
void Quillon2::SqlNameSuffix(std::string_view value) {
  display_.sql_name_suffix = value;
  CurrentModuleState().sql_name_suffix = value;
}
void Quillon2::MaxRecords(int32_t value) {
  display_.max_records = value;
  CurrentModuleState().max_records = value;
}
void Quillon2::DisplayPreparedSqlCommand(bool value) {
  display_.display_prepared_sql = value;
  CurrentModuleState().display_prepared_sql = value;
}
void Quillon2::TempFolderUrl(std::string_view value) {
  display_.temp_folder_url = value;
  CurrentModuleState().temp_folder_url = value;
}

void Quillon2::AddHiddenSqlFilter(std::string_view table, std::string_view filter) {
  display_.hidden_filter_list.append(table);
  display_.hidden_filter_list.append("|=|");
  display_.hidden_filter_list.append(filter);
  display_.hidden_filter_list.append("|||");
}

ReportQueryOptions Quillon2::QueryOptions() {
  ReportQueryOptions options;
  options.database_type = GetDatabaseType(settings_.connection_string, display_.database_type);
  options.db_owner = display_.db_owner;
  options.sql_name_prefix = display_.sql_name_prefix;
  options.sql_name_suffix = display_.sql_name_suffix;
  options.hidden_sql_filter = display_.hidden_sql_filter;
  options.hidden_filter_list = display_.hidden_filter_list;
  return options;
}

SchemaListSettings Quillon2::ListSettings() {
  SchemaListSettings list;
  list.database_type = GetDatabaseType(settings_.connection_string, display_.database_type);
  list.tables_query = display_.tables_query;
  list.views_query = display_.views_query;
  list.procedures_query = display_.procedures_query;
  list.hide_tables = display_.hide_tables;
  list.hide_views = display_.hide_views;
  list.hide_procedures = display_.hide_procedures;
  list.use_tables = display_.use_tables;
  list.use_procedures = display_.use_procedures;
  list.hidden_tables = display_.hidden_tables;
  list.turn_off_table_links = display_.turn_off_table_links;
  list.turn_off_table_links_for = display_.turn_off_table_links_for;
  list.turn_on_table_links_for = display_.turn_on_table_links_for;
  list.can_add = permissions_.add_report;
  return list;
}

std::shared_ptr<Connection> Quillon2::DesignerConnection() {
  if (connection_tried_) return connection_;
  connection_tried_ = true;
  auto connection = std::make_shared<Connection>();
  if (display_.command_timeout > 0) connection->CommandTimeout(display_.command_timeout);
  try {
    connection->Open(settings_.connection_string, "", "", -1);
    connection_ = connection;
  } catch (const Error& e) {
    if (e.number() != 13) {
      WriteToPage("<div class=errmsg><b>Errors Occured!</b><br>Error #:" +
                  std::to_string(e.number()) + "<br>" + Html(DatabaseErrorForPage(e.description())) +
                  "</div>");
    }
  }
  return connection_;
}

std::string Quillon2::GetFilters() { return designer::GetFilters(report_, QueryOptions()); }

ReportRunValues Quillon2::RequestValues() {
  ReportRunValues values;
  Session* session = host_.session;
  const Request* request = host_.request;
  values.session = [session](std::string_view name) { return session->Get(name).AsString(); };
  // Required parameters come from the query string: "n_" + name, then name.
  values.parameter = [request](std::string_view name) -> std::optional<std::string> {
    const std::string prefixed = "n_" + std::string(name);
    if (request->QueryFields().Has(prefixed)) return request->QueryString(prefixed);
    if (request->QueryFields().Has(name)) return request->QueryString(name);
    return std::nullopt;
  };
  values.now = std::time(nullptr);
  return values;
}

// --- Finding a report --------------------------------------------------------

std::optional<std::string> Quillon2::FindReport(std::string_view id, std::string* message) {
  const std::string wanted = NormalizeId(id);
  LoadedReports loaded = designer::ReportsFile(settings_.reports_file).Read();
  // Only the file's name is shown: the server's folders are no business
  // of the browser.
  const std::string where = Html(settings_.reports_file.filename().string());
  if (!loaded.ok()) {
    if (message) {
      *message =
          "<b>Reports file not found</b></br>Make sure the file exists in the following "
          "location:<br><code><font color=blue>" +
          where + "</font></code>";
    } else {
      ShowMessagePage("Reports file not found",
                      "Make sure the file exists in the following location:<br><code><font "
                      "color=blue>" +
                          where + "</font></code>",
                      "red", ReturnAddress());
    }
    return std::nullopt;
  }
  if (const StoredReport* report = loaded.reports->FindNormalized(wanted)) return report->args;
  const std::string text =
      "The report you requested has either been deleted or does not exist.<br><code><font "
      "color=blue><b>Report ID: </b>" +
      Html(wanted) + "</font></code>";
  if (message) {
    *message = "REPORT NOT FOUND<br>" + text;
  } else {
    host_.response->Status("404 Not Found");
    ShowMessagePage("REPORT NOT FOUND", text, "navy", ReturnAddress());
  }
  return std::nullopt;
}

bool Quillon2::PasswordAccepted(std::string_view id) {
  const std::string proof = host_.request->Item("erid");
  auto parts = OpenForSession(SealPurpose::kReportPassword, proof, 3, host_.session->SessionID());
  return parts && (*parts)[0] == id;
}

DefinitionRules Quillon2::Rules() {
  DefinitionRules rules;
  rules.database_type = GetDatabaseType(settings_.connection_string, display_.database_type);
  rules.use_fields = display_.use_fields;
  rules.hidden_fields = display_.hidden_fields;
  rules.allow_all_filters = display_.allow_all_filters;
  return rules;
}

bool Quillon2::UseCheckedReport(const std::string& args, std::string* message) {
  DefinitionCheck checked;
  if (std::shared_ptr<Connection> connection = DesignerConnection()) {
    checked = CheckStoredDefinition(args, *connection, settings_.connection_string, ListSettings(),
                                    Rules());
  } else {
    checked.reason = "The database cannot be opened.";
  }
  if (!checked.ok()) {
    const std::string text = "This report cannot run on this page: " + Html(checked.reason);
    if (message) {
      *message = "<div><font color=red face=arial>" + text + "</font></div>";
    } else {
      host_.response->Status("403 Forbidden");
      ShowMessagePage("Report Refused", text, "red", ReturnAddress());
    }
    return false;
  }
  report_ = std::move(checked.report);
  CurrentModuleState().field_schema = report_.schema;
  return true;
}

// --- DisplayReport -----------------------------------------------------------

void Quillon2::DisplayReport(std::string_view report_id) {
  const std::string id = AsciiUpper(TrimBlanks(report_id));
  std::optional<std::string> args = FindReport(id, nullptr);
  if (!args) return;
  report_ = ReportDefinition();
  ReadDefinition(DecodeDefinition(*args), report_);
  if (!report_.rpwd.empty() && !PasswordAccepted(id)) {
    WritePasswordPrompt(id);
    return;
  }
  if (!UseCheckedReport(*args, nullptr)) return;
  const ReportQueryOptions options = QueryOptions();
  // A procedure report's call comes with its parameter values filled as
  // a table report's statement does.
  ReportStatement statement = PrepareReportStatement(report_, options, RequestValues());
  if (!statement.missing_parameters.empty()) {
    WriteParametersForm(statement.missing_parameters);
    return;
  }
  if (!statement.error.empty()) {
    ShowMessagePage("Invalid Parameter", Html(statement.error), "red", ReturnAddress());
    return;
  }
  RenderReportPage(ReportReference(id), statement.sql, id);
}

void Quillon2::WritePasswordPrompt(std::string_view id) {
  const Request& request = *host_.request;
  auto hidden = [](std::string& out, std::string_view name, std::string_view value) {
    out += "<input type=hidden name=\"" + Html(name) + "\" value=\"" + Html(value) + "\">";
  };
  std::string out = StyleSheetHtml() +
                    "<blockquote><b>This report requires a password</b><form action=\"" +
                    Html(host_.page_url) +
                    "\" method=post id=form1 name=form1>Password: <input type=password name=pwd>";
  // The report's own fields (its parameters, the page's own query) travel
  // with the password, so the report opens with them once it is accepted.
  auto carry = [&](const FieldList& fields) {
    for (size_t i = 0; i < fields.Count(); ++i) {
      const std::string name = AsciiLower(fields.Name(i));
      if (name == "a" || name == "pwd" || name == "rurl2" || name == "rid" || name == "erid" ||
          name == "t" || name == "__sql" || name == "__args" || name == "__fargs") {
        continue;
      }
      hidden(out, fields.Name(i), fields.Get(i));
    }
  };
  carry(request.FormFields());
  carry(request.QueryFields());
  // The check reads the report from "rid", also when the report was opened
  // by a link.
  hidden(out, "rid", id);
  hidden(out, "a", "q");
  std::string own = host_.page_url;
  const FieldList& query = request.QueryFields();
  for (size_t i = 0; i < query.Count(); ++i) {
    own += i == 0 ? "?" : "&";
    own += Url(query.Name(i)) + "=" + Url(query.Get(i));
  }
  hidden(out, "rurl2", own);
  out += "<br><input type=submit><script>document.form1.pwd.focus();</script></form></blockquote>";
  WriteToPage(out);
}

void Quillon2::WriteParametersForm(const std::vector<std::string>& missing) {
  const std::string caption = report_.reqparam.empty() ? "Required Parameter(s)" : report_.reqparam;
  std::string out = StyleSheetHtml() + "<title>" + Html(report_.rtitle) + " &raquo; " +
                    Html(caption) + "</title><blockquote><b>" + Html(caption) +
                    "</b><form action=\"" + Html(host_.page_url) +
                    "\" method=get id=form1 name=form1>";
  const FieldList& query = host_.request->QueryFields();
  for (size_t i = 0; i < query.Count(); ++i) {
    if (query.Get(i).empty()) continue;
    out += "<input type=hidden name=\"" + Html(query.Name(i)) + "\" value=\"" + Html(query.Get(i)) +
           "\">";
  }
  bool first = true;
  for (const std::string& name : missing) {
    out += Html(name) + ": <input type=text name=\"n_" + Html(name) + "\"";
    if (first) out += " id=fnkfirstparam";
    first = false;
    out += "><br>";
  }
  out +=
      "<br><input type=submit></form></blockquote>"
      "<script>document.getElementById('fnkfirstparam').focus();</script>";
  WriteToPage(out);
}

// --- The password check ------------------------------------------------------

void Quillon2::PasswordCheck() {
  const Request& request = *host_.request;
  const std::string id = AsciiUpper(TrimBlanks(request.Form("rid")));
  std::optional<std::string> args = FindReport(id, nullptr);
  if (!args) return;
  ReportDefinition report;
  ReadDefinition(DecodeDefinition(*args), report);
  // Guessing is slowed per report and address; a pair that must wait is
  // answered at once, whatever it typed.
  const std::string client = request.ServerVariables("REMOTE_ADDR");
  PasswordThrottle& throttle = PasswordThrottle::Shared();
  const auto now = PasswordThrottle::Clock::now();
  if (const int64_t wait = throttle.WaitSeconds(id, client, now);
      wait > 0 && !report.rpwd.empty()) {
    host_.response->Status("429 Too Many Requests");
    host_.response->AddHeader("Retry-After", std::to_string(wait));
    ShowMessagePage("Too Many Tries",
                    "Too many wrong passwords for this report. Please wait " +
                        std::to_string(wait) + " seconds and try again.",
                    "red", ReturnAddress());
    return;
  }
  // The time taken says nothing about how much of the password was right
  // (designer/report_password.h); a password stored as before is replaced
  // by its hash now that it is known.
  const PasswordMatch match = MatchPassword(report.rpwd, request.Form("pwd"));
  const bool right = match.right;
  if (match.renew) {
    RenewStoredPassword(designer::ReportsFile(settings_.reports_file), id, report.rpwd,
                        request.Form("pwd"));
  }
  if (right) throttle.Succeeded(id, client);
  if (right || report.rpwd.empty()) {
    std::string target = host_.page_url + "?";
    if (right) {
      const std::string proof =
          SealParts(SealPurpose::kReportPassword, {id, host_.session->SessionID(), Expiry()});
      target += "erid=" + Url(proof) + "&";
    }
    target += "rid=" + Url(id);
    const FieldList& form = request.FormFields();
    for (size_t i = 0; i < form.Count(); ++i) {
      const std::string name = AsciiLower(form.Name(i));
      if (name == "rurl2" || name == "a" || name == "pwd" || name == "rid" || name == "erid") {
        continue;
      }
      target += "&" + Url(form.Name(i)) + "=" + Url(form.Get(i));
    }
    host_.response->Redirect(target);
  }
  throttle.Failed(id, client, now);
  host_.response->Status("403 Forbidden");
  ShowMessagePage("Access Denied", "Your password was not correct. Please check your CAPS", "red",
                  ReturnAddress());
  // "Try Again" goes back to this page's own address only: a posted
  // address pointing elsewhere (another site, a script) is not followed.
  std::string again = request.Form("rurl2");
  const std::string& own = host_.page_url;
  const bool own_page =
      again == own || (again.size() > own.size() && again.compare(0, own.size(), own) == 0 &&
                       again[own.size()] == '?');
  if (!own_page) again = own;
  WriteToPage("<p style='padding-left:50px'><a href=\"" + Html(again) + "\">Try Again</a></p>");
}

// --- DisplayTable ------------------------------------------------------------

void Quillon2::DisplayTable(std::string_view table_name) {
  bool is_procedure = !table_name.empty() && table_name.front() == '-';
  const std::string name(TrimBlanks(is_procedure ? table_name.substr(1) : table_name));
  std::shared_ptr<Connection> connection = DesignerConnection();
  if (!connection) return;
  const SchemaListSettings list = ListSettings();
  const bool offered =
      !name.empty() &&
      (is_procedure ? IsObjectOffered(*connection, list, name, CatalogObjectType::kProcedure)
                    : IsObjectOffered(*connection, list, name, CatalogObjectType::kTable) ||
                          IsObjectOffered(*connection, list, name, CatalogObjectType::kView));
  if (!offered) {
    host_.response->Status("403 Forbidden");
    ShowMessagePage("Access Denied", "This table is not offered on this page.", "red",
                    ReturnAddress());
    return;
  }
  report_ = ReportDefinition();
  ReadDefinition(";tables:" + name + ";pagesize:" + std::to_string(display_.default_page_size) +
                     ";rtitle:" + name + " Report;isproc:" + (is_procedure ? "1" : "0") + ";",
                 report_);
  const ReportQueryOptions options = QueryOptions();
  std::string sql = QuoteReportName(options, name, false);
  if (is_procedure) {
    sql = BuildProcedureCall(report_, options, "|=|", "|||", true);
  } else {
    // The hidden filters (with their tokens) bind a table shown whole as
    // they bind reports.
    ReportStatement statement =
        PrepareStoredStatement("SELECT * FROM " + sql, report_, options, RequestValues());
    if (!statement.ok()) {
      host_.response->Status("403 Forbidden");
      ShowMessagePage("Access Denied",
                      statement.error.empty() ? "This table cannot be shown on this page."
                                              : Html(statement.error),
                      "red", ReturnAddress());
      return;
    }
    sql = statement.sql;
  }
  RenderReportPage((is_procedure ? "P" : "T") + name, sql, "");
}

// --- GetReport ---------------------------------------------------------------

ReportRunValues Quillon2::GivenValues(
    const std::vector<std::pair<std::string, std::string>>& params) {
  ReportRunValues values;
  Session* session = host_.session;
  values.session = [session](std::string_view name) { return session->Get(name).AsString(); };
  values.parameter = [&params](std::string_view name) -> std::optional<std::string> {
    for (const auto& [key, value] : params) {
      if (EqualsIgnoreCase(key, name)) return value;
    }
    return std::nullopt;
  };
  values.now = std::time(nullptr);
  return values;
}

std::string Quillon2::GetReport(std::string_view report_id,
                                const std::vector<std::pair<std::string, std::string>>& params) {
  const std::string id = AsciiUpper(TrimBlanks(report_id));
  std::string message;
  std::optional<std::string> args = FindReport(id, &message);
  if (!args || !UseCheckedReport(*args, &message)) return message;

  const ReportQueryOptions options = QueryOptions();
  const ReportRunValues values = GivenValues(params);
  // The record's stored statement is never run: what it should say is what
  // the checked definition builds, so that is what runs.
  ReportStatement statement = PrepareReportStatement(report_, options, values);
  if (!statement.missing_parameters.empty()) {
    std::string names;
    for (const std::string& name : statement.missing_parameters) {
      names += (names.empty() ? "" : ", ") + Html(name);
    }
    return "<div><font color=red face=arial>Required parameter(s) missing: " + names +
           "</font></div>";
  }
  if (!statement.error.empty()) {
    return "<div><font color=red face=arial>" + Html(statement.error) + "</font></div>";
  }
  ReportGrid grid;
  // The title an export button of this report carries (read with the
  // request) tells its export from another report's on the same page.
  const std::string posted_title = grid.grid().Title();
  LoadLocale(&grid.grid());
  ConfigureGrid(grid, id);
  SetStatement(grid.grid(), statement.sql);
  // The report's export buttons post back to the page that shows it,
  // which calls GetReport again: the export runs here, as on a report
  // page, and the download replaces the page.
  if (grid.ExportPending() && posted_title == report_.rtitle) RunReportExport(grid, statement.sql);
  return grid.GetGridHtml();
}

// --- The report page ---------------------------------------------------------

void Quillon2::WritePageScript() {
  const std::string url = host_.page_url;
  std::string out = "<script language=\"javascript\">";
  // The designer's own postback: an argument (or an export button's value,
  // for "_" + format) into __ARGS of the form FNKQuillon. A report grid
  // writes its own __doPostBack after this script; that one stays in force
  // on report pages, posting into __FARGS and leaving the sealed __ARGS
  // alone.
  out +=
      "function __doPostBack(args){var f=document.FNKQuillon;if(!f||!f.__ARGS)return;"
      "if(args.substring(0,1)=='_'){var b=f.elements['btnExp'+args.substring(1)];if(!b)return;"
      "args=b.value;}f.__ARGS.value=args;f.submit();}";
  out +=
      "function __POPWIN(f){var t='';var c=f.check1;if(c){if(c.length===undefined)c=[c];"
      "for(var i=0;i<c.length;i++){if(c[i].checked)t+=','+c[i].value;}}"
      "if(t==''){alert('You must select at least 1 table\\nbefore you can build a "
      "report.');return;}";
  const std::string size = "var w=" + std::to_string(settings_.dialog_width) +
                           ",h=" + std::to_string(settings_.dialog_height) +
                           ";var l=(screen.width-w)/2,tp=(screen.height-h)/2;";
  const std::string features =
      "'width='+w+',height='+h+',left='+l+',top='+tp+',resizable=yes,scrollbars=no'";
  out += size + "window.open(" + std::string("'") + JsStringBody(url) +
         "?args='+encodeURIComponent(f.__ARGS?f.__ARGS.value:'')+'&t='+encodeURIComponent(t)+"
         "'&a=p','wizard'," +
         features + ");}";
  out += "function ___doPostBack(erid){" + size + "window.open('" + JsStringBody(url) +
         "?erid='+encodeURIComponent(erid)+'&a=p','wizard'," + features + ");}";
  out += "function ___ESPN(sp){" + size + "window.open('" + JsStringBody(url) +
         "?sp='+encodeURIComponent(sp)+'&a=p','wizard'," + features + ");}";
  out += "</script>";
  WriteToPage(out);
}

void Quillon2::RunReportExport(ReportGrid& grid, const std::string& sql) {
  // Hidden fields stay out of the download too: the statement is read
  // through an outer SELECT of the columns that are not hidden.
  const std::vector<std::string> hidden = CommaItems(display_.hidden_fields);
  std::shared_ptr<Connection> connection = DesignerConnection();
  const ReportQueryOptions options = QueryOptions();
  if (!hidden.empty() && connection && report_.isproc != 1) {
    try {
      Recordset probe = connection->Execute("SELECT * FROM (" + sql + ") fnk_q WHERE 1=0");
      std::string list;
      bool dropped = false;
      for (size_t i = 0; i < probe.FieldCount(); ++i) {
        const std::string name = probe.Fields(i).Name();
        bool is_hidden = false;
        for (const std::string& h : hidden) {
          const size_t dot = h.rfind('.');
          is_hidden = is_hidden || EqualsIgnoreCase(h, name) ||
                      (dot != std::string::npos && EqualsIgnoreCase(h.substr(dot + 1), name));
        }
        if (is_hidden) {
          dropped = true;
          continue;
        }
        list += (list.empty() ? "" : ",") + ResultColumnName(options.database_type, name);
      }
      if (dropped && !list.empty()) {
        grid.grid().Command("SELECT " + list + " FROM (" + sql + ") fnk_q");
      }
    } catch (const Error&) {
      // Ignoring errors on purpose: the export itself reports the
      // statement's error.
    }
  }
  grid.RunExport();
}

void Quillon2::RenderReportPage(const std::string& reference, const std::string& sql,
                                const std::string& id) {
  const Request& request = *host_.request;
  ReportGrid grid;
  LoadLocale(&grid.grid());
  ConfigureGrid(grid, id);
  SetStatement(grid.grid(), sql);

  if (grid.ExportPending()) RunReportExport(grid, sql);

  const bool print_view = request.Form("__FARGS") == "NSAg";
  WriteToPage(StyleSheetHtml());
  std::string edit_token;
  const bool names_report = !request.Item("rid").empty() || !request.Item("erid").empty();
  if (permissions_.add_report || (permissions_.edit_report && names_report)) {
    edit_token =
        SealParts(SealPurpose::kReportEdit, {reference, host_.session->SessionID(), Expiry()});
  }
  WritePageScript();
  std::string out = "<form name=FNKQuillon method=post action=\"" + Html(host_.page_url) + "\">";
  if (print_view) {
    out += "<table width='100%'><tr><td valign=top";
    if (!settings_.width.empty()) out += " width=\"" + Html(settings_.width) + "\"";
    out += ">";
    if (display_.page_break_before) {
      out += "<div style='page-break-after:always;'>&nbsp;</div>";
    }
  } else {
    out += "<title>" + Html(report_.rtitle) + "</title><table";
    if (!settings_.width.empty()) out += " width=\"" + Html(settings_.width) + "\"";
    out += "><tr><td valign=top>";
    out +=
        "<table class=report_header width='100%' cellspacing=0 cellpadding=0><tr><td "
        "class='report_title' nowrap width='100%' >" +
        Html(report_.rtitle) + "</td><td width='200' nowrap align=right class=footer>";
    if (!request.QueryString("closewin").empty() || !request.Form("__cls").empty()) {
      out +=
          "<input type=hidden name=__cls value=1><a class=link_button "
          "href=\"javascript:window.close()\" title=\"" +
          Html(buttons_.close_title) + "\">" + Html(buttons_.close_text) + "</a>";
    } else {
      if (!edit_token.empty()) {
        // The token is URL-safe Base64: it cannot end the script string.
        out += "<a class=link_button href=\"javascript:___doPostBack('" + edit_token +
               "')\" title=\"" + Html(buttons_.build_title) + "\">" + Html(buttons_.build_text) +
               "</a>";
      }
      if (permissions_.schedule_reports && !id.empty()) {
        out += " <small>&nbsp;&nbsp;</small> <a class=link_button href=\"" +
               Html(host_.page_url + "?a=s&rid=" + Url(id)) +
               "\" title=\"Mail this report on a schedule\">Schedule</a>";
      }
      out += " <small>&nbsp;&nbsp;</small> <a class=link_button href=\"" +
             Html(settings_.home_url) + "\" title=\"" + Html(buttons_.home_title) + "\">" +
             Html(buttons_.home_text) + "</a>";
    }
    out += "</td></tr></table><hr size=1 noshade>";
  }
  if (display_.display_report_parameters) {
    const FieldList& fields =
        request.FormFields().Count() > 0 ? request.FormFields() : request.QueryFields();
    const bool posted = request.FormFields().Count() > 0;
    out += "<div class='params'>";
    for (size_t i = 0; i < fields.Count(); ++i) {
      const std::string& name = fields.Name(i);
      if (name.size() <= 2 || AsciiLower(name.substr(0, 2)) != "n_") continue;
      out += "<div class='param'><span class='name'>" + Html(posted ? name : name.substr(2)) +
             "</span> = <span class='value'>" + Html(fields.Get(i)) + "</span></div>";
    }
    out += "</div>";
  }
  WriteToPage(out);
  WriteToPage(grid.GetGridHtml());
  out = "</td></tr></table>";
  const std::string session = host_.session->SessionID();
  out += "<input type=hidden name=__SQL value=\"" +
         Html(SealParts(SealPurpose::kReportStatement, {reference, session, Expiry(), sql})) +
         "\">";
  out += "<input type=hidden name=__ARGS value=\"" +
         Html(SealParts(SealPurpose::kReportReference, {reference, session, Expiry()})) +
         "\"></form>";
  if (display_.page_break_after) out += "<div style='page-break-after:always;'>&nbsp;</div>";
  WriteToPage(out);
}

void Quillon2::RefuseTampered() {
  RefuseRequest(*host_.response, "400 Bad Request",
                "This report page has expired or was changed. Open the report again.");
}

void Quillon2::TablePostBack() {
  const Request& request = *host_.request;
  const std::string session = host_.session->SessionID();
  auto reference =
      OpenForSession(SealPurpose::kReportReference, request.Form("__ARGS"), 3, session);
  auto statement = OpenForSession(SealPurpose::kReportStatement, request.Form("__SQL"), 4, session);
  if (!reference || !statement || (*statement)[0] != (*reference)[0]) RefuseTampered();
  const std::string& ref = (*reference)[0];
  const std::string& sql = (*statement)[3];
  if (ref.empty()) RefuseTampered();
  const char kind = ref[0];
  const std::string name = ref.substr(1);
  report_ = ReportDefinition();
  if (kind == 'R') {
    // The definition is checked again: the file may have changed since
    // the page was sealed.
    std::optional<std::string> args = FindReport(name, nullptr);
    if (!args || !UseCheckedReport(*args, nullptr)) return;
    RenderReportPage(ref, sql, name);
    return;
  }
  if (kind != 'T' && kind != 'P') RefuseTampered();
  ReadDefinition(";tables:" + name + ";pagesize:" + std::to_string(display_.default_page_size) +
                     ";rtitle:" + name + " Report;isproc:" + (kind == 'P' ? "1" : "0") + ";",
                 report_);
  RenderReportPage(ref, sql, "");
}

}  // namespace fennick::designer
