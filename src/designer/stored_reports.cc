// The shared, read-only form of the reports file and its per-process cache.
#include "designer/stored_reports.h"

#include <atomic>
#include <utility>

#include "designer/report_id.h"

namespace fennick::designer {
namespace {

std::atomic<uint64_t> next_version{1};

}  // namespace

StoredReports::StoredReports(const XmlDocument& document) : version_(next_version++) {
  const XmlNode groups = document.Root().FirstElement();
  for (const XmlNode& node : groups.Elements()) {
    if (node.Name() != "group") continue;
    groups_.push_back({node.Attribute("id").value_or(""), node.Attribute("title").value_or("")});
  }
  for (const XmlNode& node : groups.NextElement().Elements()) {
    if (node.Name() != "report") continue;
    StoredReport report;
    report.id = node.Attribute("id").value_or("");
    report.group = node.Attribute("group").value_or("");
    report.title = node.Attribute("title").value_or("");
    report.description = node.Text();
    report.args = node.Attribute("args").value_or("");
    // The first of equal ids wins, as a search through the file finds it.
    by_id_.emplace(report.id, reports_.size());
    by_normalized_id_.emplace(NormalizeId(report.id), reports_.size());
    reports_.push_back(std::move(report));
  }
}

const StoredReport* StoredReports::Find(std::string_view id) const {
  auto found = by_id_.find(std::string(id));
  return found == by_id_.end() ? nullptr : &reports_[found->second];
}

const StoredReport* StoredReports::FindNormalized(std::string_view normalized_id) const {
  auto found = by_normalized_id_.find(std::string(normalized_id));
  return found == by_normalized_id_.end() ? nullptr : &reports_[found->second];
}

ReportsCache& ReportsCache::Shared() {
  static ReportsCache* cache = new ReportsCache();  // never destroyed: used until exit
  return *cache;
}

std::shared_ptr<const StoredReports> ReportsCache::Find(const std::string& path,
                                                        const FileStamp& now) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto found = entries_.find(path);
  if (found == entries_.end() || !(found->second.stamp == now)) return nullptr;
  found->second.last_used = ++clock_;
  return found->second.reports;
}

void ReportsCache::Keep(const std::string& path, const FileStamp& stamp, FileHandle file,
                        std::shared_ptr<const StoredReports> reports) {
  Entry entry{stamp, std::move(file), std::move(reports), 0};
  {
    std::lock_guard<std::mutex> guard(mutex_);
    entry.last_used = ++clock_;
    auto found = entries_.find(path);
    if (found == entries_.end() && entries_.size() >= kMaxCachedReportsFiles) {
      auto oldest = entries_.begin();
      for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->second.last_used < oldest->second.last_used) oldest = it;
      }
      found = oldest;
    }
    if (found == entries_.end()) {
      entries_.emplace(path, std::move(entry));
      return;
    }
    // What the entry held is released after the lock: a large copy is
    // freed off the lock.
    std::swap(found->second, entry);
    if (found->first != path) {
      auto node = entries_.extract(found);
      node.key() = path;
      entries_.insert(std::move(node));
    }
  }
}

}  // namespace fennick::designer
