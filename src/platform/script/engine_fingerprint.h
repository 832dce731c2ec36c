// Fingerprints of engine objects: a cheap way to tell whether a page changed
// a built-in object (a prototype, a constructor, Math, the global object).
//
// The fingerprint covers what a script can change about an object: its own
// properties (keys, attributes, values or accessor functions, in any order),
// its array items and length, its prototype and whether it is extensible.
// Values are compared by identity: the same string, object or number bits.
// Reading it runs no script and allocates nothing, so a heap can check every
// built-in object after every page for a few microseconds.
//
// The function is compiled inside the engine's own translation unit
// (cmake/duktape.cmake), since it reads the engine's object layout.
#ifndef FENNICK_PLATFORM_SCRIPT_ENGINE_FINGERPRINT_H_
#define FENNICK_PLATFORM_SCRIPT_ENGINE_FINGERPRINT_H_

#include <duktape.h>

#include <cstdint>

// The fingerprint of the object `heapptr` (from duk_get_heapptr) of the
// heap of `ctx`. Equal objects in the sense above give equal fingerprints.
uint64_t fennick_duk_object_fingerprint(duk_context* ctx, void* heapptr);

#endif  // FENNICK_PLATFORM_SCRIPT_ENGINE_FINGERPRINT_H_
