// The cache of compiled script pages.
//
// A page is translated and compiled once; its bytecode, line map and the list
// of files it was made from (the page and its includes, with their
// modification stamps) are kept here, shared by every heap of the pool. A
// request looks up the page and checks the stamps of its files, which costs a
// stat per file and no read; once any of them changed (or an include appeared
// or vanished), the page is compiled again. Pages that failed to translate or
// compile are cached with their error the same way.
//
// PageCache is thread-safe; a CompiledPage never changes once cached.
#ifndef FENNICK_PLATFORM_SCRIPT_PAGE_CACHE_H_
#define FENNICK_PLATFORM_SCRIPT_PAGE_CACHE_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/script/page_template.h"

namespace fennick {

struct CompiledPage {
  // Unique for each compilation: heaps keep the loaded function by it.
  uint64_t id = 0;
  std::filesystem::path file;
  // The page and its includes as they were read; [0] is the page.
  std::vector<TemplateFile> files;
  // Script line to page position.
  std::vector<SourcePos> lines;
  // The compiled page function; empty when `error` is set.
  std::string bytecode;
  // Why the page cannot run: a template or syntax error, with its position.
  std::optional<TemplateError> error;
  int32_t code_page = 0;
  int32_t lcid = 0;

  // The position in the page's files of a script line (from 1).
  SourcePos Map(int64_t script_line) const;
  const std::string& VirtualPath(uint32_t file_index) const;
};

// A fresh id for a compilation.
uint64_t NextPageId();

// Whether every file the page was made from is still as it was read.
bool IsCurrent(const CompiledPage& page);

class PageCache {
 public:
  using Compiler = std::function<std::shared_ptr<const CompiledPage>()>;

  // The page compiled from `file`: the cached one while its files are
  // unchanged, else what `compile` returns (then cached). Two requests that
  // find a page changed at the same moment may both compile it; the later
  // result is kept.
  std::shared_ptr<const CompiledPage> Get(const std::filesystem::path& file,
                                          const Compiler& compile);
  size_t size() const;

 private:
  mutable std::mutex mutex_;
  // GUARDED_BY(mutex_); keyed by the page's canonical path.
  std::unordered_map<std::string, std::shared_ptr<const CompiledPage>> pages_;
};

}  // namespace fennick

#endif  // FENNICK_PLATFORM_SCRIPT_PAGE_CACHE_H_
