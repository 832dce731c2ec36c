// The built-in objects of a script heap as they were made, and their
// restoration after every page.
//
// Pages share a heap one after another, and with it the built-in objects:
// the prototypes (Array.prototype, String.prototype, ...), the constructors,
// Math and JSON, the page objects (Request, Response, ...) and the global
// object holding them. A page may change them for its own run (an include
// adding helpers to Array.prototype), but the next page must find them as
// they were, or one user's page could change what another's computes.
//
// Take() freezes the built-in methods (functions that are no constructor)
// and records every other object reachable from the global object through
// property values, accessors and prototypes, with a copy of each one's
// properties and an engine fingerprint (engine_fingerprint.h). Restore()
// compares fingerprints, which costs a few microseconds when nothing changed,
// and rebuilds only the objects whose fingerprint differs: added properties
// deleted, changed ones defined again as recorded, the prototype put back.
//
// Not thread-safe: it belongs to one heap.
#ifndef FENNICK_PLATFORM_SCRIPT_BUILTIN_SNAPSHOT_H_
#define FENNICK_PLATFORM_SCRIPT_BUILTIN_SNAPSHOT_H_

#include <duktape.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fennick {

class BuiltinSnapshot {
 public:
  // Records the objects reachable from the objects on the value stack at
  // `roots` (each an object). The copies are kept in the heap stash, which
  // also keeps every recorded object alive. Engine errors are thrown into
  // the engine: call it inside a protected call.
  void Take(duk_context* ctx, const std::vector<duk_idx_t>& roots);

  // Puts every recorded object back as it was recorded. Returns false when
  // an object could not be restored (a property the page made permanent, an
  // object it made non-extensible): the heap must then not run another
  // page. Call inside a protected call, with scripts stopped, since a getter
  // a page left behind must not run.
  bool Restore(duk_context* ctx);

  size_t size() const { return objects_.size(); }
  // How many objects the restorations so far had to rebuild.
  uint64_t rebuilt() const { return rebuilt_; }

 private:
  bool RestoreObject(duk_context* ctx, size_t i);

  std::vector<void*> objects_;
  std::vector<uint64_t> prints_;
  uint64_t rebuilt_ = 0;
};

}  // namespace fennick

#endif  // FENNICK_PLATFORM_SCRIPT_BUILTIN_SNAPSHOT_H_
