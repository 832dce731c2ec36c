// Script heaps: the Duktape engines that run pages, and their pool.
//
// Creating an engine heap costs far more than running a small page, so heaps
// are kept in a pool and reused: one page at a time per heap, the globals a
// page made removed after it (built-ins it replaced come back), and the
// built-in objects (prototypes, constructors, Math, the page objects) put
// back as they were made when a page changed them (builtin_snapshot.h). Each
// heap owns, while a page runs:
//   - the page being served and the moment by which it must finish;
//   - why it stops early (Response.End or Redirect, the time limit); once set,
//     the engine raises an error at every instruction until the script has
//     unwound, so a page cannot catch its own end;
//   - the component objects the page created (released when the page ends,
//     even if a script still holds them);
//   - the Application lock, released if the page forgot to.
// Every heap has a memory cap, which counts what the script holds and the
// native memory (operator new, and libxml2's counted allocator) the page's
// thread took since the page began: the response buffer, StringBuffers,
// grids and their rows, XML documents. A script allocation beyond it fails
// as a script error; libxml2 is refused memory beyond it as it allocates;
// other native memory beyond it stops the page at its next call into a page
// object or its next stop check.
// Compiled pages are loaded into a heap once and kept there by id.
//
// A ScriptHeap is used by one thread at a time; HeapPool is thread-safe.
#ifndef FENNICK_PLATFORM_SCRIPT_PAGE_HEAP_H_
#define FENNICK_PLATFORM_SCRIPT_PAGE_HEAP_H_

#include <duktape.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "fennick/object.h"
#include "fennick/page.h"
#include "platform/script/builtin_snapshot.h"

namespace fennick {

struct CompiledPage;

// What every heap of a pool is made with.
struct HeapSetup {
  size_t memory_limit = size_t{256} << 20;
  // Further frozen globals: name and JSON text.
  std::vector<std::pair<std::string, std::string>> json_globals;
};

// Why a page stopped before its script finished.
enum class PageStop { kNone, kEnded, kTimeLimit, kMemoryCap };

class ScriptHeap : private fennick_duk_interrupt {
 public:
  // Creates an engine heap with the page globals installed. Raises Error when
  // the engine cannot start.
  explicit ScriptHeap(const HeapSetup& setup);
  ~ScriptHeap();
  ScriptHeap(const ScriptHeap&) = delete;
  ScriptHeap& operator=(const ScriptHeap&) = delete;

  duk_context* context() const { return ctx_; }
  // The heap of a context (natives find their page through it).
  static ScriptHeap& Of(duk_context* ctx);

  // --- the page being run

  // Starts a page; its deadline also becomes the page context's, so that
  // queries and other native work stop there.
  void BeginPage(PageContext& page, std::chrono::steady_clock::time_point deadline);
  // Ends the page: releases its objects and the Application lock, removes
  // the globals the page made and restores the built-in objects. Returns
  // false when the heap cannot be cleaned and must not run another page.
  bool EndPage();
  // The page being run. Raises Error when none is.
  PageContext& page();
  PageStop stop() const { return stop_; }
  bool stopping() const { return stop_ != PageStop::kNone; }
  // Whether the memory cap refused an allocation during this page.
  bool hit_memory_cap() const { return hit_memory_cap_; }
  size_t memory_limit() const { return memory_limit_; }
  // Whether what the page holds (script and native) is over the memory cap;
  // if so the page is stopped with kMemoryCap.
  bool OverMemoryCap();
  // The most memory the page held at once: the growth of the script heap
  // and of the thread's native memory while it ran. Valid until the next
  // BeginPage.
  size_t PagePeakBytes() const;
  const BuiltinSnapshot& builtins() const { return builtins_; }
  // Stops the running script at its next instruction.
  void Stop(PageStop reason);

  // --- component objects of the page

  // Keeps `object` until the page ends or Drop; returns its id.
  uint64_t Keep(std::shared_ptr<Object> object);
  // The object of an id, or nullptr once it was released.
  std::shared_ptr<Object> Find(uint64_t id) const;
  void Drop(uint64_t id);

  // Application.Lock and Unlock by the page.
  void LockApplication();
  void UnlockApplication();

  // --- compiled pages

  // Pushes the function of `page`, loading its bytecode into this heap the
  // first time. Engine errors are thrown into the engine: call it inside a
  // protected call.
  void PushPageFunction(const CompiledPage& page);
  // Compiles `script` (a function expression) under the name `file_name`.
  // On success pushes nothing, keeps the function for `page_key`/`id` and
  // returns true with its bytecode; on a syntax error returns false with the
  // message and the script line.
  bool Compile(const std::string& page_key, uint64_t id, const std::string& script,
               const std::string& file_name, std::string& bytecode, std::string& message,
               int64_t& line);

  // Runs `body` inside a protected call. An engine error or an exception
  // escaping it returns false and fills `error` (when not null) with its
  // text. The value stack is as before.
  bool Protected(const std::function<void()>& body, std::string* error = nullptr);

 private:
  static int CheckInterrupt(fennick_duk_interrupt* self);
  static void* Allocate(void* udata, duk_size_t size);
  static void* Reallocate(void* udata, void* ptr, duk_size_t size);
  static void Free(void* udata, void* ptr);
  static void Fatal(void* udata, const char* message);
  // Native bytes the running page's thread took since BeginPage; 0 when no
  // page runs.
  size_t PageNativeBytes() const;
  void UsePageGlobal();
  void ResetGlobals();

  duk_context* ctx_ = nullptr;
  size_t memory_limit_;
  size_t memory_used_ = 0;
  bool hit_memory_cap_ = false;
  // At BeginPage: the script heap's size and the thread's native count; and
  // the script heap's largest size since.
  size_t page_heap_start_ = 0;
  size_t page_heap_peak_ = 0;
  int64_t page_native_start_ = 0;
  BuiltinSnapshot builtins_;

  PageContext* page_ = nullptr;
  std::chrono::steady_clock::time_point deadline_{};
  PageStop stop_ = PageStop::kNone;
  std::unordered_map<uint64_t, std::shared_ptr<Object>> objects_;
  uint64_t next_object_id_ = 1;
  int application_locks_ = 0;

  // Page key -> id of the compiled page whose function the stash holds.
  std::unordered_map<std::string, uint64_t> loaded_;
};

// A pool of idle heaps. Thread-safe.
class HeapPool {
 public:
  // Keeps at most `max_idle` idle heaps, each made with `setup`.
  HeapPool(size_t max_idle, HeapSetup setup) : max_idle_(max_idle), setup_(std::move(setup)) {}

  // An idle heap, or a new one. Raises Error when no heap can be created.
  std::unique_ptr<ScriptHeap> Acquire();
  // Returns a heap after its page ended cleanly.
  void Release(std::unique_ptr<ScriptHeap> heap);
  size_t idle() const;

 private:
  const size_t max_idle_;
  const HeapSetup setup_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<ScriptHeap>> idle_;  // GUARDED_BY(mutex_)
};

}  // namespace fennick

#endif  // FENNICK_PLATFORM_SCRIPT_PAGE_HEAP_H_
