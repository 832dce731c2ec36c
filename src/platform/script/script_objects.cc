// The globals of a script page: Request, Response, Session, Application,
// Server, Fennick and Enumerator.
#include "platform/script/script_objects.h"

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fennick/error.h"
#include "fennick/page.h"
#include "platform/script/page_heap.h"
#include "platform/script/script_values.h"

namespace fennick {
namespace {

constexpr char kWriterKey[] = "pageWriter";

// Which field list a Request collection reads (the function's magic).
enum Collection { kQueryString = 0, kForm = 1, kCookies = 2, kServerVariables = 3 };
// Which value store a Contents proxy or a store function serves.
enum Store { kSession = 0, kApplication = 1 };

const FieldList& Fields(PageContext& page, int which) {
  switch (which) {
    case kQueryString: return page.request().QueryFields();
    case kForm: return page.request().FormFields();
    case kCookies: return page.request().CookieFields();
    default: return page.request().Variables();
  }
}

void PushText(duk_context* ctx, std::string_view text) {
  duk_push_lstring(ctx, text.data(), text.size());
}

// The name argument at idx: any value as text.
std::string NameArg(duk_context* ctx, duk_idx_t idx) {
  if (duk_get_top(ctx) <= idx) {
    throw Error(kErrWrongArgCount, "Wrong number of arguments: a name is needed");
  }
  return ToText(ctx, idx);
}

int32_t IntArg(duk_context* ctx, duk_idx_t idx, std::string_view where) {
  double d = std::nearbyint(duk_to_number(ctx, idx));
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) {
    throw Error(kErrOverflow, "Overflow in " + std::string(where));
  }
  return static_cast<int32_t>(d);
}

// --- Request

duk_ret_t RequestItem(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    PushText(ctx, heap.page().request().Item(NameArg(ctx, 0)));
    return 1;
  });
}

duk_ret_t CollectionCall(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    int which = duk_get_current_magic(ctx);
    PageContext& page = heap.page();
    const FieldList& fields = Fields(page, which);
    if (duk_is_null_or_undefined(ctx, 0)) {
      // The collection as a whole, as it arrived.
      switch (which) {
        case kQueryString: PushText(ctx, page.request().ServerVariables("QUERY_STRING")); break;
        case kForm: PushText(ctx, page.request().Body()); break;
        case kCookies: PushText(ctx, page.request().ServerVariables("HTTP_COOKIE")); break;
        default: PushText(ctx, page.request().ServerVariables("ALL_HTTP")); break;
      }
      return 1;
    }
    if (duk_is_number(ctx, 0)) {
      double n = duk_get_number(ctx, 0);
      if (!(n >= 1 && n <= static_cast<double>(fields.Count())) || n != std::floor(n)) {
        throw Error(kErrInvalidCall, "Invalid procedure call or argument: the collection has no "
                                     "item " + ToText(ctx, 0));
      }
      PushText(ctx, fields.Get(static_cast<size_t>(n) - 1));
      return 1;
    }
    PushText(ctx, fields.Get(ToText(ctx, 0)));
    return 1;
  });
}

duk_ret_t CollectionCount(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    duk_push_number(ctx, static_cast<double>(
                             Fields(heap.page(), duk_get_current_magic(ctx)).Count()));
    return 1;
  });
}

duk_ret_t CollectionKey(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    const FieldList& fields = Fields(heap.page(), duk_get_current_magic(ctx));
    double n = duk_to_number(ctx, 0);
    if (!(n >= 1 && n <= static_cast<double>(fields.Count())) || n != std::floor(n)) {
      throw Error(kErrInvalidCall,
                  "Invalid procedure call or argument: the collection has no key " +
                      ToText(ctx, 0));
    }
    PushText(ctx, fields.Name(static_cast<size_t>(n) - 1));
    return 1;
  });
}

duk_ret_t CollectionKeys(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    const FieldList& fields = Fields(heap.page(), duk_get_current_magic(ctx));
    duk_push_array(ctx);
    for (size_t i = 0; i < fields.Count(); ++i) {
      PushText(ctx, fields.Name(i));
      duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
    }
    return 1;
  });
}

duk_ret_t CollectionValues(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    const FieldList& fields = Fields(heap.page(), duk_get_current_magic(ctx));
    duk_push_array(ctx);
    if (const auto* values = fields.Values(NameArg(ctx, 0))) {
      for (size_t i = 0; i < values->size(); ++i) {
        PushText(ctx, (*values)[i]);
        duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
      }
    }
    return 1;
  });
}

duk_ret_t RequestTotalBytes(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    duk_push_number(ctx, static_cast<double>(heap.page().request().Body().size()));
    return 1;
  });
}

// --- Response

duk_ret_t ResponseWrite(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    Response& response = heap.page().response();
    if (duk_is_string(ctx, 0)) {
      // The common case, literal text and strings: no copy for plain ASCII
      // and UTF-8.
      duk_size_t len = 0;
      const char* data = duk_get_lstring(ctx, 0, &len);
      if (!std::memchr(data, 0xED, len)) {
        response.Write(std::string_view(data, len));
        return 0;
      }
    }
    response.Write(ToText(ctx, 0));
    return 0;
  });
}

duk_ret_t ResponseBinaryWrite(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    Variant bytes = ToVariant(ctx, 0, "the argument of 'Response.BinaryWrite'");
    heap.page().response().BinaryWrite(bytes.IsBinary() || bytes.IsString() ? bytes.Bytes()
                                                                              : bytes.AsString());
    return 0;
  });
}

duk_ret_t ResponseEnd(duk_context* ctx) {
  return RunNative(ctx, [](ScriptHeap& heap) -> duk_ret_t { heap.page().response().End(); });
}

duk_ret_t ResponseRedirect(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) -> duk_ret_t {
    heap.page().response().Redirect(NameArg(ctx, 0));
  });
}

duk_ret_t ResponseClear(duk_context* ctx) {
  return RunNative(ctx, [](ScriptHeap& heap) {
    heap.page().response().Clear();
    return 0;
  });
}

duk_ret_t ResponseFlush(duk_context* ctx) {
  // The response is sent when the page ends; flushing early has no meaning
  // here.
  return RunNative(ctx, [](ScriptHeap&) { return 0; });
}

duk_ret_t ResponseAddHeader(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    heap.page().response().AddHeader(NameArg(ctx, 0), ToText(ctx, 1));
    return 0;
  });
}

// Returns the value set, as the assignment `Response.Cookies(k) = v` (which
// the page compiler turns into this call) has that value.
duk_ret_t ResponseCookies(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    heap.page().response().SetCookie(NameArg(ctx, 0), ToText(ctx, 1));
    duk_dup(ctx, 1);
    return 1;
  });
}

// Response properties, one getter and one setter each, told apart by magic.
enum ResponseProperty { kContentType, kCharset, kStatus, kBuffer, kExpires, kCodePage, kLcid };

duk_ret_t ResponseGet(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    Response& r = heap.page().response();
    switch (duk_get_current_magic(ctx)) {
      case kContentType: PushText(ctx, r.ContentType()); break;
      case kCharset: PushText(ctx, r.Charset()); break;
      case kStatus: PushText(ctx, r.Status()); break;
      case kBuffer: duk_push_boolean(ctx, r.Buffer()); break;
      case kExpires:
        if (r.Expires()) {
          duk_push_number(ctx, *r.Expires());
        } else {
          duk_push_undefined(ctx);
        }
        break;
      case kCodePage: duk_push_number(ctx, r.CodePage()); break;
      default: duk_push_number(ctx, r.LCID()); break;
    }
    return 1;
  });
}

duk_ret_t ResponseSet(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    Response& r = heap.page().response();
    switch (duk_get_current_magic(ctx)) {
      case kContentType: r.ContentType(ToText(ctx, 0)); break;
      case kCharset: r.Charset(ToText(ctx, 0)); break;
      case kStatus: r.Status(ToText(ctx, 0)); break;
      case kBuffer: r.Buffer(duk_to_boolean(ctx, 0)); break;
      case kExpires: r.Expires(IntArg(ctx, 0, "the value of 'Response.Expires'")); break;
      case kCodePage: r.CodePage(IntArg(ctx, 0, "the value of 'Response.CodePage'")); break;
      default: r.LCID(IntArg(ctx, 0, "the value of 'Response.LCID'")); break;
    }
    return 0;
  });
}

// --- Session and Application

Variant StoreGet(PageContext& page, int store, std::string_view name) {
  return store == kSession ? page.session().Get(name) : page.application().Get(name);
}

void StoreSet(duk_context* ctx, PageContext& page, int store, const std::string& name,
              duk_idx_t value_idx) {
  const char* what = store == kSession ? "Session" : "Application";
  if (duk_is_object(ctx, value_idx) && ComponentAt(ctx, value_idx)) {
    throw Error(kErrTypeMismatch, std::string("Type mismatch: component objects cannot be kept "
                                              "in ") + what + "; they are released when their "
                                                              "page ends");
  }
  Variant value = ToVariant(ctx, value_idx, std::string("the ") + what + " value '" + name + "'");
  if (store == kSession) {
    page.session().Set(name, std::move(value));
  } else {
    page.application().Set(name, std::move(value));
  }
}

void StoreRemove(PageContext& page, int store, std::string_view name) {
  if (store == kSession) {
    page.session().Remove(name);
  } else {
    page.application().Set(name, Variant());
  }
}

duk_ret_t StoreItem(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    PushVariant(ctx, StoreGet(heap.page(), duk_get_current_magic(ctx), NameArg(ctx, 0)));
    return 1;
  });
}

// Returns the value stored, as the assignment `Session(k) = v` (which the
// page compiler turns into this call) has that value.
duk_ret_t StoreSetValue(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    StoreSet(ctx, heap.page(), duk_get_current_magic(ctx), NameArg(ctx, 0), 1);
    duk_dup(ctx, 1);
    return 1;
  });
}

duk_ret_t StoreRemoveValue(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    StoreRemove(heap.page(), duk_get_current_magic(ctx), NameArg(ctx, 0));
    return 0;
  });
}

// Session.Contents and Application.Contents: proxies whose properties are
// the stored values. The traps carry the store as magic.
duk_ret_t ContentsGet(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) {
      duk_push_undefined(ctx);
      return 1;
    }
    PushVariant(ctx, StoreGet(heap.page(), duk_get_current_magic(ctx), GetString(ctx, 1)));
    return 1;
  });
}

duk_ret_t ContentsSet(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) {
      duk_push_false(ctx);
      return 1;
    }
    StoreSet(ctx, heap.page(), duk_get_current_magic(ctx), GetString(ctx, 1), 2);
    duk_push_true(ctx);
    return 1;
  });
}

duk_ret_t ContentsHas(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    bool has = duk_is_string(ctx, 1) && !duk_is_symbol(ctx, 1) &&
               !StoreGet(heap.page(), duk_get_current_magic(ctx), GetString(ctx, 1)).IsEmpty();
    duk_push_boolean(ctx, has);
    return 1;
  });
}

duk_ret_t ContentsDelete(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    if (duk_is_string(ctx, 1) && !duk_is_symbol(ctx, 1)) {
      StoreRemove(heap.page(), duk_get_current_magic(ctx), GetString(ctx, 1));
    }
    duk_push_true(ctx);
    return 1;
  });
}

duk_ret_t SessionAbandon(duk_context* ctx) {
  return RunNative(ctx, [](ScriptHeap& heap) {
    heap.page().session().Abandon();
    return 0;
  });
}

duk_ret_t SessionId(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    PushText(ctx, heap.page().session().SessionID());
    return 1;
  });
}

duk_ret_t SessionTimeout(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    duk_push_number(ctx, heap.page().session().Timeout());
    return 1;
  });
}

duk_ret_t SessionSetTimeout(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    heap.page().session().Timeout(IntArg(ctx, 0, "the value of 'Session.Timeout'"));
    return 0;
  });
}

duk_ret_t ApplicationLock(duk_context* ctx) {
  return RunNative(ctx, [](ScriptHeap& heap) {
    heap.LockApplication();
    return 0;
  });
}

duk_ret_t ApplicationUnlock(duk_context* ctx) {
  return RunNative(ctx, [](ScriptHeap& heap) {
    heap.UnlockApplication();
    return 0;
  });
}

// --- Server

duk_ret_t ServerCreateObject(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    PushComponent(ctx, heap.page().server().CreateObject(NameArg(ctx, 0)));
    return 1;
  });
}

duk_ret_t ServerMapPath(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap& heap) {
    PushText(ctx, heap.page().server().MapPath(NameArg(ctx, 0)).string());
    return 1;
  });
}

duk_ret_t ServerUrlEncode(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap&) {
    PushText(ctx, Server::URLEncode(ToText(ctx, 0)));
    return 1;
  });
}

duk_ret_t ServerHtmlEncode(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap&) {
    PushText(ctx, Server::HTMLEncode(ToText(ctx, 0)));
    return 1;
  });
}

// --- building the objects

void PutFunction(duk_context* ctx, const char* name, duk_c_function fn, duk_idx_t nargs,
                 int magic = 0) {
  duk_push_c_function(ctx, fn, nargs);
  duk_set_magic(ctx, -1, magic);
  duk_freeze(ctx, -1);
  duk_put_prop_string(ctx, -2, name);
}

void PutAccessor(duk_context* ctx, const char* name, duk_c_function get, duk_c_function set,
                 int magic = 0) {
  duk_push_string(ctx, name);
  duk_push_c_function(ctx, get, 0);
  duk_set_magic(ctx, -1, magic);
  duk_freeze(ctx, -1);
  duk_uint_t flags = DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_CLEAR_CONFIGURABLE |
                     DUK_DEFPROP_SET_ENUMERABLE;
  if (set) {
    duk_push_c_function(ctx, set, 1);
    duk_set_magic(ctx, -1, magic);
    duk_freeze(ctx, -1);
    flags |= DUK_DEFPROP_HAVE_SETTER;
  }
  duk_def_prop(ctx, set ? -4 : -3, flags);
}

// Defines the object on top of the stack as a frozen global that cannot be
// replaced, and pops it.
void DefineGlobal(duk_context* ctx, const char* name) {
  duk_freeze(ctx, -1);
  duk_push_global_object(ctx);
  duk_push_string(ctx, name);
  duk_dup(ctx, -3);
  duk_def_prop(ctx, -3,
               DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE |
                   DUK_DEFPROP_CLEAR_CONFIGURABLE | DUK_DEFPROP_CLEAR_ENUMERABLE);
  duk_pop_2(ctx);
}

void PushCollection(duk_context* ctx, int which) {
  duk_push_c_function(ctx, CollectionCall, 1);
  duk_set_magic(ctx, -1, which);
  PutFunction(ctx, "Item", CollectionCall, 1, which);
  PutFunction(ctx, "Key", CollectionKey, 1, which);
  PutFunction(ctx, "Keys", CollectionKeys, 0, which);
  PutFunction(ctx, "Values", CollectionValues, 1, which);
  PutAccessor(ctx, "Count", CollectionCount, nullptr, which);
  duk_freeze(ctx, -1);
}

void InstallRequest(duk_context* ctx) {
  duk_push_c_function(ctx, RequestItem, 1);
  PutFunction(ctx, "Item", RequestItem, 1);
  const char* names[] = {"QueryString", "Form", "Cookies", "ServerVariables"};
  for (int i = 0; i < 4; ++i) {
    PushCollection(ctx, i);
    duk_put_prop_string(ctx, -2, names[i]);
  }
  PutAccessor(ctx, "TotalBytes", RequestTotalBytes, nullptr);
  DefineGlobal(ctx, "Request");
}

void InstallResponse(duk_context* ctx) {
  duk_push_object(ctx);
  PutFunction(ctx, "Write", ResponseWrite, 1);
  PutFunction(ctx, "BinaryWrite", ResponseBinaryWrite, 1);
  PutFunction(ctx, "End", ResponseEnd, 0);
  PutFunction(ctx, "Redirect", ResponseRedirect, 1);
  PutFunction(ctx, "Clear", ResponseClear, 0);
  PutFunction(ctx, "Flush", ResponseFlush, 0);
  PutFunction(ctx, "AddHeader", ResponseAddHeader, 2);
  PutFunction(ctx, "Cookies", ResponseCookies, 2);
  const std::pair<const char*, int> properties[] = {
      {"ContentType", kContentType}, {"Charset", kCharset},   {"Status", kStatus},
      {"Buffer", kBuffer},           {"Expires", kExpires},   {"CodePage", kCodePage},
      {"LCID", kLcid},
  };
  for (const auto& [name, magic] : properties) PutAccessor(ctx, name, ResponseGet, ResponseSet, magic);
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -2, "Write");
  duk_put_prop_string(ctx, -2, kWriterKey);
  duk_pop(ctx);
  DefineGlobal(ctx, "Response");
}

void PushContents(duk_context* ctx, int store) {
  // The target never holds anything; it is the store's reader, so that
  // `Session.Contents(name)` reads as `Session(name)` does.
  duk_push_c_function(ctx, StoreItem, 1);
  duk_set_magic(ctx, -1, store);
  duk_push_object(ctx);
  const std::pair<const char*, std::pair<duk_c_function, duk_idx_t>> traps[] = {
      {"get", {ContentsGet, 3}},
      {"set", {ContentsSet, 4}},
      {"has", {ContentsHas, 2}},
      {"deleteProperty", {ContentsDelete, 2}},
  };
  for (const auto& [name, trap] : traps) PutFunction(ctx, name, trap.first, trap.second, store);
  duk_push_proxy(ctx, 0);
}

void InstallStore(duk_context* ctx, int store) {
  duk_push_c_function(ctx, StoreItem, 1);
  duk_set_magic(ctx, -1, store);
  PutFunction(ctx, "Item", StoreItem, 1, store);
  PutFunction(ctx, "Set", StoreSetValue, 2, store);
  PutFunction(ctx, "Remove", StoreRemoveValue, 1, store);
  PushContents(ctx, store);
  duk_put_prop_string(ctx, -2, "Contents");
  if (store == kSession) {
    PutFunction(ctx, "Abandon", SessionAbandon, 0);
    PutAccessor(ctx, "SessionID", SessionId, nullptr);
    PutAccessor(ctx, "Timeout", SessionTimeout, SessionSetTimeout);
    DefineGlobal(ctx, "Session");
  } else {
    PutFunction(ctx, "Lock", ApplicationLock, 0);
    PutFunction(ctx, "Unlock", ApplicationUnlock, 0);
    DefineGlobal(ctx, "Application");
  }
}

void InstallServer(duk_context* ctx) {
  duk_push_object(ctx);
  PutFunction(ctx, "CreateObject", ServerCreateObject, 1);
  PutFunction(ctx, "MapPath", ServerMapPath, 1);
  PutFunction(ctx, "URLEncode", ServerUrlEncode, 1);
  PutFunction(ctx, "HTMLEncode", ServerHtmlEncode, 1);
  DefineGlobal(ctx, "Server");
}

// Freezes the value on top of the stack and everything it holds.
void DeepFreeze(duk_context* ctx) {
  if (!duk_is_object(ctx, -1)) return;
  duk_enum(ctx, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);
  while (duk_next(ctx, -1, 1)) {
    DeepFreeze(ctx);
    duk_pop_2(ctx);
  }
  duk_pop(ctx);
  duk_freeze(ctx, -1);
}

// A global given by the host as JSON text (the component's identity).
void InstallJsonGlobal(duk_context* ctx, const std::string& name, const std::string& json) {
  PushText(ctx, json);
  duk_json_decode(ctx, -1);
  DeepFreeze(ctx);
  DefineGlobal(ctx, name.c_str());
}

// JScript's Enumerator, over the Request collections (their keys), component
// collections with Count and Item (ADODB Fields), and arrays.
constexpr char kEnumeratorSource[] = R"JS((function () {
  function Enumerator(collection) {
    if (!(this instanceof Enumerator)) return new Enumerator(collection);
    var items = [];
    if (collection != null) {
      if (Array.isArray(collection)) {
        items = collection.slice();
      } else if (typeof collection === 'function' || typeof collection === 'object') {
        if ('Keys' in collection) {
          items = collection.Keys();
        } else if ('Count' in collection && 'Item' in collection) {
          for (var i = 0, n = collection.Count; i < n; i++) items.push(collection.Item(i));
        }
      }
    }
    this._items = items;
    this._index = 0;
  }
  Enumerator.prototype.atEnd = function () { return this._index >= this._items.length; };
  Enumerator.prototype.moveNext = function () { this._index++; };
  Enumerator.prototype.moveFirst = function () { this._index = 0; };
  Enumerator.prototype.item = function () { return this._items[this._index]; };
  Object.freeze(Enumerator.prototype);
  return Enumerator;
})())JS";

void InstallEnumerator(duk_context* ctx) {
  duk_push_string(ctx, "Enumerator");
  duk_eval_string(ctx, kEnumeratorSource);
  duk_freeze(ctx, -1);
  duk_push_global_object(ctx);
  duk_insert(ctx, -3);
  duk_def_prop(ctx, -3,
               DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE |
                   DUK_DEFPROP_CLEAR_CONFIGURABLE | DUK_DEFPROP_CLEAR_ENUMERABLE);
  duk_pop(ctx);
}

}  // namespace

void InstallPageGlobals(duk_context* ctx,
                        const std::vector<std::pair<std::string, std::string>>& json_globals) {
  // The engine's own object reaches its internals (finalizers, error hooks);
  // pages have no business there.
  duk_push_global_object(ctx);
  duk_del_prop_string(ctx, -1, "Duktape");
  duk_pop(ctx);
  InstallRequest(ctx);
  InstallResponse(ctx);
  InstallStore(ctx, kSession);
  InstallStore(ctx, kApplication);
  InstallServer(ctx);
  InstallEnumerator(ctx);
  for (const auto& [name, json] : json_globals) InstallJsonGlobal(ctx, name, json);
}

void PushPageWriter(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kWriterKey);
  duk_remove(ctx, -2);
}

}  // namespace fennick
