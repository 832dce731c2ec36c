// The counting operator new and delete, the counted C allocator, and the
// per-thread counts.
//
// Only the plain forms are replaced: the library's array, nothrow and sized
// forms call them, and the aligned forms (which allocate and free apart from
// them) are left uncounted on both sides. Sizes are what malloc really gave
// (malloc_usable_size), read the same way on allocation and release so that
// the count returns to where it was.
#include "platform/script/native_memory.h"

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace fennick {
namespace {

// Plain integers: a thread_local of trivial type needs no constructor call,
// so operator new may use it at any time, even while the thread starts.
thread_local int64_t thread_bytes = 0;
thread_local int64_t thread_peak = 0;
thread_local int64_t thread_limit = kNoNativeLimit;
thread_local bool thread_limit_hit = false;

void Count(void* block) {
  thread_bytes += static_cast<int64_t>(malloc_usable_size(block));
  if (thread_bytes > thread_peak) thread_peak = thread_bytes;
}

// Whether `more` bytes would take the thread past its limit; notes the
// refusal.
bool Refuse(size_t more) {
  if (thread_limit == kNoNativeLimit) return false;
  if (static_cast<int64_t>(more) <= thread_limit - thread_bytes) return false;
  thread_limit_hit = true;
  return true;
}

}  // namespace

int64_t ThreadNativeBytes() { return thread_bytes; }
int64_t ThreadNativePeak() { return thread_peak; }
void MarkThreadNativePeak() { thread_peak = thread_bytes; }

void SetThreadNativeLimit(int64_t limit) {
  thread_limit = limit;
  thread_limit_hit = false;
}

bool ThreadNativeLimitHit() { return thread_limit_hit; }

void* CountedMalloc(size_t size) {
  if (Refuse(size)) return nullptr;
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block) Count(block);
  return block;
}

void* CountedRealloc(void* block, size_t size) {
  if (!block) return CountedMalloc(size);
  const size_t old_size = malloc_usable_size(block);
  // A refused growth leaves the block as it was, as a failed realloc does.
  if (size > old_size && Refuse(size - old_size)) return nullptr;
  void* grown = std::realloc(block, size == 0 ? 1 : size);
  if (!grown) return nullptr;
  thread_bytes -= static_cast<int64_t>(old_size);
  Count(grown);
  return grown;
}

void CountedFree(void* block) {
  if (!block) return;
  thread_bytes -= static_cast<int64_t>(malloc_usable_size(block));
  std::free(block);
}

char* CountedStrdup(const char* text) {
  const size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(CountedMalloc(size));
  if (copy) std::memcpy(copy, text, size);
  return copy;
}

}  // namespace fennick

void* operator new(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (!p) throw std::bad_alloc();
  fennick::Count(p);
  return p;
}

void operator delete(void* p) noexcept {
  if (!p) return;
  fennick::thread_bytes -= static_cast<int64_t>(malloc_usable_size(p));
  std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
