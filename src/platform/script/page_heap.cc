// Script heaps: engine set-up, the stop check, the memory cap, the reset
// between pages, and the pool.
#include "platform/script/page_heap.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "fennick/error.h"
#include "platform/script/native_memory.h"
#include "platform/script/page_cache.h"
#include "platform/script/script_objects.h"
#include "platform/script/script_values.h"

namespace fennick {
namespace {

// Stash entry of a heap: the loaded page functions.
constexpr char kPagesKey[] = "pages";

// Every block the engine allocates carries its size in front, so the heap
// can count what it holds. 16 bytes keep the block aligned as malloc's.
struct alignas(16) BlockHeader {
  size_t size;
};

// The body of Protected: runs the std::function handed over as udata and
// turns escaping C++ exceptions into engine errors.
duk_ret_t RunBody(duk_context* ctx, void* udata) {
  const auto& body = *static_cast<const std::function<void()>*>(udata);
  try {
    body();
  } catch (const Error& e) {
    ThrowScriptError(ctx, DUK_ERR_ERROR, e.description());
  } catch (const std::exception& e) {
    ThrowScriptError(ctx, DUK_ERR_ERROR, e.what());
  }
  return 0;
}

}  // namespace

ScriptHeap::ScriptHeap(const HeapSetup& setup) : memory_limit_(setup.memory_limit) {
  check = &ScriptHeap::CheckInterrupt;
  // The user data is the interrupt struct, which the engine's stop check
  // reads; the allocator and Of() find the heap from it.
  fennick_duk_interrupt* udata = this;
  ctx_ = duk_create_heap(&ScriptHeap::Allocate, &ScriptHeap::Reallocate, &ScriptHeap::Free,
                         udata, &ScriptHeap::Fatal);
  if (!ctx_) throw Error(7, "Out of memory: the script engine cannot start", "Script pages");
  std::string error;
  bool ok = Protected(
      [this, &setup] {
        duk_push_heap_stash(ctx_);
        duk_push_bare_object(ctx_);
        duk_put_prop_string(ctx_, -2, kPagesKey);
        duk_pop(ctx_);
        InstallValueSupport(ctx_);
        InstallPageGlobals(ctx_, setup.json_globals);
        UsePageGlobal();
        // Everything a page can reach without making it: the page's global
        // object, through its prototype the global holding the built-ins,
        // and from there every prototype, constructor and page object.
        duk_push_global_object(ctx_);
        builtins_.Take(ctx_, {-1});
        duk_pop(ctx_);
      },
      &error);
  if (!ok) {
    duk_destroy_heap(ctx_);
    throw Error(-1, "The script engine cannot start: " + error, "Script pages");
  }
}

ScriptHeap::~ScriptHeap() {
  objects_.clear();
  while (application_locks_ > 0 && page_) UnlockApplication();
  // Finalizers of the remaining objects run here and find the heap intact.
  duk_destroy_heap(ctx_);
}

ScriptHeap& ScriptHeap::Of(duk_context* ctx) {
  duk_memory_functions funcs;
  duk_get_memory_functions(ctx, &funcs);
  return *static_cast<ScriptHeap*>(static_cast<fennick_duk_interrupt*>(funcs.udata));
}

int ScriptHeap::CheckInterrupt(fennick_duk_interrupt* self) {
  auto* heap = static_cast<ScriptHeap*>(self);
  if (heap->stop_ != PageStop::kNone) return 1;
  if (heap->page_ && std::chrono::steady_clock::now() >= heap->deadline_) {
    heap->stop_ = PageStop::kTimeLimit;
    return 1;
  }
  return heap->OverMemoryCap() ? 1 : 0;
}

size_t ScriptHeap::PageNativeBytes() const {
  if (!page_) return 0;
  int64_t grown = ThreadNativeBytes() - page_native_start_;
  return grown > 0 ? static_cast<size_t>(grown) : 0;
}

bool ScriptHeap::OverMemoryCap() {
  if (!page_) return false;
  size_t native = PageNativeBytes();
  if (native <= memory_limit_ && memory_used_ <= memory_limit_ - native &&
      !ThreadNativeLimitHit()) {
    return false;
  }
  hit_memory_cap_ = true;
  Stop(PageStop::kMemoryCap);
  return true;
}

size_t ScriptHeap::PagePeakBytes() const {
  int64_t native = ThreadNativePeak() - page_native_start_;
  size_t script = page_heap_peak_ > page_heap_start_ ? page_heap_peak_ - page_heap_start_ : 0;
  return script + (native > 0 ? static_cast<size_t>(native) : 0);
}

void* ScriptHeap::Allocate(void* udata, duk_size_t size) {
  auto* heap = static_cast<ScriptHeap*>(static_cast<fennick_duk_interrupt*>(udata));
  // What the page's objects hold natively counts against the same cap.
  size_t held = heap->memory_used_ + heap->PageNativeBytes();
  if (held > heap->memory_limit_ || size > heap->memory_limit_ - held) {
    heap->hit_memory_cap_ = true;
    return nullptr;
  }
  auto* block = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
  if (!block) return nullptr;
  block->size = size;
  heap->memory_used_ += size;
  heap->page_heap_peak_ = std::max(heap->page_heap_peak_, heap->memory_used_);
  return block + 1;
}

void* ScriptHeap::Reallocate(void* udata, void* ptr, duk_size_t size) {
  if (!ptr) return Allocate(udata, size);
  auto* heap = static_cast<ScriptHeap*>(static_cast<fennick_duk_interrupt*>(udata));
  BlockHeader* block = static_cast<BlockHeader*>(ptr) - 1;
  size_t old_size = block->size;
  size_t held = heap->memory_used_ + heap->PageNativeBytes();
  if (size > old_size && (held > heap->memory_limit_ ||
                          size - old_size > heap->memory_limit_ - held)) {
    heap->hit_memory_cap_ = true;
    return nullptr;
  }
  auto* grown = static_cast<BlockHeader*>(std::realloc(block, sizeof(BlockHeader) + size));
  if (!grown) return nullptr;
  grown->size = size;
  heap->memory_used_ = heap->memory_used_ - old_size + size;
  heap->page_heap_peak_ = std::max(heap->page_heap_peak_, heap->memory_used_);
  return grown + 1;
}

void ScriptHeap::Free(void* udata, void* ptr) {
  if (!ptr) return;
  auto* heap = static_cast<ScriptHeap*>(static_cast<fennick_duk_interrupt*>(udata));
  BlockHeader* block = static_cast<BlockHeader*>(ptr) - 1;
  heap->memory_used_ -= block->size;
  std::free(block);
}

void ScriptHeap::Fatal(void*, const char* message) {
  // Only reached when the engine is used outside a protected call, which
  // Fennick never does; continuing would risk memory safety.
  std::fprintf(stderr, "fennick: script engine failure: %s\n", message ? message : "");
  std::abort();
}

bool ScriptHeap::Protected(const std::function<void()>& body, std::string* error) {
  duk_idx_t top = duk_get_top(ctx_);
  duk_int_t rc = duk_safe_call(ctx_, RunBody, const_cast<std::function<void()>*>(&body), 0, 1);
  if (rc != DUK_EXEC_SUCCESS && error) *error = duk_safe_to_string(ctx_, -1);
  duk_set_top(ctx_, top);
  return rc == DUK_EXEC_SUCCESS;
}

void ScriptHeap::UsePageGlobal() {
  // Pages run against a global object of their own whose prototype is the
  // global object holding the built-ins and the page objects. What a page
  // assigns to undeclared names lands on its own global and is removed after
  // the page; a built-in it replaces is only shadowed, and comes back then.
  duk_push_bare_object(ctx_);
  duk_push_global_object(ctx_);
  duk_set_prototype(ctx_, -2);
  duk_set_global_object(ctx_);
}

void ScriptHeap::ResetGlobals() {
  duk_push_global_object(ctx_);
  duk_enum(ctx_, -1,
           DUK_ENUM_OWN_PROPERTIES_ONLY | DUK_ENUM_INCLUDE_NONENUMERABLE |
               DUK_ENUM_INCLUDE_SYMBOLS);
  // One the page made permanent cannot be deleted and raises, which retires
  // the heap.
  while (duk_next(ctx_, -1, 0)) duk_del_prop(ctx_, -3);
  duk_pop_2(ctx_);
}

void ScriptHeap::BeginPage(PageContext& page, std::chrono::steady_clock::time_point deadline) {
  page_ = &page;
  deadline_ = deadline;
  page.Deadline(deadline);
  stop_ = PageStop::kNone;
  hit_memory_cap_ = false;
  page_heap_start_ = page_heap_peak_ = memory_used_;
  page_native_start_ = ThreadNativeBytes();
  MarkThreadNativePeak();
  // C libraries (libxml2) are refused memory beyond the cap as they
  // allocate; the script's own share is checked at the stop checks.
  SetThreadNativeLimit(page_native_start_ + static_cast<int64_t>(memory_limit_));
}

bool ScriptHeap::EndPage() {
  // Objects go first, while their page is still bound: releasing one may
  // close what it opened.
  objects_.clear();
  while (application_locks_ > 0) UnlockApplication();
  // No script may run during the reset: a getter the page left behind would
  // be stopped at once and retire the heap.
  stop_ = PageStop::kEnded;
  bool clean = Protected([this] {
    ResetGlobals();
    if (!builtins_.Restore(ctx_)) {
      throw Error(-1, "A built-in object could not be restored", "Script pages");
    }
  });
  page_ = nullptr;
  stop_ = PageStop::kNone;
  SetThreadNativeLimit(kNoNativeLimit);
  return clean;
}

PageContext& ScriptHeap::page() {
  if (!page_) throw Error(kErrCannotCreate, "No page is running", "Script pages");
  return *page_;
}

void ScriptHeap::Stop(PageStop reason) {
  if (stop_ == PageStop::kNone) stop_ = reason;
}

uint64_t ScriptHeap::Keep(std::shared_ptr<Object> object) {
  uint64_t id = next_object_id_++;
  objects_.emplace(id, std::move(object));
  return id;
}

std::shared_ptr<Object> ScriptHeap::Find(uint64_t id) const {
  auto it = objects_.find(id);
  return it == objects_.end() ? nullptr : it->second;
}

void ScriptHeap::Drop(uint64_t id) { objects_.erase(id); }

void ScriptHeap::LockApplication() {
  page().application().Lock();
  ++application_locks_;
}

void ScriptHeap::UnlockApplication() {
  if (application_locks_ == 0) return;
  page().application().Unlock();
  --application_locks_;
}

void ScriptHeap::PushPageFunction(const CompiledPage& page) {
  const std::string& key = page.file.native();
  duk_push_heap_stash(ctx_);
  duk_get_prop_string(ctx_, -1, kPagesKey);
  auto it = loaded_.find(key);
  if (it != loaded_.end() && it->second == page.id) {
    duk_get_prop_lstring(ctx_, -1, key.data(), key.size());
  } else {
    void* buffer = duk_push_fixed_buffer(ctx_, page.bytecode.size());
    std::memcpy(buffer, page.bytecode.data(), page.bytecode.size());
    duk_load_function(ctx_);
    duk_dup_top(ctx_);
    duk_put_prop_lstring(ctx_, -3, key.data(), key.size());
    loaded_[key] = page.id;
  }
  duk_remove(ctx_, -2);
  duk_remove(ctx_, -2);
}

bool ScriptHeap::Compile(const std::string& page_key, uint64_t id, const std::string& script,
                         const std::string& file_name, std::string& bytecode,
                         std::string& message, int64_t& line) {
  bool compiled = false;
  std::string failure;
  bool ok = Protected(
      [&] {
        duk_push_lstring(ctx_, script.data(), script.size());
        duk_push_lstring(ctx_, file_name.data(), file_name.size());
        if (duk_pcompile(ctx_, DUK_COMPILE_FUNCTION) != 0) {
          duk_get_prop_string(ctx_, -1, "lineNumber");
          line = static_cast<int64_t>(duk_get_number_default(ctx_, -1, 0));
          duk_pop(ctx_);
          message = duk_safe_to_string(ctx_, -1);
          // The engine appends the script line, which means nothing to the
          // page's author; the caller names the page line instead.
          size_t at = message.rfind(" (line ");
          if (at != std::string::npos && message.back() == ')') message.erase(at);
          return;
        }
        duk_dup_top(ctx_);
        duk_dump_function(ctx_);
        duk_size_t size = 0;
        void* data = duk_get_buffer_data(ctx_, -1, &size);
        bytecode.assign(static_cast<const char*>(data), size);
        duk_pop(ctx_);
        duk_push_heap_stash(ctx_);
        duk_get_prop_string(ctx_, -1, kPagesKey);
        duk_dup(ctx_, -3);
        duk_put_prop_lstring(ctx_, -2, page_key.data(), page_key.size());
        loaded_[page_key] = id;
        compiled = true;
      },
      &failure);
  if (!ok) {
    message = failure;
    line = 0;
    return false;
  }
  return compiled;
}

std::unique_ptr<ScriptHeap> HeapPool::Acquire() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<ScriptHeap> heap = std::move(idle_.back());
      idle_.pop_back();
      return heap;
    }
  }
  return std::make_unique<ScriptHeap>(setup_);
}

void HeapPool::Release(std::unique_ptr<ScriptHeap> heap) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.size() < max_idle_) {
      idle_.push_back(std::move(heap));
      return;
    }
  }
  // Destroyed outside the lock.
  heap.reset();
}

size_t HeapPool::idle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return idle_.size();
}

}  // namespace fennick
