// The reports file as requests read it: parsed once per version of the
// file, and shared.
//
// StoredReports is what requests need of the file: its groups and reports
// in file order, and the reports by id. It is built from a checked document
// and never changes afterwards, so any number of threads read one at once
// without a lock, and a request keeps the version it started with even when
// the file changes meanwhile.
//
// ReportsCache keeps, per path, the version this process last read or
// wrote: its FileStamp, its StoredReports, and the file itself, open (see
// designer/file_lock.h: while it is open its inode cannot go to a later
// save, so an equal stamp means the very same file). A request costs one
// stat: while the path names that file unchanged, the kept copy is used;
// otherwise the file is read and parsed again. A save of this process
// keeps what it wrote, stamped from the file it renamed into place, so it
// never reads an older copy after its own save; a save by another process
// renames a new file into place, which the next request of this one sees.
// The one change a stamp can miss is an edit in place by another program
// that keeps the size within one tick of the file system's clock; Fennick
// never edits in place. Thread-safe; it keeps kMaxCachedReportsFiles files.
#ifndef FENNICK_DESIGNER_STORED_REPORTS_H_
#define FENNICK_DESIGNER_STORED_REPORTS_H_

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "designer/file_lock.h"
#include "platform/xml/xml_document.h"

namespace fennick::designer {

struct GroupEntry {
  std::string id;
  std::string title;
};

// One report element's values, as stored.
struct StoredReport {
  std::string id;
  std::string group;
  std::string title;
  std::string description;  // the element's text
  std::string args;         // the encoded definition
};

class StoredReports {
 public:
  // The values of a document ParseReports accepted: its group and report
  // elements (other elements are no part of the store).
  explicit StoredReports(const XmlDocument& document);
  StoredReports(const StoredReports&) = delete;
  StoredReports& operator=(const StoredReports&) = delete;

  const std::vector<GroupEntry>& groups() const { return groups_; }
  const std::vector<StoredReport>& reports() const { return reports_; }

  // The first report whose stored id equals `id`; null when there is none.
  const StoredReport* Find(std::string_view id) const;
  // The first report whose stored id, trimmed and upper-cased, equals
  // `normalized_id`; null when there is none.
  const StoredReport* FindNormalized(std::string_view normalized_id) const;

  // Tells this copy from every other one this process has built, so what
  // is derived from it can be cached under it.
  uint64_t version() const { return version_; }

 private:
  std::vector<GroupEntry> groups_;
  std::vector<StoredReport> reports_;
  std::unordered_map<std::string, size_t> by_id_, by_normalized_id_;
  uint64_t version_;
};

inline constexpr size_t kMaxCachedReportsFiles = 8;

class ReportsCache {
 public:
  // The process's cache.
  static ReportsCache& Shared();

  // The copy kept for `path` when it was kept with the stamp `now` (the
  // path's stamp just taken); null otherwise.
  std::shared_ptr<const StoredReports> Find(const std::string& path, const FileStamp& now);

  // Keeps `reports`, read from or written to `file` (open, stamped `stamp`
  // before it was read or after it was written), as the copy of `path`,
  // replacing the one kept before; the least recently used path goes when
  // there are too many.
  void Keep(const std::string& path, const FileStamp& stamp, FileHandle file,
            std::shared_ptr<const StoredReports> reports);

 private:
  struct Entry {
    FileStamp stamp;
    FileHandle file;  // held open so that its inode is not reused
    std::shared_ptr<const StoredReports> reports;
    uint64_t last_used = 0;
  };

  std::mutex mutex_;
  std::map<std::string, Entry> entries_;  // GUARDED_BY(mutex_)
  uint64_t clock_ = 0;                    // GUARDED_BY(mutex_)
};

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_STORED_REPORTS_H_
