// The builder's pages: one writer per step, the hidden state and buttons
// of each, and the script that finishes the builder.
//
// Every value written here is encoded for its place: HTML-encoded in text
// and attributes (double-quoted), escaped for JavaScript inside scripts.
// The report password is never written: page 4 says whether one is set.
#include <algorithm>
#include <ctime>

#include "base/ascii.h"
#include "base/split.h"
#include "designer/builder/builder_labels.h"
#include "designer/builder/builder_session.h"
#include "designer/quillon2.h"
#include "designer/report_query.h"
#include "platform/web/http_text.h"

namespace fennick::designer {
namespace {

std::string Html(std::string_view text) { return Server::HTMLEncode(text); }

const char kStyle[] =
    "<style>body{background-color:#cccccc;font-family:Tahoma,sans-serif;font-size:9pt}"
    "div.main{height:180px;overflow:auto}div.main2{height:250px;overflow:auto}"
    "td,input,select,textarea{font-size:9pt}.step_title{font-weight:bold;padding:4px 0}"
    ".builder_error{color:red}</style>";

const char kScript[] =
    "<script>\n"
    "function fnkForm(){return document.forms['FNKBuilder'];}\n"
    "function fnkList(n){var b=fnkForm().elements[n];if(!b)return [];"
    "if(b.length===undefined||b.tagName=='SELECT')return [b];return b;}\n"
    "function fnkGo(n,check){var f=fnkForm();"
    "if(check){var b=fnkList('fields'),ok=false;for(var i=0;i<b.length;i++)if(b[i].checked)ok=true;"
    "if(!ok){alert('You must select the fields to display');return false;}}"
    "var o=f.elements['order'];if(o)for(var j=0;j<o.options.length;j++)o.options[j].selected=true;"
    "f.elements['index'].value=n;f.submit();return false;}\n"
    "function fnkAll(on){var b=fnkList('fields');for(var i=0;i<b.length;i++)b[i].checked=on;"
    "return false;}\n"
    "function fnkMove(how){var s=fnkForm().elements['order'];var i=s.selectedIndex;"
    "if(i<0){alert('You must first select an item to reorder!');return;}"
    "var o=s.options[i];s.remove(i);var n=s.options.length;"
    "var to=how=='top'?0:how=='up'?Math.max(0,i-1):how=='down'?Math.min(n,i+1):n;"
    "s.add(o,to<n?s.options[to]:null);for(var k=0;k<s.options.length;k++)"
    "s.options[k].selected=(k==to);}\n"
    "function fnkFormat(s){var o=s.options[s.selectedIndex],c=o.value.substr(0,2),v=null;"
    "if(c=='C3'){var u=prompt('Insert Hyperlink: (NOTE: No commas)','');if(u===null)return;"
    "var t=prompt('Link text:','#TEMP#');v='C3'+u+'-?'+(t===null?'#TEMP#':t);}"
    "else if(c=='C1'){v='C1'+prompt('Report ID:','')+'?'+prompt('Report Parameter Name:','');}"
    "else if(c=='C2'){v='C2'+prompt('True Value:','')+'?'+prompt('False Value:','');}"
    "else if(c=='C5'){v='C5'+prompt('Replacement text ({{FieldName}}, #TEMP#):','#TEMP#');}"
    "else if(c=='C7'){v='C7'+prompt('Document extension:','PDF');}"
    "else if(c=='C8'){v='C8'+prompt('Decimal places:','2');}"
    "else if(o.value=='[sql]'){v='[sql]'+prompt('SQL expression (#TEMP# is the field):',"
    "'#TEMP#')+'[/sql]';}"
    "if(v!==null){o.value=v;}}\n"
    "</script>";

std::string Checked(bool on) { return on ? " checked" : ""; }

const struct {
  int code;
  const char* words;
} kConditions[] = {
    {1, "contains"},
    {7, "does not contain"},
    {2, "is equal to"},
    {16, "is not equal to"},
    {3, "is less than"},
    {4, "is greater than"},
    {9, "is less than or equal to"},
    {8, "is greater than or equal to"},
    {5, "starts with"},
    {6, "ends with"},
    {10, "is empty"},
    {11, "is not empty"},
    {12, "IS NULL"},
    {13, "IS NOT NULL"},
    {14, "IS MAX"},
    {15, "IS MIN"},
    {18, "is below average"},
    {19, "is above average"},
    {17, "IS IN (e.g. 1,2,'A','B')"},
};

}  // namespace

std::string BuilderSession::Caption(const std::string& field) const {
  std::string caption = SchemaValue(r_.schema, field, "c", "");
  return caption.empty() ? field : caption;
}

std::string BuilderSession::FieldOptions(std::string_view selected, bool numeric_only) const {
  std::string out;
  for (const std::string& f : ReportFields(r_)) {
    if (numeric_only && !IsNumericField(f)) continue;
    out += "<option value=\"" + Html(f) + "\"" + (f == selected ? " selected" : "") + ">" +
           Html(Caption(f)) + "</option>";
  }
  return out;
}

// The field pages post their check boxes in the tables' column order; the
// order the report had travels beside them, so that it survives the page.
std::string BuilderSession::PreviousFields() const {
  return "<input type=hidden name=ofields value=\"" + Html(r_.fields) + "\">";
}

void BuilderSession::ShowPage(int page) {
  std::string body;
  std::set<std::string> own;
  switch (page) {
    case kPageFields:
      body = PageFields() + PreviousFields();
      own = {"fields", "relations", "rtype"};
      break;
    case kPageCaptions:
    case kPageProcCaptions:
      body = PageCaptions(page == kPageProcCaptions);
      if (r_.rtype == 2 && page == kPageCaptions) own = {"mtbl"};
      break;
    case kPageFilters:
      body = PageFilters();
      own = {"filters", "join", "distinct", "shwsrch", "distsrchtxt"};
      break;
    case kPageDetails:
    case kPageProcDetails:
      body = PageDetails(page == kPageProcDetails);
      own = {"rtitle", "rdesc", "pagesize", "rfmt", "reqparam"};
      if (page == kPageDetails) own.insert("grpby");
      if (context_.permissions.edit_report_id) own.insert("rid");
      if (context_.permissions.change_report_group) own.insert("rgroup");
      break;
    case kPageSummaries:
      body = PageSummaries();
      own = r_.grpby == 1 ? std::set<std::string>{"sum", "avg",   "min",   "max",      "stdev",
                                                  "var", "count", "chart", "rowtotal", "rowavg"}
                          : std::set<std::string>{"summary", "sonly", "chart", "nftotal", "nfavg"};
      break;
    case kPageAggregates:
      body = PageAggregates();
      own = {"agcaps", "nftotal", "nfavg"};
      break;
    case kPageGraphFields:
      body = PageGraphFields();
      own = {"gflds"};
      break;
    case kPageChart:
      body = PageChart();
      own = {"graph", "conly", "legend", "gtitle", "xlabel", "ylabel"};
      break;
    case kPageOrder:
      body = PageOrder();
      own = {"sortdef", "rownum"};
      break;
    case kPageProcParams:
      body = PageProcParams();
      own = {"params"};
      break;
    case kPageProcFields:
      body = PageProcFields() + PreviousFields();
      own = {"fields"};
      break;
    default:
      body = PageFields() + PreviousFields();
      own = {"fields", "relations", "rtype"};
      page = kPageFields;
      break;
  }
  std::string action = host_.page_url;
  if (!context_.preserved_query.empty()) action += "?" + context_.preserved_query;
  std::string out = "<html><head><title>Report Builder - " +
                    Html(r_.rtitle.empty() ? r_.tables : r_.rtitle) + "</title>" + kStyle +
                    kScript + "</head><body><center>";
  out += "<form name=\"FNKBuilder\" method=\"post\" action=\"" + Html(action) + "\">";
  out += "<table width=450><tr><td>";
  if (!message_.empty()) out += "<div class=builder_error>" + message_ + "</div>";
  out += body;
  out += Footer(page, own);
  out += "</td></tr></table></form></center></body></html>";
  WriteToPage(out);
}

std::string BuilderSession::Footer(int page, const std::set<std::string>& own) {
  std::string out = StateHiddenFields(r_, own);
  out += "<input type=hidden name=a value=p><input type=hidden name=src value=\"" +
         std::to_string(page) + "\"><input type=hidden name=index value=\"\">";
  out += "<input type=hidden name=tk value=\"" + Html(token_) + "\">";
  const std::vector<int> pages = PageSequence(r_, has_parameters_);
  auto at = std::find(pages.begin(), pages.end(), page);
  const size_t i = at == pages.end() ? 0 : at - pages.begin();
  const bool check = page == kPageFields || page == kPageProcFields;
  const std::string check_arg = check ? ",true" : "";
  out += "<div align=right>";
  if (page == kPageFilters) {
    out += "<input type=button value=\"Add Filter\" onclick=\"fnkGo(3)\"> ";
  }
  if (page == kPageSummaries && r_.grpby != 1) {
    out += "<input type=button value=\"Add Summary\" onclick=\"fnkGo(5)\"> ";
  }
  if (i > 0) {
    out += "<input type=button name=back value=\"&laquo; Back\" onclick=\"fnkGo(" +
           std::to_string(pages[i - 1]) + ")\"> ";
  }
  if (i + 1 < pages.size()) {
    out += "<input type=button name=next value=\"Next &raquo;\" onclick=\"fnkGo(" +
           std::to_string(pages[i + 1]) + check_arg + ")\"> ";
  }
  if (page != kPageProcParams) {
    out += "<input type=button name=finish value=\"Finish\" onclick=\"fnkGo(0" + check_arg + ")\">";
  }
  out += "</div>";
  return out;
}

std::string BuilderSession::PageFields() {
  std::string out = "<div class=step_title>Select the fields you wish to display</div>";
  out += "<div class=main>";
  auto tables = Tables();
  const std::vector<std::string> chosen = ReportFields(r_);
  if (tables) {
    const bool several = tables->size() > 1;
    for (const CheckedTable& t : *tables) {
      out += "<b>" + Html(t.name) + "</b><br>";
      for (const std::string& c : t.columns) {
        const std::string value = several ? t.name + "." + c : c;
        const bool on = std::find(chosen.begin(), chosen.end(), value) != chosen.end();
        out += "<label><input type=checkbox name=fields value=\"" + Html(value) + "\"" +
               Checked(on) + "> " + Html(c) + "</label><br>";
      }
    }
  }
  out +=
      "</div><a href=\"#\" onclick=\"return fnkAll(true)\">Check All</a> | "
      "<a href=\"#\" onclick=\"return fnkAll(false)\">Clear All</a><br>";
  out += "<label><input type=radio name=rtype value=1" + Checked(r_.rtype != 2) +
         "> Basic</label> <label><input type=radio name=rtype value=2" + Checked(r_.rtype == 2) +
         "> Master-Details</label>";
  std::string relations = r_.relations;
  if (tables && tables->size() > 1 && relations.empty()) {
    // Joins proposed from key-like columns the tables share by name: each
    // later table is paired with the first earlier one that has the column.
    BuilderSource* source = Source();
    std::vector<std::string> joins;
    for (size_t j = 1; source && j < tables->size(); ++j) {
      std::string error;
      auto later = source->TableColumns((*tables)[j].name, &error);
      if (!later) continue;
      for (const SourceColumn& c : *later) {
        const bool key_like = c.ado_type == 3 || c.ado_type == 2 || c.ado_type == 20 ||
                              ((c.ado_type == 200) && c.defined_size > 0 && c.defined_size < 10) ||
                              ((c.ado_type == 202 || c.ado_type == 130) && c.defined_size < 10);
        if (!key_like) continue;
        bool paired = false;
        for (size_t k = 0; k < j && !paired; ++k) {
          const CheckedTable& earlier = (*tables)[k];
          for (const std::string& name : earlier.columns) {
            if (EqualsIgnoreCase(name, c.name)) {
              ReportQueryOptions quoting;
              quoting.database_type = db_type_;
              joins.push_back(QuoteReportName(quoting, earlier.name + "." + name, false) + "=" +
                              QuoteReportName(quoting, (*tables)[j].name + "." + c.name, false));
              paired = true;
              break;
            }
          }
        }
      }
    }
    for (const std::string& join : joins) {
      relations += (relations.empty() ? "" : " AND ") + join;
    }
  }
  if (tables && tables->size() > 1) {
    out +=
        "<br>Enter your tables' relationship (Join fields)<br><textarea name=relations "
        "rows=2 cols=50>" +
        Html(relations) + "</textarea>";
  }
  out += "<script>try{window.resizeTo(600,340);}catch(e){}</script>";
  return out;
}

std::string BuilderSession::PageCaptions(bool procedure) {
  std::string out = "<div class=step_title>Add captions (aliases) to field names</div>";
  out += "<div class=main2><table>";
  Tables();
  const auto labels = FormatLabels();
  for (const std::string& f : ReportFields(r_)) {
    const std::string format = SchemaValue(r_.schema, f, "f", "");
    const int category = FieldCategory(f);
    out += "<tr><td>" + Html(f) + "</td><td><input type=text name=captions value=\"" +
           Html(Caption(f)) + "\"></td><td><select name=formats onchange=\"fnkFormat(this)\">";
    out += "<option value=\"\">(none)</option>";
    bool listed = format.empty();
    for (const std::string& code : FormatCodes(category)) {
      auto label = labels.find(code);
      if (label == labels.end()) continue;
      const bool on =
          format == code || (format.size() > 2 && format.substr(0, 2) == code && code[0] == 'C');
      std::string value = on ? format : code;
      listed = listed || on;
      out += "<option value=\"" + Html(value) + "\"" + (on ? " selected" : "") + ">" +
             Html(label->second) + "</option>";
    }
    if (!procedure) {
      const bool sql = StartsWithIgnoreCase(format, "[sql]");
      out += "<option value=\"" + Html(sql ? format : "[sql]") + "\"" + (sql ? " selected" : "") +
             ">SQL expression</option>";
      listed = listed || sql;
    }
    if (!listed) {
      out += "<option value=\"" + Html(format) + "\" selected>" + Html(format) + "</option>";
    }
    out += "</select></td></tr>";
  }
  out += "</table>";
  if (!procedure && r_.rtype == 2) {
    out += "Master table: ";
    for (std::string_view t : SplitTrimmed(r_.tables, ",")) {
      out += "<label><input type=radio name=mtbl value=\"" + Html(t) + "\"" +
             Checked(t == r_.mtbl) + "> " + Html(t) + "</label> ";
    }
  }
  out += "</div>";
  return out;
}

std::string BuilderSession::PageFilters() {
  const Request& request = *host_.request;
  std::string out = "<div class=step_title>Add filters to your report</div><div class=main2>";
  // Only the report's own fields are listed, and only their values read.
  const std::vector<std::string> fields = ReportFields(r_);
  std::string selected = request.Form("search_field");
  if (std::find(fields.begin(), fields.end(), selected) == fields.end()) {
    selected = fields.empty() ? std::string() : fields.front();
  }
  out += "<select name=search_field";
  if (r_.distsrchtxt == 1) {
    out += " onchange=\"fnkForm().elements['no_add_search'].value='1';fnkGo(3)\"";
  }
  out += ">" + FieldOptions(selected, false) + "</select> <select name=search_condition>";
  out += "<option value=0></option>";
  for (const auto& c : kConditions) {
    out += "<option value=" + std::to_string(c.code) + ">" + Html(c.words) + "</option>";
  }
  out += "</select> ";
  out += "<input type=hidden name=no_add_search value=\"\">";
  std::vector<std::string> values;
  auto checker = r_.distsrchtxt == 1 && !selected.empty() ? Checker() : std::nullopt;
  std::string error;
  const std::string column = checker ? checker->FindColumn(selected, &error) : std::string();
  if (!column.empty()) {
    const size_t dot = column.rfind('.');
    const bool one_table = checker->tables().size() == 1;
    ReportRunValues run;
    Session* session = host_.session;
    run.session = [session](std::string_view name) { return session->Get(name).AsString(); };
    run.parameter = [](std::string_view) { return std::optional<std::string>(); };
    run.now = std::time(nullptr);
    values = Source()->DistinctValues(
        one_table ? checker->tables().front().name : column.substr(0, dot),
        one_table || dot == std::string::npos ? column : column.substr(dot + 1), 500,
        context_.query, run);
  }
  if (r_.distsrchtxt == 1) {
    out += "<select name=search_text>";
    for (const std::string& v : values) {
      out += "<option value=\"" + Html(v) + "\">" + Html(v) + "</option>";
    }
    out += "</select>";
  } else {
    out += "<input type=text name=search_text value=\"\">";
  }
  out += "<br><label><input type=checkbox name=distsrchtxt value=1" + Checked(r_.distsrchtxt == 1) +
         " onclick=\"fnkForm().elements['no_add_search'].value='1';fnkGo(3)\"> Pick from the "
         "field's values</label>";
  out += "<br><label><input type=radio name=join value=1" + Checked(r_.join != 2) +
         "> AND</label> <label><input type=radio name=join value=2" + Checked(r_.join == 2) +
         "> OR</label> <label><input type=checkbox name=distinct value=1" +
         Checked(r_.distinct == 1) +
         "> Distinct</label> <label><input type=checkbox name=shwsrch "
         "value=1" +
         Checked(r_.shwsrch == 1) + "> Display filter(s)?</label><br>";
  for (std::string_view entry : SplitView(r_.filters, ",")) {
    if (entry.empty()) continue;
    // The words of the condition are the component's own markup; the
    // field and value around them are encoded.
    std::string shown = FilterDisplayText(Html(entry));
    out += "<label><input type=checkbox name=filters value=\"" + Html(entry) + "\" checked> " +
           shown + "</label><br>";
  }
  out += "</div>";
  return out;
}

std::string BuilderSession::PageDetails(bool procedure) {
  std::string out = "<div class=step_title>Add a title and description to your report</div>";
  out += "<table>";
  out += "<tr><td>Report Title:</td><td><input type=text name=rtitle size=40 value=\"" +
         Html(r_.rtitle) + "\"></td></tr>";
  out += "<tr><td>Report ID:</td><td>";
  if (context_.permissions.edit_report_id) {
    out += "<input type=text name=rid size=20 value=\"" + Html(r_.rid) + "\">";
    if (r_.rid.empty()) out += " <i>(given when saved if left empty)</i>";
  } else {
    out += r_.rid.empty() ? "<i>(given when saved)</i>" : Html(r_.rid);
  }
  out += "</td></tr>";
  out += "<tr><td>Page Size:</td><td><input type=text name=pagesize size=4 value=\"" +
         std::to_string(r_.pagesize) + "\"></td></tr>";
  out += "<tr><td>Report format:</td><td><label><input type=radio name=rfmt value=2" +
         Checked(r_.rfmt == 2) + "> Columnar</label> <label><input type=radio name=rfmt value=1" +
         Checked(r_.rfmt != 2) + "> Tabular</label></td></tr>";
  if (!procedure) {
    out += "<tr><td></td><td><label><input type=checkbox name=grpby value=1" +
           Checked(r_.grpby == 1) + "> Summary report</label></td></tr>";
  }
  out += "<tr><td>Report Description:</td><td><textarea name=rdesc rows=2 cols=30>" +
         Html(r_.rdesc) + "</textarea></td></tr>";
  // The password itself never comes back to the browser.
  bool has_password = false;
  if (!r_.rpwd.empty()) {
    auto typed = OpenBuilderPassword(r_.rpwd, session_id_);
    has_password = typed && !typed->empty();
  } else if (!ticket_.edited_id.empty()) {
    has_password = !Stored().rpwd.empty();
  }
  out += "<tr><td>Password:</td><td>";
  out +=
      has_password ? "<i>A password is set.</i> New password: " : "<i>No password.</i> Password: ";
  out += "<input type=password name=newpwd size=12 value=\"\" autocomplete=\"new-password\">";
  if (has_password) {
    out += " <label><input type=checkbox name=clearpwd value=1> Clear it</label>";
  }
  out += "</td></tr>";
  out += "<tr><td>Group:</td><td>";
  if (context_.permissions.change_report_group) {
    out += "<select name=rgroup>";
    for (const GroupEntry& g : ReportsFile(context_.reports_file).Groups()) {
      out += "<option value=\"" + Html(g.id) + "\"" +
             (EqualsIgnoreCase(g.id, r_.rgroup) ? " selected" : "") + ">" + Html(g.title) +
             "</option>";
    }
    out += "</select>";
  } else {
    out += Html(r_.rgroup.empty() ? "(default group)" : r_.rgroup);
  }
  out += "</td></tr>";
  const bool has_parameters = r_.filters.find("__?") != std::string::npos ||
                              (!r_.filters.empty() && r_.filters.find('?') != std::string::npos);
  if (has_parameters) {
    out += "<tr><td>Parameter(s) Caption:</td><td><input type=text name=reqparam value=\"" +
           Html(r_.reqparam.empty() ? "Required Parameter(s)" : r_.reqparam) + "\"></td></tr>";
  } else {
    out += "<input type=hidden name=reqparam value=\"" + Html(r_.reqparam) + "\">";
  }
  out += "</table>";
  return out;
}

std::string BuilderSession::PageSummaries() {
  std::string out;
  const std::vector<std::string> fields = ReportFields(r_);
  Tables();
  if (r_.grpby == 1) {
    out += "<div class=step_title>Select summary types</div><div class=main2><table>";
    out +=
        "<tr><th></th><th>SUM</th><th>AVG</th><th>MIN</th><th>MAX</th><th>STDEV</th>"
        "<th>VAR</th></tr>";
    const std::pair<const char*, const std::string*> lists[] = {
        {"sum", &r_.sum}, {"avg", &r_.avg},     {"min", &r_.min},
        {"max", &r_.max}, {"stdev", &r_.stdev}, {"var", &r_.var}};
    for (const std::string& f : fields) {
      if (!IsNumericField(f)) continue;
      out += "<tr><td>" + Html(Caption(f)) + "</td>";
      for (const auto& [name, list] : lists) {
        const std::vector<std::string> chosen = SplitText(*list, ", ");
        const bool on = std::find(chosen.begin(), chosen.end(), f) != chosen.end();
        out += "<td><input type=checkbox name=" + std::string(name) + " value=\"" + Html(f) + "\"" +
               Checked(on) + "></td>";
      }
      out += "</tr>";
    }
    out += "</table><label><input type=checkbox name=count value=1" + Checked(r_.count == 1) +
           "> Add record count</label> <label><input type=checkbox name=chart value=1" +
           Checked(r_.chart == 1) +
           "> Add graph</label> <label><input type=checkbox "
           "name=rowtotal value=1" +
           Checked(r_.rowtotal == 1) +
           "> Sum row</label> <label>"
           "<input type=checkbox name=rowavg value=1" +
           Checked(r_.rowavg == 1) + "> Average row</label></div>";
    return out;
  }
  out += "<div class=step_title>Add summaries to your report</div><div class=main2>";
  out += "Summary Field: <select name=summary_field><option value=\"\"></option>" +
         FieldOptions("", false) + "</select><br>Summary type: <select name=summary_type>";
  const char* const labels[][2] = {{"SUM", "Sum total"},      {"AVG", "Average"},
                                   {"MIN", "Minimum value"},  {"MAX", "Maximum value"},
                                   {"COUNT", "Record Count"}, {"STDEV", "Standard deviation"},
                                   {"VAR", "Variance"}};
  for (const auto& l : labels) {
    out += "<option value=" + std::string(l[0]) + ">" + l[1] + "</option>";
  }
  out += "</select><br>Summary Description: <input type=text name=summary_text value=\"\"><br>";
  for (std::string_view entry : SplitView(r_.summary, ",")) {
    if (entry.empty()) continue;
    out += "<label><input type=checkbox name=summary value=\"" + Html(entry) + "\" checked> " +
           Html(SummaryLabel(entry)) + "</label><br>";
  }
  out += "<label><input type=radio name=sonly value=1" + Checked(r_.sonly != 2) +
         "> show summary &amp; report</label> <label><input type=radio name=sonly value=2" +
         Checked(r_.sonly == 2) + "> show summary only</label><br>";
  out += "<label><input type=checkbox name=chart value=1" + Checked(r_.chart == 1) +
         "> Add graph</label><br><b>Add Footers</b><table><tr><th></th><th>SUM</th><th>AVG</th>"
         "</tr>";
  const std::vector<std::string> totals = SplitText(r_.nftotal, ", ");
  const std::vector<std::string> averages = SplitText(r_.nfavg, ", ");
  for (const std::string& f : fields) {
    if (!IsNumericField(f)) continue;
    const bool t = std::find(totals.begin(), totals.end(), f) != totals.end();
    const bool a = std::find(averages.begin(), averages.end(), f) != averages.end();
    out += "<tr><td>" + Html(Caption(f)) +
           "</td><td><input type=checkbox name=chkNfTotal "
           "value=\"" +
           Html(f) + "\"" + Checked(t) +
           "></td><td><input type=checkbox "
           "name=chkNfAvg value=\"" +
           Html(f) + "\"" + Checked(a) + "></td></tr>";
  }
  out += "</table></div>";
  return out;
}

std::string BuilderSession::PageAggregates() {
  std::string out =
      "<div class=step_title>Select the fields to add footers</div><div "
      "class=main2><table><tr><th>Column</th><th>Caption</th><th>SUM</th>"
      "<th>AVG</th></tr>";
  const std::vector<std::string> totals = SplitText(r_.nftotal, ", ");
  const std::vector<std::string> averages = SplitText(r_.nfavg, ", ");
  for (const AggregateColumn& c : AggregateColumns(r_)) {
    std::string caption = AggregateCaption(r_.agcaps, c.alias);
    if (caption.empty()) caption = c.field.empty() ? "Count" : Caption(c.field);
    const bool t = std::find(totals.begin(), totals.end(), c.alias) != totals.end();
    const bool a = std::find(averages.begin(), averages.end(), c.alias) != averages.end();
    out += "<tr><td>" + Html(c.label) + "</td><td><input type=text name=\"txtAgCaps" +
           Html(c.alias) + "\" value=\"" + Html(caption) +
           "\"></td><td><input type=checkbox "
           "name=chkNfTotal value=\"" +
           Html(c.alias) + "\"" + Checked(t) +
           "></td><td><input "
           "type=checkbox name=chkNfAvg value=\"" +
           Html(c.alias) + "\"" + Checked(a) + "></td></tr>";
  }
  out += "</table></div>";
  return out;
}

std::string BuilderSession::PageGraphFields() {
  std::string out =
      "<div class=step_title>Select the fields to display on chart</div><div "
      "class=main2>";
  const std::vector<std::string> chosen = SplitText(r_.gflds, ", ");
  auto box = [&](const std::string& value, const std::string& label) {
    const bool on = std::find(chosen.begin(), chosen.end(), value) != chosen.end();
    return "<label><input type=checkbox name=gflds value=\"" + Html(value) + "\"" + Checked(on) +
           "> " + Html(label) + "</label><br>";
  };
  Tables();
  if (r_.grpby == 1) {
    for (const AggregateColumn& c : AggregateColumns(r_)) {
      out += box(c.alias, c.field.empty() ? "Count"
                                          : c.alias.substr(0, c.alias.find('_')) + " (" +
                                                Caption(c.field) + ")");
    }
  } else {
    for (const std::string& f : ReportFields(r_)) {
      if (IsNumericField(f)) out += box(f, Caption(f));
    }
  }
  out += "</div>";
  return out;
}

std::string BuilderSession::PageChart() {
  std::string out = "<div class=step_title>Chart Options</div><table>";
  const char* const types[][2] = {{"1", "Basic"}, {"2", "Stacked"}, {"3", "Relative"}};
  out += "<tr><td>Graph type:</td><td>";
  for (const auto& t : types) {
    out += "<label><input type=radio name=graph value=" + std::string(t[0]) +
           Checked(std::to_string(r_.graph == 0 ? 1 : r_.graph) == t[0]) + "> " + t[1] +
           " <span style=\"display:inline-block;width:6px;height:12px;background:#336699\">"
           "</span><span style=\"display:inline-block;width:6px;height:8px;background:#cc6633\">"
           "</span></label> ";
  }
  out += "</td></tr><tr><td></td><td><label><input type=radio name=conly value=1" +
         Checked(r_.conly != 2) +
         "> show graph &amp; report</label> <label><input type=radio "
         "name=conly value=2" +
         Checked(r_.conly == 2) + "> show graph only</label></td></tr>";
  out +=
      "<tr><td>Select the Legend Field</td><td><select name=legend><option value=\"\">"
      "</option>" +
      FieldOptions(r_.legend, false) + "</select></td></tr>";
  out += "<tr><td colspan=2><b>Graph Labels</b></td></tr>";
  out += "<tr><td>Title:</td><td><input type=text name=gtitle value=\"" + Html(r_.gtitle) +
         "\"></td></tr><tr><td>Y-Label:</td><td><input type=text name=ylabel value=\"" +
         Html(r_.ylabel) +
         "\"></td></tr><tr><td>X-Label:</td><td><input type=text name=xlabel "
         "value=\"" +
         Html(r_.xlabel) + "\"></td></tr></table>";
  return out;
}

std::string BuilderSession::PageOrder() {
  std::string out =
      "<div class=step_title>Re-Order your table fields</div><table><tr><td>"
      "<select name=order size=10 multiple style=\"width:250px\">";
  for (const std::string& f : ReportFields(r_)) {
    out += "<option value=\"" + Html(f) + "\">" + Html(Caption(f)) + "</option>";
  }
  out +=
      "</select></td><td><input type=button value=Top onclick=\"fnkMove('top')\"><br>"
      "<input type=button value=Up onclick=\"fnkMove('up')\"><br><input type=button "
      "value=Down onclick=\"fnkMove('down')\"><br><input type=button value=Bottom "
      "onclick=\"fnkMove('bottom')\"></td></tr></table>";
  out += "<label><input type=checkbox name=sortdef value=1" + Checked(r_.sortdef == 1) +
         "> Set as default sort order</label> <label><input type=checkbox name=rownum value=1" +
         Checked(r_.rownum == 1) + "> Add row numbers</label>";
  return out;
}

std::string BuilderSession::PageProcParams() {
  std::string out = "<div><b>" + Html(r_.tables) + "</b> - enter the parameter values</div>";
  const std::vector<SourceParameter> parameters = ProcedureParameters();
  const std::map<std::string, std::string> values = ParameterValues();
  out += "<table>";
  int n = 0;
  for (const SourceParameter& p : parameters) {
    ++n;
    auto given = values.find(p.name);
    const std::string num = std::to_string(n);
    out += "<tr><td>" + Html(p.name) + "</td><td><input type=text name=p_value" + num +
           " value=\"" + Html(given == values.end() ? "" : given->second) +
           "\">"
           "<input type=hidden name=p_name" +
           num + " value=\"" + Html(p.name) +
           "\">"
           "<input type=hidden name=p_type" +
           num + " value=\"" + std::to_string(p.category) + "\"></td></tr>";
  }
  out += "</table><input type=hidden name=p_count value=\"" + std::to_string(n) + "\">";
  return out;
}

std::string BuilderSession::PageProcFields() {
  std::string out =
      "<div class=step_title>Select the fields you want to display</div>"
      "<div class=main>";
  auto columns = ProcedureColumns();
  if (!columns) {
    out += "<font color=red>Invalid Procedure Type</font>";
  } else if (columns->empty()) {
    out += "<font color=red>Your stored procedure does not return any fields</font>";
  } else {
    const std::vector<std::string> chosen = ReportFields(r_);
    for (const SourceColumn& c : *columns) {
      const bool on = std::find(chosen.begin(), chosen.end(), c.name) != chosen.end();
      out += "<label><input type=checkbox name=fields value=\"" + Html(c.name) + "\"" +
             Checked(on) + "> " + Html(c.name) + "</label><br>";
    }
  }
  out +=
      "</div><a href=\"#\" onclick=\"return fnkAll(true)\">Check All</a> | "
      "<a href=\"#\" onclick=\"return fnkAll(false)\">Clear All</a>";
  return out;
}

void BuilderSession::WriteFinishScript(const std::string& id) {
  std::string url = host_.page_url + "?rid=" + Server::URLEncode(id);
  if (!context_.preserved_query.empty()) url += "&" + context_.preserved_query;
  std::string out = "<html><head><title>Report saved</title></head><body>";
  out += "<p>The report has been saved. <a id=fnkSaved href=\"" + Html(url) + "\">Show it</a></p>";
  out += "<script>(function(){var u='" + JsStringBody(url) +
         "';if(window.opener&&!window.opener.closed){window.opener.location.href=u;"
         "window.close();}else{window.location.href=u;}})();</script></body></html>";
  WriteToPage(out);
}

void BuilderSession::ShowTableChooser() {
  std::string out = "<html><head><title>Report Builder</title>" + std::string(kStyle) +
                    "</head><body><center><form name=\"FNKBuilder\" method=\"get\" action=\"" +
                    Html(host_.page_url) + "\"><table width=450><tr><td>";
  out += "<div class=step_title>Select the tables for your report</div><div class=main2>";
  BuilderSource* source = Source();
  if (!source) {
    out += "<div class=builder_error>" + message_ + "</div>";
  } else {
    SchemaListSettings settings = context_.schema;
    if (settings.database_type <= 0) settings.database_type = db_type_;
    for (const ObjectSection& section : ListOfferedObjects(*connection_, settings)) {
      out += "<b>" + Html(section.default_caption) + "</b><br>";
      for (const OfferedObject& object : section.objects) {
        if (object.type == CatalogObjectType::kProcedure) {
          out += "<a href=\"" +
                 Html(host_.page_url + "?a=p&sp=" +
                      Server::URLEncode(
                          EncodeDefinition(object.name + "|+|" + object.name + " Report"))) +
                 "\">" + Html(object.name) + "</a><br>";
        } else {
          out += "<label><input type=checkbox name=t value=\"" + Html(object.name) + "\"> " +
                 Html(object.name) + "</label><br>";
        }
      }
    }
  }
  out +=
      "</div><input type=hidden name=a value=p><div align=right><input type=submit "
      "name=next value=\"Next &raquo;\"></div></td></tr></table></form></center></body>"
      "</html>";
  WriteToPage(out);
}

}  // namespace fennick::designer
