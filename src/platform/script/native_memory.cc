// The counting operator new and delete, and the per-thread counts.
//
// Only the plain forms are replaced: the library's array, nothrow and sized
// forms call them, and the aligned forms (which allocate and free apart from
// them) are left uncounted on both sides. Sizes are what malloc really gave
// (malloc_usable_size), read the same way on allocation and release so that
// the count returns to where it was.
#include "platform/script/native_memory.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace fennick {
namespace {

// Plain integers: a thread_local of trivial type needs no constructor call,
// so operator new may use it at any time, even while the thread starts.
thread_local int64_t thread_bytes = 0;
thread_local int64_t thread_peak = 0;

}  // namespace

int64_t ThreadNativeBytes() { return thread_bytes; }
int64_t ThreadNativePeak() { return thread_peak; }
void MarkThreadNativePeak() { thread_peak = thread_bytes; }

}  // namespace fennick

void* operator new(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (!p) throw std::bad_alloc();
  fennick::thread_bytes += static_cast<int64_t>(malloc_usable_size(p));
  if (fennick::thread_bytes > fennick::thread_peak) fennick::thread_peak = fennick::thread_bytes;
  return p;
}

void operator delete(void* p) noexcept {
  if (!p) return;
  fennick::thread_bytes -= static_cast<int64_t>(malloc_usable_size(p));
  std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
