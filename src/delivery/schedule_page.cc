// The schedules page of a stored report.
#include "delivery/schedule_page.h"

#include <ctime>

#include "base/ascii.h"
#include "delivery/schedules_file.h"
#include "designer/action_token.h"
#include "designer/quillon2.h"
#include "designer/report_definition.h"
#include "designer/report_id.h"
#include "designer/report_query.h"
#include "designer/reports_file.h"
#include "fennick/page.h"
#include "frame/host.h"
#include "grid/query/database_type.h"

namespace fennick::delivery {
namespace {

constexpr const char* kDays[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};

std::string Html(std::string_view text) { return Server::HTMLEncode(text); }

std::string UtcText(int64_t t) {
  if (t == 0) return "never";
  const std::time_t v = static_cast<std::time_t>(t);
  std::tm tm{};
  gmtime_r(&v, &tm);
  char out[32];
  std::strftime(out, sizeof out, "%Y-%m-%d %H:%M UTC", &tm);
  return out;
}

// What the report asks for when it runs: its required parameters, and the
// session values its statement and the hidden filters read. Nothing runs.
struct ReportNeeds {
  std::vector<std::string> parameters;
  std::vector<std::string> session_names;
};

ReportNeeds NeedsOf(designer::Quillon2& q, const std::string& args) {
  designer::ReportDefinition report;
  designer::ReadDefinition(designer::DecodeDefinition(args), report);
  const designer::DisplaySettings& d = q.display();
  designer::ReportQueryOptions options;
  options.database_type = GetDatabaseType(q.settings().connection_string, d.database_type);
  options.db_owner = d.db_owner;
  options.sql_name_prefix = d.sql_name_prefix;
  options.sql_name_suffix = d.sql_name_suffix;
  options.hidden_sql_filter = d.hidden_sql_filter;
  options.hidden_filter_list = d.hidden_filter_list;
  ReportNeeds needs;
  designer::ReportRunValues values;
  values.session = [&needs](std::string_view name) {
    bool known = false;
    for (const std::string& n : needs.session_names) known = known || EqualsIgnoreCase(n, name);
    if (!known) needs.session_names.emplace_back(name);
    // A stand-in, so that a hidden filter's token does not stop the
    // statement before every name and parameter is known.
    return std::string("0");
  };
  values.parameter = [](std::string_view) -> std::optional<std::string> { return std::nullopt; };
  values.now = std::time(nullptr);
  needs.parameters = designer::PrepareReportStatement(report, options, values).missing_parameters;
  return needs;
}

// A schedule from the posted form; the reason it cannot be one in `error`.
Schedule FromForm(const Request& r, designer::Quillon2& q, const ReportNeeds& needs,
                  Session& session, const std::string& rid, std::string* error) {
  Schedule s;
  s.id = r.Form("sid");
  s.report_id = rid;
  std::string list = r.Form("to");
  for (char& c : list) {
    if (c == ';' || c == '\n' || c == '\r' || c == ' ' || c == '\t') c = ',';
  }
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    std::string to(TrimBlanks(std::string_view(list).substr(start, comma - start)));
    if (!to.empty()) s.recipients.push_back(to);
    start = comma + 1;
  }
  const std::string kind = r.Form("kind"), clock = std::string(TrimBlanks(r.Form("time")));
  std::string text;
  if (kind == "daily") {
    text = "daily " + clock;
  } else if (kind == "weekly") {
    std::string days;
    for (int i = 0; i < 7; ++i) {
      if (!r.Form("d" + std::to_string(i)).empty()) days += (days.empty() ? "" : ",") + std::string(kDays[i]);
    }
    text = "weekly " + (days.empty() ? std::string("-") : days) + " " + clock;
  } else if (kind == "monthly") {
    text = "monthly " + std::string(TrimBlanks(r.Form("mday"))) + " " + clock;
  } else {
    text = "cron " + std::string(TrimBlanks(r.Form("cron")));
  }
  const std::string zone(TrimBlanks(r.Form("zone")));
  std::optional<ScheduleTiming> timing = ParseTiming(text, zone.empty() ? "UTC" : zone);
  if (!timing) {
    *error = "The schedule's time is not valid: " + text;
    return s;
  }
  s.timing = *timing;
  s.format = r.Form("format");
  for (const std::string& name : needs.parameters) {
    s.parameters.emplace_back(name, r.Form("p_" + name));
  }
  s.only_with_rows = !r.Form("rows").empty();
  s.subject = r.Form("subject");
  s.message = r.Form("message");
  // The values this user's tokens stand for now are the ones every run uses.
  for (const std::string& name : needs.session_names) {
    s.session_values.emplace_back(name, session.Get(name).AsString());
  }
  s.created_by = r.ServerVariables("REMOTE_USER");
  const designer::DisplaySettings& d = q.display();
  ReportContext& c = s.context;
  c.connection_string = q.settings().connection_string;
  c.database_type = d.database_type;
  c.db_owner = d.db_owner;
  c.sql_name_prefix = d.sql_name_prefix;
  c.sql_name_suffix = d.sql_name_suffix;
  c.hidden_sql_filter = d.hidden_sql_filter;
  c.hidden_filter_list = d.hidden_filter_list;
  c.hidden_fields = d.hidden_fields;
  c.use_fields = d.use_fields;
  c.use_tables = d.use_tables;
  c.hidden_tables = d.hidden_tables;
  c.use_procedures = d.use_procedures;
  c.max_records = d.max_records;
  c.csv_safe = d.csv_safe;
  *error = Validate(s);
  return s;
}

std::string Hidden(std::string_view name, std::string_view value) {
  return "<input type=hidden name=\"" + Html(name) + "\" value=\"" + Html(value) + "\">";
}

void WriteForm(std::string& out, const std::string& self, const std::string& token,
               const Schedule& s, const ReportNeeds& needs, const std::string& error) {
  out += "<h3>" + std::string(s.id.empty() ? "New schedule" : "Edit schedule " + Html(s.id)) +
         "</h3>";
  if (!error.empty()) out += "<div class=errmsg>" + Html(error) + "</div>";
  out += "<form method=post action=\"" + Html(self) + "\">" + Hidden("tk", token) +
         Hidden("op", "save") + Hidden("sid", s.id) + "<table>";
  std::string to;
  for (const std::string& r : s.recipients) to += (to.empty() ? "" : ", ") + r;
  out += "<tr><td>Recipients</td><td><textarea name=to rows=2 cols=50>" + Html(to) +
         "</textarea></td></tr>";
  const ScheduleTiming& t = s.timing;
  auto option = [](std::string_view value, std::string_view shown, bool selected) {
    return "<option value=\"" + std::string(value) + "\"" + (selected ? " selected" : "") + ">" +
           std::string(shown) + "</option>";
  };
  out += "<tr><td>Repeat</td><td><select name=kind>" +
         option("daily", "Daily", t.kind == Recurrence::kDaily) +
         option("weekly", "Weekly", t.kind == Recurrence::kWeekly) +
         option("monthly", "Monthly", t.kind == Recurrence::kMonthly) +
         option("cron", "Cron expression", t.kind == Recurrence::kCron) + "</select>";
  char clock[8];
  std::snprintf(clock, sizeof clock, "%02d:%02d", t.hour, t.minute);
  out += " at <input name=time size=5 value=\"" + std::string(clock) + "\"> in <input name=zone "
         "size=20 value=\"" + Html(t.time_zone) + "\"></td></tr><tr><td>Days (weekly)</td><td>";
  for (int i = 0; i < 7; ++i) {
    out += "<label><input type=checkbox name=d" + std::to_string(i) +
           ((t.weekdays >> i) & 1u ? " checked" : "") + ">" + kDays[i] + "</label> ";
  }
  out += "</td></tr><tr><td>Day (monthly)</td><td><input name=mday size=2 value=\"" +
         std::to_string(t.month_day) +
         "\"> (past the month's end: its last day)</td></tr><tr><td>Cron</td><td><input "
         "name=cron size=30 value=\"" + Html(t.cron) + "\"> min hour day month weekday</td></tr>";
  out += "<tr><td>Format</td><td><select name=format>" + option("csv", "CSV", s.format == "csv") +
         option("xlsx", "Excel (.xlsx)", s.format == "xlsx") +
         option("pdf", "PDF", s.format == "pdf") + "</select></td></tr>";
  for (const std::string& name : needs.parameters) {
    std::string value;
    for (const auto& [n, v] : s.parameters) {
      if (n == name) value = v;
    }
    out += "<tr><td>" + Html(name) + "</td><td><input name=\"p_" + Html(name) + "\" value=\"" +
           Html(value) + "\"></td></tr>";
  }
  out += "<tr><td></td><td><label><input type=checkbox name=rows" +
         std::string(s.only_with_rows ? " checked" : "") +
         ">Only when the report has rows</label></td></tr>";
  out += "<tr><td>Subject</td><td><input name=subject size=50 value=\"" + Html(s.subject) +
         "\"></td></tr><tr><td>Message</td><td><textarea name=message rows=3 cols=50>" +
         Html(s.message) + "</textarea></td></tr>";
  out += "<tr><td></td><td><input type=submit value=Save></td></tr></table></form>";
}

}  // namespace

void WriteSchedulePage(designer::Quillon2& q) {
  PageContext& page = RequirePage("Quillon2");
  const Request& r = page.request();
  Response& response = page.response();
  const std::string rid = designer::NormalizeId(r.Item("rid"));
  designer::LoadedReports loaded = designer::ReportsFile(q.settings().reports_file).Read();
  const designer::StoredReport* report =
      loaded.ok() ? loaded.reports->FindNormalized(rid) : nullptr;
  if (report == nullptr) {
    response.Status("404 Not Found");
    designer::ShowMessagePage("REPORT NOT FOUND", "The report does not exist: " + Html(rid),
                              "navy", q.ReturnAddress());
    return;
  }
  const SchedulesFile file(q.settings().reports_file);
  const std::string self = page.Url() + "?a=s&rid=" + Server::URLEncode(rid);
  const ReportNeeds needs = NeedsOf(q, report->args);
  LoadedSchedules schedules = file.Read();
  auto own = [&](std::string_view sid) -> const Schedule* {
    for (const Schedule& s : schedules.schedules) {
      if (s.id == sid && s.report_id == rid) return &s;
    }
    return nullptr;
  };

  std::string error;
  Schedule shown;
  shown.subject = report->title;
  if (r.Form("op").size() > 0) {
    if (!designer::CheckActionToken(r.Form(designer::kTokenField), page.session().SessionID(),
                                    "s")) {
      response.Status("403 Forbidden");
      designer::ShowMessagePage("Access Denied",
                                "This link has expired or did not come from this site. Please "
                                "return to the reports and try again.",
                                "red", q.ReturnAddress());
      return;
    }
    const std::string op = r.Form("op"), sid = r.Form("sid");
    if (!sid.empty() && !own(sid)) {
      error = "The schedule no longer exists.";
    } else if (op == "pause" || op == "resume") {
      error = file.Update(sid, [&op](Schedule& s) { s.paused = op == "pause"; });
    } else if (op == "delete") {
      error = file.Delete(sid);
    } else if (op == "save") {
      shown = FromForm(r, q, needs, page.session(), rid, &error);
      if (error.empty()) file.Save(shown, std::time(nullptr), &error);
    }
    if (error.empty()) response.Redirect(self);
    response.Status("400 Bad Request");
    schedules = file.Read();
  } else if (const Schedule* editing = own(r.QueryString("sid"))) {
    shown = *editing;
  }

  const std::string token = designer::MakeActionToken(page.session().SessionID(), "s");
  std::string out = q.StyleSheetHtml();
  out += "<h2>Schedules of " + Html(report->title.empty() ? rid : report->title) + "</h2>";
  out += "<table class=grid><tr class=header><td>Id</td><td>When</td><td>Recipients</td>"
         "<td>Format</td><td>Next run</td><td>Last result</td><td></td></tr>";
  for (const Schedule& s : schedules.schedules) {
    if (s.report_id != rid) continue;
    std::string to;
    for (const std::string& t : s.recipients) to += (to.empty() ? "" : ", ") + t;
    const std::string status = !s.state.stopped.empty() ? "stopped"
                               : s.paused               ? "paused"
                                                        : UtcText(s.next_run);
    out += "<tr class=item><td>" + Html(s.id) + "</td><td>" + Html(TimingText(s.timing)) + " " +
           Html(s.timing.time_zone) + "</td><td>" + Html(to) + "</td><td>" + Html(s.format) +
           "</td><td>" + Html(status) + "</td><td>" + Html(s.state.last_result) + "</td><td>";
    out += "<a href=\"" + Html(self + "&sid=" + Server::URLEncode(s.id)) + "\">Edit</a>";
    for (const char* op : {s.paused ? "resume" : "pause", "delete"}) {
      out += " <form method=post style=\"display:inline\" action=\"" + Html(self) + "\">" +
             Hidden("tk", token) + Hidden("op", op) + Hidden("sid", s.id) +
             "<input type=submit value=\"" + op + "\"></form>";
    }
    out += "</td></tr>";
  }
  out += "</table>";
  if (!schedules.ok()) out += "<div class=errmsg>" + Html(schedules.error) + "</div>";
  WriteForm(out, self, token, shown, needs, error);
  out += "<p><a href=\"" + Html(q.ReturnAddress()) + "\">Return</a></p>";
  WriteToPage(out);
}

}  // namespace fennick::delivery
