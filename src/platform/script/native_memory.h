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
// Counts are per thread and lock-free; memory freed by another thread than
// the one that allocated it moves both counts, which only matters for the
// difference a page measures over its own run.
#ifndef FENNICK_PLATFORM_SCRIPT_NATIVE_MEMORY_H_
#define FENNICK_PLATFORM_SCRIPT_NATIVE_MEMORY_H_

#include <cstdint>

namespace fennick {

// Bytes allocated by the calling thread through operator new minus those it
// freed. Only differences between two readings on one thread mean anything.
int64_t ThreadNativeBytes();
// The highest ThreadNativeBytes() since the last MarkThreadNativePeak().
int64_t ThreadNativePeak();
// Starts a new peak at the current count.
void MarkThreadNativePeak();

}  // namespace fennick

#endif  // FENNICK_PLATFORM_SCRIPT_NATIVE_MEMORY_H_
