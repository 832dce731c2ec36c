// The designer's pages around the reports file: the catalogue, the group
// entry page and the import page.
//
// Everything that came from the reports file or the request is encoded for
// where it goes: links are built with URL-encoded ids, attributes and text
// are HTML-encoded (by the stylesheet's serialiser in the catalogue's list,
// designer/catalogue_list.h), and the one script string (the delete
// confirmation) is escaped for script.
#include <map>

#include "base/ascii.h"
#include "designer/action_token.h"
#include "designer/catalogue_list.h"
#include "designer/definition_check.h"
#include "designer/locale_file.h"
#include "designer/quillon2.h"
#include "designer/report_id.h"
#include "designer/reports_file.h"
#include "designer/reports_upload.h"
#include "designer/schema_discovery.h"
#include "fennick/data.h"
#include "frame/error_reference.h"
#include "platform/web/http_text.h"

namespace fennick::designer {
namespace {

std::string Html(std::string_view text) { return Server::HTMLEncode(text); }

// The catalogue's own captions, from the locale file when it names them.
struct CatalogueTexts {
  std::string new_group = "New Group";
  std::string new_group_title = "Add a new group";
  std::string edit_group_title = "Edit group title";
  std::string delete_title = "delete this report";
  std::string delete_confirm = "Are you sure you want to delete this report?";
};

CatalogueTexts LoadCatalogueTexts(const DesignerSettings& settings) {
  CatalogueTexts texts;
  if (settings.locale_file.empty()) return texts;
  // A file chosen from the request exists already; the default one may be
  // written out from the built-in locale.
  LocaleTexts locale = LoadLocaleTexts(settings.locale_file, !settings.locale_from_request);
  if (!locale.ok()) return texts;
  const std::map<std::string, std::string*> keys = {
      {"NewGroupText", &texts.new_group},
      {"NewGroupTitle", &texts.new_group_title},
      {"EditGroupTitle", &texts.edit_group_title},
      {"DeleteReportTitle", &texts.delete_title},
      {"DeleteReportConfirm", &texts.delete_confirm}};
  for (const auto& [key, value] : locale.texts) {
    auto it = keys.find(key);
    if (it != keys.end()) *it->second = value;
  }
  return texts;
}

// "New Report": the builder in its own window, starting with the choice
// of tables; "&nbsp;" for users who may not add reports.
std::string NewReportLink(const std::string& path, const std::string& query,
                          const DesignerSettings& settings, bool allowed) {
  if (!allowed) return "&nbsp;";
  const std::string href = WithQuery(path + "?a=p", query);
  return "<a class=link_button href=\"" + Html(href) +
         "\" title=\"Build a new report\" onclick=\"window.open(this.href,'wizard','width=" +
         std::to_string(settings.dialog_width) +
         ",height=" + std::to_string(settings.dialog_height) +
         ",resizable=yes,scrollbars=yes');return false;\">New Report</a>";
}

// The list is the bulk of the catalogue: its pieces go straight into the
// page's buffer, grown once for them (within the page's cap: past it the
// writes refuse the page as any other would). The token is URL-safe
// Base64, which the stylesheet would have written as it is.
void WriteList(Response& response, const CatalogueList& list, std::string_view delete_token) {
  const size_t size = list.SizeWith(delete_token.size()) + 256;
  std::string& body = response.MutableBody();
  if (size <= response.MaxBytes() - body.size()) body.reserve(body.size() + size);
  for (size_t i = 0; i < list.pieces.size(); ++i) {
    if (i > 0) response.Write(delete_token);
    response.Write(list.pieces[i]);
  }
}

}  // namespace

std::string Quillon2::DatabaseObjectsColumn() {
  std::shared_ptr<Connection> connection = DesignerConnection();
  if (!connection) return "";
  std::map<std::string, std::string> texts;
  if (!settings_.locale_file.empty()) {
    LocaleTexts locale = LoadLocaleTexts(settings_.locale_file, !settings_.locale_from_request);
    if (locale.ok()) {
      for (const auto& [key, value] : locale.texts) texts[key] = value;
    }
  }
  auto caption = [&texts](std::string_view key, std::string_view fallback) {
    auto it = texts.find(std::string(key));
    return it == texts.end() ? std::string(fallback) : it->second;
  };
  const SchemaListSettings list = ListSettings();
  try {
    // Its own small form: the Build Report button hands the checked
    // tables to the page script's builder window.
    return "<td valign=\"top\"><form name=FNKObjects onsubmit=\"return false\">" +
           DatabaseObjectsHtml(ListOfferedObjects(*connection, list), list, caption, host_.page_url,
                               PreservedQuery()) +
           "</form></td>";
  } catch (const Error& e) {
    return "<td valign=\"top\"><div class=errmsg><b>Errors Occured!</b><br>Error #:" +
           std::to_string(e.number()) + "<br>" + Html(DatabaseErrorForPage(e.description())) +
           "</div></td>";
  }
}

void Quillon2::WriteCatalogue() {
  const std::string& path = host_.page_url;
  const std::string query = PreservedQuery();
  const CatalogueTexts texts = LoadCatalogueTexts(settings_);
  std::string out = StyleSheetHtml() + "<table";
  if (!settings_.width.empty()) out += " width=\"" + Html(settings_.width) + "\"";
  out += " border=0><tr>";
  if (permissions_.view_tables) {
    WritePageScript();
    out += DatabaseObjectsColumn();
  }

  LoadedReports loaded = designer::ReportsFile(settings_.reports_file).Open();
  // A file without a single group has nothing to list.
  if (loaded.ok() && !loaded.reports->groups().empty()) {
    CatalogueView view;
    view.path = path;
    view.query = query;
    view.hide_report_ids = settings_.hide_report_ids;
    view.use_report_ids = settings_.use_report_ids;
    view.use_reports = settings_.use_reports;
    view.hidden_reports = settings_.hidden_reports;
    view.link_target = settings_.report_link_target;
    view.can_delete = permissions_.delete_report;
    view.can_edit_group = permissions_.edit_group;
    view.edit_title = texts.edit_group_title;
    view.delete_title = texts.delete_title;
    view.delete_click = "return confirm('" + JsStringBody(texts.delete_confirm) + "')";
    const std::string delete_token =
        view.can_delete ? MakeActionToken(host_.session->SessionID(), "d") : "";

    out += "<td valign=\"top\"><table width=\"100%\" border=0>";
    if (permissions_.add_group) {
      out += "<tr><th width=\"100%\" class=header_cell  align=left>" + settings_.reports_title +
             "</th><td>" + NewReportLink(path, query, settings_, permissions_.add_report) +
             "</td><td align=right><a class=link_button href=\"" +
             Html(WithQuery(path + "?a=n", query)) + "\" title=\"" + Html(texts.new_group_title) +
             "\">" + texts.new_group + "</a></td></tr>";
    }
    out += "<tr><td colspan=3>";
    WriteToPage(out);
    WriteList(*host_.response, *CatalogueListOf(*loaded.reports, view), delete_token);
    WriteToPage("</td></tr></table></td>");
  } else {
    WriteToPage(out);
    if (loaded.ok()) {
      ShowMessagePage("No Reports Available", "No reports have been created at this time", "navy",
                      ReturnAddress());
    } else if (!permissions_.add_report && !permissions_.edit_report) {
      ShowMessagePage("Reports file not found",
                      "Either the reports file is corrupted or it is missing<br>Please contact "
                      "your administrator",
                      "red", ReturnAddress());
    } else {
      const std::string create = WithQuery(
          path + "?a=c&tk=" + MakeActionToken(host_.session->SessionID(), "c"), query);
      ShowMessagePage("Reports file not found",
                      "Either the reports file is corrupted or has not been created.<br>" +
                          Html(loaded.error) + "<br><a href=\"" + Html(create) +
                          "\" title=\"Create Reports file\">Click here to <b>Create a new "
                          "Reports file</b></a>",
                      "navy", ReturnAddress());
    }
  }
  WriteToPage("</tr></table><title>" + Html(settings_.title) + "</title>");
}

void Quillon2::WriteGroupEntryPage() {
  const std::string id = NormalizeId(host_.request->QueryString("gi"));
  const std::string title = host_.request->QueryString("gn");
  const bool is_new = id.empty() && title.empty();
  const bool editable = is_new ? permissions_.add_group : permissions_.edit_group;
  const std::string session = host_.session->SessionID();
  std::string out = StyleSheetHtml() + "<title>Report Group Entry</title><b>Report Group Entry</b>";
  out += "<form name=groupentry action=\"" + Html(host_.page_url) + "\" method=get><table>";
  out += "<tr><td>Group Title <i>(Short Desc.)</i>:</td><td>";
  if (editable) {
    out += "<input type=text name=gn size=30 value=\"" + Html(title) + "\"></td></tr>";
    out += "<tr><td>Group ID <i>(e.g. HR, MKTG)</i>:</td><td>";
    if (is_new || permissions_.edit_group_id) {
      out += "<input type=text name=gi size=5 value=\"" + Html(id) + "\">";
    } else {
      out += "<span style=\"border:1px solid #cccccc;padding:2px\">" + Html(id) +
             "</span><input type=hidden name=gi value=\"" + Html(id) + "\">";
    }
    out += "</td></tr><tr><td colspan=2 align=right>";
    if (!is_new && permissions_.delete_group) {
      // The delete button posts the same form as action d2, with the token
      // of that action.
      out += "<input type=button value=\"Delete Group\" onclick=\"if(confirm('Are you sure you "
             "want to\\ndelete this group and all of its reports?')){this.form.a.value='d2';"
             "this.form.tk.value='" +
             MakeActionToken(session, "d2") + "';this.form.submit();}\"> ";
    }
    out += "<input type=button value=\"Cancel\" onclick=\"history.back()\"> "
           "<input type=submit value=\"Submit\"></td></tr></table>"
           "<input type=hidden name=a value=\"g\"><input type=hidden name=delgrp value=\"\">"
           "<input type=hidden name=tk value=\"" +
           MakeActionToken(session, "g") + "\">";
  } else {
    out += "<span style=\"border:1px solid #cccccc;padding:2px\">" + Html(title) +
           "</span></td></tr><tr><td>Group ID <i>(e.g. HR, MKTG)</i>:</td><td>"
           "<span style=\"border:1px solid #cccccc;padding:2px\">" +
           Html(id) +
           "</span></td></tr><tr><td colspan=2 align=right><input type=button value=\"Return\" "
           "onclick=\"history.back()\"></td></tr></table>";
  }
  const FieldList& fields = host_.request->QueryFields();
  for (size_t i = 0; i < fields.Count(); ++i) {
    const std::string name = AsciiLower(fields.Name(i));
    if (name == "a" || name == "gi" || name == "gn" || name == "tk" || name == "id" ||
        name == "delgrp") {
      continue;
    }
    out += "<input type=hidden name=\"" + Html(fields.Name(i)) + "\" value=\"" +
           Html(fields.Get(i)) + "\">";
  }
  out += "</form>";
  WriteToPage(out);
}

void Quillon2::ImportReportsFiles() {
  const Request& request = *host_.request;
  if (request.Method() == "POST" && request.FormFields().Has("path")) {
    RequireAllowed("b", false);
    ImportUpload(request.Form("path"));
    return;
  }
  if (!ActionAllowed(permissions_, "b", false)) {
    host_.response->Status("403 Forbidden");
    ShowMessagePage("Access Denied", "You are not allowed to do this.", "red", ReturnAddress());
    return;
  }
  const std::string query = PreservedQuery();
  std::string action = host_.page_url + "?a=b";
  if (!query.empty()) action += "&" + query;
  WriteToPage("<h4>Select the ReportsFile you wish to imports</h4><form method=post "
              "enctype=\"multipart/form-data\" action=\"" +
              Html(action) +
              "\"><input type=hidden name=tk value=\"" +
              MakeActionToken(host_.session->SessionID(), "b") +
              "\">ReportsFile Path: <input type=file name=path> <input type=button "
              "value=\"Cancel\" onclick=\"history.back()\"> <input type=submit value=\"Submit\">"
              "</form>");
}

void Quillon2::ImportUpload(std::string_view text) {
  // The upload is read and every report checked before the reports file's
  // lock is taken; the lock is held only for the merge.
  UploadedReports upload = ReadUploadedReports(text);
  if (!upload.ok()) {
    host_.response->Status(upload.too_large ? "413 Content Too Large"
                                            : "422 Unprocessable Content");
    ShowMessagePage("Errors Occured", Html(upload.error), "red", ReturnAddress());
    return;
  }
  std::shared_ptr<Connection> connection = upload.reports.empty() ? nullptr : DesignerConnection();
  std::vector<std::pair<std::string, std::string>> refused;
  std::vector<UploadedReport> accepted;
  for (UploadedReport& report : upload.reports) {
    CheckPageDeadline("Quillon2.ImportReportsFiles");
    std::string reason;
    if (!report.id.empty() && !IsAcceptableNewId(report.id)) {
      reason = "A report id may hold only letters, digits, \"-\" and \"_\"";
    } else if (!connection) {
      reason = "The database cannot be opened";
    } else {
      DefinitionCheck checked = CheckStoredDefinition(
          report.args, *connection, settings_.connection_string, ListSettings(), Rules());
      reason = checked.reason;
      // What is stored is the definition as checked, naming its own id.
      checked.report.rid = report.id;
      checked.report.rgroup = report.group;
      if (checked.ok()) report.args = EncodeDefinition(WriteDefinition(checked.report));
    }
    if (reason.empty()) {
      accepted.push_back(std::move(report));
    } else {
      refused.emplace_back(report.id, std::move(reason));
    }
  }
  upload.reports = std::move(accepted);
  ImportResult result = designer::ReportsFile(settings_.reports_file).Import(upload);
  if (!result.ok()) {
    host_.response->Status(FileStatusLine(result.status));
    ShowMessagePage("Errors Occured", Html(result.error), "red", ReturnAddress());
    return;
  }
  auto list = [](const std::vector<std::string>& ids) {
    std::string text;
    for (const std::string& id : ids) {
      if (!text.empty()) text += ", ";
      text += id.empty() ? "(default group)" : Html(id);
    }
    return text.empty() ? std::string("none") : text;
  };
  std::string refusals;
  for (const auto& [id, reason] : refused) {
    refusals += "<br>Report refused: " + Html(id) + ": " + Html(reason);
  }
  ShowMessagePage("Reports Imported",
                  "Reports added: " + list(result.added_reports) +
                      "<br>Groups added: " + list(result.added_groups) +
                      "<br>Reports skipped (their ids exist): " + list(result.skipped_reports) +
                      "<br>Groups skipped (their ids exist): " + list(result.skipped_groups) +
                      refusals,
                  "navy", ReturnAddress());
}

}  // namespace fennick::designer
