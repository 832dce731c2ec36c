// The cache of compiled script pages, checked against the files' stamps.
#include "platform/script/page_cache.h"

#include <atomic>

namespace fennick {

SourcePos CompiledPage::Map(int64_t script_line) const {
  if (script_line < 1 || static_cast<size_t>(script_line) > lines.size()) return SourcePos{0, 1};
  return lines[static_cast<size_t>(script_line - 1)];
}

const std::string& CompiledPage::VirtualPath(uint32_t file_index) const {
  static const std::string kNone;
  if (file_index < files.size()) return files[file_index].virtual_path;
  return files.empty() ? kNone : files[0].virtual_path;
}

uint64_t NextPageId() {
  static std::atomic<uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

bool IsCurrent(const CompiledPage& page) {
  for (const TemplateFile& f : page.files) {
    if (!(StampFile(f.path) == f.stamp)) return false;
  }
  return true;
}

std::shared_ptr<const CompiledPage> PageCache::Get(const std::filesystem::path& file,
                                                   const Compiler& compile) {
  std::shared_ptr<const CompiledPage> cached;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = pages_.find(file.native());
    if (it != pages_.end()) cached = it->second;
  }
  // The stamps are checked outside the lock: a stat must not hold up other
  // pages.
  if (cached && IsCurrent(*cached)) return cached;
  std::shared_ptr<const CompiledPage> fresh = compile();
  std::lock_guard<std::mutex> lock(mutex_);
  pages_[file.native()] = fresh;
  return fresh;
}

size_t PageCache::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pages_.size();
}

}  // namespace fennick
