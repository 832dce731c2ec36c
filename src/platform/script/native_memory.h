// Native memory of a thread: what C++ code on the calling thread holds
// through operator new.
//
// A page's script heap counts what the engine allocates; the objects a page
// drives (the response buffer, StringBuffers, grids and the rows they read)
// live in ordinary C++ memory. To count those against the page's memory cap
// too, Fennick replaces the global operator new and delete with versions
// that keep, per thread, the bytes allocated minus the bytes freed, and the
// highest value since a mark. A page runs on one thread from start to end,
// so the growth of its thread's count while it runs is what it holds.
//
// C libraries that let Fennick choose their allocator (libxml2, and libxslt
// through it) allocate through the counted C functions below, into the same
// count: an XML document a page builds counts against its cap like its C++
// objects. Those functions also honour a per-thread limit, which the page
// heap sets to where the page's cap lies: an allocation that would pass it
// is refused (nullptr, as malloc fails), so a library building a huge
// document stops at the cap instead of taking gigabytes. operator new is
// never refused (C++ code is not written to survive that anywhere); the page
// checks its count at its stop checks instead.
//
// Counts are per thread and lock-free; memory freed by another thread than
// the one that allocated it moves both counts, which only matters for the
// difference a page measures over its own run.
#ifndef FENNICK_PLATFORM_SCRIPT_NATIVE_MEMORY_H_
#define FENNICK_PLATFORM_SCRIPT_NATIVE_MEMORY_H_

#include <cstddef>
#include <cstdint>

namespace fennick {

// Bytes allocated by the calling thread through operator new minus those it
// freed. Only differences between two readings on one thread mean anything.
int64_t ThreadNativeBytes();
// The highest ThreadNativeBytes() since the last MarkThreadNativePeak().
int64_t ThreadNativePeak();
// Starts a new peak at the current count.
void MarkThreadNativePeak();

inline constexpr int64_t kNoNativeLimit = INT64_MAX;
// The count the calling thread's counted C allocations may not take it past
// (kNoNativeLimit: none); forgets an earlier refusal.
void SetThreadNativeLimit(int64_t limit);
// Whether a counted C allocation of the calling thread was refused since
// the limit was last set.
bool ThreadNativeLimitHit();

// malloc, realloc, free and strdup with their contracts, counted, and
// refusing what would pass the thread's limit. A block must be freed by the
// counted free (its size is read back the same way).
void* CountedMalloc(size_t size);
void* CountedRealloc(void* block, size_t size);
void CountedFree(void* block);
char* CountedStrdup(const char* text);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_SCRIPT_NATIVE_MEMORY_H_
