// The built-in functions and named constants an expression may use.
//
// Each family lives in its own file (strings, math and conversions, dates,
// formatting and tests); this header is the table they share. A function
// receives its evaluated arguments; an argument left out between commas
// arrives as a "missing" value (see Given). Functions raise the script
// world's runtime errors, and none of them has a side effect.
#ifndef FENNICK_PLATFORM_SCRIPT_BUILTINS_H_
#define FENNICK_PLATFORM_SCRIPT_BUILTINS_H_

#include <cstdint>
#include <span>
#include <string_view>

#include "fennick/variant.h"

namespace fennick::script {

using Arguments = std::span<const Variant>;
using BuiltinFunction = Variant (*)(Arguments args);

struct Builtin {
  std::string_view name;  // as the script world spells it
  uint8_t min_args;
  uint8_t max_args;
  BuiltinFunction function;
};

inline constexpr size_t kMaxBuiltinArgs = 6;
// The value passed for an argument left out ("parameter not found").
inline constexpr int32_t kMissingArgument = static_cast<int32_t>(0x80020004u);

// The function of that name (any case), or nullptr.
const Builtin* FindBuiltin(std::string_view name);
// The value of a named constant (vbCrLf, vbTextCompare, ...).
bool FindConstant(std::string_view name, Variant& value);

// Whether argument i was passed.
inline bool Given(Arguments args, size_t i) {
  return i < args.size() && args[i].type() != VarType::kError;
}
// Argument i as a Long, or fallback when it was not passed.
int32_t LongArgument(Arguments args, size_t i, int32_t fallback);
// A tri-state argument (-2 default, -1 true, 0 false); 5 for other values.
int TriStateArgument(Arguments args, size_t i);

std::span<const Builtin> StringBuiltins();
std::span<const Builtin> MathBuiltins();
std::span<const Builtin> ConversionBuiltins();
std::span<const Builtin> DateBuiltins();
std::span<const Builtin> FormatBuiltins();

}  // namespace fennick::script

#endif  // FENNICK_PLATFORM_SCRIPT_BUILTINS_H_
