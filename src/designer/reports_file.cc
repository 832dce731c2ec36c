// Loading, changing and saving the reports file.
#include "designer/reports_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "base/ascii.h"
#include "designer/file_lock.h"
#include "designer/report_id.h"

namespace fennick::designer {
namespace {

namespace fs = std::filesystem;

// The file's text; nullopt when it does not exist or cannot be read.
std::optional<std::string> ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

OpenedReports ReadFile(const fs::path& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    OpenedReports out;
    out.error = "The reports file " + path.filename().string() + " does not exist";
    out.missing = true;
    return out;
  }
  std::optional<std::string> text = ReadText(path);
  if (!text) {
    OpenedReports out;
    out.error = "The reports file " + path.filename().string() + " cannot be read";
    return out;
  }
  return ParseReports(*text);
}

LoadedReports LoadFailure(const fs::path& path, int error_number) {
  LoadedReports out;
  out.missing = error_number == ENOENT || error_number == ENOTDIR;
  out.error = "The reports file " + path.filename().string() +
              (out.missing ? " does not exist" : " cannot be read");
  return out;
}

// The file's text read from `file`; nullopt when a read fails.
std::optional<std::string> ReadAll(const FileHandle& file, int64_t size_hint) {
  std::string text;
  text.reserve(static_cast<size_t>(size_hint > 0 ? size_hint : 0));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) return text;
    text.append(buffer, static_cast<size_t>(n));
  }
}

// The shared copy of the file as it is now: the cached one when one stat
// finds the file unchanged, else read and parsed (and cached) again.
LoadedReports Load(const fs::path& path) {
  ReportsCache& cache = ReportsCache::Shared();
  const std::string key = path.string();
  std::optional<FileStamp> now = StampOfPath(path);
  if (!now) return LoadFailure(path, errno);
  LoadedReports out;
  out.reports = cache.Find(key, *now);
  if (out.reports) return out;
  FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return LoadFailure(path, errno);
  // Stamped before it is read: the text is at least as new as the stamp,
  // so a change during the read is seen again at the next request.
  std::optional<FileStamp> stamp = StampOfFile(file);
  std::optional<std::string> text = stamp ? ReadAll(file, stamp->size) : std::nullopt;
  if (!text) return LoadFailure(path, errno);
  OpenedReports parsed = ParseReports(*text);
  if (!parsed.ok()) {
    out.error = parsed.error;
    return out;
  }
  out.reports = std::make_shared<const StoredReports>(parsed.document);
  cache.Keep(key, *stamp, std::move(file), out.reports);
  return out;
}

XmlNode GroupsOf(const XmlDocument& doc) { return doc.Root().FirstElement(); }
XmlNode ReportsOf(const XmlDocument& doc) { return doc.Root().FirstElement().NextElement(); }

std::string AttributeOf(const XmlNode& node, std::string_view name) {
  return node.Attribute(name).value_or(std::string());
}

std::tm LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

std::string Serialized(const XmlDocument& doc) {
  XmlWriteOptions options;
  options.encoding = "UTF-8";
  options.declaration = true;
  return doc.Serialize(options);
}

// Replaces the file by `doc` (the lock held): the text is parsed back first,
// so a file that the next load would refuse is never written. What was
// written becomes the cached copy, stamped from the new file itself: this
// process never reads an older copy after its own save.
FileResult Replace(const fs::path& path, const XmlDocument& doc) {
  const std::string text = Serialized(doc);
  OpenedReports again = ParseReports(text);
  if (!again.ok()) return FileResult{"The changed reports file would not load: " + again.error};
  bool no_space = false;
  FileHandle written;
  FileResult result{WriteFileAtomically(path, text, &no_space, &written)};
  if (no_space) result.status = 507;
  // Without a stamp nothing is kept: the next request reads the file.
  std::optional<FileStamp> stamp = result.ok() ? StampOfFile(written) : std::nullopt;
  if (stamp) {
    ReportsCache::Shared().Keep(path.string(), *stamp, std::move(written),
                                std::make_shared<const StoredReports>(again.document));
  }
  return result;
}

// Load-modify-save under the file's lock. `change` edits the document and
// returns whether to save it; an error it sets stops the save. A missing
// file starts from the empty file; one that does not parse is left alone.
FileResult Modify(const fs::path& path, const std::function<bool(XmlDocument&, FileResult&)>& change) {
  ExclusiveFileLock lock(path);
  RemoveStaleTemporaryFiles(path);
  OpenedReports opened = ReadFile(path);
  if (!opened.ok() && opened.missing) opened = ParseReports(kEmptyReportsFile);
  FileResult result;
  if (!opened.ok()) {
    result.error = opened.error;
    return result;
  }
  const bool save = change(opened.document, result);
  if (!result.ok() || !save) return result;
  return Replace(path, opened.document);
}

XmlNode FindById(const XmlNode& list, std::string_view element, std::string_view id,
                 bool upper_stored) {
  for (const XmlNode& node : list.Elements()) {
    if (node.Name() != element) continue;
    std::string stored = AttributeOf(node, "id");
    if (upper_stored) stored = AsciiUpper(stored);
    if (stored == id) return node;
  }
  return XmlNode();
}

}  // namespace

OpenedReports ParseReports(std::string_view text) {
  XmlParseResult parsed = XmlDocument::Parse(text);
  OpenedReports out;
  if (!parsed.ok()) {
    out.error = "The reports file is not well-formed XML (line " + std::to_string(parsed.line) +
                "): " + parsed.error;
    return out;
  }
  XmlNode root = parsed.document.Root();
  if (root.Name() == "quillon") {
    // A reports file that holds nothing yet may leave its lists out: it is
    // an empty one, not a damaged one.
    if (!root.FirstElement()) root.AppendElement("groups");
    if (root.FirstElement().Name() == "groups" && !root.FirstElement().NextElement()) {
      root.AppendElement("reports");
    }
  }
  XmlNode groups = root.FirstElement();
  XmlNode reports = groups.NextElement();
  if (root.Name() != "quillon" || groups.Name() != "groups" || reports.Name() != "reports") {
    out.error = "The file is not a reports file: its root must be quillon, holding groups "
                "and reports";
    return out;
  }
  out.document = std::move(parsed.document);
  return out;
}

std::string FileStatusLine(int status) {
  switch (status) {
    case 403:
      return "403 Forbidden";
    case 409:
      return "409 Conflict";
    case 507:
      return "507 Insufficient Storage";
    default:
      return "500 Internal Server Error";
  }
}

std::string FileDateText(const std::tm& t) {
  int hour = t.tm_hour % 12;
  if (hour == 0) hour = 12;
  char text[64];
  std::snprintf(text, sizeof text, "%d/%d/%d %d:%02d:%02d %s", t.tm_mon + 1, t.tm_mday,
                t.tm_year + 1900, hour, t.tm_min, t.tm_sec, t.tm_hour < 12 ? "AM" : "PM");
  return text;
}

LoadedReports ReportsFile::Read() const { return Load(path_); }

LoadedReports ReportsFile::Open() const {
  LoadedReports loaded = Load(path_);
  if (loaded.ok() || !loaded.missing) return loaded;
  FileResult created = Create();
  if (!created.ok()) {
    LoadedReports out;
    out.error = created.error;
    return out;
  }
  return Load(path_);
}

FileResult ReportsFile::Create() const {
  ExclusiveFileLock lock(path_);
  RemoveStaleTemporaryFiles(path_);
  OpenedReports opened = ReadFile(path_);
  if (opened.ok()) return FileResult();  // a healthy file stays as it is
  if (!opened.missing) {
    // Keep the damaged file: it may hold reports someone can still recover.
    std::tm now = LocalNow();
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &now);
    fs::path backup = path_;
    backup += ".damaged-" + std::string(stamp);
    std::error_code ec;
    fs::rename(path_, backup, ec);
    if (ec) return FileResult{"Cannot keep the damaged reports file: " + ec.message()};
  }
  return Replace(path_, ParseReports(kEmptyReportsFile).document);
}

std::optional<std::string> ReportsFile::SaveReport(const ReportSave& report, std::string* error,
                                                   int* status) const {
  std::string saved_id;
  FileResult result = Modify(path_, [&](XmlDocument& doc, FileResult& outcome) {
    XmlNode reports = ReportsOf(doc);
    std::string id = NormalizeId(report.id);
    const std::string group = NormalizeId(report.group);
    const std::tm now = LocalNow();
    const std::string stamp = FileDateText(now);
    XmlNode existing;
    if (id.empty()) {
      id = UniqueReportId(now, RandomIdDigit(), [&](std::string_view candidate) {
        return static_cast<bool>(FindById(reports, "report", candidate, false));
      });
    } else {
      existing = FindById(reports, "report", id, false);
      if (!existing && report.typed_id && !IsAcceptableNewId(id)) {
        outcome.error = "A report id may hold only letters, digits, \"-\" and \"_\"";
        outcome.status = 409;
        return false;
      }
    }
    if (report.check) {
      outcome.error = report.check(existing, GroupsOf(doc));
      outcome.status = 409;
      if (!outcome.ok()) return false;
    }
    if (existing) {
      existing.SetAttribute("group", group);
      existing.SetAttribute("args",
                            report.make_args ? report.make_args(id, existing) : report.args);
      existing.SetAttribute("title", report.title);
      existing.SetAttribute("modified", stamp);
      existing.SetAttribute("query", report.query);
      existing.SetAttribute("ip", report.ip);
      existing.SetAttribute("modifiedby", report.user);
      existing.SetText(report.description);
    } else {
      XmlNode node = reports.AppendElement("report");
      node.SetAttribute("args", report.make_args ? report.make_args(id, XmlNode()) : report.args);
      node.SetAttribute("id", id);
      node.SetAttribute("group", group);
      node.SetAttribute("title", report.title);
      node.SetAttribute("added", stamp);
      node.SetAttribute("modified", stamp);
      node.SetAttribute("query", report.query);
      node.SetAttribute("ip", report.ip);
      node.SetAttribute("createdby", report.user);
      node.SetText(report.description);
    }
    saved_id = id;
    return true;
  });
  if (!result.ok()) {
    if (error) *error = result.error;
    if (status) *status = result.status;
    return std::nullopt;
  }
  return saved_id;
}

FileResult ReportsFile::SaveGroup(std::string_view id, std::string_view title, bool may_add,
                                  bool may_edit) const {
  const std::string group_id = NormalizeId(id);
  return Modify(path_, [&](XmlDocument& doc, FileResult& outcome) {
    XmlNode groups = GroupsOf(doc);
    XmlNode existing = FindById(groups, "group", group_id, false);
    if (existing) {
      if (!may_edit) {
        outcome.error = "You are not allowed to change report groups";
        outcome.status = 403;
        return false;
      }
      existing.SetAttribute("title", title);
      return true;
    }
    if (!may_add) {
      outcome.error = "You are not allowed to add report groups";
      outcome.status = 403;
      return false;
    }
    XmlNode node = groups.AppendElement("group");
    node.SetAttribute("id", group_id);
    node.SetAttribute("title", title);
    return true;
  });
}

FileResult ReportsFile::Delete(std::string_view id, bool is_group, bool* found) const {
  const std::string wanted = NormalizeId(id);
  if (found) *found = false;
  // The default group has the empty id: it cannot be deleted, and an empty
  // report id names nothing.
  if (wanted.empty()) return FileResult();
  ExclusiveFileLock lock(path_);
  RemoveStaleTemporaryFiles(path_);
  OpenedReports opened = ReadFile(path_);
  if (!opened.ok()) return FileResult{opened.error};
  XmlNode list = is_group ? GroupsOf(opened.document) : ReportsOf(opened.document);
  XmlNode node = FindById(list, is_group ? "group" : "report", wanted, true);
  if (!node) return FileResult();
  if (found) *found = true;
  node.Remove();
  return Replace(path_, opened.document);
}

FileResult ReportsFile::UpdateReportArgs(
    std::string_view id,
    const std::function<std::optional<std::string>(std::string_view args)>& change) const {
  const std::string wanted = NormalizeId(id);
  return Modify(path_, [&](XmlDocument& doc, FileResult&) {
    XmlNode node = FindById(ReportsOf(doc), "report", wanted, true);
    if (!node || wanted.empty()) return false;
    std::optional<std::string> args = change(AttributeOf(node, "args"));
    if (!args) return false;
    node.SetAttribute("args", *args);
    return true;
  });
}

std::string ReportsFile::GetReportArgs(std::string_view id) const {
  LoadedReports loaded = Open();
  const StoredReport* report = loaded.ok() ? loaded.reports->Find(NormalizeId(id)) : nullptr;
  return report ? report->args : std::string();
}

std::vector<GroupEntry> ReportsFile::Groups() const {
  LoadedReports loaded = Open();
  return loaded.ok() ? loaded.reports->groups() : std::vector<GroupEntry>();
}

ImportResult ReportsFile::Import(const UploadedReports& upload) const {
  ImportResult result;
  FileResult saved = Modify(path_, [&](XmlDocument& doc, FileResult&) {
    bool changed = false;
    XmlNode groups = GroupsOf(doc);
    XmlNode reports = ReportsOf(doc);
    for (const UploadedGroup& group : upload.groups) {
      if (FindById(groups, "group", group.id, false)) {
        result.skipped_groups.push_back(group.id);
        continue;
      }
      XmlNode node = groups.AppendElement("group");
      node.SetAttribute("id", group.id);
      node.SetAttribute("title", group.title);
      result.added_groups.push_back(group.id);
      changed = true;
    }
    for (const UploadedReport& report : upload.reports) {
      if (report.id.empty() || FindById(reports, "report", report.id, false)) {
        result.skipped_reports.push_back(report.id);
        continue;
      }
      // The attributes of a new report, in their order; nothing else of
      // the upload.
      XmlNode node = reports.AppendElement("report");
      node.SetAttribute("args", report.args);
      node.SetAttribute("id", report.id);
      node.SetAttribute("group", report.group);
      node.SetAttribute("title", report.title);
      node.SetAttribute("added", report.added);
      node.SetAttribute("modified", report.modified);
      node.SetAttribute("query", "");
      node.SetAttribute("ip", report.ip);
      node.SetAttribute("createdby", report.createdby);
      if (!report.modifiedby.empty()) node.SetAttribute("modifiedby", report.modifiedby);
      node.SetText(report.description);
      result.added_reports.push_back(report.id);
      changed = true;
    }
    return changed;
  });
  if (!saved.ok()) {
    result.error = saved.error;
    result.status = saved.status;
  }
  return result;
}

}  // namespace fennick::designer
