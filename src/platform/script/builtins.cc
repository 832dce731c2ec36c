// Name lookup of built-in functions and named constants, and the argument
// helpers the function families share.
#include "platform/script/builtins.h"

#include <string>
#include <unordered_map>

#include "base/ascii.h"
#include "platform/script/coerce.h"
#include "platform/script/script_error.h"

namespace fennick::script {
namespace {

const std::unordered_map<std::string, const Builtin*>& BuiltinIndex() {
  // Built on first use and never changed: safe to read from every thread.
  static const auto* index = [] {
    auto* map = new std::unordered_map<std::string, const Builtin*>();
    for (auto family : {StringBuiltins(), MathBuiltins(), ConversionBuiltins(), DateBuiltins(),
                        FormatBuiltins()}) {
      for (const Builtin& b : family) map->emplace(AsciiLower(b.name), &b);
    }
    return map;
  }();
  return *index;
}

const std::unordered_map<std::string, Variant>& ConstantIndex() {
  static const auto* index = [] {
    auto* map = new std::unordered_map<std::string, Variant>();
    auto integer = [](int v) { return Variant(static_cast<int16_t>(v)); };
    auto text = [](std::string_view v) { return Variant(std::string(v)); };
    const std::pair<const char*, Variant> constants[] = {
        {"vbcr", text("\r")}, {"vblf", text("\n")}, {"vbcrlf", text("\r\n")},
        {"vbnewline", text("\r\n")}, {"vbtab", text("\t")}, {"vbnullstring", text("")},
        {"vbnullchar", text(std::string_view("\0", 1))}, {"vbback", text("\b")},
        {"vbformfeed", text("\f")}, {"vbverticaltab", text("\v")},
        {"vbtrue", integer(-1)}, {"vbfalse", integer(0)}, {"vbusedefault", integer(-2)},
        {"vbbinarycompare", integer(0)}, {"vbtextcompare", integer(1)},
        {"vbusesystemdayofweek", integer(0)}, {"vbsunday", integer(1)},
        {"vbmonday", integer(2)}, {"vbtuesday", integer(3)}, {"vbwednesday", integer(4)},
        {"vbthursday", integer(5)}, {"vbfriday", integer(6)}, {"vbsaturday", integer(7)},
        {"vbusesystem", integer(0)}, {"vbfirstjan1", integer(1)},
        {"vbfirstfourdays", integer(2)}, {"vbfirstfullweek", integer(3)},
        {"vbgeneraldate", integer(0)}, {"vblongdate", integer(1)}, {"vbshortdate", integer(2)},
        {"vblongtime", integer(3)}, {"vbshorttime", integer(4)},
        {"vbempty", integer(0)}, {"vbnull", integer(1)}, {"vbinteger", integer(2)},
        {"vblong", integer(3)}, {"vbsingle", integer(4)}, {"vbdouble", integer(5)},
        {"vbcurrency", integer(6)}, {"vbdate", integer(7)}, {"vbstring", integer(8)},
        {"vbobject", integer(9)}, {"vberror", integer(10)}, {"vbboolean", integer(11)},
        {"vbvariant", integer(12)}, {"vbdataobject", integer(13)}, {"vbdecimal", integer(14)},
        {"vbbyte", integer(17)}, {"vbarray", integer(8192)},
        {"vbblack", Variant(int32_t{0})}, {"vbred", Variant(int32_t{0xFF})},
        {"vbgreen", Variant(int32_t{0xFF00})}, {"vbyellow", Variant(int32_t{0xFFFF})},
        {"vbblue", Variant(int32_t{0xFF0000})}, {"vbmagenta", Variant(int32_t{0xFF00FF})},
        {"vbcyan", Variant(int32_t{0xFFFF00})}, {"vbwhite", Variant(int32_t{0xFFFFFF})},
    };
    for (const auto& [name, value] : constants) map->emplace(name, value);
    return map;
  }();
  return *index;
}

}  // namespace

const Builtin* FindBuiltin(std::string_view name) {
  const auto& index = BuiltinIndex();
  auto it = index.find(AsciiLower(name));
  return it == index.end() ? nullptr : it->second;
}

bool FindConstant(std::string_view name, Variant& value) {
  const auto& index = ConstantIndex();
  auto it = index.find(AsciiLower(name));
  if (it == index.end()) return false;
  value = it->second;
  return true;
}

int32_t LongArgument(Arguments args, size_t i, int32_t fallback) {
  if (!Given(args, i)) return fallback;
  return ToLong(args[i]);
}

int TriStateArgument(Arguments args, size_t i) {
  int32_t v = LongArgument(args, i, -2);
  if (v < -2 || v > 0) RaiseRuntime(kErrInvalidCall);
  return v;
}

}  // namespace fennick::script
