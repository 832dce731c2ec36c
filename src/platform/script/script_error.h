// Errors of the expression evaluator: the script world's numbers and texts.
//
// Runtime errors carry the source "VBScript runtime error", errors found
// while reading an expression "VBScript compilation error" followed by the
// column where reading stopped, so that a page author sees where to look.
#ifndef FENNICK_PLATFORM_SCRIPT_SCRIPT_ERROR_H_
#define FENNICK_PLATFORM_SCRIPT_SCRIPT_ERROR_H_

#include <cstdint>
#include <string_view>

#include "fennick/error.h"

namespace fennick::script {

inline constexpr int32_t kErrOutOfMemory = 7;
inline constexpr int32_t kErrOutOfStack = 28;
inline constexpr int32_t kErrObjectNotSet = 91;
inline constexpr int32_t kErrSyntax = 1002;
inline constexpr int32_t kErrExpectedParen = 1006;
inline constexpr int32_t kErrInvalidCharacter = 1032;
inline constexpr int32_t kErrUnterminatedString = 1033;

// The script world's text for an error number ("Type mismatch").
std::string_view ErrorText(int32_t number);

// Raises the runtime error `number` with its text; `name`, when given, is
// appended as the script world does for a failing function (": 'CInt'").
[[noreturn]] void RaiseRuntime(int32_t number, std::string_view name = {});
// Raises the compilation error `number`; column is 1-based.
[[noreturn]] void RaiseCompile(int32_t number, size_t column);

}  // namespace fennick::script

#endif  // FENNICK_PLATFORM_SCRIPT_SCRIPT_ERROR_H_
