// The schedules file: its text, and its changes under the lock.
#include "delivery/schedules_file.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "designer/file_lock.h"
#include "fennick/error.h"
#include "platform/xml/xml_document.h"

namespace fennick::delivery {
namespace {

constexpr char kRoot[] = "quillonSchedules";

void Attribute(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  out += XmlEscape(value);
  out += '"';
}

void Attribute(std::string& out, std::string_view name, int64_t value) {
  Attribute(out, name, std::to_string(value));
}

void Element(std::string& out, std::string_view name, std::string_view text) {
  out += '<';
  out += name;
  out += '>';
  // Line breaks in element text survive a parse; "\r" would not.
  std::string escaped = XmlEscape(text);
  for (size_t i = 0; (i = escaped.find('\r', i)) != std::string::npos;) {
    escaped.replace(i, 1, "&#13;");
  }
  out += escaped;
  out += "</";
  out += name;
  out += '>';
}

int64_t Number(const XmlNode& node, std::string_view name, int64_t fallback = 0) {
  std::optional<std::string> text = node.Attribute(name);
  if (!text || text->empty()) return fallback;
  try {
    return std::stoll(*text);
  } catch (const std::exception&) {
    return fallback;  // a damaged number reads as unset
  }
}

std::string Text(const XmlNode& node, std::string_view name) {
  return node.Attribute(name).value_or("");
}

std::string NewId(const std::vector<Schedule>& schedules) {
  int64_t highest = 0;
  for (const Schedule& s : schedules) {
    if (s.id.size() > 1 && s.id[0] == 'S') {
      try {
        highest = std::max<int64_t>(highest, std::stoll(s.id.substr(1)));
      } catch (const std::exception&) {
        // Ignoring errors on purpose: an id of another shape takes no number.
      }
    }
  }
  return "S" + std::to_string(highest + 1);
}

Schedule* Find(std::vector<Schedule>& schedules, std::string_view id) {
  for (Schedule& s : schedules) {
    if (s.id == id) return &s;
  }
  return nullptr;
}

}  // namespace

std::string WriteSchedules(const std::vector<Schedule>& schedules) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<";
  out += kRoot;
  out += " version=\"1\">\n";
  for (const Schedule& s : schedules) {
    out += "<schedule";
    Attribute(out, "id", s.id);
    Attribute(out, "report", s.report_id);
    Attribute(out, "format", s.format);
    Attribute(out, "timing", TimingText(s.timing));
    Attribute(out, "zone", s.timing.time_zone);
    Attribute(out, "onlyrows", s.only_with_rows ? "1" : "0");
    Attribute(out, "paused", s.paused ? "1" : "0");
    Attribute(out, "next", s.next_run);
    Attribute(out, "createdby", s.created_by);
    out += ">";
    for (const std::string& to : s.recipients) Element(out, "to", to);
    Element(out, "subject", s.subject);
    Element(out, "message", s.message);
    for (const auto& [name, value] : s.parameters) {
      out += "<param";
      Attribute(out, "name", name);
      Attribute(out, "value", value);
      out += "/>";
    }
    for (const auto& [name, value] : s.session_values) {
      out += "<session";
      Attribute(out, "name", name);
      Attribute(out, "value", value);
      out += "/>";
    }
    const ReportContext& c = s.context;
    out += "<context";
    Attribute(out, "connection", c.connection_string);
    Attribute(out, "dbtype", c.database_type);
    Attribute(out, "dbowner", c.db_owner);
    Attribute(out, "prefix", c.sql_name_prefix);
    Attribute(out, "suffix", c.sql_name_suffix);
    Attribute(out, "hiddensqlfilter", c.hidden_sql_filter);
    Attribute(out, "hiddenfilters", c.hidden_filter_list);
    Attribute(out, "hiddenfields", c.hidden_fields);
    Attribute(out, "usefields", c.use_fields);
    Attribute(out, "usetables", c.use_tables);
    Attribute(out, "hiddentables", c.hidden_tables);
    Attribute(out, "useprocedures", c.use_procedures);
    Attribute(out, "maxrecords", c.max_records);
    Attribute(out, "csvsafe", c.csv_safe ? "1" : "0");
    out += "/>";
    const RunState& r = s.state;
    out += "<state";
    Attribute(out, "run", r.run);
    Attribute(out, "claimedby", r.claimed_by);
    Attribute(out, "claimedat", r.claimed_at);
    Attribute(out, "expires", r.claim_expires);
    Attribute(out, "attempts", r.attempts);
    Attribute(out, "retryat", r.retry_at);
    Attribute(out, "lastrun", r.last_run_at);
    Attribute(out, "lastok", r.last_ok ? "1" : "0");
    Attribute(out, "stopped", r.stopped);
    Attribute(out, "sent", r.sent);
    Attribute(out, "failed", r.failed);
    out += ">";
    out += XmlEscape(r.last_result);
    out += "</state></schedule>\n";
  }
  out += "</";
  out += kRoot;
  out += ">\n";
  return out;
}

LoadedSchedules ParseSchedules(std::string_view text) {
  LoadedSchedules loaded;
  XmlParseResult parsed = XmlDocument::Parse(text, false);
  if (!parsed.ok()) {
    loaded.error = "The schedules file does not parse: " + parsed.error;
    return loaded;
  }
  const XmlNode root = parsed.document.Root();
  if (root.Name() != kRoot) {
    loaded.error = "The file is not a schedules file.";
    return loaded;
  }
  for (const XmlNode& node : root.Elements()) {
    if (node.Name() != "schedule") continue;
    Schedule s;
    s.id = Text(node, "id");
    s.report_id = Text(node, "report");
    s.format = Text(node, "format");
    std::optional<ScheduleTiming> timing = ParseTiming(Text(node, "timing"), Text(node, "zone"));
    if (timing) {
      s.timing = *timing;
    } else {
      // Kept, so that the list shows it, but never run: Validate refuses
      // an unknown zone.
      s.timing.time_zone = "(unreadable timing)";
    }
    s.only_with_rows = Text(node, "onlyrows") == "1";
    s.paused = Text(node, "paused") == "1";
    s.next_run = Number(node, "next");
    s.created_by = Text(node, "createdby");
    for (const XmlNode& child : node.Elements()) {
      const std::string name = child.Name();
      if (name == "to") {
        s.recipients.push_back(child.Text());
      } else if (name == "subject") {
        s.subject = child.Text();
      } else if (name == "message") {
        s.message = child.Text();
      } else if (name == "param") {
        s.parameters.emplace_back(Text(child, "name"), Text(child, "value"));
      } else if (name == "session") {
        s.session_values.emplace_back(Text(child, "name"), Text(child, "value"));
      } else if (name == "context") {
        ReportContext& c = s.context;
        c.connection_string = Text(child, "connection");
        c.database_type = static_cast<int>(Number(child, "dbtype", -1));
        c.db_owner = Text(child, "dbowner");
        c.sql_name_prefix = child.Attribute("prefix").value_or("$");
        c.sql_name_suffix = child.Attribute("suffix").value_or("$");
        c.hidden_sql_filter = Text(child, "hiddensqlfilter");
        c.hidden_filter_list = Text(child, "hiddenfilters");
        c.hidden_fields = Text(child, "hiddenfields");
        c.use_fields = Text(child, "usefields");
        c.use_tables = Text(child, "usetables");
        c.hidden_tables = Text(child, "hiddentables");
        c.use_procedures = Text(child, "useprocedures");
        c.max_records = static_cast<int32_t>(Number(child, "maxrecords"));
        c.csv_safe = Text(child, "csvsafe") != "0";
      } else if (name == "state") {
        RunState& r = s.state;
        r.run = Number(child, "run", 1);
        r.claimed_by = Text(child, "claimedby");
        r.claimed_at = Number(child, "claimedat");
        r.claim_expires = Number(child, "expires");
        r.attempts = static_cast<int>(Number(child, "attempts"));
        r.retry_at = Number(child, "retryat");
        r.last_run_at = Number(child, "lastrun");
        r.last_ok = Text(child, "lastok") == "1";
        r.stopped = Text(child, "stopped");
        r.sent = Number(child, "sent");
        r.failed = Number(child, "failed");
        r.last_result = child.Text();
      }
    }
    loaded.schedules.push_back(std::move(s));
  }
  return loaded;
}

SchedulesFile::SchedulesFile(const std::filesystem::path& reports_file)
    : path_(reports_file.string() + ".schedules.xml") {}

LoadedSchedules SchedulesFile::Read() const {
  // Every save renames a whole new file into place: reading needs no lock.
  std::ifstream in(path_, std::ios::binary);
  if (!in) {
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) return {};
    return {{}, "The schedules file cannot be read."};
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseSchedules(text.view());
}

std::string SchedulesFile::Change(
    const std::function<std::string(std::vector<Schedule>&)>& change) const {
  try {
    designer::ExclusiveFileLock lock(path_);
    designer::RemoveStaleTemporaryFiles(path_);
    LoadedSchedules loaded = Read();
    if (!loaded.ok()) return loaded.error;
    if (std::string reason = change(loaded.schedules); !reason.empty()) return reason;
    return designer::WriteFileAtomically(path_, WriteSchedules(loaded.schedules));
  } catch (const Error& e) {
    return e.description();
  }
}

std::optional<std::string> SchedulesFile::Save(Schedule schedule, int64_t now,
                                               std::string* error) const {
  if (std::string reason = Validate(schedule); !reason.empty()) {
    if (error) *error = reason;
    return std::nullopt;
  }
  std::optional<int64_t> next = NextRun(schedule.timing, now);
  if (!next) {
    if (error) *error = "The schedule never runs.";
    return std::nullopt;
  }
  schedule.next_run = *next;
  std::string id;
  std::string reason = Change([&](std::vector<Schedule>& schedules) -> std::string {
    if (schedule.id.empty()) {
      schedule.id = NewId(schedules);
      schedule.state = RunState();
      schedules.push_back(schedule);
    } else if (Schedule* old = Find(schedules, schedule.id)) {
      // An edit keeps the record of past runs and a claim in flight; the
      // run now due is the edited schedule's next.
      schedule.state = old->state;
      schedule.state.attempts = 0;
      schedule.state.retry_at = 0;
      *old = schedule;
    } else {
      return "The schedule no longer exists.";
    }
    id = schedule.id;
    return "";
  });
  if (!reason.empty()) {
    if (error) *error = reason;
    return std::nullopt;
  }
  return id;
}

std::string SchedulesFile::Update(std::string_view id,
                                  const std::function<void(Schedule&)>& change) const {
  return Change([&](std::vector<Schedule>& schedules) -> std::string {
    Schedule* s = Find(schedules, id);
    if (!s) return "The schedule no longer exists.";
    change(*s);
    return "";
  });
}

std::string SchedulesFile::Delete(std::string_view id) const {
  return Change([&](std::vector<Schedule>& schedules) -> std::string {
    auto it = std::find_if(schedules.begin(), schedules.end(),
                           [&](const Schedule& s) { return s.id == id; });
    if (it == schedules.end()) return "The schedule no longer exists.";
    schedules.erase(it);
    return "";
  });
}

std::vector<Claim> SchedulesFile::ClaimDue(int64_t now, std::string_view runner, int64_t lease,
                                           size_t limit,
                                           const std::set<std::string>* done) const {
  std::vector<Claim> claims;
  const std::string reason = Change([&](std::vector<Schedule>& schedules) -> std::string {
    for (Schedule& s : schedules) {
      if (claims.size() >= limit) break;
      RunState& r = s.state;
      if (s.paused || !r.stopped.empty() || s.next_run == 0 || s.next_run > now ||
          r.retry_at > now || (!r.claimed_by.empty() && r.claim_expires > now) ||
          (done && done->count(s.id))) {
        continue;
      }
      r.claimed_by = std::string(runner);
      r.claimed_at = now;
      r.claim_expires = now + lease;
      claims.push_back(Claim{s, r.run, r.claimed_by});
    }
    // Nothing due: the file stays as it is.
    return claims.empty() ? "-" : "";
  });
  if (!reason.empty() && reason != "-") claims.clear();
  return claims;
}

std::string SchedulesFile::Finish(const Claim& claim, const RunOutcome& outcome, int64_t now,
                                  int64_t retry_base) const {
  return Change([&](std::vector<Schedule>& schedules) -> std::string {
    Schedule* s = Find(schedules, claim.schedule.id);
    // Deleted meanwhile, or the claim went to another runner: what this
    // runner did is not the schedule's to record.
    if (!s) return "The schedule no longer exists.";
    RunState& r = s->state;
    if (r.run != claim.run || r.claimed_by != claim.runner) {
      return "The run was claimed by another runner.";
    }
    r.claimed_by.clear();
    r.claimed_at = r.claim_expires = 0;
    r.last_run_at = now;
    auto move_on = [&] {
      ++r.run;
      r.attempts = 0;
      r.retry_at = 0;
      s->next_run = NextRun(s->timing, std::max(now, s->next_run)).value_or(0);
    };
    switch (outcome.kind) {
      case RunOutcome::Kind::kSent:
        r.last_ok = true;
        r.last_result = outcome.result;
        ++r.sent;
        move_on();
        break;
      case RunOutcome::Kind::kFailed:
        r.last_ok = false;
        ++r.attempts;
        if (r.attempts < kMaxAttempts) {
          r.retry_at = now + (retry_base << (r.attempts - 1));
          r.last_result = "Failed (attempt " + std::to_string(r.attempts) + " of " +
                          std::to_string(kMaxAttempts) + ", retrying): " + outcome.result;
        } else {
          r.last_result = "Failed after " + std::to_string(kMaxAttempts) +
                          " attempts: " + outcome.result;
          ++r.failed;
          move_on();
        }
        break;
      case RunOutcome::Kind::kStopped:
        r.last_ok = false;
        r.stopped = outcome.result;
        r.last_result = "Stopped: " + outcome.result;
        break;
    }
    return "";
  });
}

}  // namespace fennick::delivery
