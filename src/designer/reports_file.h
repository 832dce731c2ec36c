// The reports file: every stored report and report group, in one XML file.
//
//   <quillon version="2">
//     <groups><group id="" title="General Reports"/>...</groups>
//     <reports><report args=".." id=".." group=".." title=".." added=".."
//              modified=".." query=".." ip=".." createdby="..">description
//     </report>...</reports>
//   </quillon>
//
// The root's first child holds the groups and its second the reports; that
// order is part of the format. Ids are stored trimmed and upper case. A new
// report's attributes are written in the order above; an update changes
// group, args, title, modified, query, ip and modifiedby in place.
//
// Every change is load-modify-save under an exclusive lock with an atomic
// replacement (designer/file_lock.h); the new text is parsed back before it
// replaces the file, and temporary files a killed save left behind are
// removed under the lock. A file that does not parse, or is not a reports
// file, is never overwritten: the change is refused with the reason. A
// missing file is created empty when it is first needed.
// Readers get the file's shared, read-only copy (designer/stored_reports.h),
// parsed once per version of the file and checked with one stat per
// request; every save keeps the copy of what it wrote. ReportsFile is a
// path with operations; it holds nothing between calls and may be used by
// several threads at once.
#ifndef FENNICK_DESIGNER_REPORTS_FILE_H_
#define FENNICK_DESIGNER_REPORTS_FILE_H_

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "designer/reports_upload.h"
#include "designer/stored_reports.h"
#include "platform/xml/xml_document.h"

namespace fennick::designer {

// What a new reports file holds: the default group alone.
inline constexpr std::string_view kEmptyReportsFile =
    "<quillon version=\"2\"><groups><group id=\"\" title=\"General Reports\"/></groups>"
    "<reports/></quillon>";

// The outcome of an operation: ok, or the reason it changed nothing (never
// a server path) and the HTTP status a page answers it with: 500 when the
// file could not be read or written, 507 when the disk was full, 409 or 403
// when a rule refused the change.
struct FileResult {
  std::string error;
  int status = 500;
  bool ok() const { return error.empty(); }
};

// A report as the builder saves it. An empty id asks for a new one.
struct ReportSave {
  std::string id;
  std::string group;
  std::string args;   // the encoded definition
  std::string title;
  std::string description;
  std::string query;  // the encoded statement
  std::string ip;     // the client's address
  std::string user;   // the authenticated user, "" when anonymous
  // The id was typed by the user (the builder lets some do so): a new one
  // must then be acceptable (IsAcceptableNewId); stored ids of any shape
  // are still updated.
  bool typed_id = false;
  // Asked under the file's lock, before anything changes, with the stored
  // report of this id (a null node when there is none or the id is new)
  // and the file's groups element: a non-empty answer refuses the save
  // with that reason. The builder checks here that an id or group it may
  // not change was not changed by someone else in the meantime.
  std::function<std::string(const XmlNode& existing, const XmlNode& groups)> check;
  // When set, gives the encoded definition for the id the report is saved
  // under (a new id is chosen under the lock) and the stored report it
  // replaces (a null node for a new one), instead of `args`.
  std::function<std::string(std::string_view id, const XmlNode& existing)> make_args;
};

// The status line of a FileResult's status ("507 Insufficient Storage").
std::string FileStatusLine(int status);

// What an import did: the ids added and those skipped because they exist.
struct ImportResult {
  std::string error;
  int status = 500;  // as FileResult's, when !ok()
  std::vector<std::string> added_reports, skipped_reports;
  std::vector<std::string> added_groups, skipped_groups;
  bool ok() const { return error.empty(); }
};

// A parsed reports file that may be changed, or the reason it is none.
struct OpenedReports {
  XmlDocument document;
  std::string error;
  bool missing = false;  // the file does not exist (error says so)
  bool ok() const { return error.empty(); }
};

// The shared copy of a reports file, or the reason there is none.
struct LoadedReports {
  std::shared_ptr<const StoredReports> reports;  // set when ok()
  std::string error;
  bool missing = false;  // the file does not exist (error says so)
  bool ok() const { return error.empty(); }
};

// Parses reports-file text and checks its shape: root "quillon" whose first
// two child elements are "groups" and "reports". A "quillon" root that
// leaves out the lists (both, or "reports") gets empty ones.
OpenedReports ParseReports(std::string_view text);

// The time as the file's added and modified attributes write it:
// "m/d/yyyy h:mm:ss AM".
std::string FileDateText(const std::tm& local);

class ReportsFile {
 public:
  explicit ReportsFile(std::filesystem::path path) : path_(std::move(path)) {}
  const std::filesystem::path& path() const { return path_; }

  // The file's reports for reading, creating a missing file first. The
  // copy is shared with other requests and never changes.
  LoadedReports Open() const;
  // Reads without creating anything; a missing file is an error.
  LoadedReports Read() const;

  // Creates the empty file when it is missing (a healthy file is left as it
  // is). A damaged file is first renamed to a backup beside it
  // (name + ".damaged-" + time), then replaced by the empty file.
  FileResult Create() const;

  // Inserts or updates one report; returns its id (new ids are unique in
  // the file: see designer/report_id.h), or nullopt with the reason in
  // `error` and, when given, the status in `status` (as FileResult's).
  std::optional<std::string> SaveReport(const ReportSave& report, std::string* error,
                                        int* status = nullptr) const;

  // Renames group `id` or adds it. Adding needs `may_add`, renaming
  // `may_edit`; checked under the lock, against the file as it is then.
  FileResult SaveGroup(std::string_view id, std::string_view title, bool may_add,
                       bool may_edit) const;

  // Removes report or group `id` (stored ids are upper-cased before they
  // are compared). `found` tells whether there was one. A group's reports
  // stay in the file.
  FileResult Delete(std::string_view id, bool is_group, bool* found) const;

  // Replaces the encoded definition of report `id` (stored ids compared
  // upper case) by what `change` makes of the stored one, under the lock;
  // a nullopt from `change`, or no such report, leaves the file untouched.
  // The report's other attributes, its modified stamp included, stay.
  FileResult UpdateReportArgs(
      std::string_view id,
      const std::function<std::optional<std::string>(std::string_view args)>& change) const;

  // The encoded definition of report `id` (exact match after trimming and
  // upper-casing the id asked for); "" when there is none.
  std::string GetReportArgs(std::string_view id) const;

  std::vector<GroupEntry> Groups() const;

  // Merges the groups and reports of an upload (read by
  // ReadUploadedReports, its reports checked by the caller) into this file;
  // ids that exist already are skipped and listed. Each element is built
  // again from the upload's values, with an empty "query". Nothing is
  // parsed while the lock is held but the file itself and the merged text.
  ImportResult Import(const UploadedReports& upload) const;

 private:
  std::filesystem::path path_;
};

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_REPORTS_FILE_H_
