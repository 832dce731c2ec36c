// Report pages: DisplayReport, DisplayTable, GetReport, the password check
// and the posts of a report page.
//
// The browser never carries anything the server runs or believes as it
// is. A report page carries its statement ("__SQL") and the report or table
// it shows ("__ARGS") sealed for this session with an expiry; a post whose
// seals do not open, or do not belong together, is refused with 400 before
// anything runs. An accepted password becomes a sealed proof ("erid") for
// one report, one session and a few hours. "t" opens only objects the
// page's database-object list offers, and always by their quoted name.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "base/ascii.h"
#include "designer/quillon2.h"
#include "designer/report_query.h"
#include "designer/reports_file.h"
#include "designer/schema_discovery.h"
#include "fennick/data.h"
#include "fennick/grid_report.h"
#include "frame/argument_codec.h"
#include "frame/module_state.h"
#include "frame/refuse_request.h"
#include "grid/grid_object.h"
#include "grid/query/database_type.h"
#include "grid/report_grid.h"
#include "platform/crypto/seal.h"

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

// A JavaScript string body for single quotes: everything but letters,
// digits and a few URL characters becomes an escape.
std::string JsText(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
        c == '.' || c == '_' || c == '-') {
      out.push_back(static_cast<char>(c));
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      out.append(escape);
    }
  }
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

// The text before `separator` and after it; all of it and "" without one.
std::pair<std::string, std::string> SplitAt(std::string_view text, std::string_view separator) {
  size_t at = text.find(separator);
  if (at == std::string_view::npos) return {std::string(text), ""};
  return {std::string(text.substr(0, at)), std::string(text.substr(at + separator.size()))};
}

// The grid caption of an aggregate column.
const char* AggregateWord(size_t list) {
  static const char* kWords[] = {"Sum", "Avg", "Min", "Max", "StDev", "Var"};
  return kWords[list];
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
                  std::to_string(e.number()) + "<br>" + Html(e.description()) + "</div>");
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

std::optional<std::string> Quillon2::FindReport(std::string_view id, std::string* message,
                                                std::string* stored_query) {
  const std::string wanted = AsciiUpper(TrimBlanks(id));
  designer::ReportsFile file(settings_.reports_file);
  OpenedReports opened = file.Read();
  // Only the file's name is shown: the server's folders are no business
  // of the browser.
  const std::string where = Html(settings_.reports_file.filename().string());
  if (!opened.ok()) {
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
  for (const XmlNode& report : opened.document.Root().FirstElement().NextElement().Elements()) {
    if (AsciiUpper(TrimBlanks(report.Attribute("id").value_or(""))) != wanted) continue;
    if (stored_query) *stored_query = report.Attribute("query").value_or("");
    return report.Attribute("args").value_or("");
  }
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

// --- DisplayReport -----------------------------------------------------------

void Quillon2::DisplayReport(std::string_view report_id) {
  const std::string id = AsciiUpper(TrimBlanks(report_id));
  std::optional<std::string> args = FindReport(id, nullptr);
  if (!args) return;
  report_ = ReportDefinition();
  ReadDefinition(DecodeDefinition(*args), report_);
  CurrentModuleState().field_schema = report_.schema;

  if (!report_.rpwd.empty() && !PasswordAccepted(id)) {
    WritePasswordPrompt(id);
    return;
  }
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
  std::string out = "<blockquote><b>This report requires a password</b><form action=\"" +
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
  std::string out = "<title>" + Html(report_.rtitle) + " &raquo; " + Html(caption) +
                    "</title><blockquote><b>" + Html(caption) + "</b><form action=\"" +
                    Html(host_.page_url) + "\" method=get id=form1 name=form1>";
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
  // Both are always hashed and compared, so the time taken says nothing
  // about how much of the password was right.
  const bool right = SecretsEqual(request.Form("pwd"), report.rpwd) & !report.rpwd.empty();
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

std::string Quillon2::GetReport(std::string_view report_id,
                                const std::vector<std::pair<std::string, std::string>>& params) {
  const std::string id = AsciiUpper(TrimBlanks(report_id));
  std::string message;
  std::string stored_query;
  std::optional<std::string> args = FindReport(id, &message, &stored_query);
  if (!args) return message;
  report_ = ReportDefinition();
  ReadDefinition(DecodeDefinition(*args), report_);
  CurrentModuleState().field_schema = report_.schema;

  const ReportQueryOptions options = QueryOptions();
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
  ReportStatement statement;
  if (report_.isproc == 1) {
    statement = PrepareReportStatement(report_, options, values);
  } else {
    // The builder saves the statement empty: it is then built from the
    // definition, as the report page builds it.
    const std::string stored = DecodeDefinition(stored_query);
    statement = TrimBlanks(stored).empty()
                    ? PrepareReportStatement(report_, options, values)
                    : PrepareStoredStatement(stored, report_, options, values);
  }
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
  LoadLocale(&grid.grid());
  ConfigureGrid(grid.grid(), id);
  SetStatement(grid.grid(), statement.sql);
  return grid.GetGridHtml();
}

// --- The report page ---------------------------------------------------------

void Quillon2::ConfigureGrid(DataGrid& grid, const std::string& id) {
  GridObject& g = GridInternals(grid);
  const ReportDefinition& r = report_;
  if (!r.summary.empty()) SetSummarySpecification(grid, r.summary);
  const auto& css = settings_.css_classes;
  grid.GridClassName(css[0]);
  grid.HeaderClassName(css[1]);
  grid.HeaderLinkClass(css[2]);
  grid.ItemClassName(css[3]);
  grid.AltItemClassName(css[4]);
  grid.FooterClassName(css[5]);
  grid.PagingLinkClass(css[6]);
  grid.LinkClassName(css[7]);

  const std::vector<std::string> fields = CommaItems(r.fields);
  for (const std::string& field : fields) {
    const std::string caption = ReportSchemaValue(r.schema, field, "c");
    if (!caption.empty()) grid.ColumnCaption(field, caption);
    const std::string format = ReportSchemaValue(r.schema, field, "f");
    if (format.size() < 2) continue;
    const std::string code = AsciiUpper(format.substr(0, 2));
    const std::string rest = format.substr(2);
    const std::string images = settings_.images_url;
    if (code == "D1") {
      grid.DateColumn(field, "%A, %B %d%O %Y");
    } else if (code == "D2") {
      grid.DateColumn(field, "%D-%b-%y");
    } else if (code == "D3") {
      grid.DateColumn(field, "2");
    } else if (code == "D4") {
      grid.DateColumn(field, "%d/%m/%y");
    } else if (code == "T1") {
      grid.DateColumn(field, "3");
    } else if (code == "T2") {
      grid.DateColumn(field, "4");
    } else if (code == "N1") {
      grid.NumberColumn(field, 2);
    } else if (code == "N2") {
      grid.CurrencyColumn(field, 2);
    } else if (code == "N3") {
      grid.PercentColumn(field, 0);
    } else if (code == "N4") {
      grid.NumberColumn(field, 0);
    } else if (code == "C8") {
      int decimals = 0;
      for (char c : rest) {
        if (c < '0' || c > '9' || decimals > 99) break;
        decimals = decimals * 10 + (c - '0');
      }
      grid.NumberColumn(field, static_cast<int16_t>(decimals));
    } else if (code == "B1") {
      grid.BoolColumn(field, "Yes", "No");
    } else if (code == "B2") {
      grid.BoolColumn(field, "True", "False");
    } else if (code == "B3") {
      grid.BoolColumn(field, "On", "Off");
    } else if (code == "C2") {
      auto [yes, no] = SplitAt(rest, "?");
      grid.BoolColumn(field, yes, no);
    } else if (code == "C6") {
      grid.BoolColumn(field, "<img src=\"" + Html(images) + "true.gif\" border=0 align=absmiddle>",
                      "<img src=\"" + Html(images) + "false.gif\" border=0 align=absmiddle>");
    } else if (code == "S1") {
      grid.RegExColumn(field, "~d(\\d{3})(\\d{3})(\\d{4})", "($1) $2-$3");
    } else if (code == "S2") {
      grid.RegExColumn(field, "~d(\\d{3})(\\d{3})(\\d{4})", "$1-$2-$3");
    } else if (code == "S3") {
      grid.RegExColumn(field, "~d(\\d{3})(\\d{2})(\\d{4})", "$1-$2-$3");
    } else if (code == "S4") {
      grid.ReplaceColumn(field, "<a href=\"#TEMP#\">#TEMP#</a>");
    } else if (code == "S5") {
      grid.ReplaceColumn(field, "<a href=\"mailto:#TEMP#\">#TEMP#</a>");
    } else if (code == "S6") {
      grid.ReplaceColumn(field, "<img src=\"#TEMP#\">");
    } else if (code == "C1") {
      auto [target, parameter] = SplitAt(rest, "?");
      grid.LinkColumn(field,
                      host_.page_url + "?rid=" + Url(target) + "&rurl1=" + Url(id) + "&n_" +
                          Url(parameter) + "=#TEMP#",
                      "#TEMP#");
    } else if (code == "C3") {
      auto [url, text] = SplitAt(rest, "-?");
      grid.ReplaceColumn(field, "<a href=\"" + url + "\" target=qlnpop>" + text + "</a>");
    } else if (code == "C4") {
      grid.HiddenColumn(field);
    } else if (code == "C5") {
      grid.ReplaceColumn(field, rest);
    } else if (code == "C7") {
      grid.OleColumn(field, rest);
    } else if (code == "O1") {
      grid.OleColumn(field, "");
    } else {
      WriteToPage("<font color=red>Invalid field format for <b>" + Html(field) + "</b></font>");
    }
  }

  if (r.grpby == 1) {
    if (r.agcaps.empty()) {
      if (r.count == 1) grid.ColumnCaption("COUNT_1", "Count");
      const std::string* lists[] = {&r.sum, &r.avg, &r.min, &r.max, &r.stdev, &r.var};
      const char* prefixes[] = {"SUM_", "AVG_", "MIN_", "MAX_", "STDEV_", "VAR_"};
      for (size_t l = 0; l < 6; ++l) {
        const std::vector<std::string> items = CommaItems(*lists[l]);
        for (size_t n = 0; n < items.size(); ++n) {
          std::string caption = ReportSchemaValue(r.schema, items[n], "c");
          if (caption.empty()) caption = items[n];
          grid.ColumnCaption(
              prefixes[l] + std::to_string(n + 1),
              caption + " <i style='font-weight:normal;'>(" + AggregateWord(l) + ")</i>");
        }
      }
    } else {
      std::string_view rest = r.agcaps;
      while (!rest.empty()) {
        size_t amp = rest.find('&', 1);
        std::string_view pair = rest.substr(rest.front() == '&' ? 1 : 0,
                                            amp == std::string_view::npos ? rest.size() : amp);
        if (pair.size() && pair.back() == '&') pair.remove_suffix(1);
        auto [alias, caption] = SplitAt(pair, "=");
        if (!alias.empty()) grid.ColumnCaption(alias, caption);
        if (amp == std::string_view::npos) break;
        rest = rest.substr(amp);
      }
    }
  }

  if (r.chart == 1) {
    grid.GraphType(r.graph);
    if (r.conly == 2) grid.GraphOnly(true);
    if (!r.legend.empty()) grid.GraphLegendColumn(r.legend);
    grid.SetGraphLabels(r.gtitle, r.ylabel, r.xlabel);
    if (!r.gflds.empty()) grid.GraphFields(r.gflds);
  }

  if (r.isproc != 1) {
    if (r.sortdef == 1) {
      if (r.rtype == 2) {
        grid.RequiredSortOrder("AUTO");
      } else {
        grid.DefaultSortOrder("1");
      }
    }
    if (r.shwsrch != 0 && !r.filters.empty()) {
      std::string text;
      for (const std::string& entry : CommaItems(r.filters)) {
        std::string shown = entry;
        ReplaceAll(shown, "|", ",");
        text += (text.empty() ? "" : "<br>") + FilterDisplayText(shown);
      }
      g.designer.designer_filter_text = text;
      g.designer.filter_text_summary = true;
      g.designer.filter_text_when_empty = true;
    }
  }
  for (const std::string& hidden : CommaItems(display_.hidden_fields)) grid.HiddenColumn(hidden);

  const bool first_request = host_.request->FormFields().Count() == 0;
  if (display_.override_page_size >= 0) {
    grid.PageSize(static_cast<int16_t>(std::min<int32_t>(display_.override_page_size, 32767)));
  } else if (first_request) {
    grid.PageSize(r.pagesize > 0 ? r.pagesize : display_.default_page_size);
  }
  if (r.rtype == 2 && !r.mtbl.empty()) grid.MasterTable(r.mtbl);
  if (r.rfmt == 2) grid.IsColumnar(true);
  grid.AddRowNumbers(r.rownum != 0);
  SetColumnTotals(grid, r.coltotal != 0);
  SetColumnAverages(grid, r.colavg != 0);
  SetRowTotals(grid, r.rowtotal != 0);
  SetRowAverages(grid, r.rowavg != 0);
  if (!r.nftotal.empty()) SetTotalFields(grid, r.nftotal);
  if (!r.nfavg.empty()) SetAverageFields(grid, r.nfavg);
  if (r.grpby == 1) {
    SetAggregateFields(grid, AggregateList::kSum, r.sum);
    SetAggregateFields(grid, AggregateList::kAvg, r.avg);
    SetAggregateFields(grid, AggregateList::kMin, r.min);
    SetAggregateFields(grid, AggregateList::kMax, r.max);
    SetAggregateFields(grid, AggregateList::kStdev, r.stdev);
    SetAggregateFields(grid, AggregateList::kVar, r.var);
  }

  grid.CanFilter(permissions_.filter);
  grid.UsePopupFilters(display_.use_popup_filters);
  grid.AddTopNavigationBar(display_.add_top_navigation_bar);
  grid.ShowInactiveButtons(display_.show_inactive_buttons);
  if (display_.default_filter_field_index >= 0) {
    grid.DefaultFilterFieldIndex(display_.default_filter_field_index);
  }
  if (display_.default_filter_condition_index >= 0) {
    grid.DefaultFilterConditionIndex(display_.default_filter_condition_index);
  }
  if (!display_.print_header.empty()) grid.PrintHeader(display_.print_header);
  if (!display_.print_footer.empty()) grid.PrintFooter(display_.print_footer);
  if (display_.command_timeout > 0) grid.CommandTimeout(display_.command_timeout);
  g.designer.page_break_after_report = display_.page_break_after;
  GridPageState& p = *g.page;
  p.create_export_file = display_.create_export_file;
  p.xsl_export_template = display_.xsl_export_template;
  p.is_euro_decimal_format = display_.is_euro_decimal_format;
  p.encoding = display_.encoding;
  p.default_date_format = settings_.default_date_format;
  p.carried_query = PreservedQuery();

  if (std::shared_ptr<Connection> connection = DesignerConnection()) {
    grid.Connection(connection);
    p.connection_string = settings_.connection_string;
  }
  grid.Title(r.rtitle);
}

void Quillon2::SetStatement(DataGrid& grid, const std::string& sql) {
  if (report_.isproc != 1) {
    grid.Command(sql);
    return;
  }
  // The call is read back into the procedure and its named parameters, so
  // a typed value reaches the database as a parameter, never as SQL.
  std::optional<ProcedureCall> call = ParseProcedureCall(sql);
  if (!call) return;  // the grid then reports the missing command
  grid.SetProcedure(call->procedure);
  for (const auto& [name, value] : call->arguments) grid.AddParameter(name, value);
}

void Quillon2::WritePageScript() {
  const std::string url = host_.page_url;
  std::string out = "<script language=\"javascript\">";
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
  out += size + "window.open(" + std::string("'") + JsText(url) +
         "?args='+encodeURIComponent(f.__ARGS?f.__ARGS.value:'')+'&t='+encodeURIComponent(t)+"
         "'&a=p','wizard'," +
         features + ");}";
  out += "function ___doPostBack(erid){" + size + "window.open('" + JsText(url) +
         "?erid='+encodeURIComponent(erid)+'&a=p','wizard'," + features + ");}";
  out += "function ___ESPN(sp){" + size + "window.open('" + JsText(url) +
         "?sp='+encodeURIComponent(sp)+'&a=p','wizard'," + features + ");}";
  out += "</script>";
  WriteToPage(out);
}

void Quillon2::RenderReportPage(const std::string& reference, const std::string& sql,
                                const std::string& id) {
  const Request& request = *host_.request;
  ReportGrid grid;
  LoadLocale(&grid.grid());
  ConfigureGrid(grid.grid(), id);
  SetStatement(grid.grid(), sql);

  if (grid.ExportPending()) {
    // Hidden fields stay out of the download too: the statement is read
    // through an outer SELECT of the columns that are not hidden.
    const std::vector<std::string> hidden = CommaItems(display_.hidden_fields);
    std::shared_ptr<Connection> connection = DesignerConnection();
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
          list += (list.empty() ? "" : ",") + QuoteReportName(QueryOptions(), name, false);
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

  const bool print_view = request.Form("__FARGS") == "NSAg";
  std::string head =
      "<link type=\"text/css\" rel=\"stylesheet\" href=\"" + Html(settings_.style_sheet) + "\">";
  WriteToPage(head);
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
    std::optional<std::string> args = FindReport(name, nullptr);
    if (!args) return;
    ReadDefinition(DecodeDefinition(*args), report_);
    CurrentModuleState().field_schema = report_.schema;
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
