// Values between page scripts and the component: conversions between
// JavaScript values and Variants, the script face of component objects, and
// the way C++ errors become script errors.
//
// Conversions, JavaScript to Variant: undefined is Empty, null is Null, a
// boolean Boolean, a whole number in the 32-bit range Long and any other
// number Double, a string String, a Date a Date (local time), a Uint8Array
// or buffer binary bytes, a component object its Object; a function, array or
// plain object has no Variant form (error 13, naming where it was passed).
// Variant to JavaScript goes the other way; Currency and the integer types
// become numbers.
//
// Component objects reach scripts as proxies driven through the object's
// late-bound members: reading a property member gets it, reading a method
// member gives a function that calls it, assigning puts the property, a call
// of the object itself reaches its default member; names are
// case-insensitive. Errors of the call (unknown member, wrong argument count,
// conversions) name the class and the member.
//
// An Error raised by the component reaches the script as an Error object with
// `number`, `description` and `source` (the component's trace); a script can
// catch it. Response.End and Redirect stop the page: the heap is told, and the
// script unwinds without a chance to continue.
//
// Everything here runs on the thread of the heap's page.
#ifndef FENNICK_PLATFORM_SCRIPT_SCRIPT_VALUES_H_
#define FENNICK_PLATFORM_SCRIPT_SCRIPT_VALUES_H_

#include <duktape.h>

#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "fennick/error.h"
#include "fennick/object.h"
#include "fennick/variant.h"
#include "platform/script/page_heap.h"

namespace fennick {

// The UTF-8 text of the string at idx. The engine keeps characters beyond
// the Basic Multilingual Plane written as "\uD83D\uDE00" as two 3-byte halves;
// they are joined here, and a lone half becomes U+FFFD.
std::string GetString(duk_context* ctx, duk_idx_t idx);
// The text of any value as Response.Write writes it: "" for undefined and
// null, else the value's string form.
std::string ToText(duk_context* ctx, duk_idx_t idx);

// The Variant of the value at idx. `where` names the receiver in the error
// for a value without a Variant form ("argument 1 of 'StringBuffer.Append'").
Variant ToVariant(duk_context* ctx, duk_idx_t idx, std::string_view where);
void PushVariant(duk_context* ctx, const Variant& value);

// Pushes the script face of a component object; the page keeps the object
// until it ends.
void PushComponent(duk_context* ctx, std::shared_ptr<Object> object);
// The component object at idx, or nullptr when the value is none. Raises
// error 424 for an object whose page has ended.
std::shared_ptr<Object> ComponentAt(duk_context* ctx, duk_idx_t idx);

// Sets up what component proxies and conversions need in a new heap.
void InstallValueSupport(duk_context* ctx);

// Throws into the script: a component error, a plain script error, the
// signal that the page has stopped.
[[noreturn]] void ThrowComponentError(duk_context* ctx, const Error& e);
[[noreturn]] void ThrowScriptError(duk_context* ctx, duk_errcode_t code, const std::string& text);
[[noreturn]] void ThrowStopped(duk_context* ctx);

// Whether the error value at idx came from the component (has number,
// description and source).
bool IsComponentError(duk_context* ctx, duk_idx_t idx);

// The body of a native function: checks that the page may go on, runs
// `body(heap)` and turns C++ errors into script errors (PageEnd into the
// page's stop).
template <class Body>
duk_ret_t RunNative(duk_context* ctx, Body&& body) {
  ScriptHeap& heap = ScriptHeap::Of(ctx);
  // Page objects hold native memory the script heap does not see: every
  // call into one is where the memory cap catches up with them.
  if (heap.stopping() || heap.OverMemoryCap()) ThrowStopped(ctx);
  try {
    return body(heap);
  } catch (const Error& e) {
    ThrowComponentError(ctx, e);
  } catch (const PageEnd&) {
    heap.Stop(PageStop::kEnded);
    ThrowStopped(ctx);
  } catch (const std::bad_alloc&) {
    ThrowScriptError(ctx, DUK_ERR_RANGE_ERROR, "Out of memory");
  } catch (const std::exception& e) {
    ThrowScriptError(ctx, DUK_ERR_ERROR, e.what());
  }
}

}  // namespace fennick

#endif  // FENNICK_PLATFORM_SCRIPT_SCRIPT_VALUES_H_
