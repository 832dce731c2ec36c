// The designer object: properties, Init and its administrative actions,
// and the dispatch of DisplayReports.
#include "designer/quillon2.h"

#include <atomic>
#include <set>

#include "base/ascii.h"
#include "designer/action_token.h"
#include "designer/builder/report_builder.h"
#include "designer/designer_resources.h"
#include "designer/locale_file.h"
#include "designer/report_id.h"
#include "designer/reports_file.h"
#include "designer/schema_discovery.h"
#include "platform/crypto/seal.h"
#include "platform/web/private_files.h"

namespace fennick::designer {
namespace {

// Query keys the designer reads itself; they are not carried along in the
// links it writes.
const std::set<std::string, std::less<>> kOwnKeys = {
    "a",  "id", "gi",     "gn",    "rid",    "erid",    "t",     "tk",  "closewin", "args",
    "sp", "et", "delgrp", "__sql", "__args", "__fargs", "__cls", "pwd", "rurl2",    "__cqs"};

std::string Html(std::string_view text) { return Server::HTMLEncode(text); }

// A report list as the catalogue tests it: ",HR,MKTG,".
std::string ListValue(std::string_view value) {
  std::string list = AsciiUpper(TrimBlanks(value));
  ReplaceAll(list, ", ", ",");
  if (list.empty()) return list;
  return "," + list + ",";
}

}  // namespace

void ShowMessagePage(std::string_view title, std::string_view text, std::string_view colour,
                     std::string_view return_url) {
  std::string out = "<title>";
  out.append(title);
  out.append("</title><table><tr><td nowrap=\"true\"><div style='background-color:lightyellow;"
             "border:1px solid #cccccc;padding:10px;'><font face=arial size=3 color=");
  out.append(colour);
  out.append("><b>");
  out.append(title);
  out.append("!</b><br>");
  out.append(text);
  out.append("</font><br><div align=right>");
  if (text == "Could not save report") {
    out.append("<a href=\"javascript:document.forms[0].submit()\">Try Again</a> ");
  }
  out.append("<a href=\"");
  out.append(Html(return_url));
  out.append("\" title=\"Return home\">Return</a></div></div></td></tr></table>");
  WriteToPage(out);
}

Quillon2::Quillon2() : host_(BindHostContext("Quillon2")) {
  settings_.reports_file = MapSitePath("reports.xml");
  MarkPrivateFile(settings_.reports_file);
  settings_.home_url = ReturnAddress();
}

std::filesystem::path Quillon2::MapSitePath(std::string_view value) const {
  // "\" marks a physical path on the component's old home; here every path
  // is read with "/" and stays inside the site.
  std::string path(value);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return host_.server->MapPath(path);
}

void Quillon2::ReportsFile(std::string_view value) {
  settings_.reports_file = MapSitePath(value.empty() ? "reports.xml" : value);
  // Whatever the file is called, the static handler never sends it.
  MarkPrivateFile(settings_.reports_file);
}

void Quillon2::ImagesUrl(std::string_view value) {
  settings_.images_url = value;
  if (settings_.images_url.empty() || settings_.images_url.back() != '/') {
    settings_.images_url.push_back('/');
  }
}

void Quillon2::HiddenReports(std::string_view value) { settings_.hidden_reports = ListValue(value); }
void Quillon2::UseReports(std::string_view value) { settings_.use_reports = ListValue(value); }
void Quillon2::HideReportsWithIDs(std::string_view value) {
  settings_.hide_report_ids = ListValue(value);
}
void Quillon2::UseReportsWithIDs(std::string_view value) {
  settings_.use_report_ids = ListValue(value);
}

void Quillon2::LocaleFile(std::string_view value) {
  settings_.locale_file = value.empty() ? std::filesystem::path() : MapSitePath(value);
  settings_.locale_from_request = false;
  if (!settings_.locale_file.empty()) MarkPrivateFile(settings_.locale_file);
}

void Quillon2::LocaleFolder(std::string_view value) {
  settings_.locale_folder = MapSitePath(value.empty() ? "." : value);
  settings_.auto_detect_locale = true;
}

void Quillon2::CodePage(int16_t value) { host_.response->CodePage(value); }
void Quillon2::LCID(int16_t value) { host_.response->LCID(value); }

std::string Quillon2::PreservedQuery() const {
  std::string out;
  const FieldList& fields = host_.request->QueryFields();
  for (size_t i = 0; i < fields.Count(); ++i) {
    if (kOwnKeys.count(AsciiLower(fields.Name(i)))) continue;
    for (const std::string& value : *fields.Values(fields.Name(i))) {
      if (!out.empty()) out.push_back('&');
      out.append(Server::URLEncode(fields.Name(i)));
      out.push_back('=');
      out.append(Server::URLEncode(value));
    }
  }
  return out;
}

std::string Quillon2::ReturnAddress() const {
  std::string query = PreservedQuery();
  return query.empty() ? host_.page_url : host_.page_url + "?" + query;
}

std::string Quillon2::StyleSheetHtml() {
  if (style_written_) return "";
  style_written_ = true;
  const std::string sheet(TrimBlanks(settings_.style_sheet));
  if (sheet.empty()) return "";
  const std::string link =
      "<link type=\"text/css\" rel=\"stylesheet\" href=\"" + Html(sheet) + "\">";
  if (sheet.find(':') != std::string::npos || sheet.rfind("//", 0) == 0) return link;
  std::filesystem::path path;
  try {
    path = MapSitePath(sheet.substr(0, sheet.find_first_of("?#")));
  } catch (const Error&) {
    return link;  // not a file of the site: the browser asks for it
  }
  std::error_code error;
  if (std::filesystem::is_regular_file(path, error)) return link;
  // Without a file to link, the page carries the built-in sheet: a page
  // written with no style sheet still looks finished, and asks for nothing
  // that answers 404.
  return "<style>" + std::string(DefaultStyleSheetText()) + "</style>";
}

void Quillon2::DetectLocale() {
  if (!settings_.auto_detect_locale || !settings_.locale_file.empty()) return;
  if (settings_.locale_folder.empty()) settings_.locale_folder = MapSitePath(".");
  DetectedLocale detected = DetectLocaleFile(
      settings_.locale_folder, host_.request->ServerVariables("HTTP_ACCEPT_LANGUAGE"));
  settings_.locale_file = detected.path;
  settings_.locale_from_request = detected.from_request;
  MarkPrivateFile(settings_.locale_file);
}

std::string Quillon2::ReadLocale(std::string_view name, std::string_view fallback) {
  if (settings_.locale_file.empty()) return std::string(fallback);
  MarkPrivateFile(settings_.locale_file);
  std::string error;
  std::string text = ReadLocaleText(settings_.locale_file, name, fallback, &error);
  if (!error.empty()) {
    ShowMessagePage("Invalid XML Document",
                    "Your language file <b>'" + Html(settings_.locale_file.filename().string()) +
                        "'</b> is either corrupt or does not exist.<br><br>" + Html(error),
                    "red", ReturnAddress());
  }
  return text;
}

void Quillon2::LoadLocale(DataGrid* grid) {
  if (settings_.locale_file.empty()) return;
  MarkPrivateFile(settings_.locale_file);
  LocaleTexts locale = LoadLocaleTexts(settings_.locale_file, !settings_.locale_from_request);
  if (!locale.ok()) {
    ShowMessagePage("Invalid XML Document",
                    "Your language file <b>'" + Html(settings_.locale_file.filename().string()) +
                        "'</b> is either corrupt or does not exist.<br><br>" + Html(locale.error),
                    "red", ReturnAddress());
    return;
  }
  const std::pair<const char*, std::string ButtonTexts::*> buttons[] = {
      {"closetext", &ButtonTexts::close_text},   {"closetitle", &ButtonTexts::close_title},
      {"hometext", &ButtonTexts::home_text},     {"hometitle", &ButtonTexts::home_title},
      {"buildtext", &ButtonTexts::build_text},   {"buildtitle", &ButtonTexts::build_title}};
  for (const auto& [name, value] : locale.texts) {
    const std::string key = AsciiLower(name);
    bool is_button = false;
    for (const auto& [button, member] : buttons) {
      if (key == button) {
        buttons_.*member = value;
        is_button = true;
      }
    }
    if (!is_button && grid) grid->SetDisplayText(key, value);
  }
}

std::string Quillon2::GroupOptions(std::string_view selected) const {
  LoadedReports loaded = designer::ReportsFile(settings_.reports_file).Open();
  if (!loaded.ok()) return "<option>ERROR! REPORTS NOT FOUND</Option>";
  std::string out;
  for (const GroupEntry& group : loaded.reports->groups()) {
    out += group.id == selected ? "<option selected value=\"" : "<option value=\"";
    out += Html(group.id) + "\">" + Html(group.title) + "</option>";
  }
  return out;
}

void Quillon2::Init(std::string_view connection_string) {
  DetectLocale();
  settings_.connection_string = connection_string;
  const std::string action(TrimBlanks(host_.request->QueryString("a")));
  if (!action.empty()) {
    RunAction(action);
    host_.response->End();
  }
  const Request& request = *host_.request;
  if (request.Form("a") == "p") {
    RunBuilder();
    host_.response->End();
  }
  // An export button of a report page ("4fmt:..." in the designer's
  // Base64): the export runs here, whatever the page would call next. What
  // runs is the page's sealed statement for this session, opened and
  // matched with its sealed reference as any post of a report page is; a
  // post without the designer's fields is another grid's, left to it.
  if (request.Form("__FARGS").rfind("NGZtd", 0) == 0 && !request.Form("__SQL").empty()) {
    TablePostBack();
    host_.response->End();
  }
}

void Quillon2::RunAction(std::string_view action) {
  if (action == "d") {
    DeleteAction(false);
  } else if (action == "d2") {
    DeleteAction(true);
  } else if (action == "p") {
    RunBuilder();
  } else if (action == "c") {
    CreateFileAction();
  } else if (action == "g") {
    SaveGroupAction();
  } else if (action == "n") {
    WriteGroupEntryPage();
  } else if (action == "b") {
    ImportReportsFiles();
  } else if (action == "s") {
    ScheduleAction();
  } else if (action == "j") {
    // The popup filter window of a report page: a grid created on this
    // request writes it from the session's filters and ends the page.
    DataGrid popup;
  }
  // "i" and unknown actions: nothing (the page ends all the same).
}

namespace {
std::atomic<SchedulePageHandler> schedule_page{nullptr};
}  // namespace

void InstallSchedulePage(SchedulePageHandler handler) { schedule_page.store(handler); }

void Quillon2::ScheduleAction() {
  const SchedulePageHandler page = schedule_page.load();
  if (!permissions_.schedule_reports || page == nullptr) {
    host_.response->Status("403 Forbidden");
    ShowMessagePage("Access Denied", "You are not allowed to do this.", "red", ReturnAddress());
    return;
  }
  page(*this);
}

void Quillon2::RequireAllowed(std::string_view action, bool group_exists) {
  const bool allowed = ActionAllowed(permissions_, action, group_exists);
  std::string token = host_.request->QueryString(kTokenField);
  if (token.empty()) token = host_.request->Form(kTokenField);
  const bool token_ok = CheckActionToken(token, host_.session->SessionID(), action);
  if (allowed && token_ok) return;
  host_.response->Status("403 Forbidden");
  ShowMessagePage("Access Denied",
                  allowed ? "This link has expired or did not come from this site. Please "
                            "return to the reports and try again."
                          : "You are not allowed to do this.",
                  "red", ReturnAddress());
  host_.response->End();
}

void Quillon2::DeleteAction(bool is_group) {
  RequireAllowed(is_group ? "d2" : "d", false);
  const std::string id = NormalizeId(host_.request->QueryString(is_group ? "gi" : "id"));
  if (id.empty() && !is_group) {
    host_.response->Redirect(ReturnAddress());
  }
  designer::ReportsFile file(settings_.reports_file);
  bool found = false;
  FileResult result = file.Delete(id, is_group, &found);
  if (!result.ok()) {
    host_.response->Status(FileStatusLine(result.status));
    ShowMessagePage("Errors Occured", Html(result.error), "red", ReturnAddress());
    return;
  }
  if (!found) {
    const std::string kind = is_group ? "Group" : "Report";
    host_.response->Status("404 Not Found");
    ShowMessagePage(kind + " Not Found",
                    "The " + AsciiLower(kind) + " (" + Html(id) +
                        ") you are trying to delete has not been found",
                    "red", ReturnAddress());
    return;
  }
  host_.response->Redirect(ReturnAddress());
}

void Quillon2::CreateFileAction() {
  RequireAllowed("c", false);
  FileResult result = designer::ReportsFile(settings_.reports_file).Create();
  if (!result.ok()) {
    host_.response->Status(FileStatusLine(result.status));
    ShowMessagePage("Errors Occured", Html(result.error), "red", ReturnAddress());
    return;
  }
  host_.response->Redirect(ReturnAddress());
}

void Quillon2::SaveGroupAction() {
  const std::string id = NormalizeId(host_.request->QueryString("gi"));
  const std::string title(TrimBlanks(host_.request->QueryString("gn")));
  designer::ReportsFile file(settings_.reports_file);
  bool exists = false;
  for (const GroupEntry& group : file.Groups()) exists = exists || group.id == id;
  RequireAllowed("g", exists);
  if (id.empty() || title.empty()) host_.response->Redirect(ReturnAddress());
  if (!exists && !IsAcceptableNewId(id)) {
    host_.response->Status("422 Unprocessable Content");
    ShowMessagePage("Errors Occured",
                    "A group id may hold only letters, digits, \"-\" and \"_\": " + Html(id),
                    "red", ReturnAddress());
    return;
  }
  FileResult result =
      file.SaveGroup(id, title, permissions_.add_group, permissions_.edit_group);
  if (!result.ok()) {
    host_.response->Status(FileStatusLine(result.status));
    ShowMessagePage("Errors Occured", Html(result.error), "red", ReturnAddress());
    return;
  }
  host_.response->Redirect(ReturnAddress());
}

void Quillon2::NotBuiltYet(std::string_view what) {
  ShowMessagePage("Not Available", std::string(what) + " is not built yet in this version.",
                  "navy", ReturnAddress());
}

void Quillon2::DisplayReports() {
  const Request& request = *host_.request;
  if (request.FormFields().Count() == 0) {
    const std::string rid(TrimBlanks(request.QueryString("rid")));
    const std::string table(TrimBlanks(request.QueryString("t")));
    if (!rid.empty()) {
      DisplayReport(rid);
      return;
    }
    if (!table.empty()) {
      // A password proof names its report; a proof that does not open
      // names nothing, and the table is shown (when offered) instead.
      const std::string proof = request.QueryString("erid");
      if (!proof.empty()) {
        try {
          auto parts = OpenSealedParts(SealPurpose::kReportPassword, proof, 3);
          if (parts) {
            DisplayReport((*parts)[0]);
            return;
          }
        } catch (const Error&) {
          // Ignoring errors on purpose: without a server secret no proof
          // opens.
        }
      }
      std::optional<ObjectLink> link = ReadObjectLink(table);
      if (!link) {
        DisplayTable("");
        return;
      }
      DisplayTable(link->type == CatalogObjectType::kProcedure ? "-" + link->name : link->name);
      return;
    }
    WriteCatalogue();
    return;
  }
  const std::string form_action = request.Form("a");
  if (form_action == "p") {
    RunBuilder();
    host_.response->End();
  }
  if (form_action == "q") {
    PasswordCheck();
    return;
  }
  TablePostBack();
}

void Quillon2::RunBuilder() {
  BuilderContext context;
  context.reports_file = settings_.reports_file;
  context.connection_string = settings_.connection_string;
  context.permissions = permissions_;
  context.preserved_query = PreservedQuery();
  context.style_sheet = settings_.style_sheet;
  context.forced_database_type = display_.database_type;
  context.schema = ListSettings();
  context.allow_all_filters = display_.allow_all_filters;
  context.default_page_size = display_.default_page_size;
  context.use_fields = display_.use_fields;
  context.hidden_fields = display_.hidden_fields;
  context.query = QueryOptions();
  RunReportBuilder(host_, context);
}

}  // namespace fennick::designer
