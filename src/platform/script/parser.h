// Reads the text of an expression into an Expression.
//
// The grammar is the script world's expression grammar with its precedence,
// loosest first: Imp, Eqv, Xor, Or, And, Not, the comparisons (= <> < > <= >=
// Is), &, + and -, Mod, \, * and /, unary -, ^. Binary operators group left
// to right (2^3^2 is 64). Literals: numbers (12, 1.5, 1E3, .5, &HFF, &O17),
// "strings" with "" for a quote, #dates#, True, False, Null, Empty, Nothing
// and the named constants. Names not known are variables, which hold Empty
// here, as in a script with no variables declared.
#ifndef FENNICK_PLATFORM_SCRIPT_PARSER_H_
#define FENNICK_PLATFORM_SCRIPT_PARSER_H_

#include <memory>
#include <string_view>

#include "platform/script/expression.h"

namespace fennick::script {

// Deepest nesting of parentheses, calls and unary operators accepted.
inline constexpr int kMaxNesting = 256;

// Raises fennick::Error: 1002 "Syntax error", 1006 "Expected ')'", 1032
// "Invalid character", 1033 "Unterminated string constant", 28 "Out of stack
// space" beyond kMaxNesting, 450 for a function called with the wrong number
// of arguments, 13 for a call of a name that is no function.
std::shared_ptr<const Expression> ParseExpression(std::string_view text);

}  // namespace fennick::script

#endif  // FENNICK_PLATFORM_SCRIPT_PARSER_H_
