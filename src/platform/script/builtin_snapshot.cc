// Recording the built-in objects of a heap and putting them back.
#include "platform/script/builtin_snapshot.h"

#include <unordered_set>

#include "platform/script/engine_fingerprint.h"

namespace fennick {
namespace {

// Stash entry: an array with, per recorded object, [copy, prototype], the
// copy a bare object mapping each own property key to its descriptor.
constexpr char kSnapshotKey[] = "builtins";

constexpr duk_uint_t kOwnKeys = DUK_ENUM_OWN_PROPERTIES_ONLY | DUK_ENUM_INCLUDE_NONENUMERABLE |
                                DUK_ENUM_INCLUDE_SYMBOLS | DUK_ENUM_NO_PROXY_BEHAVIOR;

bool Flag(duk_context* ctx, duk_idx_t desc, const char* name) {
  duk_get_prop_string(ctx, desc, name);
  bool value = duk_to_boolean(ctx, -1);
  duk_pop(ctx);
  return value;
}

// Whether the descriptors at a and b (as duk_get_prop_desc makes them)
// describe the same property: same attributes, the same value or the same
// accessor functions.
bool SameDescriptor(duk_context* ctx, duk_idx_t a, duk_idx_t b) {
  if (!duk_is_object(ctx, a) || !duk_is_object(ctx, b)) return false;
  for (const char* name : {"enumerable", "configurable", "writable"}) {
    if (Flag(ctx, a, name) != Flag(ctx, b, name)) return false;
  }
  for (const char* name : {"value", "get", "set"}) {
    duk_get_prop_string(ctx, a, name);
    duk_get_prop_string(ctx, b, name);
    bool same = duk_samevalue(ctx, -1, -2);
    duk_pop_2(ctx);
    if (!same) return false;
  }
  return duk_has_prop_string(ctx, a, "get") == duk_has_prop_string(ctx, b, "get");
}

// Defines key (on top) on the object at obj as the descriptor at desc says,
// whatever the page made of it. Pops the key.
void DefineAs(duk_context* ctx, duk_idx_t obj, duk_idx_t desc) {
  duk_uint_t flags = DUK_DEFPROP_FORCE | DUK_DEFPROP_HAVE_ENUMERABLE |
                     DUK_DEFPROP_HAVE_CONFIGURABLE;
  if (Flag(ctx, desc, "enumerable")) flags |= DUK_DEFPROP_ENUMERABLE;
  if (Flag(ctx, desc, "configurable")) flags |= DUK_DEFPROP_CONFIGURABLE;
  if (duk_has_prop_string(ctx, desc, "get")) {
    flags |= DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_HAVE_SETTER;
    duk_get_prop_string(ctx, desc, "get");
    duk_get_prop_string(ctx, desc, "set");
  } else {
    flags |= DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_HAVE_WRITABLE;
    if (Flag(ctx, desc, "writable")) flags |= DUK_DEFPROP_WRITABLE;
    duk_get_prop_string(ctx, desc, "value");
  }
  duk_def_prop(ctx, obj, flags);
}

}  // namespace

void BuiltinSnapshot::Take(duk_context* ctx, const std::vector<duk_idx_t>& roots) {
  std::unordered_set<void*> seen;
  auto visit = [&](duk_idx_t idx) {
    if (!duk_is_object(ctx, idx)) return;
    void* ptr = duk_get_heapptr(ctx, idx);
    if (!seen.insert(ptr).second) return;
    // Most built-in objects are methods (Array.prototype.push, Math.max):
    // functions that are no constructor. Nothing a page could mean to do
    // lives on them, so they are frozen instead of checked after every
    // page, which keeps the check to the prototypes, constructors and
    // namespaces pages do extend.
    if (duk_is_function(ctx, idx) && !duk_has_prop_string(ctx, idx, "prototype")) {
      duk_freeze(ctx, idx);
      return;
    }
    objects_.push_back(ptr);
  };
  for (duk_idx_t root : roots) visit(duk_normalize_index(ctx, root));

  duk_push_heap_stash(ctx);
  duk_push_array(ctx);
  duk_idx_t list = duk_get_top_index(ctx);
  // objects_ grows while it is walked: a breadth-first walk.
  for (size_t i = 0; i < objects_.size(); ++i) {
    duk_push_array(ctx);  // [copy, prototype]
    duk_push_heapptr(ctx, objects_[i]);
    duk_idx_t obj = duk_get_top_index(ctx);
    duk_push_bare_object(ctx);
    duk_idx_t copy = duk_get_top_index(ctx);
    duk_enum(ctx, obj, kOwnKeys);
    while (duk_next(ctx, -1, 0)) {
      duk_dup_top(ctx);
      duk_get_prop_desc(ctx, obj, 0);
      for (const char* name : {"value", "get", "set"}) {
        duk_get_prop_string(ctx, -1, name);
        visit(-1);
        duk_pop(ctx);
      }
      duk_put_prop(ctx, copy);
    }
    duk_pop(ctx);  // the enumerator
    duk_get_prototype(ctx, obj);
    visit(-1);
    duk_put_prop_index(ctx, obj - 1, 1);
    duk_put_prop_index(ctx, obj - 1, 0);
    duk_pop(ctx);  // the object
    duk_put_prop_index(ctx, list, static_cast<duk_uarridx_t>(i));
  }
  duk_put_prop_string(ctx, -2, kSnapshotKey);
  duk_pop(ctx);
  prints_.clear();
  for (void* ptr : objects_) prints_.push_back(fennick_duk_object_fingerprint(ctx, ptr));
}

bool BuiltinSnapshot::Restore(duk_context* ctx) {
  bool ok = true;
  for (size_t i = 0; i < objects_.size(); ++i) {
    if (fennick_duk_object_fingerprint(ctx, objects_[i]) == prints_[i]) continue;
    ++rebuilt_;
    if (!RestoreObject(ctx, i)) ok = false;
  }
  return ok;
}

bool BuiltinSnapshot::RestoreObject(duk_context* ctx, size_t i) {
  duk_idx_t top = duk_get_top(ctx);
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kSnapshotKey);
  duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(i));
  duk_get_prop_index(ctx, -1, 0);
  duk_idx_t copy = duk_get_top_index(ctx);
  duk_get_prop_index(ctx, -2, 1);
  duk_idx_t proto = duk_get_top_index(ctx);
  duk_push_heapptr(ctx, objects_[i]);
  duk_idx_t obj = duk_get_top_index(ctx);

  // What the page added goes; one it made permanent raises, and the heap is
  // retired by the caller.
  duk_enum(ctx, obj, kOwnKeys);
  while (duk_next(ctx, -1, 0)) {
    duk_dup_top(ctx);
    if (duk_has_prop(ctx, copy)) {
      duk_pop(ctx);
    } else {
      duk_del_prop(ctx, obj);
    }
  }
  duk_pop(ctx);
  // What the page changed is defined again as recorded.
  duk_enum(ctx, copy, kOwnKeys);
  while (duk_next(ctx, -1, 1)) {
    duk_idx_t desc = duk_get_top_index(ctx);
    duk_dup(ctx, desc - 1);
    duk_get_prop_desc(ctx, obj, 0);
    bool same = SameDescriptor(ctx, -1, desc);
    duk_pop(ctx);
    if (!same) {
      duk_dup(ctx, desc - 1);
      DefineAs(ctx, obj, desc);
    }
    duk_pop_2(ctx);
  }
  duk_pop(ctx);
  duk_get_prototype(ctx, obj);
  bool same_proto = duk_strict_equals(ctx, -1, proto);
  duk_pop(ctx);
  if (!same_proto) {
    duk_dup(ctx, proto);
    duk_set_prototype(ctx, obj);
  }
  bool restored = fennick_duk_object_fingerprint(ctx, objects_[i]) == prints_[i];
  duk_set_top(ctx, top);
  return restored;
}

}  // namespace fennick
