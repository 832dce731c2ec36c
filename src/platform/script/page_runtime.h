// The runtime of script pages: finds the page's compiled form (compiling it
// when needed), runs it on a heap of the pool under the time limit, and turns
// what went wrong into an error page.
//
// Error pages (HTTP 500, appended to what the page wrote so far) name the
// .asp file and line and give the message; a component error also shows its
// number, description and source (the component's trace). A page stopped at
// the time limit says so; Response.End and Redirect end a page normally.
//
// Thread-safe: every request takes its own heap from the pool.
#ifndef FENNICK_PLATFORM_SCRIPT_PAGE_RUNTIME_H_
#define FENNICK_PLATFORM_SCRIPT_PAGE_RUNTIME_H_

#include <filesystem>
#include <memory>

#include "fennick/page.h"
#include "fennick/script_pages.h"
#include "platform/script/page_cache.h"
#include "platform/script/page_heap.h"

namespace fennick {

class PageRuntime {
 public:
  // Serves pages of the site at `site_root` (canonical), keeping up to
  // `max_idle_heaps` heaps between requests.
  PageRuntime(std::filesystem::path site_root, ScriptPageOptions options,
              size_t max_idle_heaps);

  // Runs the page of the request's path. A path whose file lies outside the
  // site (through a symbolic link) is answered 404.
  void Run(PageContext& page);
  // Runs the page file `file` (canonical, inside the site).
  void RunFile(PageContext& page, const std::filesystem::path& file);

  const PageCache& cache() const { return cache_; }
  const HeapPool& pool() const { return pool_; }

 private:
  std::shared_ptr<const CompiledPage> Compile(ScriptHeap& heap,
                                              const std::filesystem::path& file);

  std::filesystem::path site_root_;
  ScriptPageOptions options_;
  HeapPool pool_;
  PageCache cache_;
};

}  // namespace fennick

#endif  // FENNICK_PLATFORM_SCRIPT_PAGE_RUNTIME_H_
