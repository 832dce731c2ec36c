// Conversions between script values and Variants, component proxies, and
// script errors made from C++ errors.
#include "platform/script/script_values.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <exception>
#include <vector>

namespace fennick {
namespace {

// Hidden keys (the 0xFF prefix) are invisible to scripts and bypass proxies.
constexpr char kIdKey[] = "\xFF" "fnkId";
constexpr char kTargetKey[] = "\xFF" "fnkTarget";
constexpr char kMemberKey[] = "\xFF" "fnkMember";
constexpr char kComponentErrorKey[] = "\xFF" "fnkComponentError";
constexpr char kStopKey[] = "\xFF" "fnkStop";
// Stash entries.
constexpr char kHandlerKey[] = "componentHandler";
constexpr char kCallableHandlerKey[] = "componentCallableHandler";
constexpr char kDateKey[] = "Date";
constexpr char kGetTimeKey[] = "getTime";
constexpr char kObjectToStringKey[] = "objectToString";

std::string_view ClassNameOf(std::string_view prog_id) {
  size_t dot = prog_id.rfind('.');
  return dot == std::string_view::npos ? prog_id : prog_id.substr(dot + 1);
}

std::string Qualified(const Object& object, std::string_view member) {
  return std::string(ClassNameOf(object.ProgId())) + "." + std::string(member);
}

void AppendUtf8(std::string& out, uint32_t cp) {
  out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
  out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
  out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
  out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
}

// The surrogate (0xD800..0xDFFF) encoded at s[i..i+2], or 0.
uint32_t SurrogateAt(const unsigned char* s, size_t len, size_t i) {
  if (i + 2 >= len) return 0;
  if (s[i] != 0xED || s[i + 1] < 0xA0 || s[i + 1] > 0xBF || (s[i + 2] & 0xC0) != 0x80) return 0;
  return 0xD000u | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
}

std::string JoinSurrogates(const char* data, size_t len) {
  const auto* s = reinterpret_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(len);
  size_t i = 0;
  while (i < len) {
    uint32_t high = SurrogateAt(s, len, i);
    if (high == 0) {
      out.push_back(static_cast<char>(s[i++]));
      continue;
    }
    uint32_t low = high < 0xDC00 ? SurrogateAt(s, len, i + 3) : 0;
    if (low >= 0xDC00) {
      AppendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
      i += 6;
    } else {
      out.append("\xEF\xBF\xBD");
      i += 3;
    }
  }
  return out;
}

// Object.prototype.toString of the value at idx: "[object Date]".
std::string ClassTag(duk_context* ctx, duk_idx_t idx) {
  idx = duk_normalize_index(ctx, idx);
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kObjectToStringKey);
  duk_dup(ctx, idx);
  duk_call_method(ctx, 0);
  std::string tag = duk_get_string(ctx, -1) ? duk_get_string(ctx, -1) : "";
  duk_pop_2(ctx);
  return tag;
}

double LocalEpochMsToOleDate(double ms) {
  double seconds = std::floor(ms / 1000.0);
  double rest_ms = ms - seconds * 1000.0;
  time_t t = static_cast<time_t>(seconds);
  struct tm tm {};
  localtime_r(&t, &tm);
  DateParts parts;
  parts.year = tm.tm_year + 1900;
  parts.month = tm.tm_mon + 1;
  parts.day = tm.tm_mday;
  parts.hour = tm.tm_hour;
  parts.minute = tm.tm_min;
  parts.second = tm.tm_sec;
  parts.millisecond = rest_ms;
  return MakeOleDate(parts);
}

double OleDateToLocalEpochMs(double date) {
  DateParts parts = SplitOleDate(date);
  struct tm tm {};
  tm.tm_year = parts.year - 1900;
  tm.tm_mon = parts.month - 1;
  tm.tm_mday = parts.day;
  tm.tm_hour = parts.hour;
  tm.tm_min = parts.minute;
  tm.tm_sec = parts.second;
  tm.tm_isdst = -1;
  time_t t = mktime(&tm);
  return static_cast<double>(t) * 1000.0 + parts.millisecond;
}

// The component object of an id; raises when the page that created it has
// ended.
std::shared_ptr<Object> LiveObject(duk_context* ctx, double id) {
  std::shared_ptr<Object> object = ScriptHeap::Of(ctx).Find(static_cast<uint64_t>(id));
  if (!object) {
    throw Error(kErrObjectRequired,
                "Object required: the component object was released when its page ended",
                "Fennick script page");
  }
  return object;
}

// The component object of a proxy target (arg 0 of the traps); raises when
// the page that created it has ended.
std::shared_ptr<Object> TargetObject(duk_context* ctx, duk_idx_t target) {
  duk_get_prop_string(ctx, target, kIdKey);
  double id = duk_get_number_default(ctx, -1, 0);
  duk_pop(ctx);
  return LiveObject(ctx, id);
}

std::vector<Variant> Arguments(duk_context* ctx, duk_idx_t first, duk_idx_t count,
                               const Object& object, std::string_view member) {
  std::vector<Variant> args;
  args.reserve(static_cast<size_t>(count));
  for (duk_idx_t i = 0; i < count; ++i) {
    args.push_back(ToVariant(ctx, first + i,
                             "argument " + std::to_string(i + 1) + " of '" +
                                 Qualified(object, member) + "'"));
  }
  return args;
}

// A method read from a component: `obj.Append` gives this function; the
// object and the member's name ride on the function.
duk_ret_t CallMember(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap&) {
    duk_idx_t count = duk_get_top(ctx);
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kTargetKey);
    std::shared_ptr<Object> held = TargetObject(ctx, -1);
    Object& object = *held;
    duk_get_prop_string(ctx, -2, kMemberKey);
    std::string member = GetString(ctx, -1);
    duk_pop_3(ctx);
    std::vector<Variant> args = Arguments(ctx, 0, count, object, member);
    PushVariant(ctx, object.Invoke(member, InvokeKind::kMethod, args));
    return 1;
  });
}

// The default value of a component: its default member when that is a
// property, else nothing.
bool PushDefaultValue(duk_context* ctx, Object& object) {
  std::string_view member = object.DefaultMember();
  if (member.empty() || object.Kind(member) != MemberKind::kProperty) return false;
  PushVariant(ctx, object.Invoke(member, InvokeKind::kPropertyGet, {}));
  return true;
}

// toString of a component: its default value as text, else
// "[object ProgID]".
duk_ret_t ComponentToString(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap&) {
    duk_push_this(ctx);
    std::shared_ptr<Object> held = TargetObject(ctx, -1);
    Object& object = *held;
    if (PushDefaultValue(ctx, object)) {
      std::string text = ToText(ctx, -1);
      duk_push_lstring(ctx, text.data(), text.size());
      return 1;
    }
    std::string text = "[object " + std::string(object.ProgId()) + "]";
    duk_push_lstring(ctx, text.data(), text.size());
    return 1;
  });
}

// valueOf of a component: its default value, so that `rs("qty") * 2` works
// on objects whose default member is a value.
duk_ret_t ComponentValueOf(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap&) {
    duk_push_this(ctx);
    std::shared_ptr<Object> held = TargetObject(ctx, -1);
    Object& object = *held;
    if (!PushDefaultValue(ctx, object)) duk_dup(ctx, -1);
    return 1;
  });
}

duk_ret_t TrapGet(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap&) {
    if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) {
      duk_push_undefined(ctx);
      return 1;
    }
    std::shared_ptr<Object> held = TargetObject(ctx, 0);
    Object& object = *held;
    std::string name = GetString(ctx, 1);
    switch (object.Kind(name)) {
      case MemberKind::kProperty:
        PushVariant(ctx, object.Invoke(name, InvokeKind::kPropertyGet, {}));
        return 1;
      case MemberKind::kMethod:
        duk_push_c_function(ctx, CallMember, DUK_VARARGS);
        duk_dup(ctx, 0);
        duk_put_prop_string(ctx, -2, kTargetKey);
        duk_push_lstring(ctx, name.data(), name.size());
        duk_put_prop_string(ctx, -2, kMemberKey);
        return 1;
      case MemberKind::kNone:
        break;
    }
    // What the engine itself looks up when it converts or inspects a value.
    if (name == "toString") {
      duk_push_c_function(ctx, ComponentToString, 0);
      return 1;
    }
    if (name == "valueOf") {
      duk_push_c_function(ctx, ComponentValueOf, 0);
      return 1;
    }
    if (name == "toJSON" || name == "constructor" || name == "then") {
      duk_push_undefined(ctx);
      return 1;
    }
    throw Error(kErrNoMember, "Object doesn't support this property or method: '" +
                                  Qualified(object, name) + "'",
                std::string(object.ProgId()));
  });
}

duk_ret_t TrapSet(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap&) {
    if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) {
      duk_push_false(ctx);
      return 1;
    }
    std::shared_ptr<Object> held = TargetObject(ctx, 0);
    Object& object = *held;
    std::string name = GetString(ctx, 1);
    Variant value = ToVariant(ctx, 2, "the value of '" + Qualified(object, name) + "'");
    object.Invoke(name, InvokeKind::kPropertyPut, std::span<const Variant>(&value, 1));
    duk_push_true(ctx);
    return 1;
  });
}

duk_ret_t TrapHas(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap&) {
    bool has = false;
    if (duk_is_string(ctx, 1) && !duk_is_symbol(ctx, 1)) {
      has = TargetObject(ctx, 0)->HasMember(GetString(ctx, 1));
    }
    duk_push_boolean(ctx, has);
    return 1;
  });
}

duk_ret_t TrapDelete(duk_context* ctx) {
  duk_push_false(ctx);
  return 1;
}

// The default member of `object` called with `args`. A default member that
// is a property holding an object passes the call on to that object's
// default member, as `rs("name")` reaches rs.Fields.Item("name").
Variant CallDefault(std::shared_ptr<Object> object, std::span<const Variant> args) {
  for (int depth = 0; depth < 8; ++depth) {
    std::string member(object->DefaultMember());
    if (member.empty()) break;
    if (object->Kind(member) != MemberKind::kProperty) {
      return object->Invoke(member, InvokeKind::kMethod, args);
    }
    Variant value = object->Invoke(member, InvokeKind::kPropertyGet, {});
    if (args.empty()) return value;
    if (!value.IsObject() || !value.AsObject()) break;
    object = value.AsObject();
  }
  throw Error(kErrNoMember, "Object doesn't support this action: '" +
                                std::string(ClassNameOf(object->ProgId())) +
                                "' cannot be called with arguments",
              std::string(object->ProgId()));
}

// obj(args): the default member.
duk_ret_t TrapApply(duk_context* ctx) {
  return RunNative(ctx, [ctx](ScriptHeap&) {
    std::shared_ptr<Object> object = TargetObject(ctx, 0);
    duk_idx_t count = static_cast<duk_idx_t>(duk_get_length(ctx, 2));
    for (duk_idx_t i = 0; i < count; ++i) duk_get_prop_index(ctx, 2, static_cast<duk_uarridx_t>(i));
    std::vector<Variant> args =
        Arguments(ctx, 3, count, *object, object->DefaultMember().empty()
                                              ? std::string_view("(default)")
                                              : object->DefaultMember());
    duk_pop_n(ctx, count);
    PushVariant(ctx, CallDefault(object, args));
    return 1;
  });
}

duk_ret_t FinalizeComponent(duk_context* ctx) {
  // A finalizer must not throw: the id is read without conversions.
  duk_get_prop_string(ctx, 0, kIdKey);
  double id = duk_get_number_default(ctx, -1, 0);
  duk_pop(ctx);
  ScriptHeap::Of(ctx).Drop(static_cast<uint64_t>(id));
  return 0;
}

void PushHandler(duk_context* ctx, bool callable) {
  duk_push_object(ctx);
  const duk_function_list_entry traps[] = {
      {"get", TrapGet, 3},
      {"set", TrapSet, 4},
      {"has", TrapHas, 2},
      {"deleteProperty", TrapDelete, 2},
      {nullptr, nullptr, 0},
  };
  duk_put_function_list(ctx, -1, traps);
  if (callable) {
    duk_push_c_function(ctx, TrapApply, 3);
    duk_put_prop_string(ctx, -2, "apply");
  }
}

duk_ret_t NotCallable(duk_context* ctx) {
  return RunNative(ctx, [](ScriptHeap&) -> duk_ret_t {
    throw Error(kErrNoMember, "Object doesn't support this action");
  });
}

}  // namespace

std::string GetString(duk_context* ctx, duk_idx_t idx) {
  duk_size_t len = 0;
  const char* data = duk_get_lstring(ctx, idx, &len);
  if (!data) return std::string();
  if (!std::memchr(data, 0xED, len)) return std::string(data, len);
  return JoinSurrogates(data, len);
}

std::string ToText(duk_context* ctx, duk_idx_t idx) {
  if (duk_is_null_or_undefined(ctx, idx)) return std::string();
  if (duk_is_string(ctx, idx)) return GetString(ctx, idx);
  duk_dup(ctx, idx);
  duk_to_string(ctx, -1);
  std::string text = GetString(ctx, -1);
  duk_pop(ctx);
  return text;
}

Variant ToVariant(duk_context* ctx, duk_idx_t idx, std::string_view where) {
  idx = duk_normalize_index(ctx, idx);
  switch (duk_get_type(ctx, idx)) {
    case DUK_TYPE_NONE:
    case DUK_TYPE_UNDEFINED:
      return Variant();
    case DUK_TYPE_NULL:
      return Variant::Null();
    case DUK_TYPE_BOOLEAN:
      return Variant(static_cast<bool>(duk_get_boolean(ctx, idx)));
    case DUK_TYPE_NUMBER: {
      double d = duk_get_number(ctx, idx);
      if (d == std::trunc(d) && d >= -2147483648.0 && d <= 2147483647.0 &&
          !(d == 0 && std::signbit(d))) {
        return Variant(static_cast<int32_t>(d));
      }
      return Variant(d);
    }
    case DUK_TYPE_STRING:
      if (duk_is_symbol(ctx, idx)) break;
      return Variant(GetString(ctx, idx));
    case DUK_TYPE_BUFFER: {
      duk_size_t size = 0;
      void* data = duk_get_buffer_data(ctx, idx, &size);
      return Variant::Binary(std::string(static_cast<const char*>(data), size));
    }
    case DUK_TYPE_OBJECT: {
      if (std::shared_ptr<Object> object = ComponentAt(ctx, idx)) return Variant(object);
      if (duk_is_buffer_data(ctx, idx)) {
        duk_size_t size = 0;
        void* data = duk_get_buffer_data(ctx, idx, &size);
        return Variant::Binary(std::string(static_cast<const char*>(data), size));
      }
      std::string tag = ClassTag(ctx, idx);
      if (tag == "[object Date]") {
        duk_push_heap_stash(ctx);
        duk_get_prop_string(ctx, -1, kGetTimeKey);
        duk_dup(ctx, idx);
        duk_call_method(ctx, 0);
        double ms = duk_get_number(ctx, -1);
        duk_pop_2(ctx);
        if (std::isnan(ms)) {
          throw Error(kErrTypeMismatch, "Type mismatch: an invalid Date in " + std::string(where));
        }
        return Variant::Date(LocalEpochMsToOleDate(ms));
      }
      if (tag == "[object String]" || tag == "[object Number]" || tag == "[object Boolean]") {
        duk_dup(ctx, idx);
        duk_to_primitive(ctx, -1, DUK_HINT_NONE);
        Variant v = ToVariant(ctx, -1, where);
        duk_pop(ctx);
        return v;
      }
      const char* kind = duk_is_function(ctx, idx) ? "function"
                         : duk_is_array(ctx, idx)  ? "array"
                                                   : "object";
      throw Error(kErrTypeMismatch, "Type mismatch: a JavaScript " + std::string(kind) +
                                        " cannot be passed as " + std::string(where));
    }
    case DUK_TYPE_POINTER:
    case DUK_TYPE_LIGHTFUNC:
      break;
  }
  throw Error(kErrTypeMismatch,
              "Type mismatch: this value cannot be passed as " + std::string(where));
}

void PushVariant(duk_context* ctx, const Variant& value) {
  switch (value.type()) {
    case VarType::kEmpty:
      duk_push_undefined(ctx);
      return;
    case VarType::kNull:
      duk_push_null(ctx);
      return;
    case VarType::kBoolean:
      duk_push_boolean(ctx, value.AsBool());
      return;
    case VarType::kString: {
      const std::string& s = value.Bytes();
      duk_push_lstring(ctx, s.data(), s.size());
      return;
    }
    case VarType::kDate:
      duk_push_heap_stash(ctx);
      duk_get_prop_string(ctx, -1, kDateKey);
      duk_push_number(ctx, OleDateToLocalEpochMs(value.AsDate()));
      duk_new(ctx, 1);
      duk_remove(ctx, -2);
      return;
    case VarType::kBinary: {
      const std::string& bytes = value.Bytes();
      void* data = duk_push_fixed_buffer(ctx, bytes.size());
      if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
      duk_push_buffer_object(ctx, -1, 0, bytes.size(), DUK_BUFOBJ_UINT8ARRAY);
      duk_remove(ctx, -2);
      return;
    }
    case VarType::kObject:
      if (value.AsObject()) {
        PushComponent(ctx, value.AsObject());
      } else {
        duk_push_null(ctx);
      }
      return;
    default:
      duk_push_number(ctx, value.AsDouble());
      return;
  }
}

void PushComponent(duk_context* ctx, std::shared_ptr<Object> object) {
  bool callable = !object->DefaultMember().empty();
  uint64_t id = ScriptHeap::Of(ctx).Keep(std::move(object));
  // A callable target makes the proxy callable (`rs("name")`); other objects
  // stay plain objects, so that typeof says "object".
  if (callable) {
    duk_push_c_function(ctx, NotCallable, DUK_VARARGS);
  } else {
    duk_push_object(ctx);
  }
  duk_push_number(ctx, static_cast<double>(id));
  duk_put_prop_string(ctx, -2, kIdKey);
  duk_push_c_function(ctx, FinalizeComponent, 2);
  duk_set_finalizer(ctx, -2);
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, callable ? kCallableHandlerKey : kHandlerKey);
  duk_remove(ctx, -2);
  duk_push_proxy(ctx, 0);
}

std::shared_ptr<Object> ComponentAt(duk_context* ctx, duk_idx_t idx) {
  if (!duk_is_object(ctx, idx)) return nullptr;
  // Hidden keys bypass the proxy and read the target.
  if (!duk_get_prop_string(ctx, idx, kIdKey)) {
    duk_pop(ctx);
    return nullptr;
  }
  double id = duk_get_number_default(ctx, -1, 0);
  duk_pop(ctx);
  return LiveObject(ctx, id);
}

void InstallValueSupport(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  PushHandler(ctx, false);
  duk_put_prop_string(ctx, -2, kHandlerKey);
  PushHandler(ctx, true);
  duk_put_prop_string(ctx, -2, kCallableHandlerKey);
  // The originals, safe from pages that replace the globals.
  duk_get_global_string(ctx, "Date");
  duk_get_prop_string(ctx, -1, "prototype");
  duk_get_prop_string(ctx, -1, "getTime");
  duk_put_prop_string(ctx, -4, kGetTimeKey);
  duk_pop(ctx);
  duk_put_prop_string(ctx, -2, kDateKey);
  duk_get_global_string(ctx, "Object");
  duk_get_prop_string(ctx, -1, "prototype");
  duk_get_prop_string(ctx, -1, "toString");
  duk_put_prop_string(ctx, -4, kObjectToStringKey);
  duk_pop_2(ctx);
  duk_pop(ctx);
}

void ThrowComponentError(duk_context* ctx, const Error& e) {
  // No C file is named, so the error's line is the page line that called.
  duk_push_error_object_raw(ctx, DUK_ERR_ERROR, nullptr, 0, "%s", e.description().c_str());
  duk_push_number(ctx, e.number());
  duk_put_prop_string(ctx, -2, "number");
  duk_push_lstring(ctx, e.description().data(), e.description().size());
  duk_put_prop_string(ctx, -2, "description");
  duk_push_lstring(ctx, e.source().data(), e.source().size());
  duk_put_prop_string(ctx, -2, "source");
  duk_push_true(ctx);
  duk_put_prop_string(ctx, -2, kComponentErrorKey);
  duk_throw_raw(ctx);
  std::terminate();  // not reached: the engine's throw does not return
}

void ThrowScriptError(duk_context* ctx, duk_errcode_t code, const std::string& text) {
  duk_push_error_object_raw(ctx, code, nullptr, 0, "%s", text.c_str());
  duk_throw_raw(ctx);
  std::terminate();  // not reached: the engine's throw does not return
}

void ThrowStopped(duk_context* ctx) {
  duk_push_error_object_raw(ctx, DUK_ERR_ERROR, nullptr, 0, "The page has ended");
  duk_push_true(ctx);
  duk_put_prop_string(ctx, -2, kStopKey);
  duk_throw_raw(ctx);
  std::terminate();  // not reached: the engine's throw does not return
}

bool IsComponentError(duk_context* ctx, duk_idx_t idx) {
  if (!duk_is_object(ctx, idx)) return false;
  bool is = duk_get_prop_string(ctx, idx, kComponentErrorKey) != 0;
  duk_pop(ctx);
  return is;
}

}  // namespace fennick
